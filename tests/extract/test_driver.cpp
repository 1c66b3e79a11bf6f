// The extraction driver: which entries it writes and where, the replace confirmation,
// dates and attributes, cabinet sets, and names that must not escape the target folder.
#include "extract/Binding.h"
#include "extract/Driver.h"
#include "platform/fdi/fdi.h"
#include "platform/locale/Regional.h"
#include "platform/text/AnsiText.h"
#include "resources/MessageIds.h"
#include "resources/StringTable.h"
#include "tests/extract/FakeUi.h"
#include "tests/support/CabWriter.h"
#include "tests/support/Files.h"
#include "tests/support/QtPrinters.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace morbek {
namespace {

using test::CabFileSpec;
using test::CabLayout;
using test::CabWriter;
using test::DosDate;
using test::DosTime;
using testing::FakeUi;

using test::ReadAll;

time_t MTime(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mtim.tv_sec : -1;
}

mode_t Mode(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
}

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir().mkpath(Out()));
        SetExtractionUi(&ui);
        SetMessageText({});
        fdi::FDIFlushCache();
    }
    void TearDown() override {
        SetExtractionUi(nullptr);
        fdi::FDIFlushCache();
    }

    QString Path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }
    QString Out() const { return Path(QStringLiteral("out")) + QLatin1Char('/'); }

    QString Write(const QString& name, const QByteArray& bytes) const {
        QFile f(Path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    }
    QString WriteCab(const CabWriter& writer, const QString& name = QStringLiteral("test.cab")) const {
        return Write(name, writer.build());
    }

    ExtractResult Extract(const QString& cabinet, const QString& entry, int keepPaths = 0,
                          const QString& entryText = QStringLiteral("5\t12/03/1997 11:13:52")) {
        return ExtractEntry(cabinet, Out(), entry, entryText, keepPaths);
    }

    // Every path under the temporary folder, relative to it.
    QStringList Tree() const {
        QStringList all;
        QDirIterator it(dir.path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            all << QDir(dir.path()).relativeFilePath(it.next());
        all.sort();
        return all;
    }

    QTemporaryDir dir;
    FakeUi ui;
};

// ---------------------------------------------------------------------------------------
// Which entries are written, and where

// Before, every record whose name part matched was taken: asking for a\readme.txt asked
// to replace a file never asked for, then wrote b\readme.txt's contents.
TEST_F(DriverTest, OnlyTheWholeStoredNameMatchesAndASecondEntryOnTheSameTargetAsks) {
    CabWriter w;
    w.addFolder();
    w.addFile("a\\readme.txt", "first");
    w.addFile("b\\readme.txt", "second!");
    w.addFile("readme.txt", "third");
    const QString cab = WriteCab(w);
    const QString target = Out() + QStringLiteral("readme.txt");
    const QString entryText = QStringLiteral("7\t12/03/1997 11:13:52");

    // Each entry alone writes its own contents, silently.
    const struct {
        const char* entry;
        QByteArray content;
    } alone[] = {{"a\\readme.txt", "first"},     {"b\\readme.txt", "second!"}, {"readme.txt", "third"},
                 {"c\\readme.txt", "<missing>"}, {"readme", "<missing>"},      {"a\\", "<missing>"}};
    for (const auto& c : alone) {
        SCOPED_TRACE(c.entry);
        QFile::remove(target);
        ui.calls.clear();
        EXPECT_EQ(Extract(cab, QString::fromLatin1(c.entry), 0, entryText), ExtractResult::Done);
        EXPECT_TRUE(ui.calls.empty());
        EXPECT_EQ(Failure, ExtractFailure::None);
        EXPECT_EQ(ReadAll(target), c.content);
        EXPECT_EQ(RequestedName, QString::fromLatin1(c.entry).section(QLatin1Char('\\'), -1));
    }

    // The second of two selected entries landing on one target asks, with its stored date.
    const QDateTime stored(QDate(1997, 3, 12), QTime(11, 13, 52));
    const QString expected =
        QStringLiteral("Replace the file : ") + target + QStringLiteral("\r\n          5 bytes ") +
        platform::ShortDate(stored.date()) + QLatin1Char(' ') + platform::LongTime(stored.time()) +
        QStringLiteral("\r\n\nWith the file : ") + target + QStringLiteral("\r\n          ") + entryText;
    const struct {
        int answer;
        QByteArray content;
    } cases[] = {{kIdYes, "second!"}, {kIdNo, "first"}, {kIdCancel, "first"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        QFile::remove(target);
        EXPECT_EQ(Extract(cab, QStringLiteral("a\\readme.txt"), 0, entryText), ExtractResult::Done);
        ui.calls.clear();
        ui.answers = {c.answer};
        EXPECT_EQ(Extract(cab, QStringLiteral("b\\readme.txt"), 0, entryText), ExtractResult::Done);
        ASSERT_EQ(ui.calls.size(), 1u);
        EXPECT_TRUE(ui.calls[0].confirm);
        EXPECT_EQ(ui.calls[0].title, QStringLiteral("Please confirm file replacement"));
        EXPECT_EQ(ui.calls[0].text, expected);
        EXPECT_EQ(ReadAll(target), c.content);
        EXPECT_EQ(Failure, ExtractFailure::None) << "a declined replacement is no failure";
    }
    EXPECT_EQ(ProgressTotal, 7);
}

TEST_F(DriverTest, NameComparisonIsCaseSensitive) {
    CabWriter w;
    w.addFolder();
    w.addFile("readme.txt", "data");
    EXPECT_EQ(Extract(WriteCab(w), QStringLiteral("README.TXT")), ExtractResult::Done);
    EXPECT_TRUE(QDir(Out()).isEmpty());
    EXPECT_TRUE(ui.calls.empty());
}

TEST_F(DriverTest, KeepPathsDecidesWhetherFoldersAreRebuilt) {
    CabWriter w;
    w.addFolder();
    w.addFile("sub\\deep\\f.txt", "nested");
    const QString cab = WriteCab(w);

    EXPECT_EQ(Extract(cab, QStringLiteral("sub\\deep\\f.txt"), 0), ExtractResult::Done);
    EXPECT_EQ(ReadAll(Out() + QStringLiteral("f.txt")), QByteArray("nested"));
    EXPECT_FALSE(QFileInfo::exists(Out() + QStringLiteral("sub")));

    EXPECT_EQ(Extract(cab, QStringLiteral("sub\\deep\\f.txt"), 1), ExtractResult::Done);
    EXPECT_EQ(ReadAll(Out() + QStringLiteral("sub/deep/f.txt")), QByteArray("nested"));
    EXPECT_EQ(TargetPath, Out() + QStringLiteral("sub/deep/f.txt"));
}

TEST_F(DriverTest, LongPathsAndTextsAreKeptWhole) {
    // Stored names stop at 255 bytes; the target folder and the entry text do not.
    const QByteArray name = QByteArray(200, 'n') + ".txt";
    CabWriter w;
    w.addFolder();
    w.addFile("sub\\" + name, "long");
    const QString cab = WriteCab(w);
    const QString folder = Out() + QString(200, QLatin1Char('f')) + QLatin1Char('/');
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString longText = QStringLiteral("4 ") + QString(300, QLatin1Char('x'));

    const QString entry = QStringLiteral("sub\\") + QString::fromLatin1(name);
    EXPECT_EQ(ExtractEntry(cab, folder, entry, longText, 1), ExtractResult::Done);
    const QString target = folder + QStringLiteral("sub/") + QString::fromLatin1(name);
    ASSERT_GT(target.size(), 400);
    EXPECT_EQ(TargetPath, target);
    EXPECT_EQ(ReadAll(target), QByteArray("long"));

    ui.answers = {kIdNo};
    EXPECT_EQ(ExtractEntry(cab, folder, entry, longText, 1), ExtractResult::Done);
    ASSERT_EQ(ui.calls.size(), 1u);
    EXPECT_TRUE(ui.calls[0].text.endsWith(QStringLiteral("\r\n          ") + longText));
    EXPECT_EQ(ui.calls[0].text.count(target), 2);
}

TEST_F(DriverTest, ResultCodesBeforeTheLibraryRuns) {
    EXPECT_EQ(Extract(Path(QStringLiteral("missing.cab")), QStringLiteral("x")),
              ExtractResult::CannotOpenCabinet);
    EXPECT_EQ(Extract(Write(QStringLiteral("plain.cab"), QByteArray(200, 'z')), QStringLiteral("x")),
              ExtractResult::NotACabinet);
    EXPECT_EQ(CabContext, nullptr);
    EXPECT_TRUE(ui.calls.empty());
}

TEST_F(DriverTest, NotificationsItDoesNotHandleAreAnsweredZero) {
    fdi::FDINOTIFICATION n{};
    char empty[] = "";
    n.psz1 = n.psz2 = n.psz3 = empty;
    EXPECT_EQ(CabNotify(fdi::fdintCABINET_INFO, &n), 0);
    EXPECT_EQ(CabNotify(fdi::fdintENUMERATE, &n), 0);
    EXPECT_EQ(CabNotify(static_cast<fdi::FDINOTIFICATIONTYPE>(9), &n), 0);
}

TEST_F(DriverTest, ProgressTotalIsTheLeadingNumberOfTheEntryText) {
    CabWriter w;
    w.addFolder();
    w.addFile("f", "12345");
    const QString cab = WriteCab(w);
    const struct {
        const char* text;
        int64_t total;
    } cases[] = {{"  -1234 bytes", 1234}, {"+77", 77}, {"abc 12", 0}, {"", 0}, {"12a3", 12}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Extract(cab, QStringLiteral("nothing"), 0, QString::fromLatin1(c.text));
        EXPECT_EQ(ProgressTotal, c.total);
        EXPECT_EQ(ProgressDone, 0);
    }
}

TEST_F(DriverTest, PathHelpers) {
    EXPECT_EQ(AddDrivePrefix(QStringLiteral("out/")), QStringLiteral("/out/"));
    EXPECT_EQ(AddDrivePrefix(QStringLiteral("/out/")), QStringLiteral("/out/"));
    EXPECT_EQ(AddDrivePrefix(QStringLiteral("c:/out/")), QStringLiteral("/c:/out/"));
    EXPECT_TRUE(CreateFolders(Out() + QStringLiteral("x/y/")));
    EXPECT_TRUE(QFileInfo(Out() + QStringLiteral("x/y")).isDir());
    EXPECT_TRUE(CreateFolders(Out() + QStringLiteral("x/y/"))); // already there: no effect
}

// ---------------------------------------------------------------------------------------
// The written file: date, time, attributes, refusals of the binding

TEST_F(DriverTest, StoredDateIsLocalTimeAndReadOnlyClearsWriteBits) {
    CabWriter w;
    w.addFolder();
    CabFileSpec ro{"ro.txt", "r", DosDate(2001, 7, 15), DosTime(13, 5, 10), 0x61, 0, {}};
    CabFileSpec rw{"rw.txt", "w", DosDate(2001, 1, 15), DosTime(13, 5, 10), 0x20, 0, {}};
    w.addFile(ro);
    w.addFile(rw);
    const QString cab = WriteCab(w);

    EXPECT_EQ(Extract(cab, QStringLiteral("ro.txt")), ExtractResult::Done);
    EXPECT_EQ(Extract(cab, QStringLiteral("rw.txt")), ExtractResult::Done);
    EXPECT_EQ(Mode(Out() + QStringLiteral("ro.txt")) & 0222, 0u);
    EXPECT_NE(Mode(Out() + QStringLiteral("rw.txt")) & S_IWUSR, 0u);
    // The test environment runs in UTC.
    EXPECT_EQ(MTime(Out() + QStringLiteral("ro.txt")), 995202310);
    EXPECT_EQ(MTime(Out() + QStringLiteral("rw.txt")), 979563910);

    // Paris: summer time in July (+2), winter time in January (+1).
    const QByteArray savedTz = qgetenv("TZ");
    ::setenv("TZ", "Europe/Paris", 1);
    ::tzset();
    QFile::remove(Out() + QStringLiteral("ro.txt"));
    QFile::remove(Out() + QStringLiteral("rw.txt"));
    EXPECT_EQ(Extract(cab, QStringLiteral("ro.txt")), ExtractResult::Done);
    EXPECT_EQ(Extract(cab, QStringLiteral("rw.txt")), ExtractResult::Done);
    const time_t summer = MTime(Out() + QStringLiteral("ro.txt"));
    const time_t winter = MTime(Out() + QStringLiteral("rw.txt"));
    if (savedTz.isNull())
        ::unsetenv("TZ");
    else
        ::setenv("TZ", savedTz.constData(), 1);
    ::tzset();
    EXPECT_EQ(summer, 995202310 - 2 * 3600);
    EXPECT_EQ(winter, 979563910 - 3600);
}

// Before, the refusal ended the run in silence: the user was never told.
TEST_F(DriverTest, ReadOnlyTargetConfirmedIsReportedAsPermissionDenied) {
    CabWriter w;
    w.addFolder();
    w.addFile("f.txt", "new");
    w.addFile("later.txt", "later");
    const QString target = Write(QStringLiteral("out/f.txt"), "old");
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0444), 0);

    ui.answers = {kIdYes};
    EXPECT_EQ(Extract(WriteCab(w), QStringLiteral("f.txt")), ExtractResult::Done);
    EXPECT_EQ(ui.Count(true), 1);
    EXPECT_EQ(ui.Count(false), 0);
    EXPECT_EQ(ReadAll(target), QByteArray("old"));
    EXPECT_EQ(Failure, ExtractFailure::PermissionDenied);
    EXPECT_FALSE(FailureShown);
}

