#pragma once
// Our cabinet decompression library: the FDI interface of the Windows cabinet library
// (cabinet.dll), under its documented names. Stored, Quantum and LZX folders are decoded
// by libmspack, MSZIP folders by zlib.
//
// Differences from the Windows declarations, chosen for this platform:
// - File handles are int (the program's handles are signed 32-bit; -1 is "no file").
//   The notification callback still answers INT_PTR; in fdintCOPY_FILE any answer other
//   than 0 and -1 is taken as such a handle and must fit an int.
// - Open flags are the Windows _O_* values of platform/files/OpenFlags.h. The library opens
//   cabinets with _O_BINARY | _O_RDONLY | _O_SEQUENTIAL (0x8020), never anything else.
// - Names handed out in psz1/psz2 are UTF-8: a file name whose attributes carry 0x80 is
//   UTF-8 already, every other name (and every cabinet and disk name) is Windows-1252 and
//   is converted. The buffers belong to the library and live until the callback returns.
//
// Every memory and file operation goes through the seven functions given to FDICreate.
// FDICopy keeps what it learnt about the last cabinet (set) it ran over, and its decoder,
// between runs, so that running it once per entry costs about one pass over the cabinet;
// see FDIFlushCache.
#include <cstdint>
#include <sys/stat.h>

