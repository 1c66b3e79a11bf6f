// The help viewer: reading our help file format, the viewer window's navigation and
// error pages, and the viewer process that one help file's requests share.
#include "platform/help/HelpChannel.h"
#include "platform/help/HelpFile.h"
#include "platform/help/HelpViewer.h"
#include "platform/help/WinHelp.h"
#include "tests/support/Files.h"
#include "tests/support/QtPrinters.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QUrl>
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

namespace morbek::platform::help {
namespace {

const char* const kSample = "# a comment\n"
                            "@title Sample Help\n"
                            "@language en\n"
                            "\n"
                            "@topic 0 Contents\n"
                            "Start here: [[12]] and [[40|the other one]].\n"
                            "\n"
                            "@topic 12 The Open dialog\r\n"
                            "First line\r\n"
                            "continues the paragraph.\r\n"
                            "\r\n"
                            "## Steps\r\n"
                            "1. Pick a **file**.\r\n"
                            "   Still the first step.\r\n"
                            "2. Click <Open> & go.\r\n"
                            "- a bullet\r\n"
                            "[[0|Back to the contents]] [[99]] [[x]]\r\n"
                            "\r\n"
                            "\r\n"
                            "@topic 12 A second topic 12 is ignored\n"
                            "never shown\n"
                            "@topic abc Malformed\n"
                            "must not join topic 40 nor 12\n"
                            "@topic 40 Last\n"
                            "@title inside a topic is text\n";

using test::WriteFile;

// --- the file format -----------------------------------------------------------------------

TEST(HelpFileFormat, ReadsHeaderTopicsAndKeepsTheFirstOfEachContext) {
    HelpFile file;
    file.Parse(QString::fromUtf8(kSample));
    EXPECT_EQ(file.Error(), LoadError::None);
    EXPECT_EQ(file.Title(), QStringLiteral("Sample Help"));
    EXPECT_EQ(file.Language(), QStringLiteral("en"));
    ASSERT_EQ(file.Topics().size(), 3u);
    EXPECT_EQ(file.Topics()[0].context, 0);
    EXPECT_EQ(file.Topics()[1].context, 12);
    EXPECT_EQ(file.Topics()[1].title, QStringLiteral("The Open dialog"));
    EXPECT_EQ(file.Topics()[2].context, 40);
    // Carriage returns and trailing blank lines are not part of the text.
    EXPECT_EQ(file.Topics()[1].lines.first(), QStringLiteral("First line"));
    EXPECT_FALSE(file.Topics()[1].lines.last().isEmpty());
    EXPECT_FALSE(file.Topics()[1].lines.join(QLatin1Char(' ')).contains(QStringLiteral("never shown")));
    EXPECT_FALSE(file.Topics()[2].lines.join(QLatin1Char(' ')).contains(QStringLiteral("must not join")));
    EXPECT_EQ(file.Topics()[2].lines, QStringList{QStringLiteral("@title inside a topic is text")});
    EXPECT_EQ(file.Links(file.Topics()[1]), (QList<int>{0, 99}));
}

TEST(HelpFileFormat, BodyIsEscapedTextWithOnlyOurMarkup) {
    HelpFile file;
    file.Parse(QString::fromUtf8(kSample));
    const QString html = file.BodyHtml(*file.Find(12));
    EXPECT_TRUE(html.contains(QStringLiteral("<p>First line continues the paragraph.</p>")))
        << html.toStdString();
    EXPECT_TRUE(html.contains(QStringLiteral("<h3>Steps</h3>")));
    EXPECT_TRUE(html.contains(QStringLiteral("<ol>\n<li>Pick a <b>file</b>. Still the first step.</li>")));
    EXPECT_TRUE(html.contains(QStringLiteral("<li>Click &lt;Open&gt; &amp; go.</li>\n</ol>")));
    EXPECT_TRUE(html.contains(QStringLiteral("<ul>\n<li>a bullet</li>\n</ul>")));
    EXPECT_TRUE(html.contains(QStringLiteral("<a href=\"topic:0\">Back to the contents</a>")));
    // A link to a topic the file lacks, and one that is no link at all, stay text.
    EXPECT_TRUE(html.contains(QStringLiteral("</a> 99 [[x]]")));
    EXPECT_FALSE(html.contains(QStringLiteral("topic:99")));

    const QString contents = file.BodyHtml(*file.Find(0));
    EXPECT_TRUE(contents.contains(QStringLiteral("<a href=\"topic:12\">The Open dialog</a>")));
    EXPECT_TRUE(contents.contains(QStringLiteral("<a href=\"topic:40\">the other one</a>")));
}

TEST(HelpFileFormat, UnclosedBoldIsClosedAndHtmlInTitlesOfLinksIsEscaped) {
    HelpFile file;
    file.Parse(QStringLiteral("@topic 0 A <b>\n**open [[1]]\n@topic 1 <i>x</i>\n"));
    const QString html = file.BodyHtml(*file.Find(0));
    EXPECT_EQ(html, QStringLiteral("<p><b>open <a href=\"topic:1\">&lt;i&gt;x&lt;/i&gt;</a></b></p>\n"));
}

TEST(HelpFileFormat, LoadReportsWhyAFileCannotBeUsed) {
    QTemporaryDir dir;
    HelpFile file;
    EXPECT_FALSE(file.Load(dir.filePath(QStringLiteral("absent.hlp"))));
    EXPECT_EQ(file.Error(), LoadError::Missing);
    EXPECT_FALSE(file.Load(dir.path()));
    EXPECT_EQ(file.Error(), LoadError::Unreadable);
    const QString empty = dir.filePath(QStringLiteral("empty.hlp"));
    ASSERT_TRUE(WriteFile(empty, "# nothing but a comment\n@title T\n"));
    EXPECT_FALSE(file.Load(empty));
    EXPECT_EQ(file.Error(), LoadError::NoTopics);
    const QString huge = dir.filePath(QStringLiteral("huge.hlp"));
    ASSERT_TRUE(WriteFile(huge, "@topic 0 C\n" + QByteArray(4 * 1024 * 1024, 'x')));
    EXPECT_FALSE(file.Load(huge));
    EXPECT_EQ(file.Error(), LoadError::TooLarge);
    EXPECT_TRUE(file.Topics().empty());
    // The positive case through the same call.
    const QString good = dir.filePath(QStringLiteral("good.hlp"));
    ASSERT_TRUE(WriteFile(good, kSample));
    EXPECT_TRUE(file.Load(good));
    EXPECT_EQ(file.Topics().size(), 3u);
}

TEST(HelpChannel, RequestsRoundTripAndGarbageIsRefused) {
    uint32_t command = 0;
    uint32_t data = 0;
    EXPECT_TRUE(DecodeRequest(EncodeRequest(HELP_CONTEXT, 31).trimmed(), &command, &data));
    EXPECT_EQ(command, HELP_CONTEXT);
    EXPECT_EQ(data, 31u);
    EXPECT_FALSE(DecodeRequest("1", &command, &data));
    EXPECT_FALSE(DecodeRequest("1 2 3", &command, &data));
    EXPECT_FALSE(DecodeRequest("one 2", &command, &data));
    // One viewer per file, whatever the spelling of its path.
    EXPECT_EQ(ServerName(QStringLiteral("/opt/m/../m/morbek.hlp")),
              ServerName(QStringLiteral("/opt/m/morbek.hlp")));
    EXPECT_NE(ServerName(QStringLiteral("/opt/m/morbek.hlp")),
              ServerName(QStringLiteral("/opt/m/morbeke.hlp")));
}

// --- the viewer window ---------------------------------------------------------------------

class HelpViewerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("sample.hlp"));
        ASSERT_TRUE(WriteFile(path, kSample));
    }
    QTemporaryDir dir;
    QString path;
    HelpViewer viewer;
};