TEST_F(DriverTest, TargetThatCannotBeReadRaisesAFailure) {
    CabWriter w;
    w.addFolder();
    w.addFile("f.txt", "new");
    const QString target = Write(QStringLiteral("out/f.txt"), "old");
    // Another opener holds it without sharing (works for root too).
    const int holder = ::open(QFile::encodeName(target).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    EXPECT_EQ(Extract(WriteCab(w), QStringLiteral("f.txt")), ExtractResult::Failed);
    EXPECT_EQ(Failure, ExtractFailure::InUse);
    ::close(holder);
    EXPECT_TRUE(ui.calls.empty());
    EXPECT_EQ(ReadAll(target), QByteArray("old"));
}

// ---------------------------------------------------------------------------------------
// Cabinet sets

class DriverSetTest : public DriverTest {
protected:
    // two.bin begins in part1.cab and ends in part2.cab.
    static std::vector<QByteArray> Set(uint16_t setId = 7) {
        CabWriter w;
        w.setSetId(setId);
        w.addFolder();
        w.addFile("one.bin", QByteArray(3000, '1'));
        w.addFile("two.bin", Two());
        w.addFile("sub\\three.bin", QByteArray(3000, '3'));
        return w.buildSet(4000);
    }
    static QByteArray Two() {
        QByteArray two;
        for (int i = 0; i < 3000; ++i)
            two += static_cast<char>('a' + i % 26);
        return two;
    }
    QString Part(int i) const { return Path(QStringLiteral("part%1.cab").arg(i)); }
};

TEST_F(DriverSetTest, ContinuedEntryFollowsIntoTheNextCabinet) {
    const auto set = Set();
    ASSERT_GE(set.size(), 2u);
    const QString first = Write(QStringLiteral("part1.cab"), set[0]);
    // Written on a case-insensitive system: the header's name differs in case.
    Write(QStringLiteral("PART2.CAB"), set[1]);
    for (size_t i = 2; i < set.size(); ++i)
        Write(QStringLiteral("part%1.cab").arg(i + 1), set[i]);
    EXPECT_EQ(Extract(first, QStringLiteral("two.bin")), ExtractResult::Done);
    EXPECT_TRUE(ReadAll(Out() + QStringLiteral("two.bin")) == Two());
    EXPECT_TRUE(ui.calls.empty());
}

TEST_F(DriverSetTest, MissingNextCabinetWarnsAndLeavesNoPartialFile) {
    const auto set = Set();
    const QString first = Write(QStringLiteral("part1.cab"), set[0]);
    EXPECT_EQ(Extract(first, QStringLiteral("two.bin")), ExtractResult::Done);
    ASSERT_EQ(ui.calls.size(), 1u);
    EXPECT_FALSE(ui.calls[0].confirm);
    EXPECT_EQ(ui.calls[0].title, QStringLiteral("two.bin"));
    EXPECT_EQ(ui.calls[0].text,
              QStringLiteral("The cabinet file part2.cab where is the second part of the file to "
                             "extract cannot be found.\r\nCannot extract the file."));
    EXPECT_FALSE(QFileInfo::exists(Out() + QStringLiteral("two.bin")));
    // Not extracted, and already told: the command does not list it again.
    EXPECT_EQ(Failure, ExtractFailure::NextCabinetMissing);
    EXPECT_TRUE(FailureShown);
}

TEST_F(DriverSetTest, NextCabinetOfAnotherSetEndsWithTheWarning) {
    const auto set = Set(7);
    const auto other = Set(8);
    const QString first = Write(QStringLiteral("part1.cab"), set[0]);
    Write(QStringLiteral("part2.cab"), other[1]);
    EXPECT_EQ(Extract(first, QStringLiteral("two.bin")), ExtractResult::Done);
    ASSERT_EQ(ui.calls.size(), 1u);
    EXPECT_TRUE(ui.calls[0].text.startsWith(QStringLiteral("The cabinet file part2.cab ")));
    EXPECT_FALSE(QFileInfo::exists(Out() + QStringLiteral("two.bin")));
}

TEST_F(DriverSetTest, EntryBeginningInAnEarlierCabinet) {
    const auto set = Set();
    const QString second = Write(QStringLiteral("part2.cab"), set[1]);
    // The earlier cabinet is looked up beside this one, not in the current folder.
    ASSERT_NE(QDir::currentPath(), dir.path());

    EXPECT_EQ(Extract(second, QStringLiteral("two.bin")), ExtractResult::Done);
    ASSERT_EQ(ui.calls.size(), 1u);
    EXPECT_EQ(ui.calls[0].title, QStringLiteral("two.bin"));
    EXPECT_EQ(ui.calls[0].text,
              QStringLiteral("The file is the second part of two.bin beginning in the cabinet "
                             "file: part1.cab\r\nCannot extract the file."));
    EXPECT_TRUE(PreviousCabinet.isEmpty());
    EXPECT_EQ(Failure, ExtractFailure::EarlierCabinetMissing);
    EXPECT_TRUE(FailureShown);

    ui.calls.clear();
    Write(QStringLiteral("Part1.CAB"), set[0]);
    EXPECT_EQ(Extract(second, QStringLiteral("two.bin")), ExtractResult::BeginsInEarlierCabinet);
    EXPECT_EQ(PreviousCabinet, QStringLiteral("part1.cab"));
    EXPECT_EQ(Failure, ExtractFailure::None);
    EXPECT_TRUE(ui.calls.empty());
    EXPECT_FALSE(QFileInfo::exists(Out() + QStringLiteral("two.bin")));

    // A new run empties it.
    EXPECT_EQ(Extract(second, QStringLiteral("nothing")), ExtractResult::Done);
    EXPECT_TRUE(PreviousCabinet.isEmpty());

    // The whole stored name is compared: sub\three.bin is not three.bin here.
    ASSERT_GE(set.size(), 3u);
    const QString third = Write(QStringLiteral("part3.cab"), set[2]);
    EXPECT_EQ(Extract(third, QStringLiteral("three.bin"), 1), ExtractResult::Done);
    EXPECT_TRUE(PreviousCabinet.isEmpty());
    EXPECT_TRUE(ui.calls.empty());
    EXPECT_TRUE(QDir(Out()).isEmpty());
    EXPECT_EQ(Extract(third, QStringLiteral("sub\\three.bin"), 1), ExtractResult::BeginsInEarlierCabinet);
    EXPECT_EQ(PreviousCabinet, QStringLiteral("part2.cab"));
}

// ---------------------------------------------------------------------------------------
// Names that must not leave the target folder

// Unsafe names are no longer warned about one run at a time: each run records the
// refusal and the command reports all of them in one message.
TEST_F(DriverTest, UnsafeNamesAreRefusedAndRecordedNotWarned) {
    CabWriter w;
    w.addFolder();
    w.addFile("..\\..\\evil", "1");
    w.addFile("a\\..\\evil", "2");
    w.addFile("a\\\\evil", "3");
    w.addFile("\\evil", "4");
    w.addFile("x/../../escape", "5");
    w.addFile("..", "6");
    w.addFile("ok\\evil", "7");
    const QString cab = WriteCab(w);
    const QStringList before = Tree();

    const struct {
        const char* entry;
        int keepPaths;
        ExtractFailure failure;
    } cases[] = {
        {"..\\..\\evil", 1, ExtractFailure::UnsafeName},
        {"a\\..\\evil", 1, ExtractFailure::UnsafeName},
        {"a\\\\evil", 1, ExtractFailure::UnsafeName},
        {"\\evil", 1, ExtractFailure::UnsafeName},
        // A '/' in the name part, and a name part of "..", whatever KeepPaths says.
        {"x/../../escape", 0, ExtractFailure::UnsafeName},
        {"x/../../escape", 1, ExtractFailure::UnsafeName},
        {"..", 0, ExtractFailure::UnsafeName},
        // A name ending like the requested one after a '/' is not that entry.
        {"escape", 1, ExtractFailure::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.entry << " keepPaths " << c.keepPaths);
        ui.calls.clear();
        EXPECT_EQ(Extract(cab, QString::fromLatin1(c.entry), c.keepPaths), ExtractResult::Done);
        EXPECT_EQ(Failure, c.failure);
        EXPECT_TRUE(ui.calls.empty());
        EXPECT_EQ(Tree(), before);
    }

    // With folders rebuilt, the safe path is written.
    EXPECT_EQ(Extract(cab, QStringLiteral("ok\\evil"), 1), ExtractResult::Done);
    EXPECT_EQ(Failure, ExtractFailure::None);
    EXPECT_EQ(ReadAll(Out() + QStringLiteral("ok/evil")), QByteArray("7"));
}

TEST_F(DriverTest, LinksInTheTargetFolderAreNotFollowed) {
    CabWriter w;
    w.addFolder();
    w.addFile("readme.txt", "payload");
    w.addFile("sub\\f.txt", "payload");
    w.addFile("file\\f.txt", "payload");
    w.addFile("fifo", "payload");
    const QString cab = WriteCab(w);
    const QString outside = Write(QStringLiteral("outside.txt"), "keep");
    ASSERT_TRUE(QDir().mkpath(Path(QStringLiteral("elsewhere"))));
    ASSERT_TRUE(QFile::link(outside, Out() + QStringLiteral("readme.txt")));
    ASSERT_TRUE(QFile::link(Path(QStringLiteral("elsewhere")), Out() + QStringLiteral("sub")));
    Write(QStringLiteral("out/file"), "a file where a folder goes");
    ASSERT_EQ(::mkfifo(QFile::encodeName(Out() + QStringLiteral("fifo")).constData(), 0600), 0);

    const struct {
        const char* entry;
        int keepPaths;
    } cases[] = {{"readme.txt", 0}, {"sub\\f.txt", 1}, {"file\\f.txt", 1}, {"fifo", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        ui.answers = {kIdYes, kIdYes};
        ui.calls.clear();
        EXPECT_EQ(Extract(cab, QString::fromLatin1(c.entry), c.keepPaths), ExtractResult::Done);
        EXPECT_EQ(Failure, ExtractFailure::InTheWay);
        EXPECT_TRUE(ui.calls.empty());
        EXPECT_EQ(ReadAll(outside), QByteArray("keep"));
        EXPECT_TRUE(QDir(Path(QStringLiteral("elsewhere"))).isEmpty());
        EXPECT_EQ(ReadAll(Out() + QStringLiteral("file")), QByteArray("a file where a folder goes"));
    }
}

// ---------------------------------------------------------------------------------------
// Why an entry was not written

// Before, every one of these ended the run in silence.
TEST_F(DriverTest, EachFailureIsRecordedWithItsCauseAndLeavesNothingUnderTheName) {
    const QByteArray data(20000, 'd');
    const auto plain = [&](test::CabMethod method) {
        CabWriter w;
        w.addFolder(method);
        w.addFile("f.txt", data);
        return w;
    };
    const struct {
        const char* what;
        std::function<QByteArray()> cabinet;
        std::function<void()> prepare;
        ExtractFailure failure;
    } cases[] = {
        {"data that fails its checksum",
         [&] {
             CabLayout layout;
             QByteArray b = plain(test::CabMethod::Stored).build(&layout);
             b[static_cast<qsizetype>(layout.dataBlocks[0] + 8 + 10)] ^= 0x55;
             return b;
         },
         {},
         ExtractFailure::DamagedData},
        {"a cabinet cut short",
         [&] {
             CabLayout layout;
             const QByteArray b = plain(test::CabMethod::Stored).build(&layout);
             return b.left(static_cast<qsizetype>(layout.dataBlocks[0] + 100));
         },
         {},
         ExtractFailure::DamagedData},
        {"a declared size beyond the data",
         [&] {
             CabWriter w;
             w.addFolder();
             CabFileSpec f;
             f.name = "f.txt";
             f.data = data;
             f.declaredSize = 90000;
             w.addFile(f);
             return w.build();
         },
         {},
         ExtractFailure::DamagedData},
        {"a block that inflates past its size",
         [&] {
             CabWriter w = plain(test::CabMethod::MsZip);
             w.setChecksums(false);
             CabLayout layout;
             QByteArray b = w.build(&layout);
             test::PutU16(b, layout.dataBlocks[0] + 6, 100);
             return b;
         },
         {},
         ExtractFailure::DamagedData},
        {"a folder of that name", [&] { return plain(test::CabMethod::Stored).build(); },
         [&] { QDir().mkpath(Out() + QStringLiteral("f.txt")); }, ExtractFailure::InTheWay},
        {"a file larger than the process may write", [&] { return plain(test::CabMethod::Stored).build(); },
         [] {
             ::signal(SIGXFSZ, SIG_IGN);
             const struct rlimit small = {4096, RLIM_INFINITY};
             ::setrlimit(RLIMIT_FSIZE, &small);
         },
         ExtractFailure::DiskFull},
        {"an entry not in the cabinet",
         [&] {
             CabWriter w;
             w.addFolder();
             w.addFile("g.txt", "g");
             return w.build();
         },
         {},
         ExtractFailure::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(Out()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(Out()));
        const QString cab = Write(QStringLiteral("case.cab"), c.cabinet());
        fdi::FDIFlushCache();
        if (c.prepare)
            c.prepare();
        const ExtractResult result = Extract(cab, QStringLiteral("f.txt"));
        const struct rlimit unlimited = {RLIM_INFINITY, RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
        EXPECT_EQ(result, ExtractResult::Done);
        EXPECT_EQ(Failure, c.failure) << FailureText(Failure).toStdString();
        EXPECT_FALSE(FailureShown);
        EXPECT_TRUE(ui.calls.empty());
        EXPECT_FALSE(QFileInfo(Out() + QStringLiteral("f.txt")).isFile());
        EXPECT_EQ(QDir(Out()).entryList(QDir::Files | QDir::Hidden).size(), 0);
    }
}

TEST(DriverFailures, CausesAndTheirReasons) {
    const struct {
        int error;
        ExtractFailure failure;
    } errors[] = {
        {ENOSPC, ExtractFailure::DiskFull},         {EDQUOT, ExtractFailure::DiskFull},
        {EFBIG, ExtractFailure::DiskFull},          {EACCES, ExtractFailure::PermissionDenied},
        {EPERM, ExtractFailure::PermissionDenied},  {EROFS, ExtractFailure::PermissionDenied},
        {EWOULDBLOCK, ExtractFailure::InUse},       {ENOTDIR, ExtractFailure::InTheWay},
        {EISDIR, ExtractFailure::InTheWay},         {ELOOP, ExtractFailure::InTheWay},
        {ENAMETOOLONG, ExtractFailure::UnsafeName}, {EILSEQ, ExtractFailure::UnsafeName},
        {ENOMEM, ExtractFailure::OutOfMemory},      {EIO, ExtractFailure::WriteFailed},
    };
    for (const auto& e : errors)
        EXPECT_EQ(FailureOfErrno(e.error), e.failure) << std::strerror(e.error);

    const struct {
        int oper, writeError;
        ExtractFailure failure;
    } library[] = {
        {fdi::FDIERROR_CORRUPT_CABINET, 0, ExtractFailure::DamagedData},
        {fdi::FDIERROR_EOF, 0, ExtractFailure::DamagedData},
        {fdi::FDIERROR_MDI_FAIL, 0, ExtractFailure::DamagedData},
        {fdi::FDIERROR_BAD_COMPR_TYPE, 0, ExtractFailure::UnsupportedMethod},
        {fdi::FDIERROR_ALLOC_FAIL, 0, ExtractFailure::OutOfMemory},
        {fdi::FDIERROR_TARGET_FILE, ENOSPC, ExtractFailure::DiskFull},
        {fdi::FDIERROR_TARGET_FILE, 0, ExtractFailure::WriteFailed},
        {fdi::FDIERROR_CABINET_NOT_FOUND, 0, ExtractFailure::CannotOpenCabinet},
        {fdi::FDIERROR_WRONG_CABINET, 0, ExtractFailure::NextCabinetMissing},
        {fdi::FDIERROR_USER_ABORT, 0, ExtractFailure::Stopped},
    };
    for (const auto& l : library)
        EXPECT_EQ(FailureOfLibrary(l.oper, l.writeError), l.failure) << l.oper << " " << l.writeError;

    // Every cause has a reason of its own, in every language of the table.
    SetMessageText({});
    QSet<int> numbers;
    for (int f = static_cast<int>(ExtractFailure::DamagedData);
         f <= static_cast<int>(ExtractFailure::Stopped); ++f) {
        const auto failure = static_cast<ExtractFailure>(f);
        const int n = FailureMessage(failure);
        SCOPED_TRACE(n);
        EXPECT_FALSE(numbers.contains(n));
        numbers.insert(n);
        for (int language : {0, 1000, 2000})
            EXPECT_FALSE(LoadStringEntry(language + n).isEmpty());
        EXPECT_EQ(FailureText(failure), LoadStringEntry(1000 + n));
    }
    EXPECT_EQ(FailureMessage(ExtractFailure::None), 0);
    EXPECT_TRUE(FailureText(ExtractFailure::None).isEmpty());
    EXPECT_EQ(LoadStringEntry(1000 + msg::NotExtractedList),
              QStringLiteral("These files were not extracted:"));
}

// ---------------------------------------------------------------------------------------
// Links swapped in while a run goes on

// Before, after Yes the staged write refused the link and the fallback open followed it,
// truncating the file outside.
TEST_F(DriverTest, TargetSwappedForALinkWhileTheQuestionIsOpenIsNotFollowed) {
    CabWriter w;
    w.addFolder();
    w.addFile("f.txt", "new");
    const QString cab = WriteCab(w);
    const QString outside = Write(QStringLiteral("outside.txt"), "outside, keep");
    for (const bool readOnlyOutside : {false, true}) {
        SCOPED_TRACE(readOnlyOutside);
        const QString target = Write(QStringLiteral("out/f.txt"), "old");
        ::chmod(QFile::encodeName(outside).constData(), readOnlyOutside ? 0444 : 0644);
        ui.answers = {kIdYes};
        ui.whileAsking = [&] {
            QFile::remove(target);
            ASSERT_TRUE(QFile::link(outside, target));
        };
        EXPECT_EQ(Extract(cab, QStringLiteral("f.txt")), ExtractResult::Done);
        ui.whileAsking = {};
        EXPECT_EQ(ui.Count(true), 1);
        EXPECT_EQ(ReadAll(outside), QByteArray("outside, keep"));
        EXPECT_EQ(Failure, ExtractFailure::InTheWay);
        EXPECT_TRUE(QFileInfo(target).isSymLink());
        QFile::remove(target);
        ui.calls.clear();
    }
}

// Before, the folders were checked, then created and written by path: a folder swapped
// for a link in between sent the file outside.
TEST_F(DriverTest, FolderSwappedForALinkDuringRunsNeverSendsAFileOutside) {
    CabWriter w;
    w.addFolder();
    w.addFile("sub\\file", "payload");
    const QString cab = WriteCab(w);
    const QString outside = Path(QStringLiteral("outside"));
    ASSERT_TRUE(QDir().mkpath(outside));
    ASSERT_TRUE(QDir().mkpath(Out() + QStringLiteral("sub")));
    ASSERT_TRUE(QFile::link(outside, Out() + QStringLiteral("alt")));
    const QByteArray sub = QFile::encodeName(Out() + QStringLiteral("sub"));
    const QByteArray alt = QFile::encodeName(Out() + QStringLiteral("alt"));

    // "sub" is by turns the real folder and a link to the outside one, swapped atomically.
    std::atomic<bool> stop{false};
    std::atomic<int> swaps{0};
    std::thread swapper([&] {
        while (!stop.load()) {
            if (::renameat2(AT_FDCWD, sub.constData(), AT_FDCWD, alt.constData(), RENAME_EXCHANGE) == 0)
                ++swaps;
        }
    });
    int written = 0, refused = 0;
    for (int i = 0; i < 200; ++i) {
        ui.answers = {kIdYes};
        Extract(cab, QStringLiteral("sub\\file"), 1);
        written += Failure == ExtractFailure::None;
        refused += Failure == ExtractFailure::InTheWay;
    }
    stop = true;
    swapper.join();
    EXPECT_GT(swaps.load(), 0);
    EXPECT_EQ(written + refused, 200);
    EXPECT_TRUE(QDir(outside).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
}

// ---------------------------------------------------------------------------------------
// Hidden files left by killed runs

TEST_F(DriverTest, LeftoversOfKilledRunsAreRemovedOncePerCommandAndFolder) {
    CabWriter w;
    w.addFolder();
    w.addFile("sub\\f.txt", "f");
    const QString cab = WriteCab(w);
    const QString sub = Out() + QStringLiteral("sub/");
    ASSERT_TRUE(QDir().mkpath(sub));
    const QString outside = Write(QStringLiteral("outside.txt"), "x");

    struct Entry {
        const char* name;
        enum Kind { Leftover, Link, Folder, Locked } kind;
        bool removed;
    };
    const Entry entries[] = {
        {".a.txt.morbek-Ab12cZ", Entry::Leftover, true},
        {".morbek-abcdef", Entry::Leftover, true},
        {"a.txt.morbek-abcdef", Entry::Leftover, false}, // not a name we give
        {".b.txt.morbek-abcde", Entry::Leftover, false},
        {".l.txt.morbek-linked", Entry::Link, false},
        {".d.txt.morbek-folder", Entry::Folder, false},
        {".h.txt.morbek-heldby", Entry::Locked, false}, // a live run's
    };
    std::vector<int> holders;
    const auto make = [&](const QString& folder) {
        for (const Entry& e : entries) {
            const QString path = folder + QString::fromLatin1(e.name);
            switch (e.kind) {
            case Entry::Leftover:
                Write(QDir(dir.path()).relativeFilePath(path), "half");
                break;
            case Entry::Link:
                ASSERT_TRUE(QFile::link(outside, path));
                break;
            case Entry::Folder:
                ASSERT_TRUE(QDir().mkpath(path));
                break;
            case Entry::Locked: {
                Write(QDir(dir.path()).relativeFilePath(path), "half");
                const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
                ASSERT_GE(fd, 0);
                ASSERT_EQ(::flock(fd, LOCK_EX), 0);
                holders.push_back(fd);
                break;
            }
            }
        }
    };
    const auto expectCleared = [&](const QString& folder, bool cleared) {
        for (const Entry& e : entries) {
            SCOPED_TRACE(e.name);
            QFileInfo info(folder + QString::fromLatin1(e.name));
            EXPECT_EQ(!info.exists() && !info.isSymLink(), cleared && e.removed);
        }
    };
    make(Out());
    make(sub);

    {
        ExtractCommandScope command;
        EXPECT_EQ(Extract(cab, QStringLiteral("sub\\f.txt"), 1), ExtractResult::Done);
        expectCleared(Out(), true);
        expectCleared(sub, true);
        EXPECT_EQ(ReadAll(sub + QStringLiteral("f.txt")), QByteArray("f"));
        // Within the command, a folder already cleared is not looked at again.
        Write(QStringLiteral("out/.again.morbek-abcdef"), "half");
        ui.answers = {kIdYes};
        EXPECT_EQ(Extract(cab, QStringLiteral("sub\\f.txt"), 1), ExtractResult::Done);
        EXPECT_TRUE(QFileInfo::exists(Out() + QStringLiteral(".again.morbek-abcdef")));
    }
    // A new command clears it; the outside file behind the link is untouched.
    ui.answers = {kIdYes};
    EXPECT_EQ(Extract(cab, QStringLiteral("sub\\f.txt"), 1), ExtractResult::Done);
    EXPECT_FALSE(QFileInfo::exists(Out() + QStringLiteral(".again.morbek-abcdef")));
    EXPECT_EQ(ReadAll(outside), QByteArray("x"));
    for (int fd : holders)
        ::close(fd);
}

} // namespace
} // namespace morbek
