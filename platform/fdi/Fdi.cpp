// The FDI entry points, the run of FDICopy over a cabinet (set), the glue that lets
// libmspack work through the caller's seven callbacks, and the cache kept between runs.
#include "platform/fdi/fdi.h"
#include "platform/files/Files.h"

#include "platform/fdi/Internal.h"
#include "platform/fdi/Mszip.h"
#include "platform/files/OpenFlags.h"

#include <mspack.h>

#include <QString>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

namespace morbek::fdi {

using namespace detail;

namespace {

constexpr int kCabinetFlags = platform::_O_BINARY | platform::_O_RDONLY | platform::_O_SEQUENTIAL;
constexpr int kCabinetMode = platform::_S_IREAD | platform::_S_IWRITE;
// libmspack's largest single block is a 2 MiB window; anything far beyond is refused.
constexpr size_t kMaxAlloc = 8u << 20;
// The caller decides when to give up asking for a next cabinet; this only bounds a caller
// that never does.
constexpr int kMaxRetries = 1000;
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

// libmspack copies its mspack_system, so the glue finds its session here; set around
// every call into libmspack (calls are synchronous, nested runs save and restore it).
thread_local Session* tActive = nullptr;

struct ActiveScope {
    Session* prev;
    explicit ActiveScope(Session* s) : prev(tActive) { tActive = s; }
    ~ActiveScope() { tActive = prev; }
    ActiveScope(const ActiveScope&) = delete;
    ActiveScope& operator=(const ActiveScope&) = delete;
};

// The process-wide cache: one session, taken by the run that owns it.
std::atomic<bool> gBusy{false};
Session* gCache = nullptr;

GlueFile* AsGlue(mspack_file* f) {
    return reinterpret_cast<GlueFile*>(f);
}

bool EnsureOpen(GlueFile* f) {
    if (f->hf != -1)
        return true;
    Run* run = f->session->run;
    if (!run)
        return false;
    if (run->cabinetHf != -1 && run->cabinetPath && std::strcmp(f->name, run->cabinetPath) == 0) {
        f->hf = run->cabinetHf;
        f->borrowed = true;
        f->hfPos = -1; // wherever the run left it
        return true;
    }
    const int hf = run->ctx->open(const_cast<char*>(f->name), kCabinetFlags, kCabinetMode);
    if (hf == -1)
        return false;
    f->hf = hf;
    f->hfPos = -1;
    return true;
}

mspack_file* GlueOpen(mspack_system*, const char* name, int mode) {
    Session* s = tActive;
    if (!s || !s->run || !name)
        return nullptr;
    const bool output = mode == MSPACK_SYS_OPEN_WRITE && std::strcmp(name, kOutputName) == 0;
    if (output ? s->run->outHf == -1 : mode != MSPACK_SYS_OPEN_READ)
        return nullptr;
    void* mem = s->heap.alloc(sizeof(GlueFile));
    if (!mem)
        return nullptr;
    auto* f = new (mem) GlueFile{s, output, name};
    if (!output) {
        for (const Cabinet& c : s->cabs) {
            if (!c.view.empty() && std::strcmp(c.path.data(), name) == 0) {
                f->view = c.view.data();
                f->viewLength = static_cast<int64_t>(c.view.size());
                break;
            }
        }
        if (!EnsureOpen(f)) {
            s->heap.free(mem);
            return nullptr;
        }
        f->next = s->inputs;
        s->inputs = f;
    }
    return reinterpret_cast<mspack_file*>(f);
}

void GlueClose(mspack_file* file) {
    GlueFile* f = AsGlue(file);
    if (!f)
        return;
    Session* s = f->session;
    if (!f->output) {
        for (GlueFile** p = &s->inputs; *p; p = &(*p)->next) {
            if (*p == f) {
                *p = f->next;
                break;
            }
        }
        if (f->hf != -1 && !f->borrowed && s->run)
            s->run->ctx->close(f->hf);
    }
    f->~GlueFile();
    s->heap.free(f);
}

// Reads at position `at` of the file itself; the count read, or -1.
int ReadAt(GlueFile* f, int64_t at, void* buffer, int bytes) {
    const Context* ctx = f->session->run->ctx;
    if (f->hfPos != at) {
        if (at > 0x7FFFFFFF || ctx->seek(f->hf, static_cast<long>(at), 0) != at) {
            f->hfPos = -1;
            return -1;
        }
        f->hfPos = at;
    }
    const uint32_t got = ctx->read(f->hf, buffer, static_cast<uint32_t>(bytes));
    if (got == 0xFFFFFFFFu || got > static_cast<uint32_t>(bytes)) {
        f->hfPos = -1;
        return -1;
    }
    f->hfPos = at + got;
    return static_cast<int>(got);
}

int GlueRead(mspack_file* file, void* buffer, int bytes) {
    GlueFile* f = AsGlue(file);
    if (!f || f->output || bytes < 0 || !EnsureOpen(f))
        return -1;
    auto* out = static_cast<unsigned char*>(buffer);
    int done = 0;
    if (f->pos < f->viewLength) {
        done = static_cast<int>(std::min<int64_t>(bytes, f->viewLength - f->pos));
        std::memcpy(out, f->view + f->pos, static_cast<size_t>(done));
        f->pos += done;
        if (done == bytes)
            return done;
    }
    const int got = ReadAt(f, f->pos, out + done, bytes - done);
    if (got < 0)
        return -1;
    f->pos += got;
    return done + got;
}

int GlueWrite(mspack_file* file, void* buffer, int bytes) {
    GlueFile* f = AsGlue(file);
    if (!f || !f->output || bytes < 0)
        return -1;
    Run* run = f->session->run;
    if (!run || run->outHf == -1)
        return -1;
    const uint32_t put = run->ctx->write(run->outHf, buffer, static_cast<uint32_t>(bytes));
    if (put == 0xFFFFFFFFu || put > static_cast<uint32_t>(bytes))
        return -1;
    return static_cast<int>(put);
}

int GlueSeek(mspack_file* file, off_t offset, int mode) {
    GlueFile* f = AsGlue(file);
    if (!f || f->output)
        return -1;
    int64_t base = 0;
    switch (mode) {
    case MSPACK_SYS_SEEK_START:
        break;
    case MSPACK_SYS_SEEK_CUR:
        base = f->pos;
        break;
    case MSPACK_SYS_SEEK_END: {
        if (!EnsureOpen(f))
            return -1;
        const long end = f->session->run->ctx->seek(f->hf, 0, 2);
        f->hfPos = end;
        if (end < 0)
            return -1;
        base = end;
        break;
    }
    default:
        return -1;
    }
    const int64_t to = base + static_cast<int64_t>(offset);
    if (to < 0 || to > 0x7FFFFFFF)
        return -1;
    f->pos = to;
    return 0;
}

off_t GlueTell(mspack_file* file) {
    GlueFile* f = AsGlue(file);
    return f ? static_cast<off_t>(f->pos) : -1;
}

void GlueMessage(mspack_file*, const char*, ...) {}

void* GlueAlloc(mspack_system*, size_t bytes) {
    Session* s = tActive;
    if (!s || bytes == 0 || bytes > kMaxAlloc)
        return nullptr;
    return s->heap.alloc(static_cast<uint32_t>(bytes));
}

void GlueFree(void* p) {
    if (p && tActive)
        tActive->heap.free(p);
}

void GlueCopy(void* src, void* dst, size_t bytes) {
    std::memmove(dst, src, bytes);
}

void SetError(Context* ctx, FDIERROR code) {
    ctx->erf->erfOper = code;
    ctx->erf->erfType = 0;
    ctx->erf->fError = TRUE;
}

Context* ContextOf(HFDI hfdi) {
    auto* ctx = static_cast<Context*>(hfdi);
    return ctx && ctx->magic == kContextMagic ? ctx : nullptr;
}

Session* NewSession(Context* ctx) {
    void* mem = ctx->alloc(sizeof(Session));
    if (!mem)
        return nullptr;
    auto* s = new (mem) Session(Heap{ctx->alloc, ctx->free});
    s->sys.open = GlueOpen;
    s->sys.close = GlueClose;
    s->sys.read = GlueRead;
    s->sys.write = GlueWrite;
    s->sys.seek = GlueSeek;
    s->sys.tell = GlueTell;
    s->sys.message = GlueMessage;
    s->sys.alloc = GlueAlloc;
    s->sys.free = GlueFree;
    s->sys.copy = GlueCopy;
    s->sys.null_ptr = nullptr;
    return s;
}

// Releases libmspack's side (cabinets and decoder) and the MSZIP decoder; the
// catalogues stay.
void DropMspack(Session* s) {
    ActiveScope active(s);
    if (s->zip) {
        s->zip->~MszipDecoder();
        s->heap.free(s->zip);
        s->zip = nullptr;
    }
    if (s->zipIn) {
        GlueClose(reinterpret_cast<mspack_file*>(s->zipIn));
        s->zipIn = nullptr;
    }
    if (s->cabd) {
        for (size_t i = 0; i < s->built; ++i) {
            if (s->cabs[i].mcab && !s->cabs[i].attached)
                s->cabd->close(s->cabd, s->cabs[i].mcab);
        }
        mspack_destroy_cab_decompressor(s->cabd);
        s->cabd = nullptr;
    }
    for (Cabinet& c : s->cabs) {
        c.mcab = nullptr;
        c.attached = false;
        c.trimmed = false;
        c.mfolders.clear();
    }
    s->built = 0;
}

// Hands back every handle the glue holds; the objects stay for the next run.
void CloseInputs(Session* s) {
    for (GlueFile* f = s->inputs; f; f = f->next) {
        if (f->hf != -1 && !f->borrowed && s->run)
            s->run->ctx->close(f->hf);
        f->hf = -1;
        f->hfPos = -1;
        f->borrowed = false;
    }
}

void DestroySession(Session* s, Run* run) {
    if (!s)
        return;
    Run* before = s->run;
    s->run = run;
    DropMspack(s);
    CloseInputs(s);
    s->run = before;
    const Heap heap = s->heap;
    s->~Session();
    heap.free(s);
}

FDIERROR FromMspack(int error) {
    switch (error) {
    case MSPACK_ERR_OK:
        return FDIERROR_NONE;
    case MSPACK_ERR_WRITE:
        return FDIERROR_TARGET_FILE;
    case MSPACK_ERR_NOMEMORY:
        return FDIERROR_ALLOC_FAIL;
    case MSPACK_ERR_OPEN:
        return FDIERROR_CABINET_NOT_FOUND;
    default:
        return FDIERROR_CORRUPT_CABINET;
    }
}

bool MethodSupported(uint16_t compType) {
    const int window = (compType >> tcompSHIFT_WINDOW) & tcompMASK_WINDOW;
    switch (compType & tcompMASK_TYPE) {
    case tcompTYPE_NONE:
    case tcompTYPE_MSZIP:
        return true;
    case tcompTYPE_QUANTUM:
        return window >= 10 && window <= 21;
    case tcompTYPE_LZX:
        return window >= 15 && window <= 21;
    default:
        return false;
    }
}

// The MSZIP decoder's input: one glue file of the session, moved from cabinet to cabinet.
class SessionBlocks final : public BlockSource {
public:
    // Reads ahead in growing chunks up to this size: a long copy then costs one read of
    // the cabinet per several 32 KiB blocks instead of three reads per block (header,
    // reserve, data), while a run that needs one block re-reads little of what the
    // next run needs again.
    static constexpr uint32_t kReadAhead = 256 * 1024;
    static constexpr uint32_t kFirstChunk = 8 * 1024;

