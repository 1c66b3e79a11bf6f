#pragma once
// Shared inner parts of the FDI library: the context behind an HFDI, memory drawn from
// the caller's allocator, and the catalogue of a cabinet as read through the callbacks.
// The session that FDICopy keeps between runs is in Session.h, the copy run in Copier.h.
#include "platform/fdi/CabinetFormat.h"
#include "platform/fdi/fdi.h"

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

struct mscab_decompressor;
struct mscabd_cabinet;
struct mscabd_folder;

namespace morbek::fdi::detail {

using namespace mscf;

struct Context {
    uint32_t magic;
    PFNALLOC alloc;
    PFNFREE free;
    PFNOPEN open;
    PFNREAD read;
    PFNWRITE write;
    PFNCLOSE close;
    PFNSEEK seek;
    ERF* erf;
    const char* nameFilter = nullptr; // see FDISetNameFilter
    PFNSTAT handleStat = nullptr;     // see FDISetHandleStat
};
constexpr uint32_t kContextMagic = 0x46444943; // "CIDF"

// The allocator that owns a session's memory.
struct Heap {
    PFNALLOC alloc = nullptr;
    PFNFREE free = nullptr;
};

// Standard containers drawing on the caller's allocator; throws std::bad_alloc when it
// refuses, which FDICopy turns into FDIERROR_ALLOC_FAIL.
template <class T> struct HeapAllocator {
    using value_type = T;
    const Heap* heap;
    explicit HeapAllocator(const Heap* h) noexcept : heap(h) {}
    template <class U> HeapAllocator(const HeapAllocator<U>& other) noexcept : heap(other.heap) {}
    T* allocate(size_t n) {
        if (n == 0 || n > 0x7FFFFFFFu / sizeof(T))
            throw std::bad_alloc();
        void* p = heap->alloc(static_cast<uint32_t>(n * sizeof(T)));
        if (!p)
            throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t) noexcept { heap->free(p); }
    template <class U> bool operator==(const HeapAllocator<U>& other) const noexcept {
        return heap == other.heap;
    }
};
template <class T> using Vec = std::vector<T, HeapAllocator<T>>;

// Where a file came from, to notice a changed or different cabinet between runs.
struct Identity {
    bool valid = false;
    uint64_t dev = 0, ino = 0;
    int64_t size = 0, mtimeSec = 0, mtimeNsec = 0;
    bool operator==(const Identity&) const = default;
};
// By the open handle when the context has a handle stat, else by path.
Identity IdentityOf(const Context* ctx, int hf, const char* path);

struct Folder {
    uint32_t dataOffset = 0;
    uint16_t numBlocks = 0;
    uint16_t compType = 0;
};

struct Record {
    uint32_t size = 0;
    uint32_t offset = 0;
    uint16_t iFolder = 0, date = 0, time = 0, attribs = 0;
    uint32_t name = 0;       // UTF-8, NUL-terminated, in the cabinet's pool
    uint32_t rawName = 0;    // as stored, NUL-terminated, in the pool
    uint16_t nameLength = 0; // of name, in bytes
    bool continuesFromPrev() const {
        return iFolder == ifoldCONTINUED_FROM_PREV || iFolder == ifoldCONTINUED_PREV_AND_NEXT;
    }
    bool continuesToNext() const {
        return iFolder == ifoldCONTINUED_TO_NEXT || iFolder == ifoldCONTINUED_PREV_AND_NEXT;
    }
};

// One cabinet of a session's chain.
struct Cabinet {
    explicit Cabinet(const Heap* heap)
        : path(HeapAllocator<char>(heap)), pool(HeapAllocator<char>(heap)),
          folders(HeapAllocator<Folder>(heap)), records(HeapAllocator<Record>(heap)),
          mfolders(HeapAllocator<mscabd_folder*>(heap)), view(HeapAllocator<unsigned char>(heap)),
          nameIndex(HeapAllocator<std::pair<uint32_t, uint32_t>>(heap)) {}

