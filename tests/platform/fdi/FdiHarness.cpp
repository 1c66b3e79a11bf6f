#include "tests/platform/fdi/FdiHarness.h"

#include <QCryptographicHash>
#include <QFile>
#include <cstdlib>
#include <cstring>

namespace morbek::test {

namespace {
FdiHarness* gHarness = nullptr;
}

struct FdiHarness::Target {
    size_t extracted; // index into extracted
    QCryptographicHash hash{QCryptographicHash::Md5};
};

FdiHarness::FdiHarness() : outer_(gHarness) {
    // What the library caches was allocated through the harness that was current.
    fdi::FDIFlushCache();
    gHarness = this;
    answer = [this](fdi::FDINOTIFICATIONTYPE type, fdi::FDINOTIFICATION* n) -> intptr_t {
        if (type == fdi::fdintCOPY_FILE)
            return hashingTarget(n->psz1);
        if (type == fdi::fdintCLOSE_FILE_INFO)
            return fdi::TRUE;
        return 0;
    };
}

FdiHarness::~FdiHarness() {
    destroy();
    fdi::FDIFlushCache();
    for (void* p : allocs_)
        std::free(p);
    gHarness = outer_;
}

bool FdiHarness::fail(Op op) {
    long& count = counts_[static_cast<int>(op)];
    if (failAfter_ >= 0 && op == failOp_ && count >= failAfter_)
        return true;
    ++count;
    return false;
}

intptr_t FdiHarness::hashingTarget(const char* name) {
    const int hf = nextHandle_++;
    auto t = std::make_unique<Target>();
    t->extracted = extracted.size();
    extracted.push_back(Extracted{name, {}, 0, false});
    targets_[hf] = std::move(t);
    handles_[hf] = Handle{};
    return hf;
}

void* FdiHarness::Alloc(uint32_t cb) {
    if (cb == 0 || gHarness->fail(Op::Alloc))
        return nullptr;
    void* p = std::malloc(cb);
    gHarness->allocs_.insert(p);
    return p;
}

void FdiHarness::Free(void* pv) {
    if (!pv)
        return;
    if (gHarness->allocs_.erase(pv) != 1)
        std::abort(); // freeing what was not allocated here
    std::free(pv);
}

int FdiHarness::Open(char* name, int oflag, int) {
    FdiHarness& h = *gHarness;
    h.openFlags.push_back(oflag);
    h.openNames.push_back(name);
    if (h.fail(Op::Open))
        return -1;
    Handle handle;
    auto it = h.files.find(name);
    if (it != h.files.end()) {
        handle.data = it->second;
    } else {
        QFile f(QString::fromUtf8(name));
        if (!f.open(QIODevice::ReadOnly))
            return -1;
        handle.data = f.readAll();
    }
    const int hf = h.nextHandle_++;
    h.handles_[hf] = std::move(handle);
    ++h.opens;
    return hf;
}

uint32_t FdiHarness::Read(int hf, void* pv, uint32_t cb) {
    FdiHarness& h = *gHarness;
    auto it = h.handles_.find(hf);
    if (it == h.handles_.end() || h.fail(Op::Read))
        return 0xFFFFFFFFu;
    Handle& handle = it->second;
    const int64_t left = std::max<int64_t>(0, handle.data.size() - handle.pos);
    const auto n = static_cast<uint32_t>(std::min<int64_t>(left, cb));
    if (n)
        std::memcpy(pv, handle.data.constData() + handle.pos, n);
    handle.pos += n;
    return n;
}

uint32_t FdiHarness::Write(int hf, void* pv, uint32_t cb) {
    FdiHarness& h = *gHarness;
    auto it = h.targets_.find(hf);
    if (it == h.targets_.end()) {
        ++h.writesToUnknownHandles;
        return 0xFFFFFFFFu;
    }
    if (h.fail(Op::Write))
        return 0xFFFFFFFFu;
    it->second->hash.addData(QByteArrayView(static_cast<const char*>(pv), cb));
    h.extracted[it->second->extracted].bytes += cb;
    return cb;
}

int FdiHarness::Close(int hf) {
    FdiHarness& h = *gHarness;
    if (h.handles_.erase(hf) != 1)
        std::abort(); // closing a handle twice or one never opened
    auto it = h.targets_.find(hf);
    if (it != h.targets_.end()) {
        Extracted& e = h.extracted[it->second->extracted];
        e.md5 = it->second->hash.result().toHex();
        h.targets_.erase(it);
        return 0;
    }
    ++h.closes;
    return 0;
}

long FdiHarness::Seek(int hf, long dist, int type) {
    FdiHarness& h = *gHarness;
    auto it = h.handles_.find(hf);
    if (it == h.handles_.end() || h.fail(Op::Seek))
        return -1;
    Handle& handle = it->second;
    const int64_t base = type == 0 ? 0 : type == 1 ? handle.pos : handle.data.size();
    if (base + dist < 0)
        return -1;
    handle.pos = base + dist;
    return static_cast<long>(handle.pos);
}

intptr_t FdiHarness::Notify(fdi::FDINOTIFICATIONTYPE type, fdi::FDINOTIFICATION* n) {
    FdiHarness& h = *gHarness;
    Event e;
    e.type = type;
    e.psz1 = n->psz1 ? n->psz1 : "";
    e.psz2 = n->psz2 ? n->psz2 : "";
    e.psz3 = n->psz3 ? n->psz3 : "";
    e.cb = n->cb;
    e.hf = n->hf;
    e.date = n->date;
    e.time = n->time;
    e.attribs = n->attribs;
    e.setID = n->setID;
    e.iCabinet = n->iCabinet;
    e.iFolder = n->iFolder;
    e.fdie = n->fdie;
    h.events.push_back(e);
    const intptr_t result = h.answer(type, n);
    if (type == fdi::fdintCLOSE_FILE_INFO) {
        auto it = h.targets_.find(n->hf);
        if (it != h.targets_.end())
            h.extracted[it->second->extracted].closed = true;
        Close(n->hf);
    }
    return result;
}

fdi::HFDI FdiHarness::create() {
    destroy();
    hfdi_ = fdi::FDICreate(Alloc, Free, Open, Read, Write, Close, Seek, fdi::cpu80386, &erf);
    return hfdi_;
}

bool FdiHarness::copy(const std::string& cabinet, const std::string& path) {
    std::string c = cabinet, p = path;
    return fdi::FDICopy(hfdi_, c.data(), p.data(), 0, Notify, nullptr, nullptr) != fdi::FALSE;
}

bool FdiHarness::isCabinet(const std::string& name, fdi::FDICABINETINFO* info) {
    std::string n = name;
    const int hf = Open(n.data(), 0x8020, 0);
    if (hf == -1)
        return false;
    const bool is = fdi::FDIIsCabinet(hfdi_, hf, info) != fdi::FALSE;
    Close(hf);
    return is;
}

void FdiHarness::destroy() {
    if (hfdi_)
        fdi::FDIDestroy(hfdi_);
    hfdi_ = nullptr;
}

std::vector<fdi::FDINOTIFICATIONTYPE> FdiHarness::types() const {
    std::vector<fdi::FDINOTIFICATIONTYPE> t;
    for (const Event& e : events)
        t.push_back(e.type);
    return t;
}

const Extracted* FdiHarness::find(const std::string& name) const {
    for (const Extracted& e : extracted)
        if (e.name == name)
            return &e;
    return nullptr;
}

} // namespace morbek::test