    explicit SessionBlocks(Session* s) : s_(s) {}
    ~SessionBlocks() override {
        // The decoder goes on from here in the next run: give back what was read ahead.
        if (s_->zipIn && have_ > used_)
            GlueSeek(
                reinterpret_cast<mspack_file*>(s_->zipIn),
                static_cast<off_t>(GlueTell(reinterpret_cast<mspack_file*>(s_->zipIn)) - (have_ - used_)),
                MSPACK_SYS_SEEK_START);
        if (buffer_)
            s_->heap.free(buffer_);
    }
    SessionBlocks(const SessionBlocks&) = delete;
    SessionBlocks& operator=(const SessionBlocks&) = delete;

    bool seekTo(const char* path, uint32_t offset) override {
        have_ = used_ = 0;
        chunk_ = kFirstChunk;
        if (s_->zipIn && s_->zipIn->name != path) {
            GlueClose(reinterpret_cast<mspack_file*>(s_->zipIn));
            s_->zipIn = nullptr;
        }
        if (!s_->zipIn)
            s_->zipIn = AsGlue(GlueOpen(&s_->sys, path, MSPACK_SYS_OPEN_READ));
        return s_->zipIn &&
               GlueSeek(reinterpret_cast<mspack_file*>(s_->zipIn), offset, MSPACK_SYS_SEEK_START) == 0;
    }
    bool read(void* out, size_t n) override {
        auto* p = static_cast<unsigned char*>(out);
        while (n > 0) {
            if (!s_->zipIn)
                return false;
            if (used_ == have_) {
                if (!buffer_)
                    buffer_ = static_cast<unsigned char*>(s_->heap.alloc(kReadAhead));
                const int got =
                    buffer_ ? GlueRead(reinterpret_cast<mspack_file*>(s_->zipIn), buffer_,
                                       static_cast<int>(chunk_))
                            : GlueRead(reinterpret_cast<mspack_file*>(s_->zipIn), p, static_cast<int>(n));
                if (got <= 0)
                    return false;
                if (!buffer_) { // no memory for read-ahead: read straight through
                    p += got;
                    n -= static_cast<size_t>(got);
                    continue;
                }
                have_ = static_cast<uint32_t>(got);
                used_ = 0;
                chunk_ = std::min(chunk_ * 2, kReadAhead);
            }
            const size_t take = std::min<size_t>(n, have_ - used_);
            std::memcpy(p, buffer_ + used_, take);
            used_ += static_cast<uint32_t>(take);
            p += take;
            n -= take;
        }
        return true;
    }

private:
    Session* s_;
    unsigned char* buffer_ = nullptr;
    uint32_t have_ = 0, used_ = 0;
    uint32_t chunk_ = kFirstChunk;
};

// Gathers a target's bytes into larger writes: fewer calls of the write function for
// the same bytes (the progress bar moves per gathered write).
class GatheredWrites {
public:
    static constexpr uint32_t kGather = 256 * 1024;
    GatheredWrites(const Context* ctx, const Heap* heap, int hf)
        : ctx_(ctx), heap_(heap), hf_(hf), buffer_(static_cast<unsigned char*>(heap->alloc(kGather))) {}
    ~GatheredWrites() {
        if (buffer_)
            heap_->free(buffer_);
    }
    GatheredWrites(const GatheredWrites&) = delete;
    GatheredWrites& operator=(const GatheredWrites&) = delete;

