// The FDI entry points, and the cache of one session kept between their runs.
#include "platform/fdi/fdi.h"

#include "platform/fdi/Copier.h"

#include <atomic>
#include <utility>

namespace morbek::fdi {

using namespace detail;

namespace {

// The process-wide cache: one session, taken by the run that owns it.
std::atomic<bool> gBusy{false};
Session* gCache = nullptr;

void SetError(Context* ctx, FDIERROR code) {
    ctx->erf->erfOper = code;
    ctx->erf->erfType = 0;
    ctx->erf->fError = TRUE;
}

Context* ContextOf(HFDI hfdi) {
    auto* ctx = static_cast<Context*>(hfdi);
    return ctx && ctx->magic == kContextMagic ? ctx : nullptr;
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
