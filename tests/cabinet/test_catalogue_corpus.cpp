// The catalogue reader against the shared corpus of cabinets made by other programs,
// read in place. Where cabextract lists a cabinet, the reader must list the same
// records; everything else must be refused or listed plausibly, and nothing may crash.
#include "cabinet/Catalogue.h"
#include "cabinet/DosDateTime.h"
#include "tests/support/Corpus.h"
#include "tests/support/Files.h"
#include "tests/support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdio>
#include <map>
#include <set>

using namespace morbek::cab;
using namespace morbek::test;

namespace {

// The EXPECTED rows of each corpus file, in file-table order.
std::map<QString, std::vector<ExpectedRow>> RowsByCabinetFile() {
    return RowsByFile(LoadExpected());
}

// A cabinet cabextract lists: some record of it was extracted or at least attempted.
bool ListedByCabextract(const std::vector<ExpectedRow>& rows) {
    return std::any_of(rows.begin(), rows.end(), [](const ExpectedRow& r) {
        return !r.cabextractStatus.startsWith(QLatin1String("not listed"));
    });
}

class Corpus : public ::testing::Test {
protected:
    void SetUp() override { MORBEK_CORPUS_OR_SKIP(); }
};

// Records as the independent parser read them at coffFiles, compared field by field.
void ExpectSameRecords(const QString& cabinet, const Catalogue& cat, const std::vector<ExpectedRow>& rows) {
    SCOPED_TRACE(cabinet.toStdString());
    ASSERT_EQ(cat.outcome, OpenOutcome::Ok);
    ASSERT_EQ(cat.entries.size(), rows.size());
    uint64_t total = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        const ExpectedRow& r = rows[i];
        const CatalogueEntry& e = cat.entries[i];
        SCOPED_TRACE(r.entryName.toStdString());
        EXPECT_EQ(e.storedName, r.nameBytes);
        EXPECT_EQ(e.size, r.size);
        if (r.attribs >= 0) {
            EXPECT_EQ(e.attribs, r.attribs);
        }
        const DosDateTime v = DecodeDosDateTime(e.date, e.time);
        EXPECT_EQ(QStringLiteral("%1.%2.%3 %4:%5:%6")
                      .arg(v.day, 2, 10, QLatin1Char('0'))
                      .arg(v.month, 2, 10, QLatin1Char('0'))
                      .arg(v.year, 4, 10, QLatin1Char('0'))
                      .arg(v.hour, 2, 10, QLatin1Char('0'))
                      .arg(v.minute, 2, 10, QLatin1Char('0'))
                      .arg(v.second, 2, 10, QLatin1Char('0')),
                  r.datetime);
        EXPECT_EQ(e.dateText == QLatin1String("Date Err."), !v.valid());
        if (r.mscfOffset >= 0) {
            EXPECT_EQ(cat.location.CabOffset, r.mscfOffset);
        }
        total += e.size;
    }
    EXPECT_EQ(cat.TotalSize, total);
}

// Whether the reader recognises the file at all: by its first bytes only.
bool Recognisable(const QString& cabinet) {
    QFile file(CorpusPath(cabinet));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(5);
    return head == QByteArray("MSCF\0", 5) || head.startsWith("MZ") || head.startsWith("PE");
}

// Cabinets cabextract lists must be listed alike. Files whose records the independent
// parser read but cabextract refused must be listed alike too (the reader does not
// look at folders or data), or refused where a name breaks the format's 255-byte limit.
// Where cabextract differs from the reader's own rules, the rules win: it searches
// any file for a cabinet, the reader only executables.
TEST_F(Corpus, RecordsMatchTheIndependentReading) {
    int compared = 0, refused = 0;
    for (const auto& [cabinet, rows] : RowsByCabinetFile()) {
        SCOPED_TRACE(cabinet.toStdString());
        const Catalogue cat = ReadCatalogue(CorpusPath(cabinet));
        if (!Recognisable(cabinet)) {
            EXPECT_EQ(cat.outcome, OpenOutcome::NotCabinet);
            ++refused;
            continue;
        }
        // Rows without attributes come from cabextract alone: the independent parser
        // found no plausible header (covered by EveryFileIsReadWithoutCrashingAndListedPlausibly).
        if (std::any_of(rows.begin(), rows.end(), [](const ExpectedRow& r) { return r.attribs < 0; }))
            continue;
        const bool overlongName = std::any_of(rows.begin(), rows.end(),
                                              [](const ExpectedRow& r) { return r.nameBytes.size() > 255; });
        if (overlongName) {
            EXPECT_FALSE(ListedByCabextract(rows));
            EXPECT_EQ(cat.outcome, OpenOutcome::NotCabinet);
            ++refused;
            continue;
        }
        // An executable with two cabinets: only the first is the reader's.
        std::vector<ExpectedRow> first;
        for (const ExpectedRow& r : rows) {
            if (r.mscfOffset == rows.front().mscfOffset)
                first.push_back(r);
        }
        ExpectSameRecords(cabinet, cat, first);
        ++compared;
    }
    std::printf("catalogue: %d cabinets compared, %d refused\n", compared, refused);
    EXPECT_GT(compared, 0);
}

