#pragma once
// MSZIP folders decoded with zlib: each data block is "CK" and a raw deflate stream whose
// history is the previous block's output. zlib inflates about twice as fast as libmspack,
// which decodes the other methods.
#include "platform/fdi/Internal.h"

#include <zlib.h>

namespace morbek::fdi::detail {

// Reads a cabinet's data blocks through the caller's callbacks.
class BlockSource {
public:
    virtual ~BlockSource() = default;
    // Positions the input at byte `offset` of cabinet `path`; false when it cannot be opened.
    virtual bool seekTo(const char* path, uint32_t offset) = 0;
    virtual bool read(void* out, size_t n) = 0;
};

// One part of a folder: the blocks it has in one cabinet of the set.
struct Segment {
    const char* path;
    uint32_t dataOffset;
    uint16_t numBlocks;
    uint8_t blockReserve;
};

class MszipDecoder {
public:
    explicit MszipDecoder(const Heap* heap);
    ~MszipDecoder();
    MszipDecoder(const MszipDecoder&) = delete;
    MszipDecoder& operator=(const MszipDecoder&) = delete;

    // The folder this decoder is positioned in (cabinet index, folder index); segments may
    // grow as later cabinets of the set are reached.
    bool at(size_t cabinet, size_t folder) const {
        return active_ && cabinet_ == cabinet && folder_ == folder;
    }
    bool start(size_t cabinet, size_t folder);
    bool addSegment(const Segment& segment);
    size_t segments() const { return segmentCount_; }
    // The uncompressed position the decoder can continue from without restarting.
    uint64_t position() const { return blockStart_; }

    // Writes bytes [offset, offset + length) of the folder to write(); restarts from the
    // folder's start when offset lies behind. FDIERROR_NONE, CORRUPT_CABINET,
    // TARGET_FILE (write failed) or ALLOC_FAIL.
    template <class Write> FDIERROR copy(BlockSource& in, uint64_t offset, uint64_t length, Write&& write);

private:
    FDIERROR nextBlock(BlockSource& in);
    FDIERROR restart(BlockSource& in);

    const Heap* heap_;
    z_stream zs_{};
    bool zInit_ = false;
    bool active_ = false;
    size_t cabinet_ = 0, folder_ = 0;
    static constexpr size_t kMaxSegments = 64;
    Segment segs_[kMaxSegments] = {};
    size_t segmentCount_ = 0;
    size_t seg_ = 0;
    uint32_t blockInSeg_ = 0;
    bool positioned_ = false;
    uint64_t blockStart_ = 0; // folder offset of out_[0]
    uint32_t outLen_ = 0;
    unsigned char* in_ = nullptr;  // kInputMax + slack
    unsigned char* out_ = nullptr; // kBlockMax
};

constexpr uint32_t kBlockMax = 32768;
constexpr uint32_t kInputMax = 32768 + 6144;

template <class Write>
FDIERROR MszipDecoder::copy(BlockSource& in, uint64_t offset, uint64_t length, Write&& write) {
    if (!active_ || !in_ || !out_)
        return FDIERROR_ALLOC_FAIL;
    if (offset < blockStart_ || !positioned_) {
        if (FDIERROR e = restart(in))
            return e;
    }
    while (offset >= blockStart_ + outLen_) {
        if (FDIERROR e = nextBlock(in))
            return e;
    }
    uint64_t pos = offset;
    while (length > 0) {
        if (pos >= blockStart_ + outLen_) {
            if (FDIERROR e = nextBlock(in))
                return e;
            continue;
        }
        const auto at = static_cast<uint32_t>(pos - blockStart_);
        const uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(length, outLen_ - at));
        if (!write(out_ + at, take))
            return FDIERROR_TARGET_FILE;
        pos += take;
        length -= take;
    }
    return FDIERROR_NONE;
}

} // namespace morbek::fdi::detail
