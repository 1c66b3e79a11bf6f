#include "extract/StagedTarget.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morbek {

namespace {

constexpr char kMarker[] = ".morbek-";
constexpr int kMarkerLength = sizeof kMarker - 1;
constexpr int kUniqueLength = 6;
constexpr char kUniqueChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

int OpenRetry(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do
        fd = ::open(path, flags, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

// As the binding's own opens: only EWOULDBLOCK means someone holds the file; other
// errors (network file systems) leave it unlocked rather than refused.
bool LockExclusive(int fd) {
    int rc;
    do
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    return rc == 0 || errno != EWOULDBLOCK;
}

} // namespace

int StagedTarget::Begin(const QString& target, bool knownMissing) {
    Discard();
    const QByteArray path = QFile::encodeName(target);
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray name = path.mid(slash + 1);
    if (slash < 0 || name.isEmpty())
        return -1;

    // The same refusals as replacing in place: a read-only file, one we may not write, or
    // one another opener holds is left to the in-place open, which answers as it always has.
    struct stat old {};
    bool replacing = false;
    if (!knownMissing && ::lstat(path.constData(), &old) == 0) {
        if (!S_ISREG(old.st_mode))
            return -1;
        const int fd = OpenRetry(path.constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            return -1;
        if (::fstat(fd, &old) != 0 || !S_ISREG(old.st_mode) || (old.st_mode & S_IWUSR) == 0 ||
            !LockExclusive(fd)) {
            ::close(fd);
            return -1;
        }
        guard_ = fd;
        replacing = true;
    } else if (!knownMissing && errno != ENOENT) {
        return -1;
    }

    QByteArray prefix = path.left(slash + 1);
    if (1 + name.size() + kMarkerLength + kUniqueLength <= NAME_MAX)
        prefix += '.' + name;
    prefix += kMarker;
    for (int attempt = 0; attempt < 100; ++attempt) {
        QByteArray candidate = prefix;
        candidate.reserve(prefix.size() + kUniqueLength);
        // One draw gives the six characters (62^6 < 2^64).
        quint64 draw = QRandomGenerator::global()->generate64();
        for (int i = 0; i < kUniqueLength; ++i, draw /= sizeof kUniqueChars - 1)
            candidate += kUniqueChars[draw % (sizeof kUniqueChars - 1)];
        int fd = OpenRetry(candidate.constData(),
                           O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            break;
        }
        // The library reads 0 as "skip this file": a descriptor it can use must be above it.
        if (fd == 0) {
            const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
            ::close(fd);
            fd = moved;
            if (fd < 0) {
                ::unlink(candidate.constData());
                break;
            }
        }
        LockExclusive(fd); // a name nobody else knows yet: nothing can hold it
        if (replacing) {
            // What replacing in place kept: the owner where we may set it (elsewhere the
            // file stays ours), and the permission bits without the set-id ones.
            [[maybe_unused]] const int owned = ::fchown(fd, old.st_uid, old.st_gid);
            ::fchmod(fd, old.st_mode & 0777);
        }
        staging_ = candidate;
        target_ = path;
        return fd;
    }
    Release();
    return -1;
}

bool StagedTarget::Commit() {
    if (!Active())
        return false;
    const bool renamed = ::rename(staging_.constData(), target_.constData()) == 0;
    if (!renamed)
        ::unlink(staging_.constData());
    staging_.clear();
    Release();
    return renamed;
}

void StagedTarget::Discard() {
    if (Active())
        ::unlink(staging_.constData());
    staging_.clear();
    Release();
}

void StagedTarget::Release() {
    if (guard_ >= 0)
        ::close(guard_);
    guard_ = -1;
    target_.clear();
}

bool IsStagingName(const QString& fileName) {
    const qsizetype tail = kMarkerLength + kUniqueLength;
    if (!fileName.startsWith(QLatin1Char('.')) || fileName.size() < tail ||
        fileName.mid(fileName.size() - tail, kMarkerLength) != QLatin1String(kMarker))
        return false;
    for (qsizetype i = fileName.size() - kUniqueLength; i < fileName.size(); ++i) {
        const char16_t c = fileName[i].unicode();
        if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')))
            return false;
    }
    return true;
}

} // namespace morbek
