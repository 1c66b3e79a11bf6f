#include "platform/files/Files.h"

#include <dirent.h>

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morbek::platform {

namespace {

QByteArray NativePath(const QString& path) {
    return QFile::encodeName(path);
}

} // namespace

bool FileExists(const QString& path) {
    const QByteArray native = NativePath(path);
    if (native.isEmpty())
        return false;
    struct stat st {};
    return ::stat(native.constData(), &st) == 0 && S_ISREG(st.st_mode);
}

int OpenAt(int folder, const char* name, int flags, unsigned mode) {
    int fd;
    do
        fd = ::openat(folder, name, flags, static_cast<mode_t>(mode));
    while (fd < 0 && errno == EINTR);
    return fd;
}

int Flock(int fd, int operation) {
    int rc;
    do
        rc = ::flock(fd, operation);
    while (rc != 0 && errno == EINTR);
    return rc;
}

int FlockNoWait(int fd, int operation) {
    return Flock(fd, operation | LOCK_NB);
}

bool WriteAll(int fd, const void* data, size_t count) {
    const auto* in = static_cast<const char*>(data);
    while (count > 0) {
        const ssize_t n = ::write(fd, in, count);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        in += n;
        count -= static_cast<size_t>(n);
    }
    return true;
}

bool LockUnlessHeld(int fd, int operation) {
    return FlockNoWait(fd, operation) == 0 || errno != EWOULDBLOCK;
}

int OpenReadNoShare(const QString& path) {
    const QByteArray native = NativePath(path);
    if (native.isEmpty())
        return -1;
    // O_NONBLOCK: a FIFO must not block the open; it is refused below anyway.
    const int fd = OpenAt(AT_FDCWD, native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;

    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }

    if (!LockUnlessHeld(fd, LOCK_EX)) {
        ::close(fd);
        return -1;
    }

    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

void CloseFile(int fd) {
    // Linux releases the descriptor even when close reports EINTR: never retry.
    if (fd >= 0)
        ::close(fd);
}

int64_t FileSize(int fd) {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0)
        return -1;
    return static_cast<int64_t>(st.st_size);
}

int64_t ReadAt(int fd, int64_t offset, void* buffer, int64_t count) {
    if (fd < 0 || offset < 0 || count < 0)
        return -1;
    auto* out = static_cast<char*>(buffer);
    int64_t done = 0;
    while (done < count) {
        const ssize_t n =
            ::pread(fd, out + done, static_cast<size_t>(count - done), static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break; // end of file
        done += n;
    }
    return done;
}

void EnsureStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // open() takes the lowest free number, which is this one.
        const int opened = ::open("/dev/null", O_RDWR);
        if (opened >= 0 && opened != fd)
            ::close(opened);
    }
}

QString FindCaseInsensitive(const QString& folder, const QString& name) {
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return {};
    const QByteArray dirName = QFile::encodeName(folder.isEmpty() ? QStringLiteral(".") : folder);
    DIR* dir = ::opendir(dirName.constData());
    if (!dir)
        return {};
    QString found;
    int matches = 0;
    while (const dirent* e = ::readdir(dir)) {
        const QString entry = QFile::decodeName(e->d_name);
        struct stat st {};
        if (entry.compare(name, Qt::CaseInsensitive) == 0 &&
            ::fstatat(::dirfd(dir), e->d_name, &st, 0) == 0 && S_ISREG(st.st_mode)) {
            found = entry;
            ++matches;
        }
    }
    ::closedir(dir);
    return matches == 1 ? found : QString();
}

} // namespace morbek::platform
