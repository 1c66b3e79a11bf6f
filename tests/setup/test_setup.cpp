// setup, the INF installer and the packaged folder, as real processes: the error box,
// the wait, the install into a private home, the installed program, and the uninstall.
#include "tests/setup/PackageFolder.h"
#include "tests/support/CabWriter.h"
#include "tests/support/ProcessHarness.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace morbek {
namespace {

const QString kBox = QStringLiteral("box caption=Morbek32 Installation text=Installation Error buttons=OK");

QStringList BoxLines(const QString& errors) {
    QStringList boxes;
    for (const QString& line : errors.split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("box ")))
            boxes << line;
    return boxes;
}

bool CopyExecutable(const QString& from, const QString& to) {
    return QFile::copy(from, to) &&
           QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void WriteText(const QString& path, const QByteArray& text, bool executable = false) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(text);
    f.close();
    if (executable)
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

using test::FilesUnder;

class SetupProcess : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        // A blank and a dollar sign in the home folder: the menu entry must quote them.
        home = root.path() + QStringLiteral("/home of $USER");
        dataHome = home + QStringLiteral("/.local/share");
        runtime = root.path() + QStringLiteral("/run");
        QDir().mkpath(home);
        QDir().mkpath(runtime);
        ::chmod(QFile::encodeName(runtime).constData(), 0700);
        env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("MORBEK_TEST_ANSWER_BOXES"), QStringLiteral("1"));
    }

    QString Folder(const QString& name) {
        const QString path = root.path() + QLatin1Char('/') + name;
        QDir().mkpath(path);
        return path;
    }

    // Lays out the installation folder as the package-folder target does.
    QString Package() { return test::LayOutPackage(root.path() + QStringLiteral("/package")); }

    // Runs setup in a folder and waits for it; returns its stderr.
    QString RunSetup(const QString& program, const QString& folder, const QStringList& args = {},
                     const QProcessEnvironment* environment = nullptr) {
        test::RunningProgram setup(program, args, environment ? *environment : env, folder);
        EXPECT_TRUE(setup.WaitForExit(120000));
        EXPECT_EQ(setup.process().exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(setup.process().exitCode(), 0) << "setup always ends with code 0";
        EXPECT_TRUE(setup.Lines().isEmpty()) << setup.Lines().join(QLatin1Char('\n')).toStdString();
        return setup.Errors();
    }

    QString Installed(const QString& relative) const { return dataHome + QLatin1Char('/') + relative; }

    QTemporaryDir root;
    QString home, dataHome, runtime;
    QProcessEnvironment env;
};

TEST_F(SetupProcess, FolderWithoutMorbekInfShowsTheErrorBoxOnce) {
    const QString errors = RunSetup(QStringLiteral(SETUP_PATH), Folder(QStringLiteral("empty")));
    EXPECT_EQ(BoxLines(errors), QStringList{kBox}) << errors.toStdString();
    EXPECT_FALSE(QFileInfo::exists(dataHome));
}

TEST_F(SetupProcess, WithoutADisplayTheErrorGoesToStderrAndSetupStillEndsWithZero) {
    QProcessEnvironment headless = env;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        headless.remove(QString::fromLatin1(name));
    QString errors = RunSetup(QStringLiteral(SETUP_PATH), Folder(QStringLiteral("empty")), {}, &headless);
    EXPECT_TRUE(errors.contains(QStringLiteral("Morbek32 Installation: Installation Error")))
        << errors.toStdString();
    EXPECT_TRUE(BoxLines(errors).isEmpty());

    // A display that refuses the connection ends the box's process, not setup.
    QProcessEnvironment refused = headless;
    refused.insert(QStringLiteral("DISPLAY"), QStringLiteral(":97"));
    refused.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    errors = RunSetup(QStringLiteral(SETUP_PATH), Folder(QStringLiteral("empty")), {}, &refused);
    EXPECT_TRUE(errors.contains(QStringLiteral("Morbek32 Installation: Installation Error")))
        << errors.toStdString();
}

TEST_F(SetupProcess, MissingInstallerShowsTheErrorBox) {
    const QString folder = Folder(QStringLiteral("no-installer"));
    ASSERT_TRUE(CopyExecutable(QStringLiteral(SETUP_PATH), folder + QStringLiteral("/setup")));
    WriteText(folder + QStringLiteral("/Morbek.inf"),
              "[Version]\nSignature=\"$Windows NT$\"\n[DefaultInstall]\n");
    const QString errors = RunSetup(folder + QStringLiteral("/setup"), folder);
    EXPECT_EQ(BoxLines(errors), QStringList{kBox}) << errors.toStdString();
}

