// File stand-ins: what "exists" means, the no-sharing open, reads, and the private
// temporary folder.
#include "platform/files/Files.h"
#include "platform/files/TempPath.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <fcntl.h>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/Files.h"
#include "tests/support/QtPrinters.h"

using namespace morbek::platform;

namespace {

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString make(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(morbek::test::WriteFile(path, bytes));
        return path;
    }
    QString fifo() {
        const QString path = dir.filePath(QStringLiteral("fifo"));
        EXPECT_EQ(::mkfifo(Native(path).constData(), 0600), 0);
        return path;
    }
    QTemporaryDir dir;
};

TEST_F(FilesTest, ExistsMeansARegularFile) {
    const QString file = make(QStringLiteral("f.cab"), "x");
    EXPECT_TRUE(FileExists(file));
    EXPECT_FALSE(FileExists(dir.path()));
    EXPECT_FALSE(FileExists(fifo()));
    EXPECT_FALSE(FileExists(dir.filePath(QStringLiteral("missing"))));
    EXPECT_FALSE(FileExists(QString()));
    EXPECT_FALSE(FileExists(QStringLiteral("/dev/null")));
    const QString link = dir.filePath(QStringLiteral("link"));
    ASSERT_EQ(::symlink(Native(file).constData(), Native(link).constData()), 0);
    EXPECT_TRUE(FileExists(link)); // a link to a file is that file
    const QString dangling = dir.filePath(QStringLiteral("dangling"));
    ASSERT_EQ(::symlink("nowhere", Native(dangling).constData()), 0);
    EXPECT_FALSE(FileExists(dangling));
}

TEST_F(FilesTest, OpenRefusesAnythingButRegularFiles) {
    EXPECT_EQ(OpenReadNoShare(dir.path()), -1);
    EXPECT_EQ(OpenReadNoShare(fifo()), -1); // and returns at once: no writer needed
    EXPECT_EQ(OpenReadNoShare(QStringLiteral("/dev/null")), -1);
    EXPECT_EQ(OpenReadNoShare(dir.filePath(QStringLiteral("missing"))), -1);
    EXPECT_EQ(OpenReadNoShare(QString()), -1);
}

TEST_F(FilesTest, UnreadableFileIsRefused) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads any file";
    const QString file = make(QStringLiteral("secret"), "x");
    ASSERT_EQ(::chmod(Native(file).constData(), 0), 0);
    EXPECT_EQ(OpenReadNoShare(file), -1);
}

TEST_F(FilesTest, SecondOpenIsRefusedWhileTheFirstHoldsTheFile) {
    const QString file = make(QStringLiteral("held.cab"), "MSCF");
    const int first = OpenReadNoShare(file);
    ASSERT_GE(first, 0);
    EXPECT_EQ(OpenReadNoShare(file), -1);
    // The lock only binds our own opens: a plain open still works.
    const int plain = ::open(Native(file).constData(), O_RDONLY);
    EXPECT_GE(plain, 0);
    ::close(plain);
    CloseFile(first);
    const int again = OpenReadNoShare(file);
    EXPECT_GE(again, 0);
    CloseFile(again);
}

TEST_F(FilesTest, DescriptorIsBlockingAndCloseOnExec) {
    const int fd = OpenReadNoShare(make(QStringLiteral("flags"), "abc"));
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    CloseFile(fd);
}

TEST_F(FilesTest, SizeAndReadsStopAtTheEnd) {
    const int fd = OpenReadNoShare(make(QStringLiteral("data"), "0123456789"));
    ASSERT_GE(fd, 0);
    EXPECT_EQ(FileSize(fd), 10);
    char buf[16] = {};
    EXPECT_EQ(ReadAt(fd, 2, buf, 4), 4);
    EXPECT_EQ(QByteArray(buf, 4), QByteArray("2345"));
    EXPECT_EQ(ReadAt(fd, 7, buf, 16), 3); // short only at the end
    EXPECT_EQ(QByteArray(buf, 3), QByteArray("789"));
    EXPECT_EQ(ReadAt(fd, 10, buf, 16), 0);
    EXPECT_EQ(ReadAt(fd, 1000, buf, 16), 0);
    EXPECT_EQ(ReadAt(fd, -1, buf, 1), -1);
    CloseFile(fd);
    EXPECT_EQ(FileSize(-1), -1);
    EXPECT_EQ(ReadAt(-1, 0, buf, 1), -1);
}

