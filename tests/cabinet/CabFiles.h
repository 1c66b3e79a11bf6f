#pragma once
// Small helpers of the cabinet tests: a private folder per test and files in it, and
// printers for Qt values.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <ostream>

// Readable values in failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os) {
    *os << '{';
    for (const QString& text : list)
        *os << ' ' << '"' << text.toStdString() << '"';
    *os << " }";
}
inline void PrintTo(const QByteArray& bytes, std::ostream* os) {
    *os << "hex " << bytes.toHex().toStdString();
}

namespace morbek::test {

class ScratchDir {
public:
    ScratchDir();
    bool isValid() const { return dir_.isValid(); }
    QString path(const QString& name) const { return dir_.filePath(name); }
    // Writes bytes to name in the folder; returns the full path.
    QString write(const QString& name, const QByteArray& bytes) const;

private:
    QTemporaryDir dir_;
};

} // namespace morbek::test
