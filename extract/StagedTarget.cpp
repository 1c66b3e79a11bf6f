#include "extract/StagedTarget.h"

#include "platform/files/Files.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace morbek {

namespace {

constexpr char kMarker[] = ".morbek-";
constexpr int kMarkerLength = sizeof kMarker - 1;
constexpr int kUniqueLength = 6;
constexpr char kUniqueChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

} // namespace

int StagedTarget::Begin(int folder, const QByteArray& name, bool knownMissing) {
    Discard();
    if (folder < 0 || name.isEmpty() || name.contains('/')) {
        errno = EINVAL;
        return -1;
    }
    // The same refusals as replacing in place: a read-only file, one we may not write, or
    // one another opener holds is not replaced; a link or anything but a regular file is
    // in the way.
    struct stat old {};
    bool replacing = false;
    if (!knownMissing && ::fstatat(folder, name.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISREG(old.st_mode)) {
            errno = S_ISDIR(old.st_mode) ? EISDIR : ELOOP;
            return -1;
        }
        const int fd = platform::OpenAt(folder, name.constData(),
                                        O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            return -1;
        int why = 0;
        if (::fstat(fd, &old) != 0 || !S_ISREG(old.st_mode))
            why = ELOOP;
        else if ((old.st_mode & S_IWUSR) == 0)
            why = EACCES;
        else if (!platform::LockUnlessHeld(fd, LOCK_EX))
            why = EWOULDBLOCK;
        if (why != 0) {
            ::close(fd);
            errno = why;
            return -1;
        }
        guard_ = fd;
        replacing = true;
    } else if (!knownMissing && errno != ENOENT) {
        return -1;
    }
    folder_ = ::fcntl(folder, F_DUPFD_CLOEXEC, 3);
    if (folder_ < 0) {
        const int why = errno;
        Release();
        errno = why;
        return -1;
    }

    QByteArray prefix;
    if (1 + name.size() + kMarkerLength + kUniqueLength <= NAME_MAX)
        prefix += '.' + name;
    prefix += kMarker;
    int why = EEXIST;
    for (int attempt = 0; attempt < 100; ++attempt) {
        QByteArray candidate = prefix;
        candidate.reserve(prefix.size() + kUniqueLength);
        // One draw gives the six characters (62^6 < 2^64).
        quint64 draw = QRandomGenerator::global()->generate64();
        for (int i = 0; i < kUniqueLength; ++i, draw /= sizeof kUniqueChars - 1)
            candidate += kUniqueChars[draw % (sizeof kUniqueChars - 1)];
        int fd = platform::OpenAt(folder_, candidate.constData(),
                                  O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
        if (fd < 0) {
            why = errno;
            if (errno == EEXIST)
                continue;
            break;
        }
        // The library reads 0 as "skip this file": a descriptor it can use must be above it.
        if (fd == 0) {
            const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
            why = errno;
            ::close(fd);
            fd = moved;
            if (fd < 0) {
                ::unlinkat(folder_, candidate.constData(), 0);
                break;
            }
        }
        platform::LockUnlessHeld(fd, LOCK_EX); // a name nobody else knows yet: nothing can hold it
        if (replacing) {
            // What replacing in place kept: the owner where we may set it (elsewhere the
            // file stays ours), and the permission bits without the set-id ones.
            [[maybe_unused]] const int owned = ::fchown(fd, old.st_uid, old.st_gid);
            ::fchmod(fd, old.st_mode & 0777);
        }
        staging_ = candidate;
        target_ = name;
        return fd;
    }
    Release();
    errno = why;
    return -1;
}

bool StagedTarget::Commit() {
    if (!Active())
        return false;
    // renameat replaces whatever stands at the name, a link swapped in included, without
    // following it; a folder there makes it fail.
    const bool renamed = ::renameat(folder_, staging_.constData(), folder_, target_.constData()) == 0;
    const int why = errno;
    if (!renamed)
        ::unlinkat(folder_, staging_.constData(), 0);
    staging_.clear();
    Release();
    if (!renamed)
        errno = why;
    return renamed;
}

void StagedTarget::Discard() {
    if (Active())
        ::unlinkat(folder_, staging_.constData(), 0);
    staging_.clear();
    Release();
}

void StagedTarget::Release() {
    if (guard_ >= 0)
        ::close(guard_);
    guard_ = -1;
    if (folder_ >= 0)
        ::close(folder_);
    folder_ = -1;
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

int RemoveStagingLeftovers(int folder) {
    const int listed = ::fcntl(folder, F_DUPFD_CLOEXEC, 3);
    if (listed < 0)
        return 0;
    DIR* dir = ::fdopendir(listed);
    if (dir == nullptr) {
        ::close(listed);
        return 0;
    }
    std::vector<QByteArray> candidates;
    while (const dirent* entry = ::readdir(dir)) {
        if (IsStagingName(QFile::decodeName(entry->d_name)))
            candidates.emplace_back(entry->d_name);
    }
    ::closedir(dir);

    const uid_t me = ::geteuid();
    int removed = 0;
    for (const QByteArray& name : candidates) {
        struct stat st {};
        if (::fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != me)
            continue;
        const int fd = platform::OpenAt(folder, name.constData(),
                                        O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            continue;
        // A live run holds its hidden file locked for as long as it writes it; the lock is
        // taken on the very file looked at, and kept until it is gone.
        struct stat opened {};
        if (platform::FlockNoWait(fd, LOCK_EX) == 0 && ::fstat(fd, &opened) == 0 &&
            opened.st_dev == st.st_dev && opened.st_ino == st.st_ino &&
            ::unlinkat(folder, name.constData(), 0) == 0)
            ++removed;
        ::close(fd);
    }
    return removed;
}

} // namespace morbek
