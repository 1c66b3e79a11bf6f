#pragma once
// Small file helpers shared by the tests.
#include <QByteArray>
#include <QFile>
#include <QString>

namespace morbek::test {

// The whole file, or "<missing>" when it cannot be read (so that a comparison that fails
// says so instead of comparing with nothing).
inline QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace morbek::test
