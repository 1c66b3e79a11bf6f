// The Extract command's job without a window: what it asks and shows and in which order,
// the temporary copy of a cabinet inside an executable, the reruns on the earlier
// cabinets of a set, the results that end it, and the report of the entries not extracted.
#include "extract/Binding.h"
#include "extract/ExtractJob.h"
#include "extract/TempCopy.h"
#include "platform/fdi/fdi.h"
#include "platform/files/TempPath.h"
#include "tests/extract/FakeUi.h"
#include "tests/support/CabWriter.h"
#include "tests/support/Files.h"
#include "tests/support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

namespace morbek {
namespace {

using test::CabMethod;
using test::CabWriter;
using test::ReadAll;
using testing::FakeUi;

QByteArray Data(char c, int size) {
    return QByteArray(size, c);
}

const QString kUnsafeReason =
    QStringLiteral("the name is not valid here or would place the file outside the target folder");

class ExtractJobTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir().mkpath(Out()));
        SetMessageText({});
        fdi::FDIFlushCache();
        ui.folder = Out();
    }
    void TearDown() override {
        SetProgressSink({});
        fdi::FDIFlushCache();
        EXPECT_EQ(ui.busy, 0) << "every busy stretch ends";
    }

    QString Path(const QString& name) const { return dir.filePath(name); }
    QString Out() const { return Path(QStringLiteral("out")); }

    QString Write(const QString& name, const QByteArray& bytes) const {
        QFile f(Path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    }

    // Runs the job over names on file, whose cabinet begins at offset in it; each entry's
    // text is its position in names, then a date.
    void Run(const QString& file, const QStringList& names, const QString& folder = {}, int64_t offset = 0,
             int64_t size = 0) {
        QStringList texts;
        for (qsizetype i = 0; i < names.size(); ++i)
            texts << QString::number(i + 1) + QStringLiteral(" 12/03/1997 11:13:52");
        ExtractJob(ui, file, offset, size).Run(names, texts, folder);
    }

    // The files of the out folder, hidden ones included, sorted.
    QStringList Written() const {
        QStringList files = QDir(Out()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        files.sort();
        return files;
    }

    // Stored: large enough for the copy of an embedded cabinet to report progress.
    static QByteArray FourFiles() {
        CabWriter w;
        w.addFolder(CabMethod::Stored);
        w.addFile("a.txt", Data('a', 3000));
        w.addFile("sub\\b.txt", Data('b', 5000));
        w.addFile("c.txt", Data('c', 7000));
        w.addFile("d.txt", Data('d', 9000));
        return w.build();
    }

    QTemporaryDir dir;
    FakeUi ui;
};

// ---------------------------------------------------------------------------------------
// What is asked and shown, in order

struct OrderCase {
    const char* name;
    bool embedded = false;  // the cabinet lies inside an executable, at offset 5000
    bool truncated = false; // ... which was cut short after it was listed
    bool given = false;     // the caller names the folder (a drop); otherwise it is asked
    bool cancelled = false; // the folder browser is cancelled
    bool existing = false;  // a.txt is already in the folder (and kept: the answer is No)
    QStringList events;     // <cab>: the file the job was given, <copy>: its temporary copy
    QStringList written;
};

void PrintTo(const OrderCase& c, std::ostream* os) {
    *os << c.name;
}

class ExtractJobOrder : public ExtractJobTest, public ::testing::WithParamInterface<OrderCase> {};

TEST_P(ExtractJobOrder, QuestionsAndProgressComeInTheCommandsOrder) {
    const OrderCase& c = GetParam();
    QString file;
    int64_t offset = 0, size = 0;
    if (c.embedded) {
        const QByteArray cab = FourFiles();
        file = Write(QStringLiteral("jobsetup.exe"), CabWriter::embedInExecutable(cab, 5000, "trailer"));
        offset = 5000;
        size = cab.size();
        if (c.truncated) {
            ASSERT_TRUE(QFile::resize(file, offset + size / 2));
        }
    } else {
        file = Write(QStringLiteral("four.cab"), FourFiles());
    }
    const QString copyPath = TemporaryCopyPath(file, platform::GetTempPathA());
    if (c.existing)
        Write(QStringLiteral("out/a.txt"), "old");
    if (c.cancelled)
        ui.folder.clear();
    bool copyWhileChoosing = false;
    ui.whileChoosing = [&] { copyWhileChoosing = QFileInfo::exists(copyPath); };
    // The driver asks the job's UI while the job runs, and the one installed before after.
    FakeUi outside;
    SetExtractionUi(&outside);

    Run(file, {QStringLiteral("a.txt"), QStringLiteral("sub\\b.txt")}, c.given ? Out() : QString(), offset,
        size);

    EXPECT_EQ(SetExtractionUi(nullptr), &outside);
    QStringList events = ui.events;
    events.replaceInStrings(copyPath, QStringLiteral("<copy>"));
    events.replaceInStrings(file, QStringLiteral("<cab>"));
    EXPECT_EQ(events, c.events);
    EXPECT_EQ(Written(), c.written);
    if (c.written.contains(QStringLiteral("a.txt"))) {
        EXPECT_EQ(ReadAll(Out() + QStringLiteral("/a.txt")),
                  c.existing ? QByteArray("old") : Data('a', 3000));
    }
    if (c.written.contains(QStringLiteral("b.txt"))) {
        EXPECT_EQ(ReadAll(Out() + QStringLiteral("/b.txt")), Data('b', 5000));
    }
    // The replace question shows the text of the entry it is about.
    for (const FakeUi::Call& call : ui.calls)
        EXPECT_TRUE(call.text.endsWith(QStringLiteral("1 12/03/1997 11:13:52"))) << call.text.toStdString();
    EXPECT_TRUE(outside.calls.empty());
    // The copy is made before the folder is asked, and never outlives the command.
    EXPECT_EQ(copyWhileChoosing, c.embedded && !c.truncated && !c.given);
    EXPECT_FALSE(QFileInfo::exists(copyPath));
    if (c.embedded && !c.truncated) {
        EXPECT_GT(ui.lastPercent, 0) << "the copy moves the progress bar";
    }
}

const QString kTitle = QStringLiteral("title file <cab>");
const QString kCopying = QStringLiteral("progress file <cab> | Creating temporary file, please wait...");
const QString kA = QStringLiteral("progress file <cab> | Extracting file a.txt");
const QString kB = QStringLiteral("progress file <cab> | Extracting file b.txt");
const QString kCopyA = QStringLiteral("progress file <copy> | Extracting file a.txt");
const QString kCopyB = QStringLiteral("progress file <copy> | Extracting file b.txt");

INSTANTIATE_TEST_SUITE_P(
    Commands, ExtractJobOrder,
    ::testing::Values(
        OrderCase{.name = "FolderChosen",
                  .events = {kTitle, "folder", "busy", kA, kB, "hide", "idle"},
                  .written = {"a.txt", "b.txt"}},
        OrderCase{.name = "FolderGivenIsNotAsked",
                  .given = true,
                  .events = {kTitle, "busy", kA, kB, "hide", "idle"},
                  .written = {"a.txt", "b.txt"}},
        OrderCase{.name = "BrowserCancelled", .cancelled = true, .events = {kTitle, "folder"}, .written = {}},
        OrderCase{.name = "ReplaceAskedWhileItsEntryRuns",
                  .existing = true,
                  .events = {kTitle, "folder", "busy", kA, "confirm Please confirm file replacement", kB,
                             "hide", "idle"},
                  .written = {"a.txt", "b.txt"}},
        OrderCase{.name = "EmbeddedCabinetCopiedFirst",
                  .embedded = true,
                  .events = {"busy", kCopying, "hide", "idle", kTitle, "folder", "busy", kCopyA, kCopyB,
                             "hide", "idle"},
                  .written = {"a.txt", "b.txt"}},
        OrderCase{.name = "EmbeddedCabinetBrowserCancelled",
                  .embedded = true,
                  .cancelled = true,
                  .events = {"busy", kCopying, "hide", "idle", kTitle, "folder"},
                  .written = {}},
        OrderCase{.name = "TruncatedExecutableEndsBeforeTheBrowser",
                  .embedded = true,
                  .truncated = true,
                  .events = {"busy", kCopying, "hide", "report Cabinet file open error", "idle"},
                  .written = {}}),
    [](const ::testing::TestParamInfo<OrderCase>& p) { return std::string(p.param.name); });

// ---------------------------------------------------------------------------------------
// Results that end the command

// No cabinet to read any more: the next entries would fail alike, so the command ends
// with the reason, after the progress window, and the entries that failed before are
// still reported.
TEST_F(ExtractJobTest, CabinetLostDuringTheRunEndsTheCommand) {
    const struct {
        const char* name;
        std::function<void(const QString& cab)> lose;
        const char* report;
    } cases[] = {
        {"Removed", [](const QString& cab) { QFile::remove(cab); }, "Cabinet file open error"},
        {"ReplacedByAnotherFile",
         [this](const QString& cab) {
             const QString other = Write(QStringLiteral("other"), QByteArray(200, 'z'));
             ASSERT_EQ(::rename(QFile::encodeName(other).constData(), QFile::encodeName(cab).constData()), 0);
         },
         "This is not a cabinet file!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ui.events.clear();
        QDir(Out()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(Out()));
        CabWriter w;
        w.addFolder(CabMethod::MsZip);
        w.addFile("d/unsafe", Data('d', 10));
        w.addFile("a.txt", Data('a', 3000));
        w.addFile("c.txt", Data('c', 7000));
        w.addFile("e.txt", Data('e', 9000));
        const QString cab = Write(QStringLiteral("lost.cab"), w.build());
        fdi::FDIFlushCache();
        // While the first entry written (a.txt) is being written.
        bool lost = false;
        SetProgressSink([&](int) {
            if (!std::exchange(lost, true))
                c.lose(cab);
        });
        Run(cab, {QStringLiteral("d/unsafe"), QStringLiteral("a.txt"), QStringLiteral("c.txt"),
                  QStringLiteral("e.txt")});
        SetProgressSink({});

        const QString progress =
            QStringLiteral("progress file ") + cab + QStringLiteral(" | Extracting file ");
        EXPECT_EQ(
            ui.events,
            QStringList({QStringLiteral("title file ") + cab, "folder", "busy", progress + "d/unsafe",
                         progress + "a.txt", progress + "c.txt", QStringLiteral("report ") + c.report, "hide",
                         "report These files were not extracted:\r\nd/unsafe : " + kUnsafeReason, "idle"}));
        EXPECT_EQ(Written(), QStringList({"a.txt"}));
        EXPECT_EQ(ReadAll(Out() + QStringLiteral("/a.txt")), Data('a', 3000));
    }
}

// ---------------------------------------------------------------------------------------
// Entries that begin in an earlier cabinet of a set

TEST_F(ExtractJobTest, EntryBeginningInAnEarlierCabinetIsFollowedBackOncePerCabinet) {
    QByteArray big(70000, '\0');
    for (int i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i % 253);
    CabWriter w;
    w.addFolder(CabMethod::Stored);
    w.addFile("first.txt", Data('f', 1000));
    w.addFile("big.bin", big);
    w.addFile("last.txt", Data('l', 1000));
    const std::vector<QByteArray> parts = w.buildSet(30000);
    ASSERT_GE(parts.size(), 3u);
    // The earlier cabinets are looked up beside the one named, not in the current folder.
    ASSERT_NE(QDir::currentPath(), dir.path());

    const struct {
        const char* name;
        std::function<void()> prepare;
        QStringList visited; // the cabinets the progress window names, in order
        bool whole;          // big.bin written whole
        QStringList events;  // what else was asked and reported
    } cases[] = {
        {"AllThere", {}, {"part3.cab", "part2.cab", "part1.cab"}, true, {}},
        {"EarlierCabinetNamedInAnotherCase",
         [&] { QFile::rename(Path("part1.cab"), Path("PART1.CAB")); },
         {"part3.cab", "part2.cab", "PART1.CAB"},
         true,
         {}},
        // part1.cab holds the middle cabinet, which names part1.cab as its earlier one.
        {"CycleIsReported",
         [&] {
             QFile::remove(Path("part1.cab"));
             QFile::copy(Path("part2.cab"), Path("part1.cab"));
         },
         {"part3.cab", "part2.cab", "part1.cab"},
         false,
         {"report These files were not extracted:\r\nbig.bin : the cabinet where the file begins is "
          "missing"}},
        // The driver warns about it itself: it is not reported again.
        {"MissingEarlierCabinetIsWarnedOnce",
         [&] { QFile::remove(Path("part1.cab")); },
         {"part3.cab", "part2.cab"},
         false,
         {"warn big.bin"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ui.events.clear();
        QDir(Out()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(Out()));
        for (const QString& name : QDir(dir.path()).entryList({"*.cab", "*.CAB"}, QDir::Files))
            QFile::remove(Path(name));
        for (size_t i = 0; i < parts.size(); ++i)
            Write(QStringLiteral("part%1.cab").arg(i + 1), parts[i]);
        fdi::FDIFlushCache();
        if (c.prepare)
            c.prepare();

        Run(Path("part3.cab"), {QStringLiteral("big.bin")});

        QStringList visited, others;
        const QString progress = QStringLiteral("progress file ") + dir.path() + QLatin1Char('/');
        for (const QString& e : ui.events) {
            if (e.startsWith(progress))
                visited << e.mid(progress.size()).section(QStringLiteral(" | "), 0, 0);
            else if (!QStringList({"folder", "busy", "hide", "idle"}).contains(e) && !e.startsWith("title "))
                others << e;
        }
        EXPECT_EQ(visited, c.visited);
        EXPECT_EQ(others, c.events);
        if (c.whole) {
            EXPECT_EQ(ReadAll(Out() + QStringLiteral("/big.bin")), big);
        } else {
            EXPECT_EQ(Written(), QStringList());
        }
    }
}

// ---------------------------------------------------------------------------------------
// The report of the entries not extracted

// Before, a failing entry either ended the command with "File decompression error" or
// ended it in silence. Now every entry is tried and those not extracted are named once,
// each with its reason, in the order they were asked for.
TEST_F(ExtractJobTest, EntriesNotExtractedAreReportedTogetherWithTheirReasons) {
    CabWriter w;
    w.addFolder(CabMethod::Stored);
    w.addFile("a-ok.txt", Data('a', 100));
    w.addFile("b-folder.txt", Data('b', 100));
    w.addFile("c-held.txt", Data('c', 100));
    w.addFile("d/unsafe", Data('d', 100));
    w.addFile("e-ok.txt", Data('e', 100));
    const int damaged = w.addFolder(CabMethod::Stored);
    test::CabFileSpec cut;
    cut.name = "f-damaged.txt";
    cut.data = Data('f', 100);
    cut.folder = damaged;
    cut.declaredSize = 100000; // beyond the data the cabinet holds
    w.addFile(cut);
    const QString cab = Write(QStringLiteral("mixed.cab"), w.build());

    ASSERT_TRUE(QDir().mkpath(Out() + QStringLiteral("/b-folder.txt")));
    const QString held = Write(QStringLiteral("out/c-held.txt"), "kept");
    const int holder = ::open(QFile::encodeName(held).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    Run(cab, {"f-damaged.txt", "a-ok.txt", "b-folder.txt", "c-held.txt", "d/unsafe", "e-ok.txt"});
    ::close(holder);

    EXPECT_EQ(ui.Reports(),
              QStringList({"These files were not extracted:\r\n"
                           "f-damaged.txt : the cabinet's data is damaged\r\n"
                           "b-folder.txt : a link, a special file or a folder of that name is in the way\r\n"
                           "c-held.txt : the file is in use by another program\r\n"
                           "d/unsafe : " +
                           kUnsafeReason}));
    EXPECT_TRUE(ui.calls.empty());
    // The entries around the failures were written; nothing half-written stands.
    EXPECT_EQ(ReadAll(Out() + QStringLiteral("/a-ok.txt")), Data('a', 100));
    EXPECT_EQ(ReadAll(Out() + QStringLiteral("/e-ok.txt")), Data('e', 100));
    EXPECT_EQ(ReadAll(held), QByteArray("kept"));
    EXPECT_EQ(Written(), QStringList({"a-ok.txt", "b-folder.txt", "c-held.txt", "e-ok.txt"}));
}

// Before, each unsafe name brought a warning of its own: 200 of them, 200 dialogs. Now one
// report lists the first lines, then how many more: a taller dialog would hide its OK
// button. One line more than the limit is shown rather than counted.
TEST_F(ExtractJobTest, ReportOfManyEntriesShowsTheFirstLinesThenCountsTheRest) {
    const struct {
        int unsafe;
        int listed;
        const char* more; // the last line, when the rest are counted
    } cases[] = {
        {ExtractJob::kNotExtractedLines, ExtractJob::kNotExtractedLines, nullptr},
        {ExtractJob::kNotExtractedLines + 1, ExtractJob::kNotExtractedLines + 1, nullptr},
        {ExtractJob::kNotExtractedLines + 2, ExtractJob::kNotExtractedLines,
         "… and 2 more files not extracted."},
        {200, ExtractJob::kNotExtractedLines, "… and 170 more files not extracted."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.unsafe);
        ui.events.clear();
        QFile::remove(Out() + QStringLiteral("/safe.txt"));
        CabWriter w;
        w.addFolder(CabMethod::Stored);
        QStringList names;
        for (int i = 0; i < c.unsafe; ++i) {
            w.addFile(QByteArray("x/") + QByteArray::number(i), "z");
            names << QStringLiteral("x/%1").arg(i);
        }
        w.addFile("safe.txt", "safe");
        names << QStringLiteral("safe.txt");
        Run(Write(QStringLiteral("unsafe%1.cab").arg(c.unsafe), w.build()), names);

        const QStringList reports = ui.Reports();
        ASSERT_EQ(reports.size(), 1);
        const QStringList lines = reports[0].split(QStringLiteral("\r\n"));
        EXPECT_EQ(lines.value(0), QStringLiteral("These files were not extracted:"));
        QStringList listed;
        for (int i = 0; i < c.listed; ++i)
            listed << QStringLiteral("x/%1 : ").arg(i) + kUnsafeReason;
        EXPECT_EQ(lines.mid(1, c.listed), listed);
        EXPECT_EQ(lines.size(), 1 + c.listed + (c.more ? 1 : 0));
        if (c.more) {
            EXPECT_EQ(lines.back(), QString::fromUtf8(c.more));
        }
        EXPECT_TRUE(ui.calls.empty()) << "no warning of its own for any of them";
        EXPECT_EQ(ReadAll(Out() + QStringLiteral("/safe.txt")), QByteArray("safe"));
    }
}

} // namespace
} // namespace morbek
