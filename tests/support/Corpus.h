#pragma once
// The shared cabinet corpus, read in place: $MORBEK_CORPUS, else
// $MORBEK_SOURCE_DIR/../shared/corpus. Its files are never copied into the repository.
// Tests that need it skip when it is absent, or fail when MORBEK_REQUIRE_CORPUS is set (CI),
// so that a corpus that went missing cannot pass for a green run.
//
// Corpus tests are driven by the two tables alone (no file name, folder or count of one
// particular corpus): any folder laid out the same way can be run. They compare every row,
// gather the mismatches, print one line for each and how many rows were compared, and
// fail once at the end.
#include "tests/support/Files.h" // Md5Of, Md5OfFile

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <gtest/gtest.h>
#include <map>
#include <utility>
#include <vector>

// In a test body or SetUp: skips when the corpus is absent, fails instead when it is required.
#define MORBEK_CORPUS_OR_SKIP()                                                                              \
    do {                                                                                                     \
        if (!::morbek::test::CorpusAvailable()) {                                                            \
            if (::morbek::test::CorpusRequired())                                                            \
                FAIL() << "corpus not found at " << ::morbek::test::CorpusDir().toStdString()                \
                       << " and MORBEK_REQUIRE_CORPUS is set";                                               \
            GTEST_SKIP() << "corpus not found (set MORBEK_CORPUS)";                                          \
        }                                                                                                    \
    } while (false)

namespace morbek::test {

QString CorpusDir();    // empty when neither variable names a folder
bool CorpusAvailable(); // the folder exists and holds both tables
bool CorpusRequired();  // MORBEK_REQUIRE_CORPUS is set (and not "0")
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

// Row categories, from the tables' own columns.
bool ExtractedByCabextract(const ExpectedRow& row);  // cabextract_status OK
bool HasContent(const ExpectedRow& row);             // OK, with an md5
bool BeginsInEarlierCabinet(const ExpectedRow& row); // folder cont-from-prev / cont-both
bool CabextractExtracts(const ManifestRow& file);    // cabextract_ok yes (warnings or not)
bool SetMember(const ManifestRow& file);             // set_role other than single

// Rows per cabinet, in file-table order: the key is the file and the cabinet's offset in
// it (0 for a cabinet file, whatever the table says for "-").
using CabinetKey = std::pair<QString, int64_t>;
std::map<CabinetKey, std::vector<ExpectedRow>> RowsByCabinet(const std::vector<ExpectedRow>& rows);
// Rows per corpus file, all its cabinets together, in table order.
std::map<QString, std::vector<ExpectedRow>> RowsByFile(const std::vector<ExpectedRow>& rows);
// Files of the manifest with at least one row cabextract extracted.
std::vector<QString> FilesWithExtractedRows();

// The mismatches of one corpus test: one line each (cabinet, entry, expected, got), how
// many rows were compared, and one failure at the end when any differ.
class Mismatches {
public:
    void Compared(int rows = 1) { compared_ += rows; }
    void Add(const QString& cabinet, const QString& entry, const QString& expected, const QString& got);
    // Rows left out on purpose, with the reason: printed, not failed.
    void Skip(const QString& cabinet, const QString& entry, const QString& why);
    int compared() const { return compared_; }
    const QStringList& lines() const { return lines_; }
    // Prints every line and the totals; adds one failure when there are mismatches, or
    // when nothing at all was compared.
    void Report(const char* what) const;

private:
    int compared_ = 0;
    QStringList lines_, skipped_;
};

} // namespace morbek::test
