#pragma once
// One FDICopy call: walks the records, follows a file into the next cabinets of the set
// and hands each extraction to libmspack or, for MSZIP folders, to zlib.
#include "platform/fdi/Session.h"

#include <algorithm>
#include <cstring>

namespace morbek::fdi::detail {

class Copier {
public:
    Copier(Run& run, Session*& session) : run_(run), s_(session) {}

    FDIERROR copy(const char* cabinet, const char* path);

private:
    INT_PTR notify(FDINOTIFICATIONTYPE type, FDINOTIFICATION& n) {
        n.pv = run_.pv;
        return run_.notify(type, &n);
    }
    FDIERROR cabinetInfo(size_t k, char* path);
    FDIERROR extract(size_t k, size_t idx, int hf);
    FDIERROR followChain(size_t k, const char* rawName, size_t* last);
    FDIERROR enterNext(size_t cur, const char* rawName, uint16_t* contFolder);
    FDIERROR buildMspack(size_t upto);
    FDIERROR extractZip(size_t k, size_t folder, const Record& r, size_t last, int hf);
    char* scratch(int which, const char* text) { return scratch(which, text, std::strlen(text)); }
    char* scratch(int which, const char* text, size_t length) {
        const size_t n = std::min(length, sizeof scratch_[which] - 1);
        std::memcpy(scratch_[which], text, n);
        scratch_[which][n] = 0;
        return scratch_[which];
    }

    Run& run_;
    Session*& s_;
    // Names go out in buffers of the run, so a callback that writes into psz1/psz2 cannot
    // touch the cached catalogue. Converted names stay below 3 * 255 bytes.
    char scratch_[3][1024] = {};
};

} // namespace morbek::fdi::detail
