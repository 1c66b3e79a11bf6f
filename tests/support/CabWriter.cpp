#include "tests/support/CabWriter.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace morbek::test {

namespace {

// Uncompressed bytes per CFDATA block: MSZIP frames are exactly this long (but the last
// of a folder), and decoders size their buffers for it.
constexpr int64_t kBlockSize = 32768;

void AppendU8(QByteArray& out, uint8_t v) {
    out.append(static_cast<char>(v));
}
void AppendU16(QByteArray& out, uint16_t v) {
    out.append(static_cast<char>(v & 0xFF));
    out.append(static_cast<char>(v >> 8));
}
void AppendU32(QByteArray& out, uint32_t v) {
    AppendU16(out, static_cast<uint16_t>(v & 0xFFFF));
    AppendU16(out, static_cast<uint16_t>(v >> 16));
}

// One LZX frame as a single uncompressed block. Bits go most significant first into
// 16-bit little-endian words: the folder's first frame begins with "no E8 translation"
// (0), then the block type (3 bits, 3: uncompressed) and the block's length (24 bits);
// the stream then aligns to the next word, and the block carries the three repeated
// offsets (1, 1, 1) before its bytes, padded to an even length.
QByteArray LzxStoredFrame(const QByteArray& data, bool first) {
    uint64_t bits = 0;
    int count = 0;
    const auto put = [&](uint32_t value, int n) {
        bits = (bits << n) | value;
        count += n;
    };
    if (first)
        put(0, 1);
    put(3, 3);
    put(static_cast<uint32_t>(data.size()), 24);
    bits <<= 32 - count; // the rest of the second word is the alignment
    QByteArray out;
    for (int word = 0; word < 2; ++word)
        AppendU16(out, static_cast<uint16_t>(bits >> (16 * (1 - word))));
    for (int r = 0; r < 3; ++r)
        AppendU32(out, 1);
    out += data;
    if (data.size() % 2)
        out.append('\0');
    return out;
}

class ZipCompressor {
public:
    explicit ZipCompressor(int level) {
        if (deflateInit2(&zs_, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::runtime_error("deflateInit2 failed");
    }
    ~ZipCompressor() { deflateEnd(&zs_); }
    ZipCompressor(const ZipCompressor&) = delete;
    ZipCompressor& operator=(const ZipCompressor&) = delete;

    // One MSZIP frame: "CK", then a complete raw deflate stream (ending in a final block).
    QByteArray frame(const QByteArray& data, const QByteArray& dictionary) {
        deflateReset(&zs_);
        if (!dictionary.isEmpty())
            deflateSetDictionary(&zs_, reinterpret_cast<const Bytef*>(dictionary.constData()),
                                 static_cast<uInt>(dictionary.size()));
        QByteArray out("CK");
        out.resize(2 + static_cast<qsizetype>(deflateBound(&zs_, static_cast<uLong>(data.size()))) + 16);
        zs_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
        zs_.avail_in = static_cast<uInt>(data.size());
        zs_.next_out = reinterpret_cast<Bytef*>(out.data() + 2);
        zs_.avail_out = static_cast<uInt>(out.size() - 2);
        if (deflate(&zs_, Z_FINISH) != Z_STREAM_END)
            throw std::runtime_error("deflate did not finish");
        out.resize(2 + static_cast<qsizetype>(zs_.total_out));
        return out;
    }

private:
    z_stream zs_{};
};

QByteArray Expand(const QByteArray& pattern, size_t number) {
    QByteArray out = pattern;
    out.replace('#', QByteArray::number(static_cast<qulonglong>(number)));
    return out;
}

} // namespace

uint16_t DosDate(int year, int month, int day) {
    return static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}

uint16_t DosTime(int hour, int minute, int second) {
    return static_cast<uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

void PutU16(QByteArray& bytes, size_t offset, uint16_t value) {
    bytes[static_cast<qsizetype>(offset)] = static_cast<char>(value & 0xFF);
    bytes[static_cast<qsizetype>(offset + 1)] = static_cast<char>(value >> 8);
}

void PutU32(QByteArray& bytes, size_t offset, uint32_t value) {
    PutU16(bytes, offset, static_cast<uint16_t>(value & 0xFFFF));
    PutU16(bytes, offset + 2, static_cast<uint16_t>(value >> 16));
}

uint16_t GetU16(const QByteArray& bytes, size_t offset) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData()) + offset;
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t GetU32(const QByteArray& bytes, size_t offset) {
    return GetU16(bytes, offset) | (static_cast<uint32_t>(GetU16(bytes, offset + 2)) << 16);
}

uint32_t CabChecksum(const unsigned char* data, size_t bytes, uint32_t seed) {
    uint32_t sum = seed;
    size_t i = 0;
    for (; i + 4 <= bytes; i += 4)
        sum ^= static_cast<uint32_t>(data[i]) | (static_cast<uint32_t>(data[i + 1]) << 8) |
               (static_cast<uint32_t>(data[i + 2]) << 16) | (static_cast<uint32_t>(data[i + 3]) << 24);
    // The tail goes in most significant byte first: the format's own quirk.
    uint32_t tail = 0;
    for (; i < bytes; ++i)
        tail = (tail << 8) | data[i];
    return sum ^ tail;
}

CabWriter::CabWriter() = default;

int CabWriter::addFolder(CabMethod method) {
    folders_.push_back({method});
    return static_cast<int>(folders_.size()) - 1;
}

void CabWriter::addFile(CabFileSpec spec) {
    files_.push_back(std::move(spec));
}

void CabWriter::addFile(const QByteArray& name, const QByteArray& data, int folder) {
    CabFileSpec spec;
    spec.name = name;
    spec.data = data;
    spec.folder = folder;
    addFile(std::move(spec));
}

void CabWriter::setPrevCabinet(const QByteArray& cabinet, const QByteArray& disk) {
    prev_ = {cabinet, disk};
}
void CabWriter::setNextCabinet(const QByteArray& cabinet, const QByteArray& disk) {
    next_ = {cabinet, disk};
}

void CabWriter::setReserve(uint16_t cbCFHeader, uint8_t cbCFFolder, uint8_t cbCFData, char headerFill) {
    reserve_ = true;
    cbCFHeader_ = cbCFHeader;
    cbCFFolder_ = cbCFFolder;
    cbCFData_ = cbCFData;
    reserveFill_ = headerFill;
}

// How the files are laid out in folders, blocks and cabinets.
struct CabWriter::SetPlan {
    struct Piece { // the part of one CFDATA payload that lies in one cabinet
        size_t cabinet;
        QByteArray payload;
        uint16_t cbUncomp; // 0 in every part of a split block but its last
    };
    struct Block {
        std::vector<Piece> pieces;
    };
    struct Member {  // a file in a written folder
        size_t file; // index into files_
        uint32_t uoff;
        size_t firstCabinet, lastCabinet;
    };
    struct Folder {
        CabMethod method;
        size_t emptyCabinet = 0; // where a folder without data is listed
        std::vector<Block> blocks;
        std::vector<Member> members;
    };
    std::vector<Folder> folders;
    size_t cabinets = 1;
};

CabWriter::SetPlan CabWriter::plan(int64_t maxDataPerCabinet) const {
    SetPlan plan;
    size_t cabinet = 0;
    int64_t used = 0; // payload bytes in the current cabinet

    // Places one block's payload, splitting it where the cabinet is full. A block that
    // opens a folder goes whole to the next cabinet when this one is already full.
    const auto place = [&](const QByteArray& payload, uint16_t cbUncomp, bool opensFolder) {
        SetPlan::Block block;
        if (opensFolder && used > 0 && used >= maxDataPerCabinet) {
            ++cabinet;
            used = 0;
        }
        int64_t from = 0;
        int64_t remaining = payload.size();
        for (;;) {
            const int64_t room = maxDataPerCabinet - used;
            const int64_t take = std::max<int64_t>(room, 1); // a split leaves at least a byte behind
            if (remaining <= take) {
                block.pieces.push_back({cabinet, payload.mid(from), cbUncomp});
                used += remaining;
                break;
            }
            block.pieces.push_back({cabinet, payload.mid(from, take), 0});
            from += take;
            remaining -= take;
            ++cabinet;
            used = 0;
        }
        return block;
    };

    std::vector<std::vector<size_t>> byFolder(folders_.size());
    for (size_t i = 0; i < files_.size(); ++i) {
        const int f = files_[i].folder;
        if (f < 0 || static_cast<size_t>(f) >= folders_.size())
            throw std::invalid_argument("CabWriter: file in a folder that was not added");
        byFolder[static_cast<size_t>(f)].push_back(i);
    }

    ZipCompressor zip(zipLevel_);
    for (size_t f = 0; f < folders_.size(); ++f) {
        const std::vector<size_t>& files = byFolder[f];
        size_t next = 0;
        do {
            SetPlan::Folder folder;
            folder.method = folders_[f].method;
            folder.emptyCabinet = cabinet;
            // Tentatively all remaining files of the folder, back to back.
            std::vector<int64_t> starts;
            int64_t end = 0;
            for (size_t k = next; k < files.size(); ++k) {
                starts.push_back(end);
                end += files_[files[k]].data.size();
            }
            // The uncompressed bytes [from, to) of the folder.
            const auto gather = [&](int64_t from, int64_t to) {
                QByteArray out;
                out.reserve(static_cast<qsizetype>(to - from));
                // From the last file starting at or before `from`.
                const auto after = std::upper_bound(starts.begin(), starts.end(), from);
                const size_t firstFile =
                    after == starts.begin() ? 0 : static_cast<size_t>(after - starts.begin()) - 1;
                for (size_t k = firstFile; k < starts.size() && starts[k] < to; ++k) {
                    const QByteArray& data = files_[files[next + k]].data;
                    const int64_t a = std::max(from, starts[k]);
                    const int64_t b = std::min(to, starts[k] + static_cast<int64_t>(data.size()));
                    if (a < b)
                        out.append(data.constData() + (a - starts[k]), static_cast<qsizetype>(b - a));
                }
                return out;
            };
            bool split = false;
            QByteArray previous;
            for (int64_t from = 0; from < end;) {
                const int64_t to = std::min(from + kBlockSize, end);
                const QByteArray raw = gather(from, to);
                QByteArray payload = raw;
                if (folder.method == CabMethod::MsZip)
                    payload = zip.frame(raw, zipHistory_ ? previous : QByteArray());
                else if (folder.method == CabMethod::Lzx)
                    payload = LzxStoredFrame(raw, from == 0);
                previous = raw;
                folder.blocks.push_back(place(payload, static_cast<uint16_t>(to - from), from == 0));
                if (folder.blocks.back().pieces.size() > 1) {
                    // The folder ends with the file that holds the block's last byte.
                    split = true;
                    for (size_t k = 0; k < starts.size(); ++k) {
                        const int64_t fileEnd = starts[k] + files_[files[next + k]].data.size();
                        if (starts[k] < to && fileEnd >= to) {
                            end = fileEnd;
                            break;
                        }
                    }
                }
                from = to;
            }
            // Members: the files inside the folder's final length. Those that touch the
            // first split block are listed in every cabinet the folder reaches, as
            // extractors that merge folders expect them in each neighbour.
            size_t firstSplit = folder.blocks.size();
            for (size_t b = 0; b < folder.blocks.size() && firstSplit == folder.blocks.size(); ++b)
                if (folder.blocks[b].pieces.size() > 1)
                    firstSplit = b;
            const size_t folderLastCabinet =
                folder.blocks.empty() ? folder.emptyCabinet : folder.blocks.back().pieces.back().cabinet;
            size_t k = 0;
            for (; k < starts.size(); ++k) {
                const int64_t size = files_[files[next + k]].data.size();
                const bool inside = starts[k] < end || (size == 0 && starts[k] == end && !split);
                if (!inside)
                    break;
                SetPlan::Member m{files[next + k], static_cast<uint32_t>(starts[k]), cabinet, cabinet};
                if (!folder.blocks.empty()) {
                    const auto blockOf = [&](int64_t offset) {
                        return std::min<size_t>(static_cast<size_t>(offset / kBlockSize),
                                                folder.blocks.size() - 1);
                    };
                    const size_t first = blockOf(starts[k]);
                    const size_t last = size > 0 ? blockOf(starts[k] + size - 1) : first;
                    m.firstCabinet = folder.blocks[first].pieces.front().cabinet;
                    m.lastCabinet =
                        last >= firstSplit ? folderLastCabinet : folder.blocks[last].pieces.back().cabinet;
                } else {
                    m.firstCabinet = m.lastCabinet = folder.emptyCabinet;
                }
                folder.members.push_back(m);
            }
            next += k;
            plan.folders.push_back(std::move(folder));
        } while (next < files.size());
    }
    plan.cabinets = cabinet + 1;
    return plan;
}

QByteArray CabWriter::serialize(const SetPlan& plan, size_t cabinet, uint16_t iCabinet,
                                const std::optional<std::pair<QByteArray, QByteArray>>& prev,
                                const std::optional<std::pair<QByteArray, QByteArray>>& next,
                                CabLayout* layout) const {
    CabLayout local;
    CabLayout& lay = layout ? *layout : local;
    lay = CabLayout{};

    // The folders of this cabinet, in set order.
    struct Present {
        const SetPlan::Folder* folder;
        std::vector<const SetPlan::Piece*> pieces;
        bool continuedFromPrev = false, continuedToNext = false;
    };
    std::vector<Present> present;
    for (const SetPlan::Folder& folder : plan.folders) {
        Present p{&folder, {}};
        size_t first = std::numeric_limits<size_t>::max(), last = 0;
        for (const auto& block : folder.blocks)
            for (const auto& piece : block.pieces) {
                first = std::min(first, piece.cabinet);
                last = std::max(last, piece.cabinet);
                if (piece.cabinet == cabinet)
                    p.pieces.push_back(&piece);
            }
        if (folder.blocks.empty() ? folder.emptyCabinet == cabinet : !p.pieces.empty()) {
            p.continuedFromPrev = !folder.blocks.empty() && first < cabinet;
            p.continuedToNext = !folder.blocks.empty() && last > cabinet;
            present.push_back(std::move(p));
        }
    }

    QByteArray out(36, '\0');
    const uint16_t flags = static_cast<uint16_t>((prev ? 0x0001 : 0) | (next ? 0x0002 : 0) |
                                                 (reserve_ ? 0x0004 : 0) | extraFlags_);
    if (reserve_) {
        AppendU16(out, cbCFHeader_);
        AppendU8(out, cbCFFolder_);
        AppendU8(out, cbCFData_);
        out.append(QByteArray(cbCFHeader_, reserveFill_));
    }
    for (const auto* names : {&prev, &next})
        if (*names) {
            out.append((*names)->first).append('\0');
            out.append((*names)->second).append('\0');
        }

    // CFFOLDER entries; coffCabStart is patched once the data offsets are known.
    lay.folders = static_cast<size_t>(out.size());
    for (const Present& p : present) {
        AppendU32(out, 0);
        AppendU16(out, static_cast<uint16_t>(p.pieces.size()));
        AppendU16(out, static_cast<uint16_t>(p.folder->method));
        out.append(QByteArray(cbCFFolder_, '\0'));
    }

    lay.files = static_cast<size_t>(out.size());
    uint16_t cFiles = 0;
    for (size_t index = 0; index < present.size(); ++index) {
        for (const SetPlan::Member& m : present[index].folder->members) {
            if (cabinet < m.firstCabinet || cabinet > m.lastCabinet)
                continue;
            const CabFileSpec& spec = files_[m.file];
            const bool fromPrev = m.firstCabinet<cabinet, toNext = m.lastCabinet> cabinet;
            uint16_t iFolder = static_cast<uint16_t>(index);
            if (fromPrev && toNext)
                iFolder = 0xFFFF;
            else if (fromPrev)
                iFolder = 0xFFFD;
            else if (toNext)
                iFolder = 0xFFFE;
            lay.fileRecords.push_back(static_cast<size_t>(out.size()));
            AppendU32(out, spec.declaredSize ? *spec.declaredSize : static_cast<uint32_t>(spec.data.size()));
            AppendU32(out, m.uoff);
            AppendU16(out, iFolder);
            AppendU16(out, spec.date);
            AppendU16(out, spec.time);
            AppendU16(out, spec.attribs);
            out.append(spec.name).append('\0');
            ++cFiles;
        }
    }

    for (size_t index = 0; index < present.size(); ++index) {
        PutU32(out, lay.folders + index * (8 + cbCFFolder_), static_cast<uint32_t>(out.size()));
        for (const SetPlan::Piece* piece : present[index].pieces) {
            lay.dataBlocks.push_back(static_cast<size_t>(out.size()));
            QByteArray head;
            AppendU16(head, static_cast<uint16_t>(piece->payload.size()));
            AppendU16(head, piece->cbUncomp);
            uint32_t csum = 0;
            if (checksums_) {
                csum = CabChecksum(reinterpret_cast<const unsigned char*>(piece->payload.constData()),
                                   static_cast<size_t>(piece->payload.size()), 0);
                csum = CabChecksum(reinterpret_cast<const unsigned char*>(head.constData()), 4, csum);
            }
            AppendU32(out, csum);
            out.append(head);
            out.append(QByteArray(cbCFData_, '\0'));
            out.append(piece->payload);
        }
    }

    out.replace(0, 4, "MSCF");
    PutU32(out, 8, static_cast<uint32_t>(out.size()));
    PutU32(out, 16, static_cast<uint32_t>(lay.files));
    out[24] = static_cast<char>(versionMinor_);
    out[25] = static_cast<char>(versionMajor_);
    PutU16(out, 26, static_cast<uint16_t>(present.size()));
    PutU16(out, 28, cFiles);
    PutU16(out, 30, flags);
    PutU16(out, 32, setId_);
    PutU16(out, 34, iCabinet);
    lay.size = static_cast<size_t>(out.size());
    return out;
}

QByteArray CabWriter::build(CabLayout* layout) const {
    const SetPlan p = plan(std::numeric_limits<int64_t>::max());
    return serialize(p, 0, iCabinet_, prev_, next_, layout);
}

std::vector<QByteArray> CabWriter::buildSet(int64_t maxDataPerCabinet, const QByteArray& namePattern,
                                            const QByteArray& diskPattern) const {
    const SetPlan p = plan(std::max<int64_t>(1, maxDataPerCabinet));
    std::vector<QByteArray> cabinets;
    for (size_t i = 0; i < p.cabinets; ++i) {
        std::optional<std::pair<QByteArray, QByteArray>> prev, next;
        if (i > 0)
            prev = std::make_pair(Expand(namePattern, i), Expand(diskPattern, i));
        if (i + 1 < p.cabinets)
            next = std::make_pair(Expand(namePattern, i + 2), Expand(diskPattern, i + 2));
        cabinets.push_back(serialize(p, i, static_cast<uint16_t>(i), prev, next, nullptr));
    }
    return cabinets;
}

QByteArray CabWriter::embedInExecutable(const QByteArray& cab, int prefixSize, const QByteArray& suffix) {
    // A DOS-stub look-alike; none of it can form the signature.
    static const char kStub[] = "\x0E\x1F\xBA\x0E\x00\xB4\x09\xCD\x21\xB8\x01\x4C\xCD\x21"
                                "This program cannot be run in DOS mode.\r\r\n$";
    static const QByteArray stub(kStub, sizeof kStub - 1);
    QByteArray out("MZ");
    while (out.size() < prefixSize)
        out.append(stub.left(prefixSize - out.size()));
    out.truncate(std::max(prefixSize, 2));
    return out + cab + suffix;
}

} // namespace morbek::test