    bool put(const unsigned char* p, uint32_t n) {
        if (!buffer_)
            return writeThrough(p, n);
        if (fill_ + n > kGather && !flush())
            return false;
        if (n >= kGather)
            return writeThrough(p, n);
        std::memcpy(buffer_ + fill_, p, n);
        fill_ += n;
        return true;
    }
    bool flush() {
        const uint32_t n = fill_;
        fill_ = 0;
        return n == 0 || writeThrough(buffer_, n);
    }

private:
    bool writeThrough(const unsigned char* p, uint32_t n) {
        return ctx_->write(hf_, const_cast<unsigned char*>(p), n) == n;
    }
    const Context* ctx_;
    const Heap* heap_;
    int hf_;
    unsigned char* buffer_;
    uint32_t fill_ = 0;
};

// Closes a caller's handle when it goes out of scope.
struct HandleGuard {
    HandleGuard(const Context* c, int h) : ctx(c), hf(h) {}
    const Context* ctx;
    int hf;
    ~HandleGuard() {
        if (hf != -1)
            ctx->close(hf);
    }
    HandleGuard(const HandleGuard&) = delete;
    HandleGuard& operator=(const HandleGuard&) = delete;
};

bool Join(char* out, size_t size, const char* dir, const char* name) {
    const size_t d = std::strlen(dir), n = std::strlen(name);
    const bool sep = d > 0 && dir[d - 1] != '/' && dir[d - 1] != '\\';
    if (d + (sep ? 1 : 0) + n + 1 > size)
        return false;
    std::memcpy(out, dir, d);
    size_t at = d;
    if (sep)
        out[at++] = '/';
    std::memcpy(out + at, name, n + 1);
    return true;
}

// Members of a set are named in the headers as they were spelt on the system that made
// them; on a case-sensitive file system take the one entry that matches regardless of case.
bool ResolveCaseInsensitive(char* out, size_t size, const char* dir, const char* name) {
    const QString found = platform::FindCaseInsensitive(QString::fromUtf8(dir), QString::fromUtf8(name));
    return !found.isEmpty() && Join(out, size, dir, found.toUtf8().constData());
}

// One FDICopy call.
class Copier {
public:
    Copier(Run& run, Session*& session) : run_(run), s_(session) {}

