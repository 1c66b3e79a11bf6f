// The glue that lets libmspack work through the caller's seven callbacks: an mspack_system
// whose files are the session's cabinets and the caller's target handle.
#include "platform/fdi/Session.h"

#include <algorithm>
#include <cstring>

namespace morbek::fdi::detail {

namespace {

// libmspack's largest single block is a 2 MiB window; anything far beyond is refused.
constexpr size_t kMaxAlloc = 8u << 20;

// libmspack copies its mspack_system, so the glue finds its session here; set around
// every call into libmspack (calls are synchronous, nested runs save and restore it).
thread_local Session* tActive = nullptr;

} // namespace

ActiveScope::ActiveScope(Session* s) : prev(tActive) {
    tActive = s;
}

ActiveScope::~ActiveScope() {
    tActive = prev;
}

GlueFile* AsGlue(mspack_file* f) {
    return reinterpret_cast<GlueFile*>(f);
}

namespace {

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

} // namespace

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

namespace {

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

} // namespace

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

} // namespace morbek::fdi::detail
