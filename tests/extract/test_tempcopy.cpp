// The temporary copy of an embedded cabinet: its name, the blocks and progress of the
// copy, short or locked sources, and copies of other running instances left alone.
#include "extract/TempCopy.h"
#include "tests/support/Files.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

namespace morbek {
namespace {

using test::Pattern;
using test::ReadAll;

class TempCopyTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString Write(const QString& name, const QByteArray& bytes) {
        EXPECT_TRUE(test::WriteFile(dir.filePath(name), bytes));
        return dir.filePath(name);
    }
    QString Folder() const { return dir.path() + QLatin1Char('/'); }
    QTemporaryDir dir;
};

TEST(TempCopyPath, ExtensionReplacedOnlyInTheFileName) {
    EXPECT_EQ(TemporaryCopyPath("/dl/setup.exe", "/t/"), "/t/setup.TMP");
    EXPECT_EQ(TemporaryCopyPath("/dl/archive.tar.exe", "/t/"), "/t/archive.tar.TMP");
    EXPECT_EQ(TemporaryCopyPath("/dl.d/setup", "/t/"), "/t/setup.TMP");
    // A colon is part of the name, not a separator.
    EXPECT_EQ(TemporaryCopyPath("/dl/a:b.exe", "/t/"), "/t/a:b.TMP");
}

TEST_F(TempCopyTest, CopiesTheCabinetInBlocksWithOneUpdatePerFullBlock) {
    const QByteArray host = Pattern(5000 + 20000 + 300);
    const QString source = Write("setup.exe", host);
    const QString path = TemporaryCopyPath(source, Folder());
    std::vector<int> percents;
    TemporaryCopy copy;
    ASSERT_EQ(copy.Make(source, 5000, 20000, path, [&](int p) { percents.push_back(p); }),
              TemporaryCopy::Result::Ok);
    EXPECT_EQ(copy.Path(), path);
    EXPECT_EQ(ReadAll(path), host.mid(5000, 20000));
    // Two full blocks of 8192 bytes, then 3,616 bytes without an update.
    EXPECT_EQ(percents, (std::vector<int>{40, 81}));
    copy.Remove(path);
    EXPECT_FALSE(QFileInfo::exists(path));
}

TEST_F(TempCopyTest, ShortOrLockedSourceLeavesNoCopy) {
    const QString source = Write("setup.exe", Pattern(9000));
    const QString path = TemporaryCopyPath(source, Folder());
    {
        TemporaryCopy copy;
        EXPECT_EQ(copy.Make(source, 100, 9000, path, {}), TemporaryCopy::Result::CannotRead);
        EXPECT_FALSE(QFileInfo::exists(path));
        EXPECT_TRUE(copy.Path().isEmpty());
    }
    {
        const int holder = ::open(QFile::encodeName(source).constData(), O_RDONLY);
        ASSERT_EQ(::flock(holder, LOCK_EX), 0);
        TemporaryCopy copy;
        EXPECT_EQ(copy.Make(source, 0, 100, path, {}), TemporaryCopy::Result::CannotRead);
        ::close(holder);
    }
    TemporaryCopy missing;
    EXPECT_EQ(missing.Make(dir.filePath("none.exe"), 0, 10, path, {}), TemporaryCopy::Result::CannotRead);
    EXPECT_FALSE(QFileInfo::exists(path));
}

TEST_F(TempCopyTest, FailedWriteEndsTheCopyAndRemovesIt) {
    const QString source = Write("setup.exe", Pattern(40000));
    const QString path = TemporaryCopyPath(source, Folder());
    // A file size limit makes the writes past 10,000 bytes fail as a full disk would.
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit low = old;
    low.rlim_cur = 10000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &low), 0);
    TemporaryCopy copy;
    const TemporaryCopy::Result result = copy.Make(source, 0, 40000, path, {});
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(result, TemporaryCopy::Result::CannotWrite);
    EXPECT_FALSE(QFileInfo::exists(path));
}

TEST_F(TempCopyTest, LinkAtTheCopysNameIsNeverFollowed) {
    if (!QFileInfo::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    const QString source = Write("setup.exe", Pattern(20000));
    const QString path = TemporaryCopyPath(source, Folder());
    ASSERT_TRUE(QFile::link("/dev/full", path));
    TemporaryCopy copy;
    ASSERT_EQ(copy.Make(source, 0, 20000, path, {}), TemporaryCopy::Result::Ok);
    EXPECT_NE(copy.Path(), path);
    EXPECT_EQ(ReadAll(copy.Path()), Pattern(20000));
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    copy.Remove(path);
    EXPECT_TRUE(QFileInfo(path).isSymLink()) << "a link that is not a leftover copy is left alone";
}

TEST_F(TempCopyTest, LeftoverIsReplacedButACopyInUseIsNot) {
    const QByteArray host = Pattern(30000);
    const QString source = Write("setup.exe", host);
    const QString path = TemporaryCopyPath(source, Folder());
    Write("setup.TMP", "leftover of a run that ended badly");

    TemporaryCopy first;
    ASSERT_EQ(first.Make(source, 0, 10000, path, {}), TemporaryCopy::Result::Ok);
    EXPECT_EQ(first.Path(), path);
    EXPECT_EQ(ReadAll(path), host.left(10000));

    // Another instance meanwhile: it must neither replace nor delete the copy in use.
    TemporaryCopy second;
    ASSERT_EQ(second.Make(source, 100, 20000, path, {}), TemporaryCopy::Result::Ok);
    EXPECT_NE(second.Path(), path);
    EXPECT_EQ(ReadAll(second.Path()), host.mid(100, 20000));
    second.Remove(path);
    EXPECT_FALSE(QFileInfo::exists(second.Path()));
    EXPECT_EQ(ReadAll(path), host.left(10000));

    first.Remove(path);
    EXPECT_FALSE(QFileInfo::exists(path));
}

TEST_F(TempCopyTest, RemoveWithoutACopyDeletesOnlyALeftover) {
    const QString path = Write("data.TMP", "leftover");
    TemporaryCopy none;
    none.Remove(path);
    EXPECT_FALSE(QFileInfo::exists(path));
    none.Remove(path); // nothing there: no harm
}

} // namespace
} // namespace morbek