// Probes run in a process of their own (platform_probe), with the environment under test.
struct Probe {
    int exitCode = -1;
    QStringList lines;
};

Probe RunProbe(const QStringList& args,
               const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(MORBEK_PLATFORM_PROBE), args);
    Probe r;
    if (p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit)
        r.exitCode = p.exitCode();
    r.lines = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return r;
}

TEST(StandardDescriptors, ClosedOnesAreReopened) {
    const Probe probe = RunProbe({QStringLiteral("stdfd")});
    EXPECT_EQ(probe.exitCode, 0);
    EXPECT_EQ(probe.lines, QStringList{QStringLiteral("ok")});
}

// ---- GetTempPathA ----

class TempPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(base.isValid());
        privatePath = base.path() + QStringLiteral("/morbek-") + QString::number(::getuid());
    }
    Probe probe(const QString& tmpdir) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), tmpdir);
        return RunProbe({QStringLiteral("temp")}, env);
    }
    QStringList leftInBase() const {
        return QDir(base.path())
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden);
    }
    QTemporaryDir base;
    QString privatePath;
};

TEST_F(TempPathTest, PrivateFolderUnderTmpdirIsCreatedAndKept) {
    for (const QString& tmpdir : {base.path(), base.path() + QStringLiteral("//")}) {
        const Probe p = probe(tmpdir);
        ASSERT_EQ(p.exitCode, 0);
        EXPECT_EQ(p.lines, (QStringList{privatePath + QLatin1Char('/'), QStringLiteral("dir 1 mode 700")}));
    }
    EXPECT_TRUE(QFileInfo(privatePath).isDir()); // for the next run
}

struct BadFolderCase {
    const char* name;
    int kind; // 0 link to a good folder, 1 open to others, 2 plain file, 3 someone else's
};

class TempPathFallback : public TempPathTest, public ::testing::WithParamInterface<BadFolderCase> {};

TEST_P(TempPathFallback, UsesAFreshFolderRemovedAtExit) {
    const QByteArray path = QFile::encodeName(privatePath);
    switch (GetParam().kind) {
    case 0: {
        const QByteArray target = QFile::encodeName(base.path() + QStringLiteral("/elsewhere"));
        ASSERT_EQ(::mkdir(target.constData(), 0700), 0);
        ASSERT_EQ(::symlink(target.constData(), path.constData()), 0);
        break;
    }
    case 1:
        ASSERT_EQ(::mkdir(path.constData(), 0700), 0);
        ASSERT_EQ(::chmod(path.constData(), 0755), 0);
        break;
    case 2: {
        QFile f(privatePath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        break;
    }
    case 3:
        if (::geteuid() != 0)
            GTEST_SKIP() << "only root can give a folder away";
        ASSERT_EQ(::mkdir(path.constData(), 0700), 0);
        ASSERT_EQ(::chown(path.constData(), 65534, 65534), 0);
        break;
    }
    const QStringList before = leftInBase();
    const Probe p = probe(base.path());
    ASSERT_EQ(p.exitCode, 0);
    ASSERT_EQ(p.lines.size(), 2);
    EXPECT_TRUE(p.lines[0].startsWith(privatePath + QLatin1Char('-'))) << p.lines[0].toStdString();
    EXPECT_TRUE(p.lines[0].endsWith(QLatin1Char('/')));
    EXPECT_EQ(p.lines[1], QStringLiteral("dir 1 mode 700"));
    EXPECT_EQ(leftInBase(), before); // the run folder went at exit; the bad one is untouched
}

INSTANTIATE_TEST_SUITE_P(Checks, TempPathFallback,
                         ::testing::Values(BadFolderCase{"link", 0}, BadFolderCase{"open_to_others", 1},
                                           BadFolderCase{"plain_file", 2},
                                           BadFolderCase{"owned_by_another_user", 3}),
                         morbek::test::CaseName());

} // namespace