TEST_F(HelpViewerTest, ContextShowsItsTopicAndFinderTheContents) {
    EXPECT_TRUE(viewer.Execute(path, HELP_CONTEXT, 12));
    EXPECT_TRUE(viewer.isVisible());
    EXPECT_EQ(viewer.CurrentContext(), 12);
    EXPECT_EQ(viewer.TopicTitle->text(), QStringLiteral("The Open dialog"));
    EXPECT_TRUE(viewer.Browser->toPlainText().contains(QStringLiteral("Click <Open> & go.")));
    EXPECT_EQ(viewer.windowTitle(), QStringLiteral("Sample Help"));

    EXPECT_TRUE(viewer.Execute(path, HELP_FINDER, 0));
    EXPECT_EQ(viewer.CurrentContext(), 0);
    EXPECT_EQ(viewer.TopicTitle->text(), QStringLiteral("Contents"));
}

TEST_F(HelpViewerTest, LinksBackAndBrowseSequence) {
    viewer.Execute(path, HELP_FINDER, 0);
    EXPECT_FALSE(viewer.BackAction->isEnabled());
    EXPECT_FALSE(viewer.PreviousAction->isEnabled());
    emit viewer.Browser->anchorClicked(QUrl(QStringLiteral("topic:40")));
    EXPECT_EQ(viewer.CurrentContext(), 40);
    EXPECT_FALSE(viewer.NextAction->isEnabled());
    // Links that lead out of the file are not followed.
    emit viewer.Browser->anchorClicked(QUrl(QStringLiteral("https://example.org/")));
    emit viewer.Browser->anchorClicked(QUrl(QStringLiteral("file:///etc/passwd")));
    EXPECT_EQ(viewer.CurrentContext(), 40);

    viewer.PreviousAction->trigger();
    EXPECT_EQ(viewer.CurrentContext(), 12);
    viewer.BackAction->trigger();
    EXPECT_EQ(viewer.CurrentContext(), 40);
    viewer.BackAction->trigger();
    EXPECT_EQ(viewer.CurrentContext(), 0);
    EXPECT_FALSE(viewer.BackAction->isEnabled());
    viewer.NextAction->trigger();
    EXPECT_EQ(viewer.CurrentContext(), 12);
    viewer.ContentsAction->trigger();
    EXPECT_EQ(viewer.CurrentContext(), 0);
}

