// The driver writes each entry under a hidden name beside its target and renames it into
// place once the library has closed it whole: what the target folder holds while an
// entry is written, after a run that fails part way, and the date, attributes and
// permissions of a file that was replaced.
#include "extract/Binding.h"
#include "extract/Driver.h"
#include "extract/StagedTarget.h"
#include "platform/fdi/fdi.h"
#include "tests/extract/FakeUi.h"
#include "tests/support/CabWriter.h"
#include "tests/support/Files.h"
#include "tests/support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace morbek {
namespace {

using test::CabFileSpec;
using test::CabLayout;
using test::CabMethod;
using test::CabWriter;
using test::DosDate;
using test::DosTime;
using testing::FakeUi;

using test::Pattern;
using test::ReadAll;

class DriverStagingTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        SetExtractionUi(&ui);
        SetMessageText({});
        fdi::FDIFlushCache();
    }
    void TearDown() override {
        SetProgressSink({});
        SetExtractionUi(nullptr);
        fdi::FDIFlushCache();
    }

    QString Out() const { return dir.path() + QStringLiteral("/"); }
    QString Write(const QString& name, const QByteArray& bytes, mode_t mode = 0644) const {
        EXPECT_TRUE(test::WriteFile(Out() + name, bytes));
        EXPECT_EQ(::chmod(QFile::encodeName(Out() + name).constData(), mode), 0);
        return Out() + name;
    }
    QStringList Names() const {
        QStringList names =
            QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        names.sort();
        return names;
    }
    // The cabinet is kept in a folder of its own, so that the target folder holds only
    // what the driver writes.
    QString Cabinet(const QByteArray& bytes) {
        const QString path = cabinets.filePath(QStringLiteral("test.cab"));
        EXPECT_TRUE(test::WriteFile(path, bytes));
        return path;
    }
    ExtractResult Extract(const QString& cabinet, const QString& entry) {
        return ExtractEntry(cabinet, Out(), entry, QStringLiteral("100000 12/03/1997 11:13:52"), 0);
    }

    // A stored entry of three data blocks whose cabinet ends inside the second block: the
    // library begins the entry, then fails.
    QByteArray CutInTheMiddle(const QByteArray& name) {
        CabWriter w;
        w.addFolder(CabMethod::Stored);
        w.addFile(name, Pattern(80000));
        CabLayout layout;
        const QByteArray whole = w.build(&layout);
        EXPECT_GE(layout.dataBlocks.size(), 3u);
        return whole.left(static_cast<qsizetype>(layout.dataBlocks[1] + 100));
    }

    QTemporaryDir dir, cabinets;
    FakeUi ui;
};

TEST_F(DriverStagingTest, WhileAnEntryIsWrittenItsNameHoldsNothingOrTheOldFile) {
    CabWriter w;
    w.addFolder(CabMethod::MsZip);
    w.addFile("new.bin", Pattern(100000));
    const QByteArray longName = QByteArray(250, 'n');
    w.addFile(longName, Pattern(100000));
    const QString cab = Cabinet(w.build());
    Write(QStringLiteral("old.bin"), "old");

    struct Seen {
        QStringList names;
        QByteArray target;
    };
    Seen seen;
    QString watched;
    SetProgressSink([&](int) {
        if (!seen.names.isEmpty())
            return;
        seen.names = Names();
        seen.target = ReadAll(Out() + watched);
    });

    // A new entry: absent under its name, written under ".<name>.morbek-XXXXXX".
    watched = QStringLiteral("new.bin");
    EXPECT_EQ(Extract(cab, watched), ExtractResult::Done);
    ASSERT_EQ(seen.names.size(), 2);
    EXPECT_EQ(seen.names[0], QStringLiteral(".new.bin.morbek-") + seen.names[0].right(6));
    EXPECT_TRUE(IsStagingName(seen.names[0]));
    EXPECT_EQ(seen.target, QByteArray("<missing>"));
    EXPECT_EQ(ReadAll(Out() + watched), Pattern(100000));
    EXPECT_EQ(Names(), QStringList({"new.bin", "old.bin"}));

    // A name too long to carry: ".morbek-XXXXXX".
    seen = {};
    watched = QString::fromLatin1(longName);
    EXPECT_EQ(Extract(cab, watched), ExtractResult::Done);
    ASSERT_EQ(seen.names.size(), 3);
    EXPECT_TRUE(seen.names[0].startsWith(QStringLiteral(".morbek-"))) << seen.names[0].toStdString();
    EXPECT_TRUE(IsStagingName(seen.names[0]));
    EXPECT_EQ(ReadAll(Out() + watched), Pattern(100000));

    // A confirmed replacement: the old contents stay under the name until the end.
    CabWriter r;
    r.addFolder(CabMethod::MsZip);
    r.addFile("old.bin", Pattern(100000));
    const QString replacing = Cabinet(r.build());
    seen = {};
    watched = QStringLiteral("old.bin");
    ui.answers = {kIdYes};
    EXPECT_EQ(Extract(replacing, watched), ExtractResult::Done);
    EXPECT_EQ(seen.target, QByteArray("old"));
    EXPECT_EQ(ReadAll(Out() + watched), Pattern(100000));
    EXPECT_EQ(Names().filter(QStringLiteral(".morbek-")), QStringList());
}

