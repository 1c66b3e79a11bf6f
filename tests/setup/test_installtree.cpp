// cmake --install into a temporary prefix: the files of a runnable tree, checked by the
// desktop's own validators, the shipped program started from it, and the test build beside
// it on the sample cabinet.
#include "tests/support/ProcessHarness.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <unistd.h>

namespace morbek {
namespace {

struct Tool {
    int exitCode = -1;
    QString output;
};

Tool RunTool(const QString& program, const QStringList& args, int ms = 120000) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    Tool t;
    if (p.waitForFinished(ms) && p.exitStatus() == QProcess::NormalExit)
        t.exitCode = p.exitCode();
    t.output = QString::fromUtf8(p.readAll());
    return t;
}

class InstallTree : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new QTemporaryDir;
        // A prefix with a blank in it: nothing may depend on /usr or the build folder.
        prefix = dir->path() + QStringLiteral("/opt/morbek prefix");
        installed = RunTool(
            QStringLiteral(CMAKE_COMMAND_PATH),
            {QStringLiteral("--install"), QStringLiteral(BINARY_DIR), QStringLiteral("--prefix"), prefix});
    }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
    }
    static QString At(const QString& relative) { return prefix + QLatin1Char('/') + relative; }

    static inline QTemporaryDir* dir = nullptr;
    static inline QString prefix;
    static inline Tool installed;
};

TEST_F(InstallTree, InstallSucceeds) {
    EXPECT_EQ(installed.exitCode, 0) << installed.output.toStdString();
}

// Each file of the tree, and whether it must be executable.
struct TreeFile {
    const char* path;
    bool executable;
};

class InstallTreeFiles : public InstallTree, public ::testing::WithParamInterface<TreeFile> {};

TEST_P(InstallTreeFiles, IsInstalled) {
    const QFileInfo info(At(QString::fromLatin1(GetParam().path)));
    EXPECT_TRUE(info.exists()) << GetParam().path;
    EXPECT_EQ(info.isExecutable(), GetParam().executable) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Files, InstallTreeFiles,
    ::testing::Values(TreeFile{"bin/Morbek32", true}, TreeFile{"libexec/morbek32/Morbek32", true},
                      TreeFile{"libexec/morbek32/MorbekHelp", true},
                      TreeFile{"libexec/morbek32/morbek.hlp", false},
                      TreeFile{"libexec/morbek32/morbeke.hlp", false},
                      TreeFile{"share/applications/morbek32.desktop", false},
                      TreeFile{"share/metainfo/io.github.morbek32.Morbek32.metainfo.xml", false},
                      TreeFile{"share/man/man1/morbek32.1", false},
                      TreeFile{"share/doc/morbek32/LICENSE", false},
                      TreeFile{"share/icons/hicolor/16x16/apps/morbek32.png", false},
                      TreeFile{"share/icons/hicolor/24x24/apps/morbek32.png", false},
                      TreeFile{"share/icons/hicolor/32x32/apps/morbek32.png", false},
                      TreeFile{"share/icons/hicolor/48x48/apps/morbek32.png", false},
                      TreeFile{"share/icons/hicolor/64x64/apps/morbek32.png", false},
                      TreeFile{"share/icons/hicolor/128x128/apps/morbek32.png", false},
                      TreeFile{"share/icons/hicolor/256x256/apps/morbek32.png", false},
                      TreeFile{"share/icons/hicolor/scalable/apps/morbek32.svg", false}),
    [](const ::testing::TestParamInfo<TreeFile>& p) {
        std::string name = p.param.path;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });

TEST_F(InstallTree, CommandIsARelativeLinkSoTheTreeCanMove) {
    const QFileInfo link(At(QStringLiteral("bin/Morbek32")));
    ASSERT_TRUE(link.isSymLink());
    char target[4096] = {};
    const ssize_t n = ::readlink(QFile::encodeName(link.filePath()).constData(), target, sizeof target - 1);
    ASSERT_GT(n, 0);
    EXPECT_NE(target[0], '/') << target;
    EXPECT_EQ(QFileInfo(link.symLinkTarget()).canonicalFilePath(),
              QFileInfo(At(QStringLiteral("libexec/morbek32/Morbek32"))).canonicalFilePath());
}

// The hooks that read commands from standard input are in the test build only.
TEST_F(InstallTree, ProgramHasNoTestHooks) {
    const auto hasHooks = [](const QString& program) {
        QFile f(program);
        return f.open(QIODevice::ReadOnly) && f.readAll().contains("MORBEK_TEST_HOOKS");
    };
    EXPECT_FALSE(hasHooks(At(QStringLiteral("libexec/morbek32/Morbek32"))));
    EXPECT_TRUE(hasHooks(QStringLiteral(MORBEK32_TESTING_PATH)));
}

