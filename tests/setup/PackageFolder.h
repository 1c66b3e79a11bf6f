#pragma once
// Lays out the installation folder in dest as the package-folder target does, through
// the same CMake script. The test target defines the paths (tests/setup/CMakeLists.txt).
#include <QProcess>
#include <QString>
#include <gtest/gtest.h>

namespace morbek::test {

inline QString LayOutPackage(const QString& dest) {
    QProcess cmake;
    cmake.start(QStringLiteral(CMAKE_COMMAND_PATH),
                {QStringLiteral("-DDEST=") + dest,
                 QStringLiteral("-DPROGRAMS=") +
                     QStringLiteral(PACKAGE_PROGRAMS).replace(QLatin1Char('|'), QLatin1Char(';')),
                 QStringLiteral("-DSETUP=" SETUP_PATH), QStringLiteral("-DINSTALLER=" INSTALLER_PATH),
                 QStringLiteral("-DSOURCE_DIR=" SOURCE_DIR), QStringLiteral("-P"),
                 QStringLiteral(PACKAGE_SCRIPT)});
    EXPECT_TRUE(cmake.waitForFinished(60000));
    EXPECT_EQ(cmake.exitCode(), 0) << cmake.readAllStandardError().toStdString();
    return dest;
}

} // namespace morbek::test
