#pragma once
// Readable Qt values in GoogleTest failure messages (found by argument lookup: the Qt
// types live in the global namespace).
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <ostream>

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