// Executables (by their first bytes) open at the first cabinet the tables find in them.
TEST_F(Corpus, ExecutablesOpenAtTheirFirstCabinet) {
    for (const auto& [file, rows] : RowsByCabinetFile()) {
        QFile f(CorpusPath(file));
        if (!f.open(QIODevice::ReadOnly) || f.read(2) != "MZ")
            continue;
        int64_t first = -1;
        for (const ExpectedRow& r : rows)
            if (r.mscfOffset > 0 && (first < 0 || r.mscfOffset < first))
                first = r.mscfOffset;
        if (first < 0)
            continue;
        SCOPED_TRACE(file.toStdString());
        const Catalogue cat = ReadCatalogue(CorpusPath(file));
        ASSERT_EQ(cat.outcome, OpenOutcome::Ok);
        EXPECT_EQ(cat.location.CabEmbedded, 1);
        EXPECT_EQ(cat.location.CabOffset, first);
        EXPECT_EQ(cat.location.HostFileSize, f.size());
        EXPECT_FALSE(cat.entries.empty());
    }
}

// Set members: their place in the set and their neighbours' names, as the manifest
// gives them (set_role: setID and iCabinet; notes: prev= and next=).
TEST_F(Corpus, SetMembersReportTheirNeighbours) {
    const QRegularExpression place(QStringLiteral("setID (\\d+), iCabinet (\\d+)"));
    const QRegularExpression prev(QStringLiteral("prev=([^;]+)")), next(QStringLiteral("next=([^;]+)"));
    for (const ManifestRow& m : LoadManifest()) {
        if (!SetMember(m))
            continue;
        SCOPED_TRACE(m.path.toStdString());
        const Catalogue cat = ReadCatalogue(CorpusPath(m.path));
        ASSERT_EQ(cat.outcome, OpenOutcome::Ok);
        const QRegularExpressionMatch p = place.match(m.setRole);
        if (p.hasMatch()) {
            EXPECT_EQ(cat.header.SetId, p.captured(1).toInt());
            EXPECT_EQ(cat.header.CabinetIndex, p.captured(2).toInt());
        }
        const QRegularExpressionMatch before = prev.match(m.notes), after = next.match(m.notes);
        if (before.hasMatch()) {
            EXPECT_EQ(cat.names.PrevCabinetName, before.captured(1).trimmed());
        }
        if (after.hasMatch()) {
            EXPECT_EQ(cat.names.NextCabinetName, after.captured(1).trimmed());
        }
    }
}

// Every file of the corpus (tables and README included) goes through the reader once;
// the sanitizer build turns any stray read into a failure. What it lists must be
// plausible: records that fit in the file, names within the format's limit.
//
// Files in which neither the independent parser nor cabextract found a cabinet are
// refused, or at most listed as a cabinet without entries (a header that is whole but
// declares nothing), or without folders (the file table is read alone, and extracting
// from it is refused with a message): never listed with records read from a cut file.
TEST_F(Corpus, EveryFileIsReadWithoutCrashingAndListedPlausibly) {
    std::set<QString> noCabinet;
    for (const ManifestRow& m : LoadManifest())
        if (m.notes.contains(QLatin1String("no structurally plausible MSCF header")) &&
            m.cabextractOk.contains(QLatin1String("no valid cabinets found")))
            noCabinet.insert(m.path);
    const QStringList files = CorpusFiles();
    ASSERT_FALSE(files.isEmpty());
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        const Catalogue cat = ReadCatalogue(CorpusPath(file));
        ASSERT_NE(cat.outcome, OpenOutcome::CannotOpen);
        if (file.endsWith(QLatin1String(".tsv")) || file.endsWith(QLatin1String(".md"))) {
            EXPECT_EQ(cat.outcome, OpenOutcome::NotCabinet);
        }
        if (noCabinet.count(file)) {
            EXPECT_TRUE(
                cat.outcome == OpenOutcome::NotCabinet ||
                (cat.outcome == OpenOutcome::Ok && (cat.entries.empty() || cat.header.FolderCount == 0)))
                << cat.entries.size() << " entries listed";
        }
        if (cat.outcome != OpenOutcome::Ok) {
            EXPECT_TRUE(cat.entries.empty());
            continue;
        }
        EXPECT_EQ(cat.entries.size(), static_cast<size_t>(cat.header.FileCount));
        // Every record needs 17 bytes at least, all inside the file.
        EXPECT_LE(static_cast<int64_t>(cat.entries.size()) * 17, QFileInfo(CorpusPath(file)).size());
        for (const CatalogueEntry& e : cat.entries)
            EXPECT_LT(e.storedName.size(), 256);
    }
}

} // namespace
