// The session kept between runs: made with its mspack_system, its libmspack side dropped
// when the chain must be rebuilt, its handles given back at the end of every run.
#include "platform/fdi/Session.h"

#include "platform/fdi/Mszip.h"

namespace morbek::fdi::detail {

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

} // namespace morbek::fdi::detail
