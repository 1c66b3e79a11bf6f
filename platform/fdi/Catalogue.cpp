// Reading a cabinet's header and catalogue through the caller's file callbacks.
#include "platform/fdi/Internal.h"

#include "platform/text/AnsiText.h"

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <sys/stat.h>

namespace morbek::fdi::detail {

Identity IdentityOf(const Context* ctx, int hf, const char* path) {
    Identity id;
    struct stat st {};
    const int rc = ctx->handleStat ? ctx->handleStat(hf, &st) : ::stat(path, &st);
    if (rc != 0 || !S_ISREG(st.st_mode))
        return id;
    id.valid = true;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.size = st.st_size;
    id.mtimeSec = st.st_mtim.tv_sec;
    id.mtimeNsec = st.st_mtim.tv_nsec;
    return id;
}

namespace {

// The part of a stored name after its last backslash.
const char* NamePart(const char* name) {
    const char* slash = std::strrchr(name, '\\');
    return slash ? slash + 1 : name;
}

uint32_t NameHash(const char* text) {
    uint32_t h = 2166136261u; // FNV-1a
    for (; *text; ++text)
        h = (h ^ static_cast<unsigned char>(*text)) * 16777619u;
    return h;
}

} // namespace

void Cabinet::recordsNamed(const char* name, Vec<size_t>& out) {
    out.clear();
    if (nameIndex.size() != records.size()) {
        nameIndex.clear();
        nameIndex.reserve(records.size());
        for (size_t i = 0; i < records.size(); ++i)
            nameIndex.emplace_back(NameHash(NamePart(str(records[i].name))), static_cast<uint32_t>(i));
        std::sort(nameIndex.begin(), nameIndex.end());
    }
    const uint32_t h = NameHash(name);
    auto it = std::lower_bound(nameIndex.begin(), nameIndex.end(), std::make_pair(h, uint32_t{0}));
    // Same hash: record indexes ascend, so file-table order is kept.
    for (; it != nameIndex.end() && it->first == h; ++it)
        if (std::strcmp(NamePart(str(records[it->second].name)), name) == 0)
            out.push_back(it->second);
}

bool Cabinet::hasContinuation(const char* want, uint16_t* iFolder) const {
    for (const Record& r : records) {
        if (!r.continuesFromPrev())
            continue;
        const char* have = str(r.rawName);
        size_t i = 0;
        // Set members were often written on case-insensitive systems; the name is the only
        // link between the two records, as in the documented library.
        while (want[i] && have[i] &&
               (want[i] == have[i] || (std::tolower(static_cast<unsigned char>(want[i])) ==
                                       std::tolower(static_cast<unsigned char>(have[i])))))
            ++i;
        if (want[i] == 0 && have[i] == 0) {
            *iFolder = r.iFolder;
            return true;
        }
    }
    return false;
}

bool Reader::fill() {
    // The caller's seek takes a 32-bit distance.
    if (pos_ > 0x7FFFFFFF)
        return false;
    const long at = static_cast<long>(pos_);
    if (handleAt_ != pos_ && ctx_->seek(hf_, at, 0) != at)
        return false;
    const size_t want = nextFill_;
    nextFill_ = sizeof buf_;
    handleAt_ = -1;
    const uint32_t got = ctx_->read(hf_, buf_, static_cast<uint32_t>(want));
    if (got == 0xFFFFFFFFu || got > want)
        return false;
    handleAt_ = pos_ + got;
    bufAt_ = pos_;
    bufLen_ = got;
    loaded_ = true;
    return got > 0;
}

bool Reader::read(void* out, size_t n) {
    auto* dst = static_cast<unsigned char*>(out);
    while (n > 0) {
        if (!loaded_ || pos_ < bufAt_ || pos_ >= bufAt_ + static_cast<int64_t>(bufLen_)) {
            if (!fill())
                return false;
        }
        const size_t at = static_cast<size_t>(pos_ - bufAt_);
        const size_t take = std::min(n, bufLen_ - at);
        std::memcpy(dst, buf_ + at, take);
        dst += take;
        n -= take;
        pos_ += static_cast<int64_t>(take);
    }
    return true;
}

bool Reader::skip(size_t n) {
    pos_ += static_cast<int64_t>(n);
    return pos_ <= 0x7FFFFFFF;
}

bool Reader::seek(int64_t pos) {
    pos_ = pos;
    return pos_ >= 0 && pos_ <= 0x7FFFFFFF;
}

bool Reader::string(char* out, size_t* length, bool allowEmpty) {
    for (size_t i = 0; i < kMaxNameBytes; ++i) {
        char c;
        if (!read(&c, 1))
            return false;
        out[i] = c;
        if (c == 0) {
            *length = i;
            return i > 0 || allowEmpty;
        }
    }
    return false;
}

FDIERROR ReadHeader(Reader& reader, unsigned char (&header)[kHeaderSize]) {
    if (!reader.read(header, kHeaderSize) || std::memcmp(header + kHdrSignature, "MSCF", 4) != 0)
        return FDIERROR_NOT_A_CABINET;
    if (header[kHdrVersionMajor] != 1)
        return FDIERROR_UNKNOWN_CABINET_VERSION;
    return FDIERROR_NONE;
}

namespace {

// Appends text and its terminating NUL to the pool; returns its offset.
uint32_t Store(Vec<char>& pool, const QByteArray& text) {
    const auto at = static_cast<uint32_t>(pool.size());
    pool.insert(pool.end(), text.constData(), text.constData() + text.size());
    pool.push_back('\0');
    return at;
}

} // namespace

FDIERROR ReadCatalogue(Reader& reader, Cabinet& cab) {
    const unsigned char* h = cab.header;
    cab.cbCabinet = ReadU32(h + kHdrCbCabinet);
    cab.cFolders = ReadU16(h + kHdrCFolders);
    cab.cFiles = ReadU16(h + kHdrCFiles);
    cab.flags = ReadU16(h + kHdrFlags);
    cab.setID = ReadU16(h + kHdrSetID);
    cab.iCabinet = ReadU16(h + kHdrICabinet);
    // Nothing to extract from a cabinet without folders or files; libmspack refuses them too.
    if (cab.cFolders == 0 || cab.cFiles == 0)
        return FDIERROR_CORRUPT_CABINET;

    cab.pool.clear();
    cab.pool.push_back('\0'); // offset 0 is the empty string
    cab.prevName = cab.prevDisk = cab.nextName = cab.nextDisk = 0;
    cab.dataReserve = cab.folderReserve = 0;
    cab.headerReserve = 0;
    cab.view.clear();

    size_t folderReserve = 0;
    if (cab.flags & cfhdrRESERVE_PRESENT) {
        unsigned char r[kReserveSize];
        if (!reader.read(r, kReserveSize))
            return FDIERROR_CORRUPT_CABINET;
        folderReserve = r[kResCbCFFolder];
        cab.headerReserve = ReadU16(r + kResCbCFHeader);
        cab.folderReserve = r[kResCbCFFolder];
        cab.dataReserve = r[kResCbCFData];
        if (!reader.skip(ReadU16(r + kResCbCFHeader)))
            return FDIERROR_CORRUPT_CABINET;
    }

    char text[kMaxNameBytes];
    size_t len = 0;
    // The names of the neighbours and their disks are free text, and may be empty.
    auto readCabinetName = [&](uint32_t* into) {
        if (!reader.string(text, &len, true))
            return false;
        *into = Store(cab.pool, platform::FromWindows1252(QByteArray(text, static_cast<int>(len))).toUtf8());
        return true;
    };
    if (cab.flags & cfhdrPREV_CABINET) {
        if (!readCabinetName(&cab.prevName) || !readCabinetName(&cab.prevDisk))
            return FDIERROR_CORRUPT_CABINET;
    }
    if (cab.flags & cfhdrNEXT_CABINET) {
        if (!readCabinetName(&cab.nextName) || !readCabinetName(&cab.nextDisk))
            return FDIERROR_CORRUPT_CABINET;
    }

    cab.folders.clear();
    cab.folders.reserve(cab.cFolders);
    for (unsigned i = 0; i < cab.cFolders; ++i) {
        unsigned char f[kFolderFixedSize];
        if (!reader.read(f, kFolderFixedSize) || !reader.skip(folderReserve))
            return FDIERROR_CORRUPT_CABINET;
        cab.folders.push_back(Folder{ReadU32(f + kFolderCoffCabStart), ReadU16(f + kFolderCCFData),
                                     ReadU16(f + kFolderTypeCompress)});
    }

    // The records lie where the header says, which is not always right after the folders.
    if (!reader.seek(ReadU32(h + kHdrCoffFiles)))
        return FDIERROR_CORRUPT_CABINET;
    cab.records.clear();
    cab.records.reserve(cab.cFiles);
    cab.continuesToNext_ = cab.continuesFromPrev_ = false;
    for (unsigned i = 0; i < cab.cFiles; ++i) {
        unsigned char f[kFileFixedSize];
        if (!reader.read(f, kFileFixedSize))
            return FDIERROR_CORRUPT_CABINET;
        Record r;
        r.size = ReadU32(f + kFileCbFile);
        r.offset = ReadU32(f + kFileUoffFolderStart);
        r.iFolder = ReadU16(f + kFileIFolder);
        r.date = ReadU16(f + kFileDate);
        r.time = ReadU16(f + kFileTime);
        r.attribs = ReadU16(f + kFileAttribs);
        if (r.iFolder < ifoldCONTINUED_FROM_PREV && r.iFolder >= cab.cFolders)
            return FDIERROR_CORRUPT_CABINET;
        if (!reader.string(text, &len))
            return FDIERROR_CORRUPT_CABINET;
        const QByteArray raw(text, static_cast<int>(len));
        r.rawName = Store(cab.pool, raw);
        const QByteArray name = platform::DecodeCabinetName(raw, r.attribs).toUtf8();
        r.name = Store(cab.pool, name);
        r.nameLength = static_cast<uint16_t>(std::min<qsizetype>(name.size(), 0xFFFF));
        cab.records.push_back(r);
        cab.continuesToNext_ = cab.continuesToNext_ || r.continuesToNext();
        cab.continuesFromPrev_ = cab.continuesFromPrev_ || r.continuesFromPrev();
    }
    return FDIERROR_NONE;
}

namespace {

void PutU16(Vec<unsigned char>& out, uint16_t v) {
    out.push_back(static_cast<unsigned char>(v & 0xFF));
    out.push_back(static_cast<unsigned char>(v >> 8));
}

void PutU32(Vec<unsigned char>& out, uint32_t v) {
    PutU16(out, static_cast<uint16_t>(v & 0xFFFF));
    PutU16(out, static_cast<uint16_t>(v >> 16));
}

} // namespace

void BuildView(Cabinet& cab) {
    // The records libmspack needs: those it pairs when it merges a folder with its
    // neighbour's, and one at least, since it refuses a cabinet without any.
    Vec<size_t> shown{HeapAllocator<size_t>(cab.view.get_allocator().heap)};
    bool other = false;
    for (size_t i = 0; i < cab.records.size(); ++i) {
        const Record& r = cab.records[i];
        const bool continues = r.continuesFromPrev() || r.continuesToNext();
        if (continues || !other)
            shown.push_back(i);
        other = other || !continues;
    }
    Vec<unsigned char>& v = cab.view;
    v.clear();
    v.insert(v.end(), cab.header, cab.header + kHeaderSize);
    // Without the neighbours' names, which libmspack refuses when empty and never needs.
    const uint16_t flags = cab.flags & ~(cfhdrPREV_CABINET | cfhdrNEXT_CABINET);
    v[kHdrFlags] = static_cast<unsigned char>(flags & 0xFF);
    v[kHdrFlags + 1] = static_cast<unsigned char>(flags >> 8);
    v[kHdrCFiles] = static_cast<unsigned char>(shown.size() & 0xFF);
    v[kHdrCFiles + 1] = static_cast<unsigned char>(shown.size() >> 8);
    if (flags & cfhdrRESERVE_PRESENT) {
        PutU16(v, cab.headerReserve);
        v.push_back(cab.folderReserve);
        v.push_back(cab.dataReserve);
        v.insert(v.end(), cab.headerReserve, 0);
    }
    uint32_t firstData = UINT32_MAX;
    for (const Folder& f : cab.folders) {
        PutU32(v, f.dataOffset);
        PutU16(v, f.numBlocks);
        PutU16(v, f.compType);
        v.insert(v.end(), cab.folderReserve, 0);
        firstData = std::min(firstData, f.dataOffset);
    }
    const auto filesAt = static_cast<uint32_t>(v.size());
    for (size_t i : shown) {
        const Record& r = cab.records[i];
        PutU32(v, r.size);
        PutU32(v, r.offset);
        PutU16(v, r.iFolder);
        PutU16(v, r.date);
        PutU16(v, r.time);
        PutU16(v, r.attribs);
        const char* name = cab.str(r.rawName);
        v.insert(v.end(), name, name + std::strlen(name) + 1);
    }
    for (int b = 0; b < 4; ++b)
        v[kHdrCoffFiles + b] = static_cast<unsigned char>(filesAt >> (8 * b));
    // The data is read where the file has it; a view reaching into it cannot stand in.
    if (v.size() > firstData)
        v.clear();
}

} // namespace morbek::fdi::detail
