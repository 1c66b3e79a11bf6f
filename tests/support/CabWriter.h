#pragma once
// A cabinet writer for tests: fixtures are generated, never copied in. It writes what
// the format's documentation describes (stored, MSZIP and LZX folders, optional header
// fields, reserves, cabinet sets whose folders and data blocks span cabinets), and
// hands back the offsets of what it wrote so that tests can damage exact fields.
#include <QByteArray>
#include <QList>
#include <cstdint>
#include <optional>
#include <vector>

namespace morbek::test {

// Lzx: a 32 KiB window, each frame written as one uncompressed LZX block.
enum class CabMethod : uint16_t { Stored = 0, MsZip = 1, Lzx = 0x0F03 };

uint16_t DosDate(int year, int month, int day);
uint16_t DosTime(int hour, int minute, int second);

struct CabFileSpec {
    QByteArray name; // raw bytes as stored, backslashes for folders
    QByteArray data;
    uint16_t date = DosDate(1997, 3, 12);
    uint16_t time = DosTime(11, 13, 52);
    uint16_t attribs = 0x20;              // archive
    int folder = 0;                       // index of a folder added with addFolder
    std::optional<uint32_t> declaredSize; // cbFile to store instead of data's size
};

// Where the parts of a written cabinet lie, from its first byte.
struct CabLayout {
    size_t optionalFields = 36;      // right after the fixed header
    size_t folders = 0;              // first CFFOLDER
    size_t files = 0;                // first CFFILE (coffFiles)
    std::vector<size_t> fileRecords; // each CFFILE
    std::vector<size_t> dataBlocks;  // each CFDATA, in folder order
    size_t size = 0;                 // cbCabinet
};

class CabWriter {
public:
    CabWriter();

    // Returns the index of the new folder.
    int addFolder(CabMethod method = CabMethod::Stored);
    void addFile(CabFileSpec spec);
    void addFile(const QByteArray& name, const QByteArray& data, int folder = 0);

    void setPrevCabinet(const QByteArray& cabinet, const QByteArray& disk);
    void setNextCabinet(const QByteArray& cabinet, const QByteArray& disk);
    // Sets the reserve flag with these sizes, even when all are 0. The per-cabinet area
    // is filled with headerFill (repeated) so that a reader that fails to skip it sees junk.
    void setReserve(uint16_t cbCFHeader, uint8_t cbCFFolder, uint8_t cbCFData, char headerFill = '\xA5');
    void setSetId(uint16_t setId) { setId_ = setId; }
    void setCabinetIndex(uint16_t index) { iCabinet_ = index; }
    void setVersion(uint8_t minor, uint8_t major) {
        versionMinor_ = minor;
        versionMajor_ = major;
    }
    void setExtraFlags(uint16_t flags) { extraFlags_ = flags; } // or'ed into the header flags
    void setChecksums(bool on) { checksums_ = on; }             // 0 is allowed by the format
    void setZipLevel(int level) { zipLevel_ = level; }
    // MSZIP blocks use the previous block of their folder as dictionary, as makecab's
    // do; off, every block stands alone (also valid: decoders keep the window anyway).
    void setZipHistory(bool on) { zipHistory_ = on; }

    QByteArray build(CabLayout* layout = nullptr) const;

    // A set of cabinets whose CFDATA payload is cut after about maxDataPerCabinet bytes.
    // A folder that crosses a cut continues in the next cabinet: the block at the cut is
    // split (cbUncomp 0 in all its parts but the last), and the folder then ends with the
    // last file that block touches; the files after it start a new folder with the same
    // method. The files touching the first split block are listed in every cabinet the
    // folder reaches, with the continuation folder values (0xFFFD/0xFFFE/0xFFFF), as
    // libmspack pairs them between neighbours. Cabinet i (from 0) is named by
    // namePattern and diskPattern with '#' replaced by i + 1; each names its neighbours.
    // setID and reserves come from this writer; its iCabinet and prev/next names are
    // replaced.
    std::vector<QByteArray> buildSet(int64_t maxDataPerCabinet, const QByteArray& namePattern = "part#.cab",
                                     const QByteArray& diskPattern = "Disk #") const;

    // "MZ", filler up to prefixSize bytes (free of the cabinet signature), the cabinet,
    // then suffix.
    static QByteArray embedInExecutable(const QByteArray& cab, int prefixSize, const QByteArray& suffix = {});

private:
    struct Folder {
        CabMethod method;
    };
    std::vector<Folder> folders_;
    std::vector<CabFileSpec> files_;
    std::optional<std::pair<QByteArray, QByteArray>> prev_, next_;
    bool reserve_ = false;
    uint16_t cbCFHeader_ = 0;
    uint8_t cbCFFolder_ = 0, cbCFData_ = 0;
    char reserveFill_ = '\xA5';
    uint16_t setId_ = 0, iCabinet_ = 0;
    uint8_t versionMinor_ = 3, versionMajor_ = 1;
    uint16_t extraFlags_ = 0;
    bool checksums_ = true;
    int zipLevel_ = 6;
    bool zipHistory_ = true;

    struct SetPlan;
    SetPlan plan(int64_t maxDataPerCabinet) const;
    QByteArray serialize(const SetPlan& plan, size_t cabinet, uint16_t iCabinet,
                         const std::optional<std::pair<QByteArray, QByteArray>>& prev,
                         const std::optional<std::pair<QByteArray, QByteArray>>& next,
                         CabLayout* layout) const;
};

// Little-endian field access for damaging written cabinets.
void PutU16(QByteArray& bytes, size_t offset, uint16_t value);
void PutU32(QByteArray& bytes, size_t offset, uint32_t value);
uint16_t GetU16(const QByteArray& bytes, size_t offset);
uint32_t GetU32(const QByteArray& bytes, size_t offset);

// The format's CFDATA checksum of data, continued from seed.
uint32_t CabChecksum(const unsigned char* data, size_t bytes, uint32_t seed);

} // namespace morbek::test
