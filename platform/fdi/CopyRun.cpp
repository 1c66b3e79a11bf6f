// The run of FDICopy over a cabinet (set): the notifications, the chain of cabinets a
// file continues into, and libmspack's view of that chain.
#include "platform/fdi/Copier.h"
#include "platform/files/Files.h"

#include <QString>

namespace morbek::fdi::detail {

namespace {

// The caller decides when to give up asking for a next cabinet; this only bounds a caller
// that never does.
constexpr int kMaxRetries = 1000;

bool MethodSupported(uint16_t compType) {
    const int window = (compType >> tcompSHIFT_WINDOW) & tcompMASK_WINDOW;
    switch (compType & tcompMASK_TYPE) {
    case tcompTYPE_NONE:
    case tcompTYPE_MSZIP:
        return true;
    case tcompTYPE_QUANTUM:
        return window >= 10 && window <= 21;
    case tcompTYPE_LZX:
        return window >= 15 && window <= 21;
    default:
        return false;
    }
}

// Closes a caller's handle when it goes out of scope.
struct HandleGuard {
    HandleGuard(const Context* c, int h) : ctx(c), hf(h) {}
    const Context* ctx;
    int hf;
    ~HandleGuard() {
        if (hf != -1)
            ctx->close(hf);
    }
    HandleGuard(const HandleGuard&) = delete;
    HandleGuard& operator=(const HandleGuard&) = delete;
};

bool Join(char* out, size_t size, const char* dir, const char* name) {
    const size_t d = std::strlen(dir), n = std::strlen(name);
    const bool sep = d > 0 && dir[d - 1] != '/' && dir[d - 1] != '\\';
    if (d + (sep ? 1 : 0) + n + 1 > size)
        return false;
    std::memcpy(out, dir, d);
    size_t at = d;
    if (sep)
        out[at++] = '/';
    std::memcpy(out + at, name, n + 1);
    return true;
}

// Members of a set are named in the headers as they were spelt on the system that made
// them; on a case-sensitive file system take the one entry that matches regardless of case.
bool ResolveCaseInsensitive(char* out, size_t size, const char* dir, const char* name) {
    const QString found = platform::FindCaseInsensitive(QString::fromUtf8(dir), QString::fromUtf8(name));
    return !found.isEmpty() && Join(out, size, dir, found.toUtf8().constData());
}

} // namespace

FDIERROR Copier::cabinetInfo(size_t k, char* path) {
    const Cabinet& c = s_->cabs[k];
    FDINOTIFICATION n{};
    n.psz1 = scratch(0, c.str(c.nextName));
    n.psz2 = scratch(1, c.str(c.nextDisk));
    n.psz3 = path;
    n.setID = c.setID;
    n.iCabinet = c.iCabinet;
    return notify(fdintCABINET_INFO, n) == 0 ? FDIERROR_NONE : FDIERROR_USER_ABORT;
}

FDIERROR Copier::copy(const char* cabinet, const char* path) {
    Context* ctx = run_.ctx;
    char full[kPathMax];
    const size_t pl = std::strlen(path), cl = std::strlen(cabinet);
    if (pl + cl + 1 > sizeof full)
        return FDIERROR_CABINET_NOT_FOUND;
    std::memcpy(full, path, pl);
    std::memcpy(full + pl, cabinet, cl + 1);

    HandleGuard cab{ctx, ctx->open(full, kCabinetFlags, kCabinetMode)};
    if (cab.hf == -1)
        return FDIERROR_CABINET_NOT_FOUND;
    run_.cabinetPath = full;
    run_.cabinetHf = cab.hf;
    Reader reader(ctx, cab.hf, true);
    unsigned char header[kHeaderSize];
    if (FDIERROR e = ReadHeader(reader, header))
        return e;

    const Identity id = IdentityOf(ctx, cab.hf, full);
    if (s_) {
        const bool same = s_->heap.alloc == ctx->alloc && s_->heap.free == ctx->free && !s_->cabs.empty() &&
                          std::strcmp(s_->cabs[0].path.data(), full) == 0 && id.valid &&
                          id == s_->cabs[0].identity &&
                          std::memcmp(header, s_->cabs[0].header, kHeaderSize) == 0;
        if (!same) {
            DestroySession(s_, &run_);
            s_ = nullptr;
        }
    }
    if (!s_) {
        s_ = NewSession(ctx);
        if (!s_)
            return FDIERROR_ALLOC_FAIL;
        s_->run = &run_;
        s_->cabs.emplace_back(&s_->heap);
        Cabinet& c = s_->cabs.back();
        c.path.assign(full, full + std::strlen(full) + 1);
        std::memcpy(c.header, header, kHeaderSize);
        c.identity = id;
        s_->cacheable = id.valid;
        if (FDIERROR e = ReadCatalogue(reader, c))
            return e;
    }
    s_->run = &run_;

    std::strncpy(run_.dir, path, sizeof run_.dir - 1);
    char infoPath[kPathMax];
    std::strncpy(infoPath, path, sizeof infoPath - 1);
    infoPath[sizeof infoPath - 1] = 0;
    if (FDIERROR e = cabinetInfo(0, infoPath))
        return e;

    // With a name filter only the records of that name are visited, through the index.
    Vec<size_t> named{HeapAllocator<size_t>(&s_->heap)};
    for (size_t k = 0; k < run_.entered; ++k) {
        const bool filtered = ctx->nameFilter != nullptr;
        if (filtered)
            s_->cabs[k].recordsNamed(ctx->nameFilter, named);
        const size_t count = filtered ? named.size() : s_->cabs[k].records.size();
        for (size_t at = 0; at < count; ++at) {
            const size_t idx = filtered ? named[at] : at;
            // Copied: the chain may grow (and move) while this file is extracted.
            const Record r = s_->cabs[k].records[idx];
            FDINOTIFICATION n{};
            if (r.continuesFromPrev()) {
                // Beyond the first cabinet these are the tails of files already handled.
                if (k > 0)
                    continue;
                const Cabinet& c = s_->cabs[k];
                n.psz1 = scratch(0, c.str(r.name));
                n.psz2 = scratch(1, c.str(c.prevName));
                n.psz3 = scratch(2, c.str(c.prevDisk));
                n.iFolder = r.iFolder;
                if (notify(fdintPARTIAL_FILE, n) != 0)
                    return FDIERROR_USER_ABORT;
                continue;
            }
            n.psz1 = scratch(0, s_->cabs[k].str(r.name), r.nameLength);
            n.cb = static_cast<long>(r.size);
            n.date = r.date;
            n.time = r.time;
            n.attribs = r.attribs;
            n.iFolder = r.iFolder;
            const INT_PTR answer = notify(fdintCOPY_FILE, n);
            if (answer == 0)
                continue;
            if (answer == -1)
                return FDIERROR_USER_ABORT;
            if (answer < INT32_MIN || answer > INT32_MAX)
                return FDIERROR_TARGET_FILE;
            const int hf = static_cast<int>(answer);
            run_.pendingTarget = hf;
            if (FDIERROR e = extract(k, idx, hf))
                return e;

            FDINOTIFICATION done{};
            done.psz1 = scratch(0, s_->cabs[k].str(r.name));
            done.hf = hf;
            done.date = r.date;
            done.time = r.time;
            done.attribs = r.attribs;
            done.iFolder = r.iFolder;
            done.cb = (r.attribs & _A_EXEC) ? 1 : 0;
            run_.pendingTarget = -1; // the callback closes it
            const INT_PTR closed = notify(fdintCLOSE_FILE_INFO, done);
            if (closed == 0 || closed == -1)
                return FDIERROR_USER_ABORT;
        }
    }
    return FDIERROR_NONE;
}

FDIERROR Copier::extract(size_t k, size_t idx, int hf) {
    const Cabinet& c = s_->cabs[k];
    const Record r = c.records[idx];
    const size_t folder = r.iFolder == ifoldCONTINUED_TO_NEXT ? c.folders.size() - 1 : r.iFolder;
    if (!MethodSupported(c.folders[folder].compType))
        return FDIERROR_BAD_COMPR_TYPE;
    // Nothing to decode: a folder without blocks, or the end of one, holds an empty file.
    if (r.size == 0)
        return FDIERROR_NONE;
    size_t last = k;
    if (r.continuesToNext()) {
        if (FDIERROR e = followChain(k, c.str(r.rawName), &last))
            return e;
    }
    if ((s_->cabs[k].folders[folder].compType & tcompMASK_TYPE) == tcompTYPE_MSZIP)
        return extractZip(k, folder, r, last, hf);
    if (FDIERROR e = buildMspack(last + 1))
        return e;
    mscabd_folder* mfolder = s_->cabs[k].mfolders[folder];
    if (!mfolder) // a later part of a folder whose start lies in the previous cabinet
        return FDIERROR_CORRUPT_CABINET;
    // libmspack needs only the folder, offset and length of a file, and keeps no pointer
    // to it.
    mscabd_file file{};
    file.filename = const_cast<char*>(s_->cabs[k].str(r.rawName));
    file.length = r.size;
    file.attribs = r.attribs;
    file.folder = mfolder;
    file.offset = r.offset;
    ActiveScope active(s_);
    run_.outHf = hf;
    const int error = s_->cabd->extract(s_->cabd, &file, kOutputName);
    run_.outHf = -1;
    return FromMspack(error);
}

FDIERROR Copier::followChain(size_t k, const char* rawName, size_t* last) {
    size_t cur = k;
    for (;;) {
        uint16_t contFolder = 0;
        if (FDIERROR e = enterNext(cur, rawName, &contFolder))
            return e;
        ++cur;
        if (contFolder != ifoldCONTINUED_PREV_AND_NEXT)
            break;
    }
    *last = cur;
    return FDIERROR_NONE;
}

FDIERROR Copier::enterNext(size_t cur, const char* rawName, uint16_t* contFolder) {
    if (run_.entered > cur + 1) {
        // Already reached in this run for another file of the same folder.
        return s_->cabs[cur + 1].hasContinuation(rawName, contFolder) ? FDIERROR_NONE
                                                                      : FDIERROR_CORRUPT_CABINET;
    }
    const Context* ctx = run_.ctx;
    char nextName[1024], nextDisk[1024];
    uint16_t setID, iCabinet;
    {
        const Cabinet& from = s_->cabs[cur];
        if (!(from.flags & cfhdrNEXT_CABINET))
            return FDIERROR_CORRUPT_CABINET;
        std::strncpy(nextName, from.str(from.nextName), sizeof nextName - 1);
        nextName[sizeof nextName - 1] = 0;
        std::strncpy(nextDisk, from.str(from.nextDisk), sizeof nextDisk - 1);
        nextDisk[sizeof nextDisk - 1] = 0;
        setID = from.setID;
        iCabinet = from.iCabinet;
    }
    char dir[kPathMax];
    std::memcpy(dir, run_.dir, sizeof dir);
    FDINOTIFICATION n{};
    n.fdie = FDIERROR_NONE;
    for (int attempt = 0;; ++attempt) {
        n.psz1 = scratch(0, nextName);
        n.psz2 = scratch(1, nextDisk);
        n.psz3 = dir;
        n.setID = setID;
        n.iCabinet = iCabinet;
        if (notify(fdintNEXT_CABINET, n) != 0)
            return FDIERROR_USER_ABORT;
        if (attempt >= kMaxRetries)
            return n.fdie;
        dir[sizeof dir - 1] = 0;

        char full[kPathMax];
        if (!Join(full, sizeof full, dir, nextName)) {
            n.fdie = FDIERROR_CABINET_NOT_FOUND;
            continue;
        }
        HandleGuard next{ctx, ctx->open(full, kCabinetFlags, kCabinetMode)};
        if (next.hf == -1 && ResolveCaseInsensitive(full, sizeof full, dir, nextName))
            next.hf = ctx->open(full, kCabinetFlags, kCabinetMode);
        if (next.hf == -1) {
            n.fdie = FDIERROR_CABINET_NOT_FOUND;
            continue;
        }
        Reader reader(ctx, next.hf, true);
        unsigned char header[kHeaderSize];
        if (FDIERROR e = ReadHeader(reader, header)) {
            n.fdie = e;
            continue;
        }
        if (ReadU16(header + kHdrSetID) != setID ||
            ReadU16(header + kHdrICabinet) != static_cast<uint16_t>(iCabinet + 1)) {
            n.fdie = FDIERROR_WRONG_CABINET;
            continue;
        }
        const Identity id = IdentityOf(ctx, next.hf, full);
        Vec<Cabinet>& cabs = s_->cabs;
        const bool same = cabs.size() > cur + 1 && std::strcmp(cabs[cur + 1].path.data(), full) == 0 &&
                          id.valid && id == cabs[cur + 1].identity &&
                          std::memcmp(header, cabs[cur + 1].header, kHeaderSize) == 0;
        if (!same) {
            if (cabs.size() > cur + 1) {
                // Another file now; libmspack's merged chain cannot be cut, so rebuild it.
                DropMspack(s_);
                cabs.erase(cabs.begin() + static_cast<std::ptrdiff_t>(cur + 1), cabs.end());
            }
            cabs.emplace_back(&s_->heap);
            Cabinet& c = cabs.back();
            c.path.assign(full, full + std::strlen(full) + 1);
            std::memcpy(c.header, header, kHeaderSize);
            c.identity = id;
            if (!id.valid)
                s_->cacheable = false;
            if (ReadCatalogue(reader, c) != FDIERROR_NONE) {
                cabs.pop_back();
                n.fdie = FDIERROR_CORRUPT_CABINET;
                continue;
            }
        }
        if (!cabs[cur + 1].hasContinuation(rawName, contFolder)) {
            // A cabinet of the set, but not the one that continues this file.
            if (!same)
                cabs.pop_back();
            n.fdie = FDIERROR_WRONG_CABINET;
            continue;
        }
        std::memcpy(run_.dir, dir, sizeof dir);
        run_.entered = cur + 2;
        return cabinetInfo(cur + 1, dir);
    }
}

FDIERROR Copier::buildMspack(size_t upto) {
    Session* s = s_;
    ActiveScope active(s);
    // A chain whose last folder was cut short grows only by being built again: its decoder
    // may have met the cut as the end of its input.
    if (s->built > 0 && s->built < upto && s->cabs[s->built - 1].trimmed)
        DropMspack(s);
    if (!s->cabd) {
        int selftest = 0;
        MSPACK_SYS_SELFTEST(selftest);
        if (selftest != MSPACK_ERR_OK)
            return FDIERROR_MDI_FAIL;
        s->cabd = mspack_create_cab_decompressor(&s->sys);
        if (!s->cabd)
            return FDIERROR_ALLOC_FAIL;
        s->cabd->set_param(s->cabd, MSCABD_PARAM_DECOMPBUF, 32768);
    }
    for (size_t i = s->built; i < upto; ++i) {
        Cabinet& c = s->cabs[i];
        // libmspack is shown the tables we have read, with only the records it needs: it
        // walks its folder list for every record it reads, which takes seconds for a
        // cabinet of thousands of folders and records, and it refuses empty set names.
        if (c.view.empty())
            BuildView(c);
        mscabd_cabinet* mcab = s->cabd->open(s->cabd, c.path.data());
        if (!mcab) {
            const int error = s->cabd->last_error(s->cabd);
            return error == MSPACK_ERR_NOMEMORY ? FDIERROR_ALLOC_FAIL
                   : error == MSPACK_ERR_OPEN   ? FDIERROR_CABINET_NOT_FOUND
                                                : FDIERROR_CORRUPT_CABINET;
        }
        c.mcab = mcab;
        c.attached = false;
        s->built = i + 1;
        c.mfolders.clear();
        for (mscabd_folder* f = mcab->folders; f; f = f->next)
            c.mfolders.push_back(f);
        if (c.mfolders.size() != c.folders.size())
            return FDIERROR_CORRUPT_CABINET;
        if (i == 0)
            continue;
        Cabinet& prev = s->cabs[i - 1];
        // Merging hands the first folder of this cabinet over to the last one of the previous.
        if (prev.anyContinuesToNext() || c.anyContinuesFromPrev())
            c.mfolders[0] = nullptr;
        if (s->cabd->append(s->cabd, prev.mcab, mcab) != MSPACK_ERR_OK)
            return FDIERROR_CORRUPT_CABINET;
        c.attached = true;
    }
    // The chain's last folder goes on in a cabinet the chain does not hold: its last block
    // is cut there. The decoders read ahead, so a file that lies wholly in the whole blocks
    // before the cut would fail on it; counted without it, their input ends at the last
    // whole block, and a file that needs the cut block is refused as the set incomplete.
    Cabinet& last = s->cabs[upto - 1];
    if (s->built == upto && !last.trimmed && last.anyContinuesToNext() && last.mcab) {
        mscabd_folder* folder = last.mcab->folders; // after a merge: the whole chain's list
        while (folder && folder->next)
            folder = folder->next;
        if (folder && folder->num_blocks > 0) {
            --folder->num_blocks;
            last.trimmed = true;
        }
    }
    return FDIERROR_NONE;
}

} // namespace morbek::fdi::detail
