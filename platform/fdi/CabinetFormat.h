#pragma once
// On-disk layout of a Microsoft Cabinet ("MSCF"), read by both the cabinet library and
// the program's own catalogue reader: one set of offsets, so the two cannot come to
// read a field differently. Field names follow the format's own documentation so that
// it and the code read side by side. All numbers little-endian. Header-only, with no
// dependency, so that a layer above the library may include it without linking it.
#include <cstddef>
#include <cstdint>

namespace morbek::mscf {

// CFHEADER, fixed part.
constexpr size_t kHeaderSize = 36;
constexpr size_t kHdrSignature = 0;  // "MSCF"
constexpr size_t kHdrReserved1 = 4;  // zero
constexpr size_t kHdrCbCabinet = 8;  // size of the whole cabinet
constexpr size_t kHdrReserved2 = 12; // zero
constexpr size_t kHdrCoffFiles = 16; // offset of the first CFFILE from the cabinet's start
constexpr size_t kHdrReserved3 = 20;
constexpr size_t kHdrVersionMinor = 24;
constexpr size_t kHdrVersionMajor = 25;
constexpr size_t kHdrCFolders = 26;
constexpr size_t kHdrCFiles = 28;
constexpr size_t kHdrFlags = 30;
constexpr size_t kHdrSetID = 32;
constexpr size_t kHdrICabinet = 34;

constexpr uint16_t cfhdrPREV_CABINET = 0x0001;
constexpr uint16_t cfhdrNEXT_CABINET = 0x0002;
constexpr uint16_t cfhdrRESERVE_PRESENT = 0x0004;

// The reserved sizes that follow the fixed header when cfhdrRESERVE_PRESENT is set; the
// header's reserved bytes (cbCFHeader of them) come next.
constexpr size_t kReserveSize = 4;
constexpr size_t kResCbCFHeader = 0; // 16 bits
constexpr size_t kResCbCFFolder = 2; // 8 bits: reserved bytes at the end of each CFFOLDER
constexpr size_t kResCbCFData = 3;   // 8 bits: reserved bytes after each CFDATA's fixed part

// CFFOLDER, fixed part; cbCFFolder reserved bytes follow.
constexpr size_t kFolderFixedSize = 8;
constexpr size_t kFolderCoffCabStart = 0; // offset of the folder's first CFDATA
constexpr size_t kFolderCCFData = 4;      // data blocks in this cabinet
constexpr size_t kFolderTypeCompress = 6;

// typeCompress: the method in the low bits; Quantum and LZX keep their window in bits 8-12.
constexpr uint16_t tcompMASK_TYPE = 0x000F;
constexpr uint16_t tcompTYPE_NONE = 0x0000;
constexpr uint16_t tcompTYPE_MSZIP = 0x0001;
constexpr uint16_t tcompTYPE_QUANTUM = 0x0002;
constexpr uint16_t tcompTYPE_LZX = 0x0003;
constexpr int tcompSHIFT_WINDOW = 8;
constexpr uint16_t tcompMASK_WINDOW = 0x1F; // after the shift

// CFFILE, fixed part; the NUL-terminated name follows.
constexpr size_t kFileFixedSize = 16;
constexpr size_t kFileCbFile = 0;
constexpr size_t kFileUoffFolderStart = 4;
constexpr size_t kFileIFolder = 8;
constexpr size_t kFileDate = 10;
constexpr size_t kFileTime = 12;
constexpr size_t kFileAttribs = 14;

// CFDATA, fixed part; cbCFData reserved bytes, then cbData bytes of data follow.
constexpr size_t kDataFixedSize = 8;
constexpr size_t kDataCsum = 0;
constexpr size_t kDataCbData = 4;
constexpr size_t kDataCbUncomp = 6;

// The format limits names (file, cabinet and disk names) to 255 bytes plus the NUL.
constexpr size_t kMaxNameBytes = 256;

// Special iFolder values of CFFILE for files spanning cabinets.
constexpr uint16_t ifoldCONTINUED_FROM_PREV = 0xFFFD;
constexpr uint16_t ifoldCONTINUED_TO_NEXT = 0xFFFE;
constexpr uint16_t ifoldCONTINUED_PREV_AND_NEXT = 0xFFFF;

// CFFILE's date and time, in MS-DOS form, split into their fields as stored: no time zone
// is applied (the format has none; each reader decides how to take them) and nothing is
// checked (see valid()).
struct DosDateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    // Month 1..12, day within the Gregorian month (29 February only in leap years),
    // hour < 24, minute < 60, second < 60.
    constexpr bool valid() const {
        if (month < 1 || month > 12 || day < 1)
            return false;
        constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
        if (day > kDays[month - 1] + (month == 2 && leap ? 1 : 0))
            return false;
        return hour < 24 && minute < 60 && second < 60;
    }
};

// Years from 1980, seconds in steps of two.
constexpr DosDateTime DecodeDosDateTime(uint16_t date, uint16_t time) {
    DosDateTime v;
    v.year = 1980 + (date >> 9);
    v.month = (date >> 5) & 0x0F;
    v.day = date & 0x1F;
    v.hour = time >> 11;
    v.minute = (time >> 5) & 0x3F;
    v.second = 2 * (time & 0x1F);
    return v;
}

inline uint16_t ReadU16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t ReadU32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

} // namespace morbek::mscf