TEST_F(SetupProcess, SetupWaitsForTheInstallerAndPassesItNoneOfItsArguments) {
    const QString folder = Folder(QStringLiteral("slow"));
    const QString record = root.path() + QStringLiteral("/installer-args");
    ASSERT_TRUE(CopyExecutable(QStringLiteral(SETUP_PATH), folder + QStringLiteral("/setup")));
    WriteText(folder + QStringLiteral("/infinstall"),
              "#!/bin/sh\nsleep 1\nprintf '%s\\n' \"$@\" > '" + QFile::encodeName(record) + "'\n", true);
    WriteText(folder + QStringLiteral("/Morbek.inf"), "[Version]\n");
    QElapsedTimer elapsed;
    elapsed.start();
    const QString errors = RunSetup(folder + QStringLiteral("/setup"), folder,
                                    {QStringLiteral("--help"), QStringLiteral("Other.inf")});
    EXPECT_GE(elapsed.elapsed(), 1000) << "setup lives as long as the installation";
    EXPECT_TRUE(BoxLines(errors).isEmpty()) << errors.toStdString();
    QFile args(record);
    ASSERT_TRUE(args.open(QIODevice::ReadOnly)) << "the installer had ended before setup did";
    EXPECT_EQ(QString::fromUtf8(args.readAll()),
              QStringLiteral("DefaultInstall\n") + folder + QStringLiteral("/Morbek.inf\n"));
}

TEST_F(SetupProcess, CraftedDescriptionIsRefusedBeforeAnythingIsWritten) {
    const QString folder = Folder(QStringLiteral("crafted"));
    ASSERT_TRUE(CopyExecutable(QStringLiteral(SETUP_PATH), folder + QStringLiteral("/setup")));
    ASSERT_TRUE(CopyExecutable(QStringLiteral(INSTALLER_PATH), folder + QStringLiteral("/infinstall")));
    WriteText(folder + QStringLiteral("/payload"), "echo owned\n");
    WriteText(folder + QStringLiteral("/Morbek.inf"),
              "[Version]\nSignature=\"$Windows NT$\"\n[DefaultInstall]\nCopyFiles=Fine, Evil\n"
              "[DestinationDirs]\nFine=32768\nEvil=32768,..\\..\\..\\.config\\autostart\n"
              "[Fine]\npayload\n[Evil]\nevil.desktop,payload\n[Strings]\nAppName=Morbek32\n");
    const QString errors = RunSetup(folder + QStringLiteral("/setup"), folder);
    const QStringList boxes = BoxLines(errors);
    ASSERT_EQ(boxes.size(), 1) << errors.toStdString();
    EXPECT_TRUE(
        boxes[0].startsWith(QStringLiteral("box caption=Morbek32 Installation text=Installation Error\\n")))
        << boxes[0].toStdString();
    EXPECT_TRUE(FilesUnder(home).isEmpty()) << FilesUnder(home).join(QLatin1Char(' ')).toStdString();
}

