// Entries dragged out of the list onto a folder window, on a virtual X server with the
// window system's own mouse (xdotool): the folder window speaks X Direct Save
// (xds_target), and the entries land in its folder through the Extract path. Skipped
// where Xvfb or xdotool is missing.
#include "tests/support/CabWriter.h"
#include "tests/support/ProcessHarness.h"
#include "tests/support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace morbek {
namespace {

using test::ReadAll;

struct DragCase {
    const char* name;
    const char* existing; // a.txt already in the folder, holding this
};

void PrintTo(const DragCase& c, std::ostream* os) {
    *os << c.name;
}

class DragOutOnX11 : public ::testing::TestWithParam<DragCase> {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            GTEST_SKIP() << "needs Xvfb and xdotool";
        ASSERT_TRUE(home.isValid());
        // A display number nobody uses.
        for (int n = 150 + ::getpid() % 40; n < 250 && display.isEmpty(); ++n)
            if (!QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) &&
                !QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
                display = QStringLiteral(":%1").arg(n);
        ASSERT_FALSE(display.isEmpty());
        env = QProcessEnvironment::systemEnvironment();
        xvfb = std::make_unique<test::RunningProgram>(
            QStringLiteral("Xvfb"),
            QStringList{display, QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                        QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1024x768x24")},
            env);
        const QString socket = QStringLiteral("/tmp/.X11-unix/X") + display.mid(1);
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(socket); }, 10000))
            << "Xvfb did not start";

        const QString run = home.path() + QStringLiteral("/run");
        QDir().mkpath(run);
        ::chmod(QFile::encodeName(run).constData(), 0700);
        env.insert(QStringLiteral("DISPLAY"), display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), run);
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/.local/share"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home.path() + QStringLiteral("/.cache"));
        env.insert(QStringLiteral("MORBEK_TEST_HOOKS"), QStringLiteral("1"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        ASSERT_TRUE(test::SeedAnsweredSettings(home.path() + QStringLiteral("/.config")));
    }

    void TearDown() override {
        // Ended politely, so that Xvfb removes its lock and socket.
        if (xvfb && xvfb->running()) {
            xvfb->process().terminate();
            xvfb->process().waitForFinished(5000);
        }
    }

    bool Xdo(const QStringList& args) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral("xdotool"), args);
        return p.waitForFinished(10000) && p.exitCode() == 0;
    }

    QTemporaryDir home;
    QString display;
    QProcessEnvironment env;
    std::unique_ptr<test::RunningProgram> xvfb;
};

TEST_P(DragOutOnX11, EntryLandsInTheFolderWindowsFolder) {
    const DragCase& c = GetParam();
    const QString folder = home.path() + QStringLiteral("/dropped here");
    ASSERT_TRUE(QDir().mkpath(folder));
    if (c.existing) {
        ASSERT_TRUE(test::WriteFile(folder + QStringLiteral("/a.txt"), c.existing));
    }
    test::CabWriter writer;
    writer.addFolder();
    writer.addFile("a.txt", QByteArray(3000, 'a'));
    writer.addFile("b.txt", QByteArray(10, 'b'));
    const QString cabinet = home.path() + QStringLiteral("/two.cab");
    { ASSERT_TRUE(test::WriteFile(cabinet, writer.build())); }

    test::RunningProgram target(QStringLiteral(XDS_TARGET_PATH),
                                {folder, QStringLiteral("800"), QStringLiteral("100")}, env);
    ASSERT_TRUE(target.WaitForLine(QStringLiteral("ready"), 10000)) << target.Errors().toStdString();
    test::RunningProgram program(QStringLiteral(MORBEK32_PATH), {cabinet}, env);
    ASSERT_TRUE(program.WaitForLine(QStringLiteral("shown"))) << program.Errors().toStdString();

    // The first entry's place on the screen, once the list holds it.
    QStringList rect;
    for (int attempt = 0; attempt < 50 && rect.size() != 6; ++attempt) {
        const int from = static_cast<int>(program.Lines().size());
        program.Send(QStringLiteral("item 0"));
        rect = program.WaitForPrefix(QStringLiteral("item 0 "), from).split(QLatin1Char(' '));
        if (rect.size() != 6)
            QTest::qWait(100);
    }
    ASSERT_EQ(rect.size(), 6) << "the entry never showed";
    const int x = rect[2].toInt() + rect[4].toInt() / 2, y = rect[3].toInt() + rect[5].toInt() / 2;

    ASSERT_TRUE(Xdo({QStringLiteral("mousemove"), QString::number(x), QString::number(y)}));
    QTest::qWait(200);
    ASSERT_TRUE(Xdo({QStringLiteral("mousedown"), QStringLiteral("1")}));
    QTest::qWait(200);
    for (int step = 1; step <= 10; ++step) {
        ASSERT_TRUE(Xdo({QStringLiteral("mousemove"), QString::number(x + (900 - x) * step / 10),
                         QString::number(y + (200 - y) * step / 10)}));
        QTest::qWait(60);
    }
    QTest::qWait(300);
    ASSERT_TRUE(Xdo({QStringLiteral("mouseup"), QStringLiteral("1")}));

    EXPECT_TRUE(target.WaitForLine(QStringLiteral("suggested a.txt"), 10000));
    EXPECT_TRUE(target.WaitForLine(QStringLiteral("answer S"), 10000));
    if (!c.existing) {
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return ReadAll(folder + "/a.txt") == QByteArray(3000, 'a'); }, 10000));
        EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList({"a.txt"}));
    } else {
        // Asked first, as by Extract: nothing is replaced unanswered.
        EXPECT_TRUE(program.WaitForLine(QStringLiteral("dialog Please confirm file replacement"), 10000));
        EXPECT_EQ(ReadAll(folder + "/a.txt"), QByteArray(c.existing));
    }
}

INSTANTIATE_TEST_SUITE_P(Folders, DragOutOnX11,
                         ::testing::Values(DragCase{"EmptyFolder", nullptr}, DragCase{"FileInTheWay", "old"}),
                         morbek::test::CaseName());

} // namespace
} // namespace morbek
