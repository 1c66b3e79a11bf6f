#pragma once
// The seven memory and file functions handed to the cabinet library (FDICreate), and
// the module state the extraction driver shares with them. No widgets here: CabWrite
// reaches the progress bar through a sink that the program installs.
#include <cstdint>
#include <functional>
#include <sys/stat.h>

namespace morbek {

// The current decompression context, as FDICreate returns it; null when there is none.
// Process-wide, one run at a time, UI thread only.
extern void* CabContext;

// Progress of one run, reset by the driver at its start: ProgressTotal is the entry's
// size in bytes, ProgressDone the bytes handed to CabWrite since the run began. They are
// 64-bit (the original's are signed 32-bit) so that any size up to the 32-bit limit,
// and a count that runs on past it over several files, never overflows.
extern int64_t ProgressTotal;
extern int64_t ProgressDone;

// Receives the bar position (0 to 100) at every CabWrite; empty: nobody listens.
using ProgressSink = std::function<void(int percent)>;
void SetProgressSink(ProgressSink sink);

// done * 100 / total, dropping the fraction, clamped to 0..100 (the bar stays at its
// maximum past 100). A total of 0 or less counts as complete: 100.
int ProgressPercent(int64_t done, int64_t total);

// Null for 0 bytes and when memory is exhausted; never throws.
void* CabAlloc(uint32_t cb);
// Releases a block from CabAlloc; null is ignored.
void CabFree(void* pv);

// oflag carries the Windows _O_* values (platform/files/OpenFlags.h); only _O_CREAT,
// _O_WRONLY and _O_EXCL are looked at, and pmode is ignored. Returns a descriptor
// (O_CLOEXEC, a regular file, locked with flock for the sharing asked for) or -1.
int CabOpen(char* pszFile, int oflag, int pmode);
// The cabinet that the driver opened for the cabinet test and holds for the rest of the
// run (path as handed to CabOpen, descriptor); nullptr or a negative descriptor: none.
// While it is held, a read open of that same path with full sharing (the library opening
// the cabinet itself) answers a second descriptor of the held file, rewound to its start:
// the file the driver tested, as on Windows, where a file held open cannot be replaced
// under its name. The two descriptors share one position, so the held one must not be
// read from meanwhile; no-sharing opens of the path are refused as before.
void HoldCabinet(const char* path, int hf);

// Creates name in the folder open as folder, or replaces the regular file there in place
// (truncated once checked and locked), as CabOpen does with _O_CREAT, but never through a
// link: a link at name is refused (ELOOP). Returns a descriptor or -1 with errno set
// (EACCES for a read-only file, EWOULDBLOCK for one another opener holds).
int CabCreateAt(int folder, const char* name);

// The errno of the last CabWrite that failed (ENOSPC for a write that made no progress),
// 0 when none failed since ClearWriteError: how the driver learns why a target stopped.
int LastWriteError();
void ClearWriteError();

// Bytes read (fewer only at the end of the file), or 0xFFFFFFFF on failure.
uint32_t CabRead(int hf, void* pv, uint32_t cb);
// Advances ProgressDone by cb and reports the percentage to the sink, then writes.
// Bytes written, or 0xFFFFFFFF on failure.
uint32_t CabWrite(int hf, void* pv, uint32_t cb);
// Always 0.
int CabClose(int hf);
// The status of an open handle (fstat): how the library identifies the cabinet it reads
// (FDISetHandleStat). 0 on success.
int CabStat(int hf, struct stat* st);
// seektype 0: from the start, 1: from the current position, 2: from the end. The new
// position from the start, or -1.
long CabSeek(int hf, long dist, int seektype);

} // namespace morbek
