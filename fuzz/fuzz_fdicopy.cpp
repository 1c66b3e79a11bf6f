// libFuzzer target: the input is a cabinet, read through FDIIsCabinet and FDICopy over
// callbacks on memory. Every file is extracted into a hashing handle; a next cabinet is
// the same input again (so chains are followed and refused), and the second request for
// one is answered -1. Allocation is capped, so a declared size cannot make us allocate it.
#include "platform/fdi/fdi.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>

using namespace morbek::fdi;

namespace {

const uint8_t* gData = nullptr;
size_t gSize = 0;

struct Handle {
    bool target = false;
    int64_t pos = 0;
    uint64_t hash = 1469598103934665603ull;
};
std::map<int, Handle> gHandles;
int gNext = 3;
long gLive = 0;
int gNextCabinetAsks = 0;

constexpr uint32_t kMaxAlloc = 64u << 20;

void* Alloc(uint32_t cb) {
    if (cb == 0 || cb > kMaxAlloc)
        return nullptr;
    ++gLive;
    return std::malloc(cb);
}

void Free(void* pv) {
    if (pv)
        --gLive;
    std::free(pv);
}

int Open(char*, int oflag, int) {
    if (oflag != 0x8020) // the library only ever reads cabinets
        std::abort();
    gHandles[gNext] = Handle{};
    return gNext++;
}

uint32_t Read(int hf, void* pv, uint32_t cb) {
    auto it = gHandles.find(hf);
    if (it == gHandles.end() || it->second.target)
        std::abort();
    Handle& h = it->second;
    if (h.pos >= static_cast<int64_t>(gSize))
        return 0;
    const size_t n = std::min<size_t>(cb, gSize - static_cast<size_t>(h.pos));
    std::memcpy(pv, gData + h.pos, n);
    h.pos += static_cast<int64_t>(n);
    return static_cast<uint32_t>(n);
}

uint32_t Write(int hf, void* pv, uint32_t cb) {
    auto it = gHandles.find(hf);
    if (it == gHandles.end() || !it->second.target)
        std::abort(); // a write through a handle the caller did not hand out for output
    const auto* p = static_cast<const uint8_t*>(pv);
    for (uint32_t i = 0; i < cb; ++i)
        it->second.hash = (it->second.hash ^ p[i]) * 1099511628211ull;
    return cb;
}

int Close(int hf) {
    if (gHandles.erase(hf) != 1)
        std::abort();
    return 0;
}

long Seek(int hf, long dist, int type) {
    auto it = gHandles.find(hf);
    if (it == gHandles.end() || it->second.target)
        std::abort();
    Handle& h = it->second;
    const int64_t base = type == 0 ? 0 : type == 1 ? h.pos : static_cast<int64_t>(gSize);
    if (base + dist < 0)
        return -1;
    h.pos = base + dist;
    return static_cast<long>(h.pos);
}

INT_PTR Notify(FDINOTIFICATIONTYPE type, FDINOTIFICATION* n) {
    switch (type) {
    case fdintCOPY_FILE:
        gHandles[gNext] = Handle{true};
        return gNext++;
    case fdintCLOSE_FILE_INFO:
        Close(n->hf);
        return TRUE;
    case fdintNEXT_CABINET:
        return ++gNextCabinetAsks > 1 ? -1 : 0;
    default:
        return 0;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    gData = data;
    gSize = size;
    gNextCabinetAsks = 0;
    ERF erf{};
    HFDI hfdi = FDICreate(Alloc, Free, Open, Read, Write, Close, Seek, cpu80386, &erf);
    if (!hfdi)
        std::abort();
    char name[] = "fuzz.cab";
    char path[] = "/fuzz/";
    const int hf = Open(name, 0x8020, 0);
    FDICABINETINFO info{};
    FDIIsCabinet(hfdi, hf, &info);
    if (!FDICopy(hfdi, name, path, 0, Notify, nullptr, nullptr) && !erf.fError)
        std::abort(); // a failure must come with a code
    Close(hf);
    FDIDestroy(hfdi);
    FDIFlushCache();
    if (gLive != 0 || !gHandles.empty())
        std::abort(); // memory or handles left behind
    return 0;
}