TEST_F(SetupProcess, PackagedFolderInstallsTheProgramWhichListsACabinetAndUninstallRemovesIt) {
    const QString package = Package();
    for (const char* name :
         {"Morbek32", "setup", "infinstall", "install.sh", "Morbek.inf", "morbek32.png", "morbek16.png"})
        EXPECT_TRUE(QFileInfo::exists(package + QLatin1Char('/') + QLatin1String(name))) << name;

    // Others' files in the same folders, which the uninstall must leave alone.
    QDir().mkpath(Installed(QStringLiteral("applications")));
    QDir().mkpath(Installed(QStringLiteral("icons/hicolor/32x32/apps")));
    WriteText(Installed(QStringLiteral("applications/other.desktop")), "[Desktop Entry]\n");
    WriteText(Installed(QStringLiteral("icons/hicolor/32x32/apps/other.png")), "png");

    const QString errors =
        RunSetup(package + QStringLiteral("/setup"), package, {QStringLiteral("ignored.inf")});
    EXPECT_TRUE(BoxLines(errors).isEmpty()) << errors.toStdString();

    // What landed where: nothing outside the data folder.
    for (const QString& file : FilesUnder(home))
        EXPECT_TRUE(file.startsWith(QStringLiteral(".local/share/"))) << file.toStdString();
    const QString program = Installed(QStringLiteral("morbek32/Morbek32"));
    EXPECT_TRUE(QFileInfo(program).isExecutable());
    EXPECT_TRUE(QFileInfo(Installed(QStringLiteral("morbek32/infinstall"))).isExecutable());
    EXPECT_TRUE(QFileInfo::exists(Installed(QStringLiteral("morbek32/Morbek.inf"))));
    EXPECT_TRUE(QFileInfo::exists(Installed(QStringLiteral("icons/hicolor/32x32/apps/morbek32.png"))));
    EXPECT_TRUE(QFileInfo::exists(Installed(QStringLiteral("icons/hicolor/16x16/apps/morbek32.png"))));
    for (const QString& help :
         QDir(QStringLiteral(SOURCE_DIR "/resources/help")).entryList({QStringLiteral("*.hlp")}))
        EXPECT_TRUE(QFileInfo::exists(Installed(QStringLiteral("morbek32/") + help))) << help.toStdString();

    QFile entry(Installed(QStringLiteral("applications/morbek32.desktop")));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString entryText = QString::fromUtf8(entry.readAll());
    EXPECT_TRUE(entryText.contains(QStringLiteral("\nName=Morbek32\n")));
    // Exec holds the program's path in double quotes; the format doubles each backslash.
    const QRegularExpressionMatch exec =
        QRegularExpression(QStringLiteral("\nExec=\"(.*)\" %f\n")).match(entryText);
    ASSERT_TRUE(exec.hasMatch()) << entryText.toStdString();
    EXPECT_EQ(exec.captured(1)
                  .replace(QStringLiteral("\\\\"), QStringLiteral("\\"))
                  .replace(QStringLiteral("\\$"), QStringLiteral("$")),
              program);

    // The installed program starts and lists a cabinet: the test build, put beside it, as
    // the shipped program has no test hooks.
    test::CabWriter writer;
    writer.addFolder();
    writer.addFile("alpha.txt", "first");
    writer.addFile("beta.txt", "second");
    const QString cabinet = root.path() + QStringLiteral("/two.cab");
    WriteText(cabinet, writer.build());
    ASSERT_TRUE(test::SeedAnsweredSettings(home + QStringLiteral("/.config")));
    QProcessEnvironment run = env;
    run.insert(QStringLiteral("MORBEK_TEST_HOOKS"), QStringLiteral("1"));
    const QString testing = Installed(QStringLiteral("morbek32/Morbek32-testing"));
    ASSERT_TRUE(CopyExecutable(QStringLiteral(MORBEK32_TESTING_PATH), testing));
    {
        test::RunningProgram morbek(testing, {cabinet}, run);
        ASSERT_TRUE(morbek.WaitForLine(QStringLiteral("shown"))) << morbek.Errors().toStdString();
        QString rows;
        for (int attempt = 0; attempt < 50 && rows != QLatin1String("rows 2"); ++attempt) {
            const int from = static_cast<int>(morbek.Lines().size());
            morbek.Send(QStringLiteral("list"));
            rows = morbek.WaitForPrefix(QStringLiteral("rows "), from);
            if (rows != QLatin1String("rows 2"))
                QTest::qWait(100); // the first activation opens the file just after the window shows
        }
        EXPECT_EQ(rows, QStringLiteral("rows 2"));
        EXPECT_TRUE(morbek.Lines().contains(QStringLiteral("row alpha.txt")));
        EXPECT_TRUE(morbek.Lines().contains(QStringLiteral("row beta.txt")));
        morbek.Send(QStringLiteral("quit"));
        ASSERT_TRUE(morbek.WaitForExit());
        EXPECT_EQ(morbek.process().exitCode(), 0);
    }
    ASSERT_TRUE(QFile::remove(testing));

    // The installed description file undoes the install.
    test::RunningProgram uninstall(
        Installed(QStringLiteral("morbek32/infinstall")),
        {QStringLiteral("DefaultUninstall"), Installed(QStringLiteral("morbek32/Morbek.inf"))}, env);
    ASSERT_TRUE(uninstall.WaitForExit());
    EXPECT_EQ(uninstall.process().exitCode(), 0) << uninstall.Errors().toStdString();
    EXPECT_FALSE(QFileInfo::exists(Installed(QStringLiteral("morbek32"))));
    EXPECT_FALSE(QFileInfo::exists(Installed(QStringLiteral("applications/morbek32.desktop"))));
    EXPECT_FALSE(QFileInfo::exists(Installed(QStringLiteral("icons/hicolor/32x32/apps/morbek32.png"))));
    EXPECT_FALSE(QFileInfo::exists(Installed(QStringLiteral("icons/hicolor/16x16"))));
    EXPECT_TRUE(QFileInfo::exists(Installed(QStringLiteral("applications/other.desktop"))));
    EXPECT_TRUE(QFileInfo::exists(Installed(QStringLiteral("icons/hicolor/32x32/apps/other.png"))));
}

} // namespace
} // namespace morbek
