#pragma once
// The catalogue reader: recognises a cabinet file, or finds a cabinet inside an
// executable, reads its header and optional fields and walks its file table.
//
// It departs from the original reader where that one read past what it had: names are
// read whole (up to the format's 255 bytes, not a 65-character window), and a header,
// optional name or file table that runs past the end of the file rejects the file as
// not a valid cabinet instead of listing bytes that were never read.
#include "platform/fdi/CabinetFormat.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace morbek::cab {

// The layout is the cabinet library's own (header-only): both read the same fields.
using namespace mscf;

// Values of the open cabinet that the rest of the program reads.
struct CabinetHeaderValues {
    uint32_t CabSize = 0; // cbCabinet, unsigned as every size the program shows
    int VersionMinor = 0, VersionMajor = 0;
    int FolderCount = 0, FileCount = 0;
    int HasPrevCabinet = 0, HasNextCabinet = 0, HasReserve = 0;
    int SetId = 0, CabinetIndex = 0;
};

struct CabinetLocation {
    int CabEmbedded = 0;      // 1 when found inside an executable
    int64_t CabOffset = 0;    // offset of the header within the file
    int64_t HostFileSize = 0; // size of the executable searched; 0 for a cabinet file
};

struct CabinetNames {
    QString PrevCabinetName, PrevDiskName, NextCabinetName, NextDiskName;
};

// One file record, as handed to the file list.
struct CatalogueEntry {
    QString name;      // the whole stored name, decoded: path then fileName
    QString fileName;  // stored name after its last backslash
    QString path;      // stored name up to and including its last backslash
    QString extension; // after the last '.' of the whole stored name, or empty
    uint32_t size = 0; // uncompressed size (cbFile), unsigned
    QString dateText;  // FormatDosDateTime, or "Date Err."
    // Raw record values, kept for reports and tests.
    QByteArray storedName;
    uint16_t date = 0, time = 0, attribs = 0, iFolder = 0;
    uint32_t uoffFolderStart = 0;
};

enum class OpenOutcome {
    Ok,
    CannotOpen, // missing, not a regular file, unreadable or locked: message 115
    NotCabinet, // not a cabinet, or a malformed one: message 114
};

struct Catalogue {
    OpenOutcome outcome = OpenOutcome::CannotOpen;
    CabinetLocation location;            // set as far as the search got, also on failure
    CabinetHeaderValues header;          // valid only when outcome is Ok
    CabinetNames names;                  // valid only when outcome is Ok
    std::vector<CatalogueEntry> entries; // file-table order; empty unless Ok
    uint64_t TotalSize = 0;              // sum of the entries' sizes
};

// Splits a decoded stored name into file name, path and extension.
void SplitStoredName(const QString& stored, QString& fileName, QString& path, QString& extension);

// Offset of the first occurrence of pattern in the open file, searched in 8192-byte
// windows that overlap by pattern-length + 1 bytes; 0 when there is none.
int64_t FindCabinetSignature(const QByteArray& pattern, int fd);

// Reads the catalogue of the file at path. progress, when given, is called once per
// 8 KiB window of the signature search and once per file record read (so that a busy
// caller can keep its window alive).
Catalogue ReadCatalogue(const QString& path, const std::function<void()>& progress = {});

} // namespace morbek::cab
