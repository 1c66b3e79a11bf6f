#pragma once
// The session FDICopy keeps between runs (catalogues and libmspack's side), the run that
// borrows it, and the glue through which libmspack reads the cabinets and writes the
// target with the caller's callbacks.
#include "platform/fdi/Internal.h"
#include "platform/files/OpenFlags.h"

#include <mspack.h>

namespace morbek::fdi::detail {

class MszipDecoder;

constexpr int kCabinetFlags = platform::_O_BINARY | platform::_O_RDONLY | platform::_O_SEQUENTIAL;
constexpr int kCabinetMode = platform::_S_IREAD | platform::_S_IWRITE;
constexpr size_t kPathMax = 4096;
// Name under which libmspack "opens" the output; the glue maps it to the caller's handle.
constexpr char kOutputName[] = "\x01"
                               "fdi-output";

struct Session;

// What one FDICopy call brings: the context's callbacks and, while libmspack extracts,
// the caller's handle for the output.
struct Run {
    Context* ctx = nullptr;
    PFNFDINOTIFY notify = nullptr;
    void* pv = nullptr;
    int outHf = -1;
    int pendingTarget = -1; // handle answered to COPY_FILE and not yet handed back
    size_t entered = 1;     // cabinets of the chain reached in this run
    char dir[kPathMax] = {};
    // The handle the run opened on its first cabinet, lent to the decoder's reads of that
    // same file instead of a second open per run.
    const char* cabinetPath = nullptr;
    int cabinetHf = -1;
};

// An mspack_file of ours. Inputs are cabinet files, opened through pfnopen lazily and
// closed through pfnclose at the end of every run, remembering the position, so that
// libmspack may keep one open across runs while the caller sees every open and close.
struct GlueFile {
    Session* session;
    bool output;
    const char* name;
    int64_t pos = 0;
    int hf = -1;
    int64_t hfPos = -1;
    bool borrowed = false; // hf is the run's own cabinet handle: never closed here
    GlueFile* next = nullptr;
    // The cabinet's view (see Cabinet::view): read in place of the file's first bytes.
    const unsigned char* view = nullptr;
    int64_t viewLength = 0;
};

struct Session {
    explicit Session(Heap h) : heap(h), cabs(HeapAllocator<Cabinet>(&heap)) {}
    Heap heap;
    mspack_system sys{};
    mscab_decompressor* cabd = nullptr;
    Vec<Cabinet> cabs;
    size_t built = 0; // cabinets present in libmspack's chain
    GlueFile* inputs = nullptr;
    Run* run = nullptr;
    bool cacheable = true;
    // MSZIP folders go through zlib instead of libmspack.
    MszipDecoder* zip = nullptr;
    GlueFile* zipIn = nullptr;
};

// libmspack copies its mspack_system, so the glue finds its session through the scope
// around every call into libmspack (calls are synchronous, nested runs save and restore).
struct ActiveScope {
    Session* prev;
    explicit ActiveScope(Session* s);
    ~ActiveScope();
    ActiveScope(const ActiveScope&) = delete;
    ActiveScope& operator=(const ActiveScope&) = delete;
};

// The mspack_system of a session.
GlueFile* AsGlue(mspack_file* f);
mspack_file* GlueOpen(mspack_system*, const char* name, int mode);
void GlueClose(mspack_file* file);
int GlueRead(mspack_file* file, void* buffer, int bytes);
int GlueWrite(mspack_file* file, void* buffer, int bytes);
int GlueSeek(mspack_file* file, off_t offset, int mode);
off_t GlueTell(mspack_file* file);
void GlueMessage(mspack_file*, const char*, ...);
void* GlueAlloc(mspack_system*, size_t bytes);
void GlueFree(void* p);
void GlueCopy(void* src, void* dst, size_t bytes);
FDIERROR FromMspack(int error);

Session* NewSession(Context* ctx);
// Releases libmspack's side (cabinets and decoder) and the MSZIP decoder; the
// catalogues stay.
void DropMspack(Session* s);
// Hands back every handle the glue holds; the objects stay for the next run.
void CloseInputs(Session* s);
void DestroySession(Session* s, Run* run);

} // namespace morbek::fdi::detail