TEST_F(HelpViewerTest, UnknownContextSaysSoAndOffersTheContents) {
    viewer.Execute(path, HELP_CONTEXT, 77);
    EXPECT_EQ(viewer.CurrentState(), HelpViewer::State::NoTopic);
    EXPECT_EQ(viewer.CurrentContext(), -1);
    EXPECT_EQ(viewer.TopicTitle->text(), QStringLiteral("No help for this item"));
    EXPECT_TRUE(viewer.Browser->toPlainText().contains(QStringLiteral("(help context 77)")));
    EXPECT_TRUE(viewer.Browser->toHtml().contains(QStringLiteral("topic:0")));
    EXPECT_TRUE(viewer.ContentsAction->isEnabled());
}

TEST_F(HelpViewerTest, MissingFileGivesAClearPageAndIsReadOnceItExists) {
    const QString missing = dir.filePath(QStringLiteral("morbeke.hlp"));
    EXPECT_TRUE(viewer.Execute(missing, HELP_CONTEXT, 12));
    EXPECT_EQ(viewer.CurrentState(), HelpViewer::State::FileError);
    EXPECT_EQ(viewer.TopicTitle->text(), QStringLiteral("Help file not found"));
    EXPECT_TRUE(viewer.Browser->toPlainText().contains(missing + QStringLiteral(" cannot be found")))
        << viewer.Browser->toPlainText().toStdString();
    EXPECT_FALSE(viewer.ContentsAction->isEnabled());
    EXPECT_FALSE(viewer.NextAction->isEnabled());
    EXPECT_TRUE(viewer.windowTitle().endsWith(QStringLiteral("morbeke.hlp")));

    // Installed afterwards: the next request finds it.
    ASSERT_TRUE(WriteFile(missing, kSample));
    viewer.Execute(missing, HELP_CONTEXT, 12);
    EXPECT_EQ(viewer.CurrentState(), HelpViewer::State::Topic);
    EXPECT_EQ(viewer.CurrentContext(), 12);
}

TEST_F(HelpViewerTest, AChangedFileIsReadAgain) {
    viewer.Execute(path, HELP_CONTEXT, 12);
    ASSERT_TRUE(
        WriteFile(path, "@topic 0 New contents\n@topic 12 Renamed topic\nnew text, longer than before\n"));
    viewer.Execute(path, HELP_CONTEXT, 12);
    EXPECT_EQ(viewer.TopicTitle->text(), QStringLiteral("Renamed topic"));
}

// --- the viewer process --------------------------------------------------------------------

struct ViewerStatus {
    qint64 pid = 0;
    int context = -2;
    QString state;
};

// Asks the viewer serving a file what it shows; empty state when none answers.
ViewerStatus Status(const QString& helpFile) {
    ViewerStatus status;
    QLocalSocket socket;
    socket.connectToServer(ServerName(helpFile));
    if (!socket.waitForConnected(200))
        return status;
    socket.write("STATUS\n");
    if (!socket.waitForReadyRead(3000))
        return status;
    static const QRegularExpression re(QStringLiteral("^pid=(\\d+) context=(-?\\d+) state=(\\w+)"));
    const QRegularExpressionMatch m = re.match(QString::fromLatin1(socket.readLine()));
    if (m.hasMatch()) {
        status.pid = m.captured(1).toLongLong();
        status.context = m.captured(2).toInt();
        status.state = m.captured(3);
    }
    return status;
}

// Children of this process that have ended but were never reaped.
QList<qint64> ZombieChildren() {
    QList<qint64> zombies;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // "pid (comm) state ppid ...": the name may hold blanks, so read after its ')'.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[0] == "Z" && fields[1].toLongLong() == ::getpid())
            zombies << pid;
    }
    return zombies;
}

class HelpProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("morbek.hlp"));
        ASSERT_TRUE(WriteFile(path, kSample));
        SetHelpViewerProgram(QStringLiteral(MORBEK_HELP_VIEWER));
    }
    void TearDown() override {
        // Viewers this test started and left running are ended by their id.
        for (qint64 pid : started) {
            if (::kill(static_cast<pid_t>(pid), 0) == 0)
                ::kill(static_cast<pid_t>(pid), SIGTERM);
        }
        ResetHelpViewerProgram();
    }
    ViewerStatus WaitForViewer(const QString& file, int context) {
        ViewerStatus status;
        const bool reached = QTest::qWaitFor(
            [&] {
                status = Status(file);
                return status.context == context;
            },
            10000);
        EXPECT_TRUE(reached) << "the viewer never showed context " << context;
        if (status.pid > 0 && !started.contains(status.pid))
            started << status.pid;
        return status;
    }
    QTemporaryDir dir;
    QString path;
    QList<qint64> started;
};

TEST_F(HelpProcessTest, OneViewerPerFileServesEveryRequestUntilQuit) {
    ASSERT_EQ(Status(path).state, QString()) << "a viewer of this file already runs";
    EXPECT_TRUE(WinHelp(path, HELP_CONTEXT, 12));
    const ViewerStatus first = WaitForViewer(path, 12);
    ASSERT_GT(first.pid, 0) << "the viewer did not start";
    EXPECT_EQ(first.state, QStringLiteral("topic"));

    // Later requests go to the same process rather than opening another window.
    EXPECT_TRUE(WinHelp(path, HELP_FINDER, 0));
    const ViewerStatus second = Status(path);
    EXPECT_EQ(second.pid, first.pid);
    EXPECT_EQ(second.context, 0);
    EXPECT_TRUE(WinHelp(path, HELP_CONTEXT, 40));
    EXPECT_EQ(Status(path).context, 40);

    EXPECT_TRUE(WinHelp(path, HELP_QUIT, 0));
    EXPECT_TRUE(QTest::qWaitFor([&] { return ::kill(static_cast<pid_t>(first.pid), 0) != 0; }, 10000));
    EXPECT_EQ(Status(path).state, QString());
    // Quitting when no viewer runs starts none.
    EXPECT_TRUE(WinHelp(path, HELP_QUIT, 0));
    EXPECT_EQ(Status(path).state, QString());
}

TEST_F(HelpProcessTest, EndedViewersAreReapedWhileTheProgramRuns) {
    // Each way a viewer ends: asked to quit, or gone by itself (closed by the user).
    for (const bool byQuit : {true, false}) {
        SCOPED_TRACE(byQuit ? "quit" : "ended");
        EXPECT_TRUE(WinHelp(path, HELP_CONTEXT, 12));
        const ViewerStatus viewer = WaitForViewer(path, 12);
        ASSERT_GT(viewer.pid, 0);
        if (byQuit)
            EXPECT_TRUE(WinHelp(path, HELP_QUIT, 0));
        else
            ::kill(static_cast<pid_t>(viewer.pid), SIGTERM);
        // The event loop runs meanwhile, as the program's does.
        EXPECT_TRUE(QTest::qWaitFor([&] { return ::kill(static_cast<pid_t>(viewer.pid), 0) != 0; }, 10000))
            << "the ended viewer stays as a zombie";
        EXPECT_EQ(ZombieChildren(), QList<qint64>());
    }
}

TEST_F(HelpProcessTest, MissingFileStartsAViewerThatSaysSo) {
    const QString missing = dir.filePath(QStringLiteral("morbeke.hlp"));
    EXPECT_TRUE(WinHelp(missing, HELP_CONTEXT, 31));
    const ViewerStatus status = WaitForViewer(missing, -1);
    ASSERT_GT(status.pid, 0);
    EXPECT_EQ(status.state, QStringLiteral("fileerror"));
    EXPECT_TRUE(WinHelp(missing, HELP_QUIT, 0));
}

TEST_F(HelpProcessTest, NoViewerProgramMeansNoViewerButTheRequestIsKept) {
    SetHelpViewerProgram(dir.filePath(QStringLiteral("no-such-viewer")));
    const int before = HelpRequestCount();
    EXPECT_FALSE(WinHelp(path, HELP_CONTEXT, 12));
    EXPECT_EQ(HelpRequestCount(), before + 1);
    EXPECT_EQ(LastHelpRequest().data, 12u);
    EXPECT_FALSE(WinHelp(QString(), HELP_FINDER, 0));
    // The test hook that shows nothing still reports success to its callers.
    SetHelpViewerProgram(QString());
    EXPECT_TRUE(WinHelp(path, HELP_CONTEXT, 12));
    EXPECT_EQ(Status(path).state, QString());
}

} // namespace
} // namespace morbek::platform::help
