// The catalogue reader against the shared corpus of cabinets made by other programs,
// read in place. Where cabextract lists a cabinet, the reader must list the same
// records; everything else must be refused or listed plausibly, and nothing may crash.
#include "CabFiles.h"
#include "cabinet/Catalogue.h"
#include "cabinet/DosDateTime.h"
#include "tests/support/Corpus.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <map>
#include <set>

using namespace morbek::cab;
using namespace morbek::test;

namespace {

// The EXPECTED rows of each cabinet, in file-table order.
std::map<QString, std::vector<ExpectedRow>> RowsByCabinet() {
    std::map<QString, std::vector<ExpectedRow>> rows;
    for (ExpectedRow& r : LoadExpected())
        rows[r.cabinet].push_back(std::move(r));
    return rows;
}

// A cabinet cabextract lists: some record of it was extracted or at least attempted.
bool ListedByCabextract(const std::vector<ExpectedRow>& rows) {
    return std::any_of(rows.begin(), rows.end(), [](const ExpectedRow& r) {
        return !r.cabextractStatus.startsWith(QLatin1String("not listed"));
    });
}

class Corpus : public ::testing::Test {
protected:
    void SetUp() override {
        if (!CorpusAvailable())
            GTEST_SKIP() << "corpus not found (set MORBEK_CORPUS)";
    }
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
    for (const auto& [cabinet, rows] : RowsByCabinet()) {
        SCOPED_TRACE(cabinet.toStdString());
        const Catalogue cat = ReadCatalogue(CorpusPath(cabinet));
        if (!Recognisable(cabinet)) {
            EXPECT_EQ(cat.outcome, OpenOutcome::NotCabinet);
            ++refused;
            continue;
        }
        // Rows without attributes come from cabextract alone: the independent parser
        // found no plausible header (covered by MalformedCabinetsAreRefusedOrListedPlausibly).
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
    EXPECT_GE(compared, 50);
    EXPECT_EQ(refused, 3); // search_basic, search_tricky1, cve-2017-11423-fname-overread
}

TEST_F(Corpus, ExecutablesOpenAtTheirFirstCabinet) {
    for (const char* exe : {"embedded/dxwebsetup.exe", "embedded/v3bundle.exe"}) {
        const Catalogue cat = ReadCatalogue(CorpusPath(QString::fromLatin1(exe)));
        ASSERT_EQ(cat.outcome, OpenOutcome::Ok) << exe;
        EXPECT_EQ(cat.location.CabEmbedded, 1);
        EXPECT_EQ(cat.location.HostFileSize, QFileInfo(CorpusPath(QString::fromLatin1(exe))).size());
        EXPECT_FALSE(cat.entries.empty());
    }
    EXPECT_EQ(ReadCatalogue(CorpusPath(QStringLiteral("embedded/dxwebsetup.exe"))).location.CabOffset, 60268);
    EXPECT_EQ(ReadCatalogue(CorpusPath(QStringLiteral("embedded/v3bundle.exe"))).location.CabOffset, 463360);
}

// Set members: every record and all four neighbour names.
TEST_F(Corpus, SetMembersReportTheirNeighbours) {
    const Catalogue middle =
        ReadCatalogue(CorpusPath(QStringLiteral("crafted/multi_basic_named/cabd_multi_basic_pt3.cab")));
    ASSERT_EQ(middle.outcome, OpenOutcome::Ok);
    EXPECT_EQ(middle.header.SetId, 12345);
    EXPECT_EQ(middle.header.CabinetIndex, 2);
    EXPECT_EQ(middle.names.PrevCabinetName, QStringLiteral("cabd_multi_basic_pt2.cab"));
    EXPECT_EQ(middle.names.NextCabinetName, QStringLiteral("cabd_multi_basic_pt4.cab"));
    for (const CatalogueEntry& e : middle.entries)
        EXPECT_EQ(e.iFolder, ifoldCONTINUED_PREV_AND_NEXT);

    const Catalogue oracle = ReadCatalogue(CorpusPath(QStringLiteral("real/win98-pws/ORACLE.CAB")));
    ASSERT_EQ(oracle.outcome, OpenOutcome::Ok);
    EXPECT_EQ(oracle.header.HasReserve, 1);
    EXPECT_EQ(oracle.names.PrevCabinetName, QStringLiteral("oledb.cab"));
    EXPECT_EQ(oracle.names.NextCabinetName, QStringLiteral("rds.cab"));
    EXPECT_EQ(oracle.header.CabinetIndex, 6);
}

// Files the independent parser found no plausible header in, and those cabextract
// refuses: refused here too, or listed from bytes that really are in the file.
TEST_F(Corpus, MalformedCabinetsAreRefusedOrListedPlausibly) {
    const auto rows = RowsByCabinet();
    for (const ManifestRow& m : LoadManifest()) {
        const Catalogue cat = ReadCatalogue(CorpusPath(m.path));
        SCOPED_TRACE(m.path.toStdString());
        ASSERT_NE(cat.outcome, OpenOutcome::CannotOpen);
        if (cat.outcome != OpenOutcome::Ok) {
            EXPECT_TRUE(cat.entries.empty());
            continue;
        }
        const int64_t bytes = QFileInfo(CorpusPath(m.path)).size();
        EXPECT_EQ(cat.entries.size(), static_cast<size_t>(cat.header.FileCount));
        // Every record needs 17 bytes at least, all inside the file.
        EXPECT_LE(static_cast<int64_t>(cat.entries.size()) * 17, bytes);
        for (const CatalogueEntry& e : cat.entries)
            EXPECT_LT(e.storedName.size(), 256);
    }
    // Cuts of a good cabinet that the corpus itself names as such.
    for (const char* refused :
         {"crafted/partial_shortheader.cab", "crafted/partial_nofolder.cab", "crafted/partial_shortfile1.cab",
          "crafted/partial_shortfile2.cab", "crafted/partial_str_nopname.cab",
          "crafted/partial_str_shortpname.cab", "crafted/partial_str_shortnname.cab",
          "crafted/partial_str_shortfname.cab", "crafted/bad_signature.cab"})
        EXPECT_EQ(ReadCatalogue(CorpusPath(QString::fromLatin1(refused))).outcome, OpenOutcome::NotCabinet)
            << refused;
}

// Every file of the corpus (tables and README included) goes through the reader; the
// sanitizer build turns any stray read into a failure.
TEST_F(Corpus, EveryFileIsReadWithoutCrashing) {
    const QStringList files = CorpusFiles();
    ASSERT_GE(files.size(), 80);
    std::set<OpenOutcome> outcomes;
    for (const QString& file : files) {
        const Catalogue cat = ReadCatalogue(CorpusPath(file));
        outcomes.insert(cat.outcome);
        EXPECT_NE(cat.outcome, OpenOutcome::CannotOpen) << file.toStdString();
        if (file.endsWith(QLatin1String(".tsv")) || file.endsWith(QLatin1String(".md"))) {
            EXPECT_EQ(cat.outcome, OpenOutcome::NotCabinet) << file.toStdString();
        }
    }
    EXPECT_EQ(outcomes.size(), 2u);
}

} // namespace
