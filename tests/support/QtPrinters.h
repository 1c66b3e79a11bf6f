#pragma once
// Readable Qt values in GoogleTest failure messages (found by argument lookup: the Qt
// types live in the global namespace), and names for parameterised tests' instances.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>
#include <ostream>
#include <string>

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

// Names the instances of a parameterised test by the `name` member of their case.
struct CaseName {
    template <typename Case> std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
        return std::string(info.param.name);
    }
};

} // namespace morbek::test
