#pragma once
// A caller of the FDI library for tests: the seven callbacks over files held in memory
// (falling back to real files, read whole at open), allocation and handle bookkeeping,
// failure injection after N calls of one kind, a notification log, and targets that hash
// what is written instead of storing it.
#include "platform/fdi/fdi.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace morbek::test {

enum class Op { Alloc, Open, Read, Write, Seek };

struct Event {
    fdi::FDINOTIFICATIONTYPE type;
    std::string psz1, psz2, psz3;
    long cb = 0;
    int hf = 0;
    uint16_t date = 0, time = 0, attribs = 0, setID = 0, iCabinet = 0, iFolder = 0;
    fdi::FDIERROR fdie = fdi::FDIERROR_NONE;
};

struct Extracted {
    std::string name;
    QByteArray md5; // hex
    int64_t bytes = 0;
    bool closed = false;
};

class FdiHarness {
public:
    FdiHarness();
    ~FdiHarness();
    FdiHarness(const FdiHarness&) = delete;
    FdiHarness& operator=(const FdiHarness&) = delete;

    // Files by the name pfnopen receives.
    std::map<std::string, QByteArray> files;

    // Answer to each notification; the default answers 0, a hashing target for every
    // COPY_FILE and TRUE to CLOSE_FILE_INFO.
    std::function<intptr_t(fdi::FDINOTIFICATIONTYPE, fdi::FDINOTIFICATION*)> answer;
    intptr_t hashingTarget(const char* name); // a new target handle for answer
    // Answers as the extraction driver does for one wanted entry: a hashing target for
    // that name, every other file skipped, every close accepted.
    void answerOnly(const std::string& wanted) {
        answer = [this, wanted](fdi::FDINOTIFICATIONTYPE type, fdi::FDINOTIFICATION* n) -> intptr_t {
            if (type == fdi::fdintCOPY_FILE)
                return wanted == n->psz1 ? hashingTarget(n->psz1) : 0;
            return type == fdi::fdintCLOSE_FILE_INFO ? fdi::TRUE : 0;
        };
    }

    // Fails the call of this kind after `after` successful ones (-1: never).
    void failAfter(Op op, long after) {
        failOp_ = op;
        failAfter_ = after;
    }

    fdi::HFDI create();
    fdi::HFDI hfdi() const { return hfdi_; }
    // FDICopy over path + cabinet with the context of create().
    bool copy(const std::string& cabinet, const std::string& path = {});
    bool isCabinet(const std::string& name, fdi::FDICABINETINFO* info);
    void destroy();

    fdi::ERF erf{};
    std::vector<Event> events;
    std::vector<int> openFlags;
    std::vector<std::string> openNames;
    std::vector<Extracted> extracted;
    long liveAllocations() const { return static_cast<long>(allocs_.size()); }
    long openHandles() const { return static_cast<long>(handles_.size()); }
    long opens = 0, closes = 0, writesToUnknownHandles = 0;

    // Event types in order, for compact comparisons.
    std::vector<fdi::FDINOTIFICATIONTYPE> types() const;
    const Extracted* find(const std::string& name) const;

private:
    struct Handle {
        QByteArray data;
        int64_t pos = 0;
    };
    struct Target;
    bool fail(Op op);

    static void* Alloc(uint32_t cb);
    static void Free(void* pv);
    static int Open(char* name, int oflag, int pmode);
    static uint32_t Read(int hf, void* pv, uint32_t cb);
    static uint32_t Write(int hf, void* pv, uint32_t cb);
    static int Close(int hf);
    static long Seek(int hf, long dist, int type);
    static intptr_t Notify(fdi::FDINOTIFICATIONTYPE type, fdi::FDINOTIFICATION* n);

    FdiHarness* outer_; // harnesses nest; the callbacks reach the innermost
    fdi::HFDI hfdi_ = nullptr;
    std::set<void*> allocs_;
    std::map<int, Handle> handles_;
    std::map<int, std::unique_ptr<Target>> targets_;
    int nextHandle_ = 3;
    Op failOp_ = Op::Alloc;
    long failAfter_ = -1;
    long counts_[5] = {};
};

} // namespace morbek::test