    Vec<char> path; // full name as opened, NUL-terminated; libmspack keeps a pointer to it
    Identity identity;
    unsigned char header[kHeaderSize] = {};
    uint32_t cbCabinet = 0;
    uint16_t cFolders = 0, cFiles = 0, flags = 0, setID = 0, iCabinet = 0;
    uint8_t dataReserve = 0; // bytes reserved in each data block header
    uint32_t prevName = 0, prevDisk = 0, nextName = 0, nextDisk = 0; // pool offsets (0: "")
    Vec<char> pool;
    Vec<Folder> folders;
    Vec<Record> records;
    // libmspack's side, once built: the cabinet and its folders in order (null where a
    // merge with the previous cabinet took the folder over). Files are handed to libmspack
    // from our records, which are read where the header says (coffFiles), as the program's
    // catalogue reads them, while libmspack reads them right after the folders.
    mscabd_cabinet* mcab = nullptr;
    bool attached = false; // appended to the previous cabinet's libmspack chain
    Vec<mscabd_folder*> mfolders;
    // The last folder goes on in the next cabinet, which libmspack's chain does not hold
    // yet: its cut last block is left out of the folder's count (see Copier::buildMspack).
    bool trimmed = false;
    uint16_t headerReserve = 0; // bytes reserved in the header
    uint8_t folderReserve = 0;  // bytes reserved in each folder record
    // What libmspack is shown of the cabinet's start instead of its tables (see
    // Copier::buildMspack); empty: the file as it is.
    Vec<unsigned char> view;
    // (hash of the name after its last backslash, record index), sorted; built on the
    // first filtered run and kept with the catalogue.
    Vec<std::pair<uint32_t, uint32_t>> nameIndex;

    const char* str(uint32_t at) const { return pool.data() + at; }
    // Records whose name after its last backslash is name, in file-table order.
    void recordsNamed(const char* name, Vec<size_t>& out);
    // Finds the record that continues the file stored as rawName in the previous cabinet.
    bool hasContinuation(const char* rawName, uint16_t* iFolder) const;
    // Worked out once when the records are read: every extraction asks.
    bool anyContinuesToNext() const { return continuesToNext_; }
    bool anyContinuesFromPrev() const { return continuesFromPrev_; }
    bool continuesToNext_ = false, continuesFromPrev_ = false;
};

// Reads through a caller's handle with a small buffer, so that parsing a catalogue costs
// a few large reads rather than several per record.
class Reader {
public:
    // freshlyOpened: the handle was just opened, so it stands at the start of the file
    // and the first read needs no seek.
    Reader(const Context* ctx, int hf, bool freshlyOpened = false)
        : ctx_(ctx), hf_(hf), handleAt_(freshlyOpened ? 0 : -1) {}
    bool read(void* out, size_t n);
    bool skip(size_t n);
    bool seek(int64_t pos);
    // A NUL-terminated string of 1 to 255 bytes (as libmspack accepts them; 0 to 255 with
    // allowEmpty); false when it is empty, longer, or cut off by the end of the file.
    bool string(char* out, size_t* length, bool allowEmpty = false);

private:
    bool fill();
    const Context* ctx_;
    // The first read asks for the fixed header only: most runs need nothing more.
    size_t nextFill_ = kHeaderSize;
    int hf_;
    unsigned char buf_[8192];
    int64_t bufAt_ = 0;
    size_t bufLen_ = 0;
    int64_t pos_ = 0;
    int64_t handleAt_; // where the handle stands, as far as we moved it; -1 unknown
    bool loaded_ = false;
};

// Fills cab.view: the fixed header, the reserved sizes, the folders and only the records
// libmspack needs (those that continue, and the first other one), its names left out.
// Leaves it empty when a folder's data would lie inside it.
void BuildView(Cabinet& cab);

// Reads the fixed header; FDIERROR_NONE, NOT_A_CABINET or UNKNOWN_CABINET_VERSION.
FDIERROR ReadHeader(Reader& reader, unsigned char (&header)[kHeaderSize]);
// Reads the rest of the catalogue after ReadHeader (cab.header filled). Names are
// converted to UTF-8 here, once. FDIERROR_NONE or CORRUPT_CABINET; std::bad_alloc when
// the caller's allocator refuses.
FDIERROR ReadCatalogue(Reader& reader, Cabinet& cab);

} // namespace morbek::fdi::detail
