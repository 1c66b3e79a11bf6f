#include "cabinet/Catalogue.h"

#include "cabinet/DosDateTime.h"
#include "platform/files/Files.h"
#include "platform/text/AnsiText.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <unordered_map>

namespace morbek::cab {

namespace {

// Search windows: 8192 bytes, each next one starting so that it overlaps the previous
// by the pattern's length plus one.
constexpr int64_t kSearchWindow = 8192;
// The file table is read through a buffer of this size: one read serves hundreds of
// records instead of one read each, which keeps a 65,535-entry table quick.
constexpr int64_t kChunk = 64 * 1024;

// Random-access reads through one buffer. It only ever hands out bytes that were read:
// what lies past the end of the file (or past a failed read) is simply not available.
class ChunkedReader {
public:
    ChunkedReader(int fd, int64_t fileSize) : fd_(fd), size_(fileSize) {}

    // Bytes from pos, up to want of them; *available says how many were read (fewer at
    // the end of the file, 0 past it).
    const unsigned char* view(int64_t pos, int64_t want, int64_t* available) {
        *available = 0;
        if (pos < 0 || pos >= size_)
            return nullptr;
        const int64_t wantEnd = std::min(pos + want, size_);
        if (pos < start_ || wantEnd > start_ + length_) {
            const int64_t count = std::min(std::max(kChunk, want), size_ - pos);
            if (static_cast<int64_t>(buffer_.size()) < count)
                buffer_.resize(static_cast<size_t>(count));
            start_ = pos;
            length_ = std::max<int64_t>(0, platform::ReadAt(fd_, pos, buffer_.data(), count));
        }
        *available = std::max<int64_t>(0, std::min(wantEnd, start_ + length_) - pos);
        return buffer_.data() + (pos - start_);
    }

private:
    int fd_;
    int64_t size_;
    std::vector<unsigned char> buffer_;
    int64_t start_ = 0, length_ = 0;
};

// A NUL-terminated name at pos, looked for within the format's 256-byte limit. False
// when no NUL lies within that window or within the file.
bool ReadName(ChunkedReader& reader, int64_t pos, QByteArray* name, int64_t* next) {
    int64_t available = 0;
    const unsigned char* p = reader.view(pos, static_cast<int64_t>(kMaxNameBytes), &available);
    const void* nul = available > 0 ? std::memchr(p, 0, static_cast<size_t>(available)) : nullptr;
    if (!nul)
        return false;
    const auto length = static_cast<const unsigned char*>(nul) - p;
    *name = QByteArray(reinterpret_cast<const char*>(p), length);
    *next = pos + length + 1;
    return true;
}

bool StartsWith(const unsigned char* bytes, int64_t count, const char* prefix, size_t prefixLength) {
    return count >= static_cast<int64_t>(prefixLength) && std::memcmp(bytes, prefix, prefixLength) == 0;
}

class FileCloser {
public:
    explicit FileCloser(int fd) : fd_(fd) {}
    ~FileCloser() { platform::CloseFile(fd_); }
    FileCloser(const FileCloser&) = delete;
    FileCloser& operator=(const FileCloser&) = delete;

private:
    int fd_;
};

// The embedded cabinet is taken only when its header looks like one that fits the rest
// of the executable.
bool PlausibleEmbeddedHeader(const unsigned char* hdr, int64_t hostSize, int64_t offset) {
    const auto cbCabinet = static_cast<int32_t>(ReadU32(hdr + kHdrCbCabinet));
    return cbCabinet > 8 && cbCabinet <= hostSize - offset + 1 && ReadU32(hdr + kHdrReserved2) == 0 &&
           ReadU16(hdr + kHdrCFolders) >= 1 && ReadU16(hdr + kHdrCFiles) >= 1;
}

// Splits a decoded stored name into path (up to and including the last backslash), file
// name and extension (after the last dot of the whole name: it may lie in the path). A
// record's folder and extension share the text of an earlier record's when they are the
// same: tables list a folder's files together and repeat a few extensions, and a
// 65,535-entry table then holds a few hundred of these strings instead of two per record.
class NameSplitter {
public:
    void split(CatalogueEntry& e) {
        const QString& stored = e.name;
        const qsizetype slash = stored.lastIndexOf(QLatin1Char('\\'));
        if (slash >= 0) {
            const QStringView path = QStringView(stored).left(slash + 1);
            if (path != QStringView(lastPath_))
                lastPath_ = path.toString();
            e.path = lastPath_;
            e.fileName = stored.mid(slash + 1);
        } else {
            e.path = QString();
            e.fileName = stored;
        }
        const qsizetype dot = stored.lastIndexOf(QLatin1Char('.'));
        e.extension = dot >= 0 ? extension(QStringView(stored).mid(dot + 1)) : QString();
    }

private:
    static constexpr size_t kKeptExtensions = 32;