TEST_F(InstallTree, IconSizesMatchTheirFolders) {
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QImage image(At(QStringLiteral("share/icons/hicolor/%1x%1/apps/morbek32.png").arg(size)));
        EXPECT_EQ(image.size(), QSize(size, size)) << size;
    }
}

TEST_F(InstallTree, DesktopEntryNamesTheThemeIconAndTheCabinetType) {
    QFile f(At(QStringLiteral("share/applications/morbek32.desktop")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray entry = f.readAll();
    EXPECT_TRUE(entry.contains("\nIcon=morbek32\n"));
    EXPECT_TRUE(entry.contains("\nMimeType=application/vnd.ms-cab-compressed;\n"));
    EXPECT_TRUE(entry.contains("\nExec=Morbek32 %f\n"));
}

// The validators the desktop's own tools ship.
struct Validator {
    const char* tool;
    const char* args; // before the file
    const char* file;
};

class InstallTreeValidates : public InstallTree, public ::testing::WithParamInterface<Validator> {};

TEST_P(InstallTreeValidates, WithoutComplaint) {
    const QString tool = QStandardPaths::findExecutable(QString::fromLatin1(GetParam().tool));
    ASSERT_FALSE(tool.isEmpty()) << GetParam().tool
                                 << " is not installed (scripts/packages-test.txt lists it)";
    QStringList args = QString::fromLatin1(GetParam().args).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    args << At(QString::fromLatin1(GetParam().file));
    const Tool t = RunTool(tool, args);
    EXPECT_EQ(t.exitCode, 0) << t.output.toStdString();
    EXPECT_FALSE(t.output.contains(QStringLiteral("error"), Qt::CaseInsensitive)) << t.output.toStdString();
    EXPECT_FALSE(t.output.contains(QStringLiteral("warning"), Qt::CaseInsensitive)) << t.output.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Tools, InstallTreeValidates,
    ::testing::Values(Validator{"desktop-file-validate", "", "share/applications/morbek32.desktop"},
                      Validator{"appstreamcli", "validate --no-net",
                                "share/metainfo/io.github.morbek32.Morbek32.metainfo.xml"},
                      Validator{"man", "--warnings -l -Tutf8", "share/man/man1/morbek32.1"}),
    [](const ::testing::TestParamInfo<Validator>& p) {
        std::string name = p.param.tool;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });

TEST_F(InstallTree, InstalledProgramListsTheSampleCabinetAndEndsCleanly) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    QDir().mkpath(home.path() + QStringLiteral("/run"));
    QFile::setPermissions(home.path() + QStringLiteral("/run"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(test::SeedAnsweredSettings(home.path() + QStringLiteral("/.config")));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path() + QStringLiteral("/run"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // The shipped program itself starts from the tree (the uninstaller's pass, no window).
    QProcess shipped;
    shipped.setProcessEnvironment(env);
    shipped.start(At(QStringLiteral("bin/Morbek32")), {QStringLiteral("--remove-association")});
    ASSERT_TRUE(shipped.waitForFinished(30000));
    EXPECT_EQ(shipped.exitCode(), 0) << shipped.readAllStandardError().toStdString();
    // It has no test hooks: the test build, put beside it with a command in bin as it
    // has, is started instead, from an unrelated folder, as a menu starts the program.
    const QString testing = At(QStringLiteral("libexec/morbek32/Morbek32-testing"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(MORBEK32_TESTING_PATH), testing));
    ASSERT_TRUE(QFile::setPermissions(testing, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    ASSERT_TRUE(QFile::link(QStringLiteral("../libexec/morbek32/Morbek32-testing"),
                            At(QStringLiteral("bin/Morbek32-testing"))));
    env.insert(QStringLiteral("MORBEK_TEST_HOOKS"), QStringLiteral("1"));
    test::RunningProgram morbek(At(QStringLiteral("bin/Morbek32-testing")),
                                {QStringLiteral(SOURCE_DIR "/resources/sample/sample.cab")}, env,
                                home.path());
    ASSERT_TRUE(morbek.WaitForLine(QStringLiteral("shown"))) << morbek.Errors().toStdString();
    QString rows;
    for (int attempt = 0; attempt < 50 && (rows.isEmpty() || rows == QLatin1String("rows 0")); ++attempt) {
        const int from = static_cast<int>(morbek.Lines().size());
        morbek.Send(QStringLiteral("list"));
        rows = morbek.WaitForPrefix(QStringLiteral("rows "), from);
        if (rows == QLatin1String("rows 0"))
            QTest::qWait(100); // the file opens just after the window shows
    }
    EXPECT_NE(rows, QStringLiteral("rows 0")) << morbek.Errors().toStdString();
    EXPECT_FALSE(rows.isEmpty());
    morbek.Send(QStringLiteral("quit"));
    ASSERT_TRUE(morbek.WaitForExit(30000));
    EXPECT_EQ(morbek.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(morbek.process().exitCode(), 0) << morbek.Errors().toStdString();
}

} // namespace
} // namespace morbek
