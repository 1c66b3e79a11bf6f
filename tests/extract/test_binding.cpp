#include "extract/Binding.h"
#include "platform/files/OpenFlags.h"
#include "tests/support/Files.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace morbek;
namespace p = morbek::platform;

namespace {

constexpr uint32_t kFailed = 0xFFFFFFFFu;

class BindingTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ProgressTotal = 0;
        ProgressDone = 0;
        SetProgressSink({});
    }
    void TearDown() override {
        HoldCabinet(nullptr, -1);
        for (int fd : open_)
            CabClose(fd);
        SetProgressSink({});
    }

    QByteArray Path(const char* name) const { return QFile::encodeName(dir.filePath(QLatin1String(name))); }

    QByteArray MakeFile(const char* name, const QByteArray& content, mode_t mode = 0644) {
        const QByteArray path = Path(name);
        EXPECT_TRUE(morbek::test::WriteFile(QFile::decodeName(path), content));
        EXPECT_EQ(::chmod(path.constData(), mode), 0);
        return path;
    }

    // Opens through CabOpen; descriptors still open are closed after the test.
    int Open(const QByteArray& path, int flags) {
        QByteArray copy = path;
        const int fd = CabOpen(copy.data(), flags, 0);
        if (fd >= 0)
            open_.push_back(fd);
        return fd;
    }
    void Close(int fd) {
        std::erase(open_, fd);
        EXPECT_EQ(CabClose(fd), 0);
    }

    static int Access(int fd) { return ::fcntl(fd, F_GETFL) & O_ACCMODE; }
    static bool CloseOnExec(int fd) { return (::fcntl(fd, F_GETFD) & FD_CLOEXEC) != 0; }
    static QByteArray Content(const QByteArray& path) {
        QFile f(QFile::decodeName(path));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }

    QTemporaryDir dir;

private:
    std::vector<int> open_;
};

// ---- Opening: the flag table ----

TEST_F(BindingTest, CabinetTestFlagsOpenExistingReadOnlySharing) {
    const QByteArray path = MakeFile("a.cab", "MSCF0123");
    const int fd = Open(path, p::_O_BINARY | p::_O_SEQUENTIAL); // 0x8020
    ASSERT_GT(fd, 2);
    EXPECT_EQ(Access(fd), O_RDONLY);
    EXPECT_TRUE(CloseOnExec(fd));
    // Full sharing: other readers and writers get in while it is open.
    EXPECT_GE(Open(path, 0x8020), 0);
    EXPECT_GE(Open(path, p::_O_WRONLY), 0);
    char buf[8];
    EXPECT_EQ(CabRead(fd, buf, sizeof buf), 8u);
    EXPECT_EQ(QByteArray(buf, 8), "MSCF0123");
}

TEST_F(BindingTest, FlagsOtherThanCreateWriteOnlyExclusiveAreIgnored) {
    const QByteArray path = MakeFile("f", "keep me");
    for (int flags : {int(p::_O_RDWR), p::_O_TRUNC | p::_O_APPEND, p::_O_RDWR | p::_O_TRUNC | p::_O_BINARY}) {
        SCOPED_TRACE(flags);
        const int fd = Open(path, flags);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(Access(fd), O_RDONLY);
        char c = 'x';
        EXPECT_EQ(CabWrite(fd, &c, 1), kFailed);
        Close(fd);
    }
    EXPECT_EQ(Content(path), "keep me");
}

