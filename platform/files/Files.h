#pragma once
// File stand-ins with the original platform's meaning of "exists", "open for reading
// granting no sharing" and the like.
#include <QString>
#include <cstddef>
#include <cstdint>

namespace morbek::platform {

// A file exists when stat succeeds and it is a regular file (folders, FIFOs and
// devices do not count).
bool FileExists(const QString& path);

// Opens a regular file for reading and takes an exclusive advisory lock (flock), so
// that the program's own other opens are refused while it is held. Returns -1 when the
// file is missing, not regular, unreadable, or locked by another opener. Lock errors
// other than EWOULDBLOCK (network file systems) leave the file open unlocked.
// The descriptor is opened with O_CLOEXEC; close it with CloseFile.
int OpenReadNoShare(const QString& path);
void CloseFile(int fd);

// openat that retries when a signal interrupts it; the descriptor, or -1 with errno.
int OpenAt(int folder, const char* name, int flags, unsigned mode = 0);
// flock that retries when a signal interrupts it; 0, or -1 with errno.
int Flock(int fd, int operation);
// flock with LOCK_NB that retries when a signal interrupts it; 0, or -1 with errno.
int FlockNoWait(int fd, int operation);
// The lock taken, or refused for another reason than another holder: only EWOULDBLOCK
// means someone holds the file; other errors (network and FUSE file systems) leave it
// unlocked rather than refused.
bool LockUnlessHeld(int fd, int operation);

// Writes all count bytes, retrying when a signal interrupts and after a short write;
// true when all were written. False with errno from the write that failed, or ENOSPC
// when a write took nothing without an error (nothing more fits).
bool WriteAll(int fd, const void* data, size_t count);

// Size of an open file, or -1.
int64_t FileSize(int fd);

// pread-style read that retries on EINTR and short reads; returns the bytes read
// (fewer only at the end of the file), or -1 on error.
int64_t ReadAt(int fd, int64_t offset, void* buffer, int64_t count);

// The one regular file in folder whose name equals name regardless of case, as the
// name found on disk; empty when there is none or more than one. Members of a cabinet
// set are named in their headers as spelt on the system that made them.
QString FindCaseInsensitive(const QString& folder, const QString& name);

// Makes sure descriptors 0 to 2 are open (to /dev/null), so that no file the program
// opens later receives one of them.
void EnsureStandardDescriptors();

} // namespace morbek::platform
