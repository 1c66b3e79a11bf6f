// The extraction of a file from an MSZIP folder: the decoder's input read ahead from the
// session's cabinets, and the target's bytes gathered into larger writes.
#include "platform/fdi/Copier.h"
#include "platform/fdi/Mszip.h"

namespace morbek::fdi::detail {

namespace {

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

} // namespace

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

} // namespace morbek::fdi::detail
