#pragma once
// The shared cabinet corpus, read in place: $MORBEK_CORPUS, else
// $MORBEK_SOURCE_DIR/../shared/corpus. Its files are never copied into the repository.
// Tests that need it skip when it is absent.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace morbek::test {

QString CorpusDir();    // empty when neither variable names a folder
bool CorpusAvailable(); // the folder exists and holds both tables
QString CorpusPath(const QString& relative);

// Every regular file under the corpus folder (tables and README included), as paths
// relative to it, sorted.
QStringList CorpusFiles();

// One row of EXPECTED.tsv: one file record, as an independent parser and cabextract saw it.
struct ExpectedRow {
    QString cabinet;   // relative path
    QString entryName; // printable form; use nameBytes for the exact name
    uint64_t size = 0;
    QString md5;      // "-" when cabextract could not extract it
    QString datetime; // DD.MM.YYYY HH:MM:SS, fields as stored (may be out of range)
    int day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
    int attribs = -1;         // -1 for "-"
    QString folder;           // index, or cont-from-prev / cont-to-next / cont-both
    QString utf8Name;         // yes / no / -
    int64_t mscfOffset = -1;  // -1 for "-"
    QString cabextractStatus; // OK / failed (...) / not listed by cabextract
    QByteArray nameBytes;     // from name_hex
    QString cabextractName;
};

// One row of MANIFEST.tsv: one corpus file.
struct ManifestRow {
    QString path;
    int64_t bytes = 0;
    QString sourceRepo, sourcePath, methods;
    int files = 0;
    uint64_t totalUncompressed = 0;
    QString setRole, cabextractOk, sevenzipOk, notes, sourceCommit;
};

std::vector<ExpectedRow> LoadExpected();

// The cabinet at offset of a file, copied into folder as the program copies the cabinet
// out of an executable (offset 0: the file itself). Empty on failure.
QString CabinetPartFile(const QString& path, int64_t offset, const QString& folder);
std::vector<ManifestRow> LoadManifest();

} // namespace morbek::test