TEST_F(BindingTest, TargetFlagsCreateOrReplaceInPlace) {
    constexpr int kTarget = p::_O_BINARY | p::_O_CREAT | p::_O_SEQUENTIAL | p::_O_WRONLY; // 0x8121
    static_assert(kTarget == 0x8121);

    // A new file: created, read and write access.
    const QByteArray fresh = Path("new.txt");
    int fd = Open(fresh, kTarget);
    ASSERT_GT(fd, 2);
    EXPECT_EQ(Access(fd), O_RDWR);
    EXPECT_TRUE(CloseOnExec(fd));
    EXPECT_EQ(CabWrite(fd, const_cast<char*>("abc"), 3), 3u);
    Close(fd);
    EXPECT_EQ(Content(fresh), "abc");

    // An existing one: emptied, the same file (same inode: never unlinked or renamed).
    const QByteArray old = MakeFile("old.txt", "previous content");
    struct stat before {
    }, after{};
    ASSERT_EQ(::stat(old.constData(), &before), 0);
    fd = Open(old, kTarget);
    ASSERT_GT(fd, 2);
    EXPECT_EQ(Access(fd), O_RDWR);
    Close(fd);
    ASSERT_EQ(::stat(old.constData(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_EQ(after.st_size, 0);
}

TEST_F(BindingTest, TargetFlagsFallBackToWriteOnlyWhenCreationIsRefused) {
    // A full-sharing reader refuses the no-sharing creation; the existing file is then
    // opened write-only with full sharing, and nothing was truncated.
    const QByteArray path = MakeFile("held.txt", "0123456789");
    const int reader = Open(path, 0x8020);
    ASSERT_GE(reader, 0);
    const int fd = Open(path, 0x8121);
    ASSERT_GT(fd, 2);
    EXPECT_EQ(Access(fd), O_WRONLY);
    EXPECT_EQ(Content(path), "0123456789");
    EXPECT_EQ(CabWrite(fd, const_cast<char*>("AB"), 2), 2u);
    Close(fd);
    EXPECT_EQ(Content(path), "AB23456789");
}

TEST_F(BindingTest, ReadOnlyFileIsNeitherReplacedNorOpenedForWriting) {
    // Also as root, which open() would let through.
    const QByteArray path = MakeFile("ro.txt", "protected", 0444);
    EXPECT_EQ(Open(path, 0x8121), -1);
    EXPECT_EQ(Open(path, p::_O_WRONLY), -1);
    EXPECT_EQ(Content(path), "protected");
    struct stat st {};
    ASSERT_EQ(::stat(path.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    // Reading it is fine.
    EXPECT_GE(Open(path, 0x8020), 0);
}

TEST_F(BindingTest, ExclusiveOpenRefusesOthersUntilClosed) {
    const QByteArray path = MakeFile("x.txt", "x");
    const int fd = Open(path, p::_O_EXCL);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Access(fd), O_RDONLY);
    EXPECT_EQ(Open(path, 0x8020), -1);
    EXPECT_EQ(Open(path, p::_O_WRONLY), -1);
    EXPECT_EQ(Open(path, p::_O_EXCL), -1);
    EXPECT_EQ(Open(path, 0x8121), -1); // neither the creation nor its fallback
    EXPECT_EQ(Content(path), "x");
    Close(fd);
    EXPECT_GE(Open(path, 0x8020), 0);
}

TEST_F(BindingTest, SharingOpenRefusesALaterExclusiveOpen) {
    const QByteArray path = MakeFile("s.txt", "s");
    const int fd = Open(path, 0x8020);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Open(path, p::_O_EXCL), -1);
    EXPECT_EQ(Open(path, p::_O_EXCL | p::_O_WRONLY), -1);
    Close(fd);
    EXPECT_GE(Open(path, p::_O_EXCL), 0);
}

TEST_F(BindingTest, HeldCabinetIsSharedWithTheLibrarysOpenOfThatPath) {
    const QByteArray path = MakeFile("held.cab", "MSCF0123456789");
    const QByteArray other = MakeFile("other.cab", "other");
    const int held = Open(path, 0x8020);
    ASSERT_GT(held, 0);
    char buf[32] = {};
    ASSERT_EQ(CabRead(held, buf, 4), 4u); // the cabinet test read the header
    HoldCabinet(path.constData(), held);

    // Opens that do not share, or write, are the platform's as before.
    EXPECT_EQ(Open(path, p::_O_EXCL), -1);
    const int writer = Open(path, p::_O_WRONLY);
    ASSERT_GT(writer, 0);
    EXPECT_EQ(Access(writer), O_WRONLY);
    Close(writer);

    // The library's open: the held file, from its start, whatever is at the name now.
    const QByteArray replacement = MakeFile("new.cab", "REPLACED");
    ASSERT_EQ(::rename(replacement.constData(), path.constData()), 0);
    const int shared = Open(path, 0x8020);
    ASSERT_GT(shared, 0);
    EXPECT_NE(shared, held);
    EXPECT_TRUE(CloseOnExec(shared));
    ASSERT_EQ(CabRead(shared, buf, 14), 14u);
    EXPECT_EQ(QByteArray(buf, 14), QByteArray("MSCF0123456789"));
    Close(shared);
    EXPECT_EQ(CabSeek(held, 0, 0), 0); // the held descriptor outlives the second one

    const int elsewhere = Open(other, 0x8020);
    ASSERT_GT(elsewhere, 0);
    ASSERT_EQ(CabRead(elsewhere, buf, 5), 5u);
    EXPECT_EQ(QByteArray(buf, 5), QByteArray("other"));

    // Released: the name is opened afresh.
    HoldCabinet(nullptr, -1);
    const int fresh = Open(path, 0x8020);
    ASSERT_GT(fresh, 0);
    ASSERT_EQ(CabRead(fresh, buf, 8), 8u);
    EXPECT_EQ(QByteArray(buf, 8), QByteArray("REPLACED"));
}

TEST_F(BindingTest, WhatDoesNotOpen) {
    const QByteArray missing = Path("missing");
    EXPECT_EQ(Open(missing, 0x8020), -1);
    EXPECT_EQ(Open(missing, p::_O_WRONLY | p::_O_EXCL), -1);
    EXPECT_FALSE(QFile::exists(QFile::decodeName(missing)));

    // A folder is not a file, whatever the flags.
    const QByteArray folder = Path("sub");
    ASSERT_TRUE(QDir().mkdir(QFile::decodeName(folder)));
    for (int flags : {0x8020, 0x8121, int(p::_O_WRONLY), int(p::_O_EXCL)})
        EXPECT_EQ(Open(folder, flags), -1) << flags;

    // Nor is a FIFO, and opening one must not block.
    const QByteArray fifo = Path("fifo");
    ASSERT_EQ(::mkfifo(fifo.constData(), 0644), 0);
    for (int flags : {0x8020, 0x8121, int(p::_O_WRONLY)})
        EXPECT_EQ(Open(fifo, flags), -1) << flags;

    QByteArray empty;
    EXPECT_EQ(CabOpen(empty.data(), 0x8020, 0), -1);
}

// ---- Memory, reading, seeking ----

TEST_F(BindingTest, AllocAndFree) {
    EXPECT_EQ(CabAlloc(0), nullptr);
    void* block = CabAlloc(64 * 1024);
    ASSERT_NE(block, nullptr);
    static_cast<char*>(block)[64 * 1024 - 1] = 1;
    CabFree(block);
    CabFree(nullptr);
}

TEST_F(BindingTest, ReadAndSeek) {
    QByteArray content;
    for (int i = 0; i < 100; ++i)
        content.append(char(i));
    const int fd = Open(MakeFile("d.bin", content), 0x8020);
    ASSERT_GE(fd, 0);

    EXPECT_EQ(CabSeek(fd, 10, 0), 10);
    EXPECT_EQ(CabSeek(fd, 5, 1), 15);
    unsigned char b = 0;
    EXPECT_EQ(CabRead(fd, &b, 1), 1u);
    EXPECT_EQ(b, 15);
    EXPECT_EQ(CabSeek(fd, -20, 2), 80);
    EXPECT_EQ(CabSeek(fd, -3, 1), 77);
    EXPECT_EQ(CabSeek(fd, 0, 2), 100);
    EXPECT_EQ(CabSeek(fd, -1, 0), -1);
    EXPECT_EQ(CabSeek(fd, 0, 3), -1);

    // Fewer at the end of the file, then none.
    char buf[32];
    EXPECT_EQ(CabSeek(fd, 90, 0), 90);
    EXPECT_EQ(CabRead(fd, buf, sizeof buf), 10u);
    EXPECT_EQ(CabRead(fd, buf, sizeof buf), 0u);

    Close(fd);
    EXPECT_EQ(CabRead(fd, buf, sizeof buf), kFailed);
    EXPECT_EQ(CabSeek(fd, 0, 0), -1);
    EXPECT_EQ(CabClose(fd), 0); // whatever the platform says
}

// ---- Writing and progress ----

class ProgressTest : public BindingTest {
protected:
    void SetUp() override {
        BindingTest::SetUp();
        SetProgressSink([this](int percent) { calls.push_back(percent); });
        target = Open(Path("out.bin"), 0x8121);
        ASSERT_GT(target, 2);
    }
    std::vector<int> calls;
    int target = -1;
};

TEST_F(ProgressTest, LargeEntryMovesTheBarSteadilyFromZeroToHundred) {
    constexpr int64_t kSize = 50'000'000;
    constexpr uint32_t kBlock = 32 * 1024;
    ProgressTotal = kSize;
    std::vector<char> block(kBlock, 'z');
    int64_t left = kSize;
    while (left > 0) {
        const auto n = static_cast<uint32_t>(std::min<int64_t>(left, kBlock));
        ASSERT_EQ(CabWrite(target, block.data(), n), n);
        left -= n;
    }
    EXPECT_EQ(ProgressDone, kSize);
    ASSERT_EQ(calls.size(), size_t((kSize + kBlock - 1) / kBlock));
    EXPECT_EQ(calls.front(), 0);
    EXPECT_EQ(calls.back(), 100);
    for (size_t i = 1; i < calls.size(); ++i) {
        ASSERT_GE(calls[i], calls[i - 1]) << i;
        ASSERT_LE(calls[i] - calls[i - 1], 1) << i; // no jumps: every step is shown
    }
    struct stat st {};
    ASSERT_EQ(::fstat(target, &st), 0);
    EXPECT_EQ(st.st_size, kSize);
}

TEST_F(ProgressTest, CountRunsOnAcrossFilesAndStaysAtHundred) {
    ProgressTotal = 1000;
    std::vector<char> data(250, 'a');
    for (int i = 0; i < 4; ++i)
        CabWrite(target, data.data(), 250);
    EXPECT_EQ(calls, (std::vector<int>{25, 50, 75, 100}));

    calls.clear();
    const int second = Open(Path("second.bin"), 0x8121);
    ASSERT_GT(second, 2);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(CabWrite(second, data.data(), 250), 250u);
    EXPECT_EQ(calls, (std::vector<int>(4, 100)));
    EXPECT_EQ(ProgressDone, 2000);
}

TEST_F(ProgressTest, NoOverflowUpToTheThirtyTwoBitLimit) {
    char data[20] = {};
    // Crossing 2^31 with a total above it: (2^31 + 10) * 100 / (2^32 - 1) = 50.
    ProgressTotal = 0xFFFFFFFFLL;
    ProgressDone = (int64_t{1} << 31) - 10;
    CabWrite(target, data, 20);
    // And reaching the 32-bit limit itself.
    ProgressDone = 0xFFFFFFFFLL - 20;
    CabWrite(target, data, 20);
    EXPECT_EQ(calls, (std::vector<int>{50, 100}));
}

TEST_F(ProgressTest, NoTotalCountsAsComplete) {
    char data[4] = {};
    for (int64_t total : {0, -5}) {
        ProgressTotal = total;
        CabWrite(target, data, 4);
    }
    EXPECT_EQ(calls, (std::vector<int>{100, 100}));
}

TEST_F(ProgressTest, FailedWriteStillCountsWhatWasAskedFor) {
    const int readOnly = Open(MakeFile("r.bin", "r"), 0x8020);
    ASSERT_GE(readOnly, 0);
    ProgressTotal = 100;
    char data[40] = {};
    EXPECT_EQ(CabWrite(readOnly, data, 40), kFailed);
    EXPECT_EQ(ProgressDone, 40);
    EXPECT_EQ(calls, (std::vector<int>{40}));
}

TEST_F(ProgressTest, WritingWithoutASinkIsFine) {
    SetProgressSink({});
    ProgressTotal = 10;
    EXPECT_EQ(CabWrite(target, const_cast<char*>("0123456789"), 10), 10u);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(ProgressDone, 10);
}

} // namespace