namespace morbek::fdi {

using BOOL = int;
using INT_PTR = intptr_t;
constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;

using HFDI = void*;

using PFNALLOC = void* (*)(uint32_t cb);
using PFNFREE = void (*)(void* pv);
using PFNOPEN = int (*)(char* pszFile, int oflag, int pmode);
// Bytes read or written, or 0xFFFFFFFF (-1) on failure.
using PFNREAD = uint32_t (*)(int hf, void* pv, uint32_t cb);
using PFNWRITE = uint32_t (*)(int hf, void* pv, uint32_t cb);
using PFNCLOSE = int (*)(int hf);
// seektype: 0 from the start, 1 from the current position, 2 from the end. Returns the
// new position from the start, or -1.
using PFNSEEK = long (*)(int hf, long dist, int seektype);

struct ERF {
    int erfOper; // an FDIERROR value
    int erfType; // more detail; 0 here
    BOOL fError;
};

struct FDICABINETINFO {
    long cbCabinet;    // the cabinet's declared size in bytes
    uint16_t cFolders; // folders in this cabinet
    uint16_t cFiles;   // file records in this cabinet
    uint16_t setID;    // shared by the cabinets of a set
    uint16_t iCabinet; // index in the set, from 0
    BOOL fReserve;     // the cabinet has reserved areas
    BOOL hasprev;      // it names a previous cabinet
    BOOL hasnext;      // it names a next cabinet
};

enum FDIERROR : int {
    FDIERROR_NONE = 0,
    FDIERROR_CABINET_NOT_FOUND = 1,
    FDIERROR_NOT_A_CABINET = 2,
    FDIERROR_UNKNOWN_CABINET_VERSION = 3,
    FDIERROR_CORRUPT_CABINET = 4,
    FDIERROR_ALLOC_FAIL = 5,
    FDIERROR_BAD_COMPR_TYPE = 6,
    FDIERROR_MDI_FAIL = 7,
    FDIERROR_TARGET_FILE = 8,
    FDIERROR_RESERVE_MISMATCH = 9,
    FDIERROR_WRONG_CABINET = 10,
    FDIERROR_USER_ABORT = 11,
    FDIERROR_EOF = 12,
};

enum FDINOTIFICATIONTYPE : int {
    fdintCABINET_INFO = 0,
    fdintPARTIAL_FILE = 1,
    fdintCOPY_FILE = 2,
    fdintCLOSE_FILE_INFO = 3,
    fdintNEXT_CABINET = 4,
    fdintENUMERATE = 5, // declared for completeness; never sent
};

struct FDINOTIFICATION {
    long cb;
    char* psz1;
    char* psz2;
    char* psz3;
    void* pv; // pvUser of FDICopy
    int hf;
    uint16_t date;
    uint16_t time;
    uint16_t attribs;
    uint16_t setID;
    uint16_t iCabinet;
    uint16_t iFolder;
    FDIERROR fdie;
};

using PFNFDINOTIFY = INT_PTR (*)(FDINOTIFICATIONTYPE fdint, FDINOTIFICATION* pfdin);

// Decryption is not supported; FDICopy ignores this callback.
struct FDIDECRYPT;
using PFNFDIDECRYPT = int (*)(FDIDECRYPT* pfdid);

constexpr int cpuUNKNOWN = -1;
constexpr int cpu80286 = 0;
constexpr int cpu80386 = 1;

// Attribute bits of a file record.
constexpr uint16_t _A_RDONLY = 0x01;
constexpr uint16_t _A_HIDDEN = 0x02;
constexpr uint16_t _A_SYSTEM = 0x04;
constexpr uint16_t _A_ARCH = 0x20;
constexpr uint16_t _A_EXEC = 0x40;
constexpr uint16_t _A_NAME_IS_UTF = 0x80;

// Null when an argument is missing or the context cannot be allocated (erf says which).
HFDI FDICreate(PFNALLOC pfnalloc, PFNFREE pfnfree, PFNOPEN pfnopen, PFNREAD pfnread, PFNWRITE pfnwrite,
               PFNCLOSE pfnclose, PFNSEEK pfnseek, int cpuType, ERF* perf);

// Reads the cabinet header from the start of hf (a cabinet file; an executable carrying
// one must be copied out first) and fills pfdici. TRUE for a cabinet. hf stays open.
BOOL FDIIsCabinet(HFDI hfdi, int hf, FDICABINETINFO* pfdici);

// Opens pszCabPath followed by pszCabinet and notifies, in table order:
//   fdintCABINET_INFO once per cabinet opened (psz1/psz2 next cabinet and disk, psz3 the
//   path, setID, iCabinet); answer 0 to go on.
//   fdintPARTIAL_FILE for a file that begins in an earlier cabinet (psz1 name, psz2/psz3
//   that cabinet's name and disk); answer 0 to go on.
//   fdintCOPY_FILE for every other file (psz1 name, cb size, date, time, attribs,
//   iFolder): answer 0 to skip it, -1 to stop, or the handle that receives its bytes
//   through pfnwrite. After the last byte: fdintCLOSE_FILE_INFO (psz1, hf, date, time,
//   attribs, cb 1 when _A_EXEC is set); the callback closes hf and answers TRUE.
//   fdintNEXT_CABINET when a chosen file continues in the next cabinet (psz1/psz2 its
//   name and disk, psz3 the path, in a buffer of 4096 bytes the callback may rewrite, as
//   documented for 256, fdie NONE); the
//   library then opens psz3 + psz1 (exact name, else the one case-insensitive match in
//   that folder). When that fails it asks again with fdie CABINET_NOT_FOUND,
//   NOT_A_CABINET or WRONG_CABINET. Once a run has entered the next cabinet, that
//   cabinet's own files follow (its continued files silently).
// Any other answer to CABINET_INFO, PARTIAL_FILE and NEXT_CABINET, and FALSE or -1 to
// CLOSE_FILE_INFO, stops the run with FDIERROR_USER_ABORT. When decoding or writing a file
// fails, the library closes its handle through pfnclose itself (no CLOSE_FILE_INFO).
// FALSE with the ERF of FDICreate filled on any failure. flags and pfnfdid are ignored.
BOOL FDICopy(HFDI hfdi, char* pszCabinet, char* pszCabPath, int flags, PFNFDINOTIFY pfnfdin,
             PFNFDIDECRYPT pfnfdid, void* pvUser);

// Releases the context. The cache of FDICopy outlives it (the program creates one
// context per entry); FDIFlushCache releases that.
BOOL FDIDestroy(HFDI hfdi);

// Not part of the Windows interface. Releases what FDICopy keeps between runs, through the
// free function of the context that allocated it: the catalogue of the last cabinet (and
// of the set members a run reached), about 32 bytes plus the stored and the UTF-8 name per
// file record and 8 bytes per folder, and one decoder with its position (at most about 2.3 MiB: an LZX or
// Quantum window, or 32 KiB of MSZIP history). No file stays open between runs: each run opens and closes
// what it reads. Only cabinets that stat() (or the handle stat, see FDISetHandleStat) can identify are kept
// (path, size, mtime, inode, and the header bytes must match on the next run); the cache is also dropped when
// a run fails, meets another cabinet, or brings other memory functions.
void FDIFlushCache();

// Not part of the Windows interface. For a caller that wants only the files whose name,
// after its last backslash, is name (bytes as fdintCOPY_FILE gives them): the following
// FDICopy runs of this context notify COPY_FILE and PARTIAL_FILE only for such files, in
// file-table order, found through an index of the cached catalogue instead of a walk over
// every record. The caller keeps name alive while it is set; null notifies every file.
void FDISetNameFilter(HFDI hfdi, const char* name);

// Not part of the Windows interface. The file status of an open handle of the caller's
// (fstat for descriptors): FDICopy then identifies a cabinet for its cache by the handle
// it reads through rather than by looking its name up again, which costs less and cannot
// name another file than the one read. 0 on success, as fstat. Null (the default): the
// name is looked up.
using PFNSTAT = int (*)(int hf, struct stat* st);
void FDISetHandleStat(HFDI hfdi, PFNSTAT pfnstat);

} // namespace morbek::fdi