    QString extension(QStringView text) {
        for (const QString& known : extensions_)
            if (QStringView(known) == text)
                return known;
        QString made = text.toString();
        if (extensions_.size() < kKeptExtensions)
            extensions_.push_back(made);
        return made;
    }

    QString lastPath_;
    std::vector<QString> extensions_;
};

} // namespace

void SplitStoredName(const QString& stored, QString& fileName, QString& path, QString& extension) {
    CatalogueEntry e;
    e.name = stored;
    NameSplitter().split(e);
    fileName = std::move(e.fileName);
    path = std::move(e.path);
    extension = std::move(e.extension);
}

namespace {

// The search of a large executable is long: progress runs once per window read.
int64_t SearchSignature(const QByteArray& pattern, int fd, const std::function<void()>& progress) {
    const int64_t size = platform::FileSize(fd);
    if (pattern.isEmpty() || pattern.size() >= kSearchWindow || size < 0)
        return 0;
    const int64_t step = kSearchWindow - 1 - pattern.size(); // 8183 for the 8-byte pattern
    const int64_t windows = size / step + 1;
    std::vector<char> window(static_cast<size_t>(kSearchWindow));
    const std::boyer_moore_horspool_searcher searcher(pattern.cbegin(), pattern.cend());
    for (int64_t w = 0; w < windows; ++w) {
        const int64_t start = w * step;
        const int64_t got = platform::ReadAt(fd, start, window.data(), kSearchWindow);
        if (got <= 0)
            break;
        const auto end = window.begin() + got;
        const auto hit = std::search(window.begin(), end, searcher);
        if (hit != end)
            return start + (hit - window.begin());
        if (progress)
            progress();
    }
    return 0;
}

} // namespace

int64_t FindCabinetSignature(const QByteArray& pattern, int fd) {
    return SearchSignature(pattern, fd, {});
}

Catalogue ReadCatalogue(const QString& path, const std::function<void()>& progress) {
    Catalogue cat;
    const int fd = platform::OpenReadNoShare(path);
    if (fd < 0) {
        cat.outcome = OpenOutcome::CannotOpen;
        return cat;
    }
    FileCloser closer(fd);
    cat.outcome = OpenOutcome::NotCabinet;
    const int64_t fileSize = platform::FileSize(fd);

    // Recognition goes by content only.
    unsigned char hdr[kHeaderSize];
    const int64_t firstCount = platform::ReadAt(fd, 0, hdr, kHeaderSize);
    int64_t cabOffset = 0;
    if (StartsWith(hdr, firstCount, "MSCF\0", 5)) {
        // A cabinet file: its header is taken as it stands, but it must have been read.
        if (firstCount < static_cast<int64_t>(kHeaderSize))
            return cat;
    } else if (StartsWith(hdr, firstCount, "MZ", 2) || StartsWith(hdr, firstCount, "PE", 2)) {
        // An executable: only the first occurrence of the signature is tried.
        static const QByteArray pattern("MSCF\0\0\0\0", 8);
        cabOffset = SearchSignature(pattern, fd, progress);
        if (cabOffset == 0)
            return cat;
        cat.location.HostFileSize = fileSize;
        cat.location.CabOffset = cabOffset;
        if (platform::ReadAt(fd, cabOffset, hdr, kHeaderSize) != static_cast<int64_t>(kHeaderSize) ||
            !PlausibleEmbeddedHeader(hdr, fileSize, cabOffset))
            return cat;
        cat.location.CabEmbedded = 1;
    } else {
        return cat;
    }

    CabinetHeaderValues header;
    header.CabSize = ReadU32(hdr + kHdrCbCabinet);
    header.VersionMinor = hdr[kHdrVersionMinor];
    header.VersionMajor = hdr[kHdrVersionMajor];
    header.FolderCount = ReadU16(hdr + kHdrCFolders);
    header.FileCount = ReadU16(hdr + kHdrCFiles);
    const uint16_t flags = ReadU16(hdr + kHdrFlags);
    header.HasPrevCabinet = (flags & cfhdrPREV_CABINET) ? 1 : 0;
    header.HasNextCabinet = (flags & cfhdrNEXT_CABINET) ? 1 : 0;
    header.HasReserve = (flags & cfhdrRESERVE_PRESENT) ? 1 : 0;
    header.SetId = ReadU16(hdr + kHdrSetID);
    header.CabinetIndex = ReadU16(hdr + kHdrICabinet);

    ChunkedReader reader(fd, fileSize);

    // Optional fields, in the format's order: reserve, previous names, next names.
    int64_t pos = cabOffset + static_cast<int64_t>(kHeaderSize);
    if (header.HasReserve) {
        int64_t available = 0;
        const unsigned char* p = reader.view(pos, static_cast<int64_t>(kReserveSize), &available);
        if (available < static_cast<int64_t>(kReserveSize))
            return cat;
        // cbCFHeader; the per-folder and per-block sizes are not needed here
        pos += static_cast<int64_t>(kReserveSize) + ReadU16(p + kResCbCFHeader);
        if (pos > fileSize)
            return cat;
    }
    CabinetNames names;
    QByteArray raw;
    const auto readName = [&](QString* into) {
        if (!ReadName(reader, pos, &raw, &pos))
            return false;
        *into = platform::FromWindows1252(raw);
        return true;
    };
    if (header.HasPrevCabinet && !(readName(&names.PrevCabinetName) && readName(&names.PrevDiskName)))
        return cat;
    if (header.HasNextCabinet && !(readName(&names.NextCabinetName) && readName(&names.NextDiskName)))
        return cat;

    // The file table, where the header says it starts; the folder table is not consulted.
    std::vector<CatalogueEntry> entries;
    entries.reserve(static_cast<size_t>(header.FileCount));
    uint64_t total = 0;
    std::unordered_map<uint32_t, QString> dateTexts; // tables tend to repeat a few stamps
    NameSplitter splitter;
    pos = cabOffset + static_cast<int64_t>(ReadU32(hdr + kHdrCoffFiles));
    for (int i = 0; i < header.FileCount; ++i) {
        int64_t available = 0;
        const unsigned char* p =
            reader.view(pos, static_cast<int64_t>(kFileFixedSize + kMaxNameBytes), &available);
        if (available <= static_cast<int64_t>(kFileFixedSize))
            return cat;
        const unsigned char* namePtr = p + kFileFixedSize;
        const auto nameWindow = static_cast<size_t>(available) - kFileFixedSize;
        const auto* nul = static_cast<const unsigned char*>(std::memchr(namePtr, 0, nameWindow));
        if (!nul)
            return cat;

        CatalogueEntry e;
        e.size = ReadU32(p + kFileCbFile);
        e.uoffFolderStart = ReadU32(p + kFileUoffFolderStart);
        e.iFolder = ReadU16(p + kFileIFolder);
        e.date = ReadU16(p + kFileDate);
        e.time = ReadU16(p + kFileTime);
        e.attribs = ReadU16(p + kFileAttribs);
        e.storedName = QByteArray(reinterpret_cast<const char*>(namePtr), nul - namePtr);
        e.name = platform::DecodeCabinetName(e.storedName, e.attribs);
        splitter.split(e);
        const uint32_t stamp = (static_cast<uint32_t>(e.date) << 16) | e.time;
        auto cached = dateTexts.find(stamp);
        if (cached == dateTexts.end())
            cached = dateTexts.emplace(stamp, FormatDosDateTime(e.date, e.time)).first;
        e.dateText = cached->second;

        total += e.size;
        pos += static_cast<int64_t>(kFileFixedSize) + e.storedName.size() + 1;
        entries.push_back(std::move(e));
        if (progress)
            progress();
    }

    cat.outcome = OpenOutcome::Ok;
    cat.header = header;
    cat.names = std::move(names);
    cat.entries = std::move(entries);
    cat.TotalSize = total;
    return cat;
}

} // namespace morbek::cab
