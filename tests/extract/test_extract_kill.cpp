// A real process killed with SIGKILL while it writes a 64 MiB entry: what it leaves in
// the target folder is sound. A file the user agreed to replace holds either its old
// contents or the whole new ones; a new entry is never left half-written under its name;
// what the killed run leaves behind is hidden and is not taken for the entry by the next.
#include "extract/Driver.h"
#include "extract/StagedTarget.h"
#include "platform/fdi/fdi.h"
#include "tests/extract/FakeUi.h"
#include "tests/support/CabWriter.h"
#include "tests/support/ProcessHarness.h"
#include "tests/support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <memory>
#include <sys/stat.h>
#include <thread>

namespace morbek {
namespace {

using test::CabMethod;
using test::CabWriter;
using test::RunningProgram;

constexpr qsizetype kEntrySize = 64 * 1024 * 1024;
const QString kEntry = QStringLiteral("big.bin");

// Compressible but not trivial: every 32 KiB block differs, so that decoding is real work.
QByteArray EntryContents() {
    QByteArray data(kEntrySize, '\0');
    for (qsizetype i = 0; i < kEntrySize; ++i)
        data[i] = static_cast<char>((i >> 15) * 7 + (i % 251) + ((i / 4093) & 0x0F));
    return data;
}

using test::Md5Of;
using test::Md5OfFile;

class ExtractKillTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        cabinetDir_ = new QTemporaryDir;
        ASSERT_TRUE(cabinetDir_->isValid());
        const QByteArray contents = EntryContents();
        newMd5_ = new QString(Md5Of(contents));
        CabWriter w;
        w.addFolder(CabMethod::MsZip);
        w.addFile(kEntry.toLatin1(), contents);
        ASSERT_TRUE(test::WriteFile(cabinetDir_->filePath(QStringLiteral("big.cab")), w.build()));
    }
    static void TearDownTestSuite() {
        delete cabinetDir_;
        delete newMd5_;
        cabinetDir_ = nullptr;
        newMd5_ = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(out.isValid());
        SetExtractionUi(&ui);
        SetMessageText({});
        fdi::FDIFlushCache();
    }
    void TearDown() override {
        SetExtractionUi(nullptr);
        fdi::FDIFlushCache();
    }

    static QString Cabinet() { return cabinetDir_->filePath(QStringLiteral("big.cab")); }
    QString Folder() const { return out.path() + QLatin1Char('/'); }
    QString Target() const { return Folder() + kEntry; }
    static QString EntryText() {
        return QString::number(kEntrySize) + QStringLiteral(" 12/03/1997 11:13:52");
    }

    std::unique_ptr<RunningProgram> Start(const char* mode) const {
        return std::make_unique<RunningProgram>(
            QStringLiteral(EXTRACT_KILL_PROBE),
            QStringList{Cabinet(), Folder(), kEntry, EntryText(), QString::fromLatin1(mode)},
            QProcessEnvironment::systemEnvironment());
    }
    static void Kill(RunningProgram& probe) {
        ASSERT_GT(probe.pid(), 0);
        ASSERT_EQ(::kill(static_cast<pid_t>(probe.pid()), SIGKILL), 0);
        ASSERT_TRUE(probe.WaitForExit(30000));
        EXPECT_EQ(probe.process().exitStatus(), QProcess::CrashExit);
    }

    // Names in the target folder other than the entry's: each must be a hidden leftover.
    QStringList Others() const {
        QStringList names =
            QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        names.removeAll(kEntry);
        return names;
    }
    void ExpectOnlyHiddenLeftovers() const {
        for (const QString& name : Others())
            EXPECT_TRUE(IsStagingName(name)) << name.toStdString();
    }

    QString WriteOld(const QByteArray& contents) const {
        EXPECT_TRUE(test::WriteFile(Target(), contents));
        EXPECT_EQ(::chmod(QFile::encodeName(Target()).constData(), 0640), 0);
        return Target();
    }

    static QTemporaryDir* cabinetDir_;
    static QString* newMd5_;
    QTemporaryDir out;
    testing::FakeUi ui;
};