// Before, the old file was emptied when the replacement began and deleted when the
// library failed: the user lost it for a confirmation they gave.
TEST_F(DriverStagingTest, ReplacementThatFailsPartWayLeavesTheOldFileWhole) {
    const QString target = Write(QStringLiteral("data.bin"), "precious", 0640);
    ui.answers = {kIdYes};
    EXPECT_EQ(Extract(Cabinet(CutInTheMiddle("data.bin")), QStringLiteral("data.bin")), ExtractResult::Done);
    EXPECT_EQ(ui.Count(true), 1);
    EXPECT_GT(ProgressDone, 0) << "the library never began the entry";
    EXPECT_EQ(ReadAll(target), QByteArray("precious"));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Names(), QStringList({"data.bin"}));

    // The same for an entry that continues in a cabinet that is missing.
    CabWriter w;
    w.setSetId(3);
    w.addFolder();
    w.addFile("data.bin", Pattern(9000));
    const std::vector<QByteArray> set = w.buildSet(4000);
    ASSERT_GE(set.size(), 2u);
    ui.answers = {kIdYes};
    ui.calls.clear();
    EXPECT_EQ(Extract(Cabinet(set[0]), QStringLiteral("data.bin")), ExtractResult::Done);
    ASSERT_EQ(ui.calls.size(), 2u);
    EXPECT_FALSE(ui.calls[1].confirm); // the missing-continuation warning
    EXPECT_EQ(ReadAll(target), QByteArray("precious"));
    EXPECT_EQ(Names(), QStringList({"data.bin"}));
}

TEST_F(DriverStagingTest, NewEntryThatFailsPartWayLeavesNothing) {
    EXPECT_EQ(Extract(Cabinet(CutInTheMiddle("data.bin")), QStringLiteral("data.bin")), ExtractResult::Done);
    EXPECT_GT(ProgressDone, 0);
    EXPECT_EQ(Names(), QStringList());
}

TEST_F(DriverStagingTest, ReplacedFileKeepsItsPermissionsAndTakesTheStoredDateAndReadOnly) {
    CabWriter w;
    w.addFolder();
    w.addFile(CabFileSpec{"rw.txt", "new", DosDate(2001, 1, 15), DosTime(13, 5, 10), 0x20, 0, {}});
    w.addFile(CabFileSpec{"ro.txt", "new", DosDate(2001, 7, 15), DosTime(13, 5, 10), 0x21, 0, {}});
    const QString cab = Cabinet(w.build());
    Write(QStringLiteral("rw.txt"), "old", 0600);
    Write(QStringLiteral("ro.txt"), "old", 0750);

    ui.answers = {kIdYes, kIdYes};
    EXPECT_EQ(Extract(cab, QStringLiteral("rw.txt")), ExtractResult::Done);
    EXPECT_EQ(Extract(cab, QStringLiteral("ro.txt")), ExtractResult::Done);
    struct stat rw {
    }, ro{};
    ASSERT_EQ(::stat(QFile::encodeName(Out() + QStringLiteral("rw.txt")).constData(), &rw), 0);
    ASSERT_EQ(::stat(QFile::encodeName(Out() + QStringLiteral("ro.txt")).constData(), &ro), 0);
    EXPECT_EQ(ReadAll(Out() + QStringLiteral("rw.txt")), QByteArray("new"));
    EXPECT_EQ(ReadAll(Out() + QStringLiteral("ro.txt")), QByteArray("new"));
    EXPECT_EQ(rw.st_mode & 07777, 0600u);
    EXPECT_EQ(ro.st_mode & 07777, 0550u); // read-only clears the write bits only
    // The test environment runs in UTC.
    EXPECT_EQ(rw.st_mtim.tv_sec, 979563910);
    EXPECT_EQ(ro.st_mtim.tv_sec, 995202310);

    // Once read-only, a confirmed replacement is refused and nothing is left behind.
    ui.answers = {kIdYes};
    EXPECT_EQ(Extract(cab, QStringLiteral("ro.txt")), ExtractResult::Done);
    EXPECT_EQ(ReadAll(Out() + QStringLiteral("ro.txt")), QByteArray("new"));
    EXPECT_EQ(Names(), QStringList({"ro.txt", "rw.txt"}));
}

TEST(StagingName, OnlyTheHiddenNamesGivenToStagedFiles) {
    for (const char* name : {".a.txt.morbek-Ab12cZ", ".morbek-abcdef"})
        EXPECT_TRUE(IsStagingName(QString::fromLatin1(name))) << name;
    for (const char* name : {"a.txt", "a.txt.morbek-abcdef", ".a.txt.morbek-abcde", ".a.txt.morbek-abcdefg",
                             ".a.txt.morbek-ab_def", ".a.txt-morbek-abcdef", ""})
        EXPECT_FALSE(IsStagingName(QString::fromLatin1(name))) << name;
}

} // namespace
} // namespace morbek