    FDIERROR copy(const char* cabinet, const char* path);

private:
    INT_PTR notify(FDINOTIFICATIONTYPE type, FDINOTIFICATION& n) {
        n.pv = run_.pv;
        return run_.notify(type, &n);
    }
    FDIERROR cabinetInfo(size_t k, char* path);
    FDIERROR extract(size_t k, size_t idx, int hf);
    FDIERROR followChain(size_t k, const char* rawName, size_t* last);
    FDIERROR enterNext(size_t cur, const char* rawName, uint16_t* contFolder);
    FDIERROR buildMspack(size_t upto);
    FDIERROR extractZip(size_t k, size_t folder, const Record& r, size_t last, int hf);
    char* scratch(int which, const char* text) { return scratch(which, text, std::strlen(text)); }
    char* scratch(int which, const char* text, size_t length) {
        const size_t n = std::min(length, sizeof scratch_[which] - 1);
        std::memcpy(scratch_[which], text, n);
        scratch_[which][n] = 0;
        return scratch_[which];
    }

    Run& run_;
    Session*& s_;
    // Names go out in buffers of the run, so a callback that writes into psz1/psz2 cannot
    // touch the cached catalogue. Converted names stay below 3 * 255 bytes.
    char scratch_[3][1024] = {};
};

FDIERROR Copier::cabinetInfo(size_t k, char* path) {
    const Cabinet& c = s_->cabs[k];
    FDINOTIFICATION n{};
    n.psz1 = scratch(0, c.str(c.nextName));
    n.psz2 = scratch(1, c.str(c.nextDisk));
    n.psz3 = path;
    n.setID = c.setID;
    n.iCabinet = c.iCabinet;
    return notify(fdintCABINET_INFO, n) == 0 ? FDIERROR_NONE : FDIERROR_USER_ABORT;
}

FDIERROR Copier::copy(const char* cabinet, const char* path) {
    Context* ctx = run_.ctx;
    char full[kPathMax];
    const size_t pl = std::strlen(path), cl = std::strlen(cabinet);
    if (pl + cl + 1 > sizeof full)
        return FDIERROR_CABINET_NOT_FOUND;
    std::memcpy(full, path, pl);
    std::memcpy(full + pl, cabinet, cl + 1);

    HandleGuard cab{ctx, ctx->open(full, kCabinetFlags, kCabinetMode)};
    if (cab.hf == -1)
        return FDIERROR_CABINET_NOT_FOUND;
    run_.cabinetPath = full;
    run_.cabinetHf = cab.hf;
    Reader reader(ctx, cab.hf, true);
    unsigned char header[kHeaderSize];
    if (FDIERROR e = ReadHeader(reader, header))
        return e;

    const Identity id = IdentityOf(ctx, cab.hf, full);
    if (s_) {
        const bool same = s_->heap.alloc == ctx->alloc && s_->heap.free == ctx->free && !s_->cabs.empty() &&
                          std::strcmp(s_->cabs[0].path.data(), full) == 0 && id.valid &&
                          id == s_->cabs[0].identity &&
                          std::memcmp(header, s_->cabs[0].header, kHeaderSize) == 0;
        if (!same) {
            DestroySession(s_, &run_);
            s_ = nullptr;
        }
    }
    if (!s_) {
        s_ = NewSession(ctx);
        if (!s_)
            return FDIERROR_ALLOC_FAIL;
        s_->run = &run_;
        s_->cabs.emplace_back(&s_->heap);
        Cabinet& c = s_->cabs.back();
        c.path.assign(full, full + std::strlen(full) + 1);
        std::memcpy(c.header, header, kHeaderSize);
        c.identity = id;
        s_->cacheable = id.valid;
        if (FDIERROR e = ReadCatalogue(reader, c))
            return e;
    }
    s_->run = &run_;

    std::strncpy(run_.dir, path, sizeof run_.dir - 1);
    char infoPath[kPathMax];
    std::strncpy(infoPath, path, sizeof infoPath - 1);
    infoPath[sizeof infoPath - 1] = 0;
    if (FDIERROR e = cabinetInfo(0, infoPath))
        return e;

    // With a name filter only the records of that name are visited, through the index.
    Vec<size_t> named{HeapAllocator<size_t>(&s_->heap)};
    for (size_t k = 0; k < run_.entered; ++k) {
        const bool filtered = ctx->nameFilter != nullptr;
        if (filtered)
            s_->cabs[k].recordsNamed(ctx->nameFilter, named);
        const size_t count = filtered ? named.size() : s_->cabs[k].records.size();
        for (size_t at = 0; at < count; ++at) {
            const size_t idx = filtered ? named[at] : at;
            // Copied: the chain may grow (and move) while this file is extracted.
            const Record r = s_->cabs[k].records[idx];
            FDINOTIFICATION n{};
            if (r.continuesFromPrev()) {
                // Beyond the first cabinet these are the tails of files already handled.
                if (k > 0)
                    continue;
                const Cabinet& c = s_->cabs[k];
                n.psz1 = scratch(0, c.str(r.name));
                n.psz2 = scratch(1, c.str(c.prevName));
                n.psz3 = scratch(2, c.str(c.prevDisk));
                n.iFolder = r.iFolder;
                if (notify(fdintPARTIAL_FILE, n) != 0)
                    return FDIERROR_USER_ABORT;
                continue;
            }
            n.psz1 = scratch(0, s_->cabs[k].str(r.name), r.nameLength);
            n.cb = static_cast<long>(r.size);
            n.date = r.date;
            n.time = r.time;
            n.attribs = r.attribs;
            n.iFolder = r.iFolder;
            const INT_PTR answer = notify(fdintCOPY_FILE, n);
            if (answer == 0)
                continue;
            if (answer == -1)
                return FDIERROR_USER_ABORT;
            if (answer < INT32_MIN || answer > INT32_MAX)
                return FDIERROR_TARGET_FILE;
            const int hf = static_cast<int>(answer);
            run_.pendingTarget = hf;
            if (FDIERROR e = extract(k, idx, hf))
                return e;

            FDINOTIFICATION done{};
            done.psz1 = scratch(0, s_->cabs[k].str(r.name));
            done.hf = hf;
            done.date = r.date;
            done.time = r.time;
            done.attribs = r.attribs;
            done.iFolder = r.iFolder;
            done.cb = (r.attribs & _A_EXEC) ? 1 : 0;
            run_.pendingTarget = -1; // the callback closes it
            const INT_PTR closed = notify(fdintCLOSE_FILE_INFO, done);
            if (closed == 0 || closed == -1)
                return FDIERROR_USER_ABORT;
        }
    }
    return FDIERROR_NONE;
}

FDIERROR Copier::extract(size_t k, size_t idx, int hf) {
    const Cabinet& c = s_->cabs[k];
    const Record r = c.records[idx];
    const size_t folder = r.iFolder == ifoldCONTINUED_TO_NEXT ? c.folders.size() - 1 : r.iFolder;
    if (!MethodSupported(c.folders[folder].compType))
        return FDIERROR_BAD_COMPR_TYPE;
    // Nothing to decode: a folder without blocks, or the end of one, holds an empty file.
    if (r.size == 0)
        return FDIERROR_NONE;
    size_t last = k;
    if (r.continuesToNext()) {
        if (FDIERROR e = followChain(k, c.str(r.rawName), &last))
            return e;
    }
    if ((s_->cabs[k].folders[folder].compType & tcompMASK_TYPE) == tcompTYPE_MSZIP)
        return extractZip(k, folder, r, last, hf);
    if (FDIERROR e = buildMspack(last + 1))
        return e;
    mscabd_folder* mfolder = s_->cabs[k].mfolders[folder];
    if (!mfolder) // a later part of a folder whose start lies in the previous cabinet
        return FDIERROR_CORRUPT_CABINET;
    // libmspack needs only the folder, offset and length of a file, and keeps no pointer
    // to it.
    mscabd_file file{};
    file.filename = const_cast<char*>(s_->cabs[k].str(r.rawName));
    file.length = r.size;
    file.attribs = r.attribs;
    file.folder = mfolder;
    file.offset = r.offset;
    ActiveScope active(s_);
    run_.outHf = hf;
    const int error = s_->cabd->extract(s_->cabd, &file, kOutputName);
    run_.outHf = -1;
    return FromMspack(error);
}

FDIERROR Copier::extractZip(size_t k, size_t folder, const Record& r, size_t last, int hf) {
    Session* s = s_;
    // A first folder that begins in the previous cabinet cannot be decoded from here.
    if (folder == 0 && s->cabs[k].anyContinuesFromPrev())
        return FDIERROR_CORRUPT_CABINET;
    ActiveScope active(s);
    if (!s->zip) {
        void* mem = s->heap.alloc(sizeof(MszipDecoder));
        if (!mem)
            return FDIERROR_ALLOC_FAIL;
        s->zip = new (mem) MszipDecoder(&s->heap);
    }
    MszipDecoder& zip = *s->zip;
    if (!zip.at(k, folder) && !zip.start(k, folder))
        return FDIERROR_ALLOC_FAIL;
    while (zip.segments() < last - k + 1) {
        const size_t j = k + zip.segments();
        const Cabinet& c = s->cabs[j];
        const Folder& f = c.folders[j == k ? folder : 0];
        if (!zip.addSegment(Segment{c.path.data(), f.dataOffset, f.numBlocks, c.dataReserve}))
            return FDIERROR_CORRUPT_CABINET;
    }
    // As libmspack does: refuse up front what the blocks cannot hold (a cut block counts
    // once), so a declared 4 GiB file writes nothing.
    uint64_t blocks = 0;
    for (size_t j = k; j <= last; ++j)
        blocks += s->cabs[j].folders[j == k ? folder : 0].numBlocks;
    blocks -= last - k;
    if (uint64_t{r.offset} + r.size > blocks * kBlockMax)
        return FDIERROR_CORRUPT_CABINET;
    SessionBlocks in(s);
    GatheredWrites out(run_.ctx, &s->heap, hf);
    FDIERROR e =
        zip.copy(in, r.offset, r.size, [&](const unsigned char* p, uint32_t n) { return out.put(p, n); });
    if (e == FDIERROR_NONE && !out.flush())
        e = FDIERROR_TARGET_FILE;
    return e;
}

FDIERROR Copier::followChain(size_t k, const char* rawName, size_t* last) {
    size_t cur = k;
    for (;;) {
        uint16_t contFolder = 0;
        if (FDIERROR e = enterNext(cur, rawName, &contFolder))
            return e;
        ++cur;
        if (contFolder != ifoldCONTINUED_PREV_AND_NEXT)
            break;
    }
    *last = cur;
    return FDIERROR_NONE;
}

FDIERROR Copier::enterNext(size_t cur, const char* rawName, uint16_t* contFolder) {
    if (run_.entered > cur + 1) {
        // Already reached in this run for another file of the same folder.
        return s_->cabs[cur + 1].hasContinuation(rawName, contFolder) ? FDIERROR_NONE
                                                                      : FDIERROR_CORRUPT_CABINET;
    }
    const Context* ctx = run_.ctx;
    char nextName[1024], nextDisk[1024];
    uint16_t setID, iCabinet;
    {
        const Cabinet& from = s_->cabs[cur];
        if (!(from.flags & cfhdrNEXT_CABINET))
            return FDIERROR_CORRUPT_CABINET;
        std::strncpy(nextName, from.str(from.nextName), sizeof nextName - 1);
        nextName[sizeof nextName - 1] = 0;
        std::strncpy(nextDisk, from.str(from.nextDisk), sizeof nextDisk - 1);
        nextDisk[sizeof nextDisk - 1] = 0;
        setID = from.setID;
        iCabinet = from.iCabinet;
    }
    char dir[kPathMax];
    std::memcpy(dir, run_.dir, sizeof dir);
    FDINOTIFICATION n{};
    n.fdie = FDIERROR_NONE;
    for (int attempt = 0;; ++attempt) {
        n.psz1 = scratch(0, nextName);
        n.psz2 = scratch(1, nextDisk);
        n.psz3 = dir;
        n.setID = setID;
        n.iCabinet = iCabinet;
        if (notify(fdintNEXT_CABINET, n) != 0)
            return FDIERROR_USER_ABORT;
        if (attempt >= kMaxRetries)
            return n.fdie;
        dir[sizeof dir - 1] = 0;

        char full[kPathMax];
        if (!Join(full, sizeof full, dir, nextName)) {
            n.fdie = FDIERROR_CABINET_NOT_FOUND;
            continue;
        }
        HandleGuard next{ctx, ctx->open(full, kCabinetFlags, kCabinetMode)};
        if (next.hf == -1 && ResolveCaseInsensitive(full, sizeof full, dir, nextName))
            next.hf = ctx->open(full, kCabinetFlags, kCabinetMode);
        if (next.hf == -1) {
            n.fdie = FDIERROR_CABINET_NOT_FOUND;
            continue;
        }
        Reader reader(ctx, next.hf, true);
        unsigned char header[kHeaderSize];
        if (FDIERROR e = ReadHeader(reader, header)) {
            n.fdie = e;
            continue;
        }
        if (ReadU16(header + kHdrSetID) != setID ||
            ReadU16(header + kHdrICabinet) != static_cast<uint16_t>(iCabinet + 1)) {
            n.fdie = FDIERROR_WRONG_CABINET;
            continue;
        }
        const Identity id = IdentityOf(ctx, next.hf, full);
        Vec<Cabinet>& cabs = s_->cabs;
        const bool same = cabs.size() > cur + 1 && std::strcmp(cabs[cur + 1].path.data(), full) == 0 &&
                          id.valid && id == cabs[cur + 1].identity &&
                          std::memcmp(header, cabs[cur + 1].header, kHeaderSize) == 0;
        if (!same) {
            if (cabs.size() > cur + 1) {
                // Another file now; libmspack's merged chain cannot be cut, so rebuild it.
                DropMspack(s_);
                cabs.erase(cabs.begin() + static_cast<std::ptrdiff_t>(cur + 1), cabs.end());
            }
            cabs.emplace_back(&s_->heap);
            Cabinet& c = cabs.back();
            c.path.assign(full, full + std::strlen(full) + 1);
            std::memcpy(c.header, header, kHeaderSize);
            c.identity = id;
            if (!id.valid)
                s_->cacheable = false;
            if (ReadCatalogue(reader, c) != FDIERROR_NONE) {
                cabs.pop_back();
                n.fdie = FDIERROR_CORRUPT_CABINET;
                continue;
            }
        }
        if (!cabs[cur + 1].hasContinuation(rawName, contFolder)) {
            // A cabinet of the set, but not the one that continues this file.
            if (!same)
                cabs.pop_back();
            n.fdie = FDIERROR_WRONG_CABINET;
            continue;
        }
        std::memcpy(run_.dir, dir, sizeof dir);
        run_.entered = cur + 2;
        return cabinetInfo(cur + 1, dir);
    }
}

FDIERROR Copier::buildMspack(size_t upto) {
    Session* s = s_;
    ActiveScope active(s);
    // A chain whose last folder was cut short grows only by being built again: its decoder
    // may have met the cut as the end of its input.
    if (s->built > 0 && s->built < upto && s->cabs[s->built - 1].trimmed)
        DropMspack(s);
    if (!s->cabd) {
        int selftest = 0;
        MSPACK_SYS_SELFTEST(selftest);
        if (selftest != MSPACK_ERR_OK)
            return FDIERROR_MDI_FAIL;
        s->cabd = mspack_create_cab_decompressor(&s->sys);
        if (!s->cabd)
            return FDIERROR_ALLOC_FAIL;
        s->cabd->set_param(s->cabd, MSCABD_PARAM_DECOMPBUF, 32768);
    }
    for (size_t i = s->built; i < upto; ++i) {
        Cabinet& c = s->cabs[i];
        // libmspack is shown the tables we have read, with only the records it needs: it
        // walks its folder list for every record it reads, which takes seconds for a
        // cabinet of thousands of folders and records, and it refuses empty set names.
        if (c.view.empty())
            BuildView(c);
        mscabd_cabinet* mcab = s->cabd->open(s->cabd, c.path.data());
        if (!mcab) {
            const int error = s->cabd->last_error(s->cabd);
            return error == MSPACK_ERR_NOMEMORY ? FDIERROR_ALLOC_FAIL
                   : error == MSPACK_ERR_OPEN   ? FDIERROR_CABINET_NOT_FOUND
                                                : FDIERROR_CORRUPT_CABINET;
        }
        c.mcab = mcab;
        c.attached = false;
        s->built = i + 1;
        c.mfolders.clear();
        for (mscabd_folder* f = mcab->folders; f; f = f->next)
            c.mfolders.push_back(f);
        if (c.mfolders.size() != c.folders.size())
            return FDIERROR_CORRUPT_CABINET;
        if (i == 0)
            continue;
        Cabinet& prev = s->cabs[i - 1];
        // Merging hands the first folder of this cabinet over to the last one of the previous.
        if (prev.anyContinuesToNext() || c.anyContinuesFromPrev())
            c.mfolders[0] = nullptr;
        if (s->cabd->append(s->cabd, prev.mcab, mcab) != MSPACK_ERR_OK)
            return FDIERROR_CORRUPT_CABINET;
        c.attached = true;
    }
    // The chain's last folder goes on in a cabinet the chain does not hold: its last block
    // is cut there. The decoders read ahead, so a file that lies wholly in the whole blocks
    // before the cut would fail on it; counted without it, their input ends at the last
    // whole block, and a file that needs the cut block is refused as the set incomplete.
    Cabinet& last = s->cabs[upto - 1];
    if (s->built == upto && !last.trimmed && last.anyContinuesToNext() && last.mcab) {
        mscabd_folder* folder = last.mcab->folders; // after a merge: the whole chain's list
        while (folder && folder->next)
            folder = folder->next;
        if (folder && folder->num_blocks > 0) {
            --folder->num_blocks;
            last.trimmed = true;
        }
    }
    return FDIERROR_NONE;
}

} // namespace

HFDI FDICreate(PFNALLOC pfnalloc, PFNFREE pfnfree, PFNOPEN pfnopen, PFNREAD pfnread, PFNWRITE pfnwrite,
               PFNCLOSE pfnclose, PFNSEEK pfnseek, int /*cpuType*/, ERF* perf) {
    if (!perf)
        return nullptr;
    if (!pfnalloc || !pfnfree || !pfnopen || !pfnread || !pfnwrite || !pfnclose || !pfnseek) {
        perf->erfOper = FDIERROR_NONE;
        perf->erfType = 0;
        perf->fError = TRUE;
        return nullptr;
    }
    void* mem = pfnalloc(sizeof(Context));
    if (!mem) {
        perf->erfOper = FDIERROR_ALLOC_FAIL;
        perf->erfType = 0;
        perf->fError = TRUE;
        return nullptr;
    }
    return new (mem)
        Context{kContextMagic, pfnalloc, pfnfree, pfnopen, pfnread, pfnwrite, pfnclose, pfnseek, perf};
}

BOOL FDIIsCabinet(HFDI hfdi, int hf, FDICABINETINFO* pfdici) {
    Context* ctx = ContextOf(hfdi);
    if (!ctx || !pfdici)
        return FALSE;
    Reader reader(ctx, hf);
    unsigned char h[kHeaderSize];
    if (FDIERROR e = ReadHeader(reader, h)) {
        SetError(ctx, e);
        return FALSE;
    }
    const uint16_t flags = ReadU16(h + kHdrFlags);
    pfdici->cbCabinet = static_cast<long>(ReadU32(h + kHdrCbCabinet));
    pfdici->cFolders = ReadU16(h + kHdrCFolders);
    pfdici->cFiles = ReadU16(h + kHdrCFiles);
    pfdici->setID = ReadU16(h + kHdrSetID);
    pfdici->iCabinet = ReadU16(h + kHdrICabinet);
    pfdici->fReserve = (flags & cfhdrRESERVE_PRESENT) ? TRUE : FALSE;
    pfdici->hasprev = (flags & cfhdrPREV_CABINET) ? TRUE : FALSE;
    pfdici->hasnext = (flags & cfhdrNEXT_CABINET) ? TRUE : FALSE;
    return TRUE;
}

BOOL FDICopy(HFDI hfdi, char* pszCabinet, char* pszCabPath, int /*flags*/, PFNFDINOTIFY pfnfdin,
             PFNFDIDECRYPT /*pfnfdid*/, void* pvUser) {
    Context* ctx = ContextOf(hfdi);
    if (!ctx)
        return FALSE;
    if (!pfnfdin) {
        SetError(ctx, FDIERROR_NONE);
        return FALSE;
    }
    Run run;
    run.ctx = ctx;
    run.notify = pfnfdin;
    run.pv = pvUser;

    const bool owner = !gBusy.exchange(true, std::memory_order_acquire);
    Session* session = owner ? std::exchange(gCache, nullptr) : nullptr;
    FDIERROR result;
    try {
        Copier copier(run, session);
        result = copier.copy(pszCabinet ? pszCabinet : "", pszCabPath ? pszCabPath : "");
    } catch (const std::bad_alloc&) {
        result = FDIERROR_ALLOC_FAIL;
    }
    if (run.pendingTarget != -1)
        ctx->close(run.pendingTarget);
    if (session) {
        session->run = &run;
        CloseInputs(session);
        if (result == FDIERROR_NONE && session->cacheable && owner) {
            session->run = nullptr;
            gCache = session;
        } else {
            DestroySession(session, &run);
        }
    }
    if (owner)
        gBusy.store(false, std::memory_order_release);
    if (result != FDIERROR_NONE) {
        SetError(ctx, result);
        return FALSE;
    }
    return TRUE;
}

BOOL FDIDestroy(HFDI hfdi) {
    Context* ctx = ContextOf(hfdi);
    if (!ctx)
        return FALSE;
    ctx->magic = 0;
    const PFNFREE release = ctx->free;
    release(ctx);
    return TRUE;
}

void FDISetNameFilter(HFDI hfdi, const char* name) {
    if (Context* ctx = ContextOf(hfdi))
        ctx->nameFilter = name;
}

void FDISetHandleStat(HFDI hfdi, PFNSTAT pfnstat) {
    if (Context* ctx = ContextOf(hfdi))
        ctx->handleStat = pfnstat;
}

void FDIFlushCache() {
    if (gBusy.exchange(true, std::memory_order_acquire))
        return;
    DestroySession(std::exchange(gCache, nullptr), nullptr);
    gBusy.store(false, std::memory_order_release);
}

} // namespace morbek::fdi