QTemporaryDir* ExtractKillTest::cabinetDir_ = nullptr;
QString* ExtractKillTest::newMd5_ = nullptr;

TEST_F(ExtractKillTest, NewEntryIsNeverLeftHalfWrittenUnderItsName) {
    auto probe = Start("pause");
    ASSERT_TRUE(probe->WaitForLine(QStringLiteral("halfway"), 120000)) << probe->Errors().toStdString();
    Kill(*probe);
    EXPECT_FALSE(QFile::exists(Target()));
    // Half the entry was written somewhere: under a hidden name of its own.
    ASSERT_EQ(Others().size(), 1);
    ExpectOnlyHiddenLeftovers();
    const QStringList leftovers = Others();

    // The next run writes the entry whole; the leftover is not taken for it (no replace
    // question), and since no live run holds it any more, it is removed.
    EXPECT_EQ(ExtractEntry(Cabinet(), Folder(), kEntry, EntryText(), 0), ExtractResult::Done);
    EXPECT_TRUE(ui.calls.empty());
    EXPECT_EQ(Md5OfFile(Target()), *newMd5_);
    EXPECT_EQ(leftovers.size(), 1);
    EXPECT_EQ(Others(), QStringList());
}

TEST_F(ExtractKillTest, ConfirmedReplacementKeepsTheOldFileWholeUntilTheNewOneIs) {
    const QByteArray old(3 * 1024 * 1024 + 17, 'o');
    WriteOld(old);
    auto probe = Start("pause");
    ASSERT_TRUE(probe->WaitForLine(QStringLiteral("halfway"), 120000)) << probe->Errors().toStdString();
    EXPECT_TRUE(probe->Lines().contains(QStringLiteral("confirm")));
    Kill(*probe);
    EXPECT_EQ(Md5OfFile(Target()), Md5Of(old));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(Target()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    ExpectOnlyHiddenLeftovers();

    // Replaced once the run completes; it keeps the permission bits it had.
    ui.answers = {kIdYes};
    EXPECT_EQ(ExtractEntry(Cabinet(), Folder(), kEntry, EntryText(), 0), ExtractResult::Done);
    EXPECT_EQ(ui.Count(true), 1);
    EXPECT_EQ(Md5OfFile(Target()), *newMd5_);
    ASSERT_EQ(::stat(QFile::encodeName(Target()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// Killed at moments spread over the run, from the first write on, and once not killed
// at all: every time, the name holds the old file or the whole new one, and a new entry
// is either absent or whole.
TEST_F(ExtractKillTest, KilledAtAnyMomentLeavesTheOldOrTheNewFileWhole) {
    const QByteArray old = "old contents\n";
    for (const bool replacing : {true, false}) {
        int sawBefore = 0, sawNew = 0;
        for (int delayMs : {0, 1, 3, 10, 25, 60, 150, -1}) {
            SCOPED_TRACE(::testing::Message() << (replacing ? "replacing, " : "new, ") << delayMs << " ms");
            QFile::remove(Target());
            if (replacing)
                WriteOld(old);
            auto probe = Start("run");
            ASSERT_TRUE(probe->WaitForLine(QStringLiteral("writing"), 120000))
                << probe->Errors().toStdString();
            if (delayMs < 0) {
                ASSERT_TRUE(probe->WaitForLine(QStringLiteral("result 0"), 300000))
                    << probe->Errors().toStdString();
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
                ::kill(static_cast<pid_t>(probe->pid()), SIGKILL);
            }
            ASSERT_TRUE(probe->WaitForExit(30000));
            const QString md5 = Md5OfFile(Target());
            const QString before = replacing ? Md5Of(old) : QStringLiteral("<missing>");
            EXPECT_TRUE(md5 == before || md5 == *newMd5_);
            sawBefore += md5 == before;
            sawNew += md5 == *newMd5_;
            ExpectOnlyHiddenLeftovers();
        }
        // The early kills landed while the entry was written.
        EXPECT_GT(sawBefore, 0);
        EXPECT_GT(sawNew, 0);
    }
}

} // namespace
} // namespace morbek
