#include "platform/fdi/Mszip.h"

#include <cstring>

namespace morbek::fdi::detail {

namespace {

constexpr size_t kMaxZlibAlloc = 1u << 20;

voidpf ZAlloc(voidpf opaque, uInt items, uInt size) {
    const auto* heap = static_cast<const Heap*>(opaque);
    const uint64_t bytes = static_cast<uint64_t>(items) * size;
    if (bytes == 0 || bytes > kMaxZlibAlloc)
        return Z_NULL;
    return heap->alloc(static_cast<uint32_t>(bytes));
}

void ZFree(voidpf opaque, voidpf p) {
    static_cast<const Heap*>(opaque)->free(p);
}

// The data block checksum: 32-bit little-endian words XORed, the tail bytes packed from
// the high end, continued from seed.
uint32_t Checksum(const unsigned char* p, size_t n, uint32_t seed) {
    uint32_t sum = seed;
    size_t i = 0;
    for (; i + 4 <= n; i += 4)
        sum ^= ReadU32(p + i);
    uint32_t tail = 0;
    switch (n - i) {
    case 3:
        tail |= static_cast<uint32_t>(p[i++]) << 16;
        [[fallthrough]];
    case 2:
        tail |= static_cast<uint32_t>(p[i++]) << 8;
        [[fallthrough]];
    case 1:
        tail |= p[i];
        break;
    default:
        break;
    }
    return sum ^ tail;
}

} // namespace

MszipDecoder::MszipDecoder(const Heap* heap) : heap_(heap) {
    in_ = static_cast<unsigned char*>(heap_->alloc(kInputMax + 8));
    out_ = static_cast<unsigned char*>(heap_->alloc(kBlockMax));
}

MszipDecoder::~MszipDecoder() {
    if (zInit_)
        inflateEnd(&zs_);
    heap_->free(in_);
    heap_->free(out_);
}

bool MszipDecoder::start(size_t cabinet, size_t folder) {
    active_ = true;
    cabinet_ = cabinet;
    folder_ = folder;
    segmentCount_ = 0;
    positioned_ = false;
    blockStart_ = 0;
    outLen_ = 0;
    return in_ && out_;
}

bool MszipDecoder::addSegment(const Segment& segment) {
    if (segmentCount_ >= kMaxSegments)
        return false;
    segs_[segmentCount_++] = segment;
    return true;
}

FDIERROR MszipDecoder::restart(BlockSource& in) {
    if (segmentCount_ == 0)
        return FDIERROR_CORRUPT_CABINET;
    if (!zInit_) {
        zs_.zalloc = ZAlloc;
        zs_.zfree = ZFree;
        zs_.opaque = const_cast<Heap*>(heap_);
        if (inflateInit2(&zs_, -MAX_WBITS) != Z_OK)
            return FDIERROR_ALLOC_FAIL;
        zInit_ = true;
    }
    seg_ = 0;
    blockInSeg_ = 0;
    blockStart_ = 0;
    outLen_ = 0;
    positioned_ = false;
    if (!in.seekTo(segs_[0].path, segs_[0].dataOffset))
        return FDIERROR_CABINET_NOT_FOUND;
    positioned_ = true;
    return FDIERROR_NONE;
}

FDIERROR MszipDecoder::nextBlock(BlockSource& in) {
    // Gather one block; a block cut at a cabinet's end (uncompressed size 0) goes on as
    // the first block of the folder's part in the next cabinet.
    size_t have = 0;
    uint32_t uncompressed = 0;
    for (;;) {
        if (blockInSeg_ >= segs_[seg_].numBlocks)
            return FDIERROR_CORRUPT_CABINET; // no data left for what the records declare
        ++blockInSeg_;
        unsigned char h[kDataFixedSize];
        if (!in.read(h, kDataFixedSize))
            return FDIERROR_CORRUPT_CABINET;
        unsigned char reserve[255];
        if (segs_[seg_].blockReserve && !in.read(reserve, segs_[seg_].blockReserve))
            return FDIERROR_CORRUPT_CABINET;
        const uint32_t stored = ReadU32(h + kDataCsum);
        const uint16_t cb = ReadU16(h + kDataCbData);
        uncompressed = ReadU16(h + kDataCbUncomp);
        if (have + cb > kInputMax || uncompressed > kBlockMax)
            return FDIERROR_CORRUPT_CABINET;
        if (!in.read(in_ + have, cb))
            return FDIERROR_CORRUPT_CABINET;
        if (stored != 0 &&
            Checksum(h + kDataCbData, kDataFixedSize - kDataCbData, Checksum(in_ + have, cb, 0)) != stored)
            return FDIERROR_CORRUPT_CABINET;
        have += cb;
        if (uncompressed != 0)
            break;
        if (++seg_ >= segmentCount_)
            return FDIERROR_CORRUPT_CABINET;
        blockInSeg_ = 0;
        if (!in.seekTo(segs_[seg_].path, segs_[seg_].dataOffset))
            return FDIERROR_CABINET_NOT_FOUND;
    }
    if (have < 2 || in_[0] != 'C' || in_[1] != 'K')
        return FDIERROR_CORRUPT_CABINET;

    // The previous block's output is this block's history.
    const bool first = outLen_ == 0 && blockStart_ == 0;
    blockStart_ += outLen_;
    if (inflateReset(&zs_) != Z_OK)
        return FDIERROR_CORRUPT_CABINET;
    if (!first && outLen_ > 0 && inflateSetDictionary(&zs_, out_, outLen_) != Z_OK)
        return FDIERROR_CORRUPT_CABINET;
    outLen_ = 0;
    zs_.next_in = in_ + 2;
    zs_.avail_in = static_cast<uInt>(have - 2);
    zs_.next_out = out_;
    zs_.avail_out = kBlockMax;
    const int rc = inflate(&zs_, Z_FINISH);
    const uint32_t produced = kBlockMax - zs_.avail_out;
    if (rc == Z_MEM_ERROR)
        return FDIERROR_ALLOC_FAIL;
    if (rc != Z_STREAM_END || produced != uncompressed)
        return FDIERROR_CORRUPT_CABINET;
    outLen_ = produced;
    return FDIERROR_NONE;
}

} // namespace morbek::fdi::detail
