#include "extract/Binding.h"

#include "platform/fdi/fdi.h"
#include "platform/files/Files.h"
#include "platform/files/OpenFlags.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>
#include <utility>

namespace morbek {

// The library takes these functions as they are: a mismatch must not compile.
static_assert(std::is_same_v<decltype(&CabAlloc), fdi::PFNALLOC>);
static_assert(std::is_same_v<decltype(&CabFree), fdi::PFNFREE>);
static_assert(std::is_same_v<decltype(&CabOpen), fdi::PFNOPEN>);
static_assert(std::is_same_v<decltype(&CabRead), fdi::PFNREAD>);
static_assert(std::is_same_v<decltype(&CabWrite), fdi::PFNWRITE>);
static_assert(std::is_same_v<decltype(&CabClose), fdi::PFNCLOSE>);
static_assert(std::is_same_v<decltype(&CabSeek), fdi::PFNSEEK>);
static_assert(std::is_same_v<decltype(CabContext), fdi::HFDI>);
static_assert(std::is_same_v<decltype(&CabStat), fdi::PFNSTAT>);

void* CabContext = nullptr;
int64_t ProgressTotal = 0;
int64_t ProgressDone = 0;

namespace {

constexpr uint32_t kFailed = 0xFFFFFFFFu;

struct HeldCabinet {
    std::string path;
    int hf = -1;
};
HeldCabinet Held;

// A second descriptor of the held cabinet, at its start; -1 when that cannot be had (the
// caller then opens the path as usual).
int ShareHeld() {
    const int fd = ::fcntl(Held.hf, F_DUPFD_CLOEXEC, 1);
    if (fd < 0)
        return -1;
    if (::lseek(fd, 0, SEEK_SET) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

ProgressSink& Sink() {
    static ProgressSink sink;
    return sink;
}

int WriteError = 0;

// O_NONBLOCK only kept a FIFO from blocking the open; regular files get normal I/O. The
// status flags are the ones the file was opened with, so they need not be read back.
void ClearNonBlock(int fd, int openFlags) {
    ::fcntl(fd, F_SETFL, openFlags & ~O_NONBLOCK);
}

// Anything but a regular file does not open; a file without the owner's write bit is
// read-only and is refused for writing whoever we run as (root would ignore the bits).
bool Acceptable(int fd, bool forWriting) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    return !forWriting || (st.st_mode & S_IWUSR) != 0;
}

constexpr int kOpenBase = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// Create, replacing an existing file of that name in place (never unlink or rename, so
// a read-only file stays protected): read and write access, no sharing. The existing
// file is truncated only once it has passed the checks and the lock.
int CreateReplacing(const char* path, int folder = AT_FDCWD, int extra = 0) {
    bool created = true;
    int fd = platform::OpenAt(folder, path, O_RDWR | O_CREAT | O_EXCL | kOpenBase | extra, 0666);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        fd = platform::OpenAt(folder, path, O_RDWR | kOpenBase | extra);
    }
    if (fd < 0)
        return -1;
    // A file we just made is writable whatever the umask left of its mode.
    struct stat st {};
    int why = 0;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        why = ELOOP;
    else if (!created && (st.st_mode & S_IWUSR) == 0)
        why = EACCES;
    else if (!platform::LockUnlessHeld(fd, LOCK_EX))
        why = EWOULDBLOCK;
    else if (!created && ::ftruncate(fd, 0) != 0)
        why = errno;
    if (why != 0) {
        ::close(fd);
        errno = why;
        return -1;
    }
    ClearNonBlock(fd, O_RDWR | kOpenBase);
    return fd;
}

int OpenExisting(const char* path, bool writeOnly, bool noSharing) {
    const int flags = (writeOnly ? O_WRONLY : O_RDONLY) | kOpenBase;
    const int fd = platform::OpenAt(AT_FDCWD, path, flags);
    if (fd < 0)
        return -1;
    // A shared lock held for the descriptor's life makes a later no-sharing open fail.
    if (!Acceptable(fd, writeOnly) || !platform::LockUnlessHeld(fd, noSharing ? LOCK_EX : LOCK_SH)) {
        ::close(fd);
        return -1;
    }
    ClearNonBlock(fd, flags);
    return fd;
}

} // namespace

void SetProgressSink(ProgressSink sink) {
    Sink() = std::move(sink);
}

int ProgressPercent(int64_t done, int64_t total) {
    if (total <= 0)
        return 100;
    // 64-bit: done * 100 cannot overflow for any count a run can reach.
    return static_cast<int>(std::clamp<int64_t>(done * 100 / total, 0, 100));
}

void* CabAlloc(uint32_t cb) {
    if (cb == 0)
        return nullptr;
    return ::operator new(cb, std::nothrow);
}

void CabFree(void* pv) {
    ::operator delete(pv);
}

void HoldCabinet(const char* path, int hf) {
    if (path == nullptr || hf < 0) {
        Held = {};
        return;
    }
    Held.path = path;
    Held.hf = hf;
}

int CabOpen(char* pszFile, int oflag, int /*pmode*/) {
    if (pszFile == nullptr || *pszFile == '\0')
        return -1;
    // One path look-up, check and lock less per extracted entry.
    if (Held.hf >= 0 && (oflag & (platform::_O_CREAT | platform::_O_WRONLY | platform::_O_EXCL)) == 0 &&
        Held.path == pszFile) {
        if (const int fd = ShareHeld(); fd > 0)
            return fd;
    }
    if (oflag & platform::_O_CREAT) {
        const int fd = CreateReplacing(pszFile);
        if (fd > 0)
            return fd;
        // Descriptor 0 is no handle to the original; with standard descriptors kept
        // open it cannot come back, but it must not leak either.
        if (fd == 0)
            ::close(fd);
    }
    return OpenExisting(pszFile, (oflag & platform::_O_WRONLY) != 0, (oflag & platform::_O_EXCL) != 0);
}

int CabCreateAt(int folder, const char* name) {
    if (folder < 0 || name == nullptr || *name == '\0' || std::strchr(name, '/') != nullptr) {
        errno = EINVAL;
        return -1;
    }
    const int fd = CreateReplacing(name, folder, O_NOFOLLOW);
    if (fd == 0) { // no handle the library can use; cannot happen with standard descriptors open
        ::close(fd);
        errno = EMFILE;
        return -1;
    }
    return fd;
}

int LastWriteError() {
    return WriteError;
}

void ClearWriteError() {
    WriteError = 0;
}

uint32_t CabRead(int hf, void* pv, uint32_t cb) {
    auto* out = static_cast<char*>(pv);
    uint32_t total = 0;
    while (total < cb) {
        const ssize_t n = ::read(hf, out + total, cb - total);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return kFailed;
        }
        if (n == 0)
            break;
        total += static_cast<uint32_t>(n);
    }
    return total;
}

uint32_t CabWrite(int hf, void* pv, uint32_t cb) {
    ProgressDone += cb;
    if (const ProgressSink& sink = Sink())
        sink(ProgressPercent(ProgressDone, ProgressTotal));

    if (!platform::WriteAll(hf, pv, cb)) {
        WriteError = errno;
        return kFailed;
    }
    return cb;
}

int CabClose(int hf) {
    // Linux releases the descriptor even when close reports EINTR: never retry.
    ::close(hf);
    return 0;
}

int CabStat(int hf, struct stat* st) {
    return ::fstat(hf, st);
}

long CabSeek(int hf, long dist, int seektype) {
    int whence;
    switch (seektype) {
    case 0:
        whence = SEEK_SET;
        break;
    case 1:
        whence = SEEK_CUR;
        break;
    case 2:
        whence = SEEK_END;
        break;
    default:
        return -1;
    }
    const off_t position = ::lseek(hf, static_cast<off_t>(dist), whence);
    return position < 0 ? -1 : static_cast<long>(position);
}

} // namespace morbek
