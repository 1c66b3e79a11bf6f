#include "CabFiles.h"

#include <QDir>
#include <QFile>
#include <stdexcept>

namespace morbek::test {

ScratchDir::ScratchDir() : dir_(QDir::tempPath() + QStringLiteral("/morbek-test-XXXXXX")) {}

QString ScratchDir::write(const QString& name, const QByteArray& bytes) const {
    const QString full = path(name);
    QFile file(full);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + full.toStdString());
    return full;
}

} // namespace morbek::test
