#include "extract/TempCopy.h"

#include "platform/files/Files.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morbek {

namespace {

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

// A regular file of ours that no running instance holds: a leftover of an earlier run.
// Returns its descriptor, locked exclusively, or -1.
int OpenLeftover(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
        ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// "<folder>/<base>.TMP" for attempt 0, then "<folder>/<base>-<pid>-<n>.TMP".
QString Candidate(const QString& path, int attempt) {
    if (attempt == 0)
        return path;
    QString stem = path;
    if (stem.endsWith(QLatin1String(".TMP")))
        stem.chop(4);
    return stem + QLatin1Char('-') + QString::number(::getpid()) + QLatin1Char('-') +
           QString::number(attempt) + QStringLiteral(".TMP");
}

} // namespace

QString TemporaryCopyPath(const QString& cabFileName, const QString& tempFolder) {
    // Only '/' separates folders here: a colon is an ordinary character in a name.
    QString name = cabFileName.mid(cabFileName.lastIndexOf(QLatin1Char('/')) + 1);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    return tempFolder + name + QStringLiteral(".TMP");
}

TemporaryCopy::~TemporaryCopy() {
    if (fd_ >= 0)
        ::close(fd_);
}

// Makes a new file, locked, and gives it the first free name: path itself when free or
// a leftover, else a name of this process beside it. Returns the descriptor or -1.
int TemporaryCopy::claim(const QString& path) {
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    QByteArray pattern = Native(path.left(slash + 1) + QStringLiteral(".morbek-copy-XXXXXX"));
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return -1;
    ::flock(fd, LOCK_EX);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate = Candidate(path, attempt);
        const QByteArray target = Native(candidate);
        // link() never replaces: a name already taken stays as it is.
        if (::link(pattern.constData(), target.constData()) == 0) {
            ::unlink(pattern.constData());
            path_ = candidate;
            return fd;
        }
        if (errno != EEXIST)
            break;
        const int leftover = OpenLeftover(target);
        if (leftover >= 0) {
            const bool replaced = ::rename(pattern.constData(), target.constData()) == 0;
            ::close(leftover);
            if (replaced) {
                path_ = candidate;
                return fd;
            }
            break;
        }
    }
    ::unlink(pattern.constData());
    ::close(fd);
    return -1;
}

TemporaryCopy::Result TemporaryCopy::Make(const QString& source, int64_t offset, int64_t size,
                                          const QString& path, const std::function<void(int)>& progress) {
    const int in = platform::OpenReadNoShare(source);
    if (in < 0 || offset < 0 || size < 0 || platform::FileSize(in) < offset + size) {
        if (in >= 0)
            platform::CloseFile(in);
        return Result::CannotRead;
    }
    const int out = claim(path);
    if (out < 0) {
        platform::CloseFile(in);
        return Result::CannotWrite;
    }

    Result result = Result::Ok;
    char buffer[kBlockSize];
    int64_t copied = 0;
    const int64_t fullBlocks = size / kBlockSize;
    for (int64_t block = 0; block <= fullBlocks && result == Result::Ok; ++block) {
        const int64_t want = block < fullBlocks ? kBlockSize : size - copied;
        if (want == 0)
            break;
        const int64_t got = platform::ReadAt(in, offset + copied, buffer, want);
        if (got != want)
            result = Result::CannotRead;
        else if (!platform::WriteAll(out, buffer, static_cast<size_t>(got)))
            result = Result::CannotWrite;
        else
            copied += got;
        // One update per full block; the last, partial block has none.
        if (result == Result::Ok && block < fullBlocks && progress)
            progress(static_cast<int>(copied * 100 / size));
    }
    platform::CloseFile(in);
    // The library reads the copy beside our shared lock; a second instance sees it held.
    ::flock(out, LOCK_SH);
    fd_ = out;
    if (result != Result::Ok) {
        ::unlink(Native(path_).constData());
        ::close(fd_);
        fd_ = -1;
        path_.clear();
    }
    return result;
}

void TemporaryCopy::Remove(const QString& path) {
    if (!path_.isEmpty())
        ::unlink(Native(path_).constData());
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (path_ != path) {
        const QByteArray leftoverPath = Native(path);
        const int leftover = OpenLeftover(leftoverPath);
        if (leftover >= 0) {
            ::unlink(leftoverPath.constData());
            ::close(leftover);
        }
    }
    path_.clear();
}

} // namespace morbek
