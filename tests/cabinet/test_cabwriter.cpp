// The test-only cabinet writer, checked by independent extractors (cabextract, 7-Zip)
// and by the catalogue reader: fixtures are only worth what their format is.
#include "cabinet/Catalogue.h"
#include "tests/support/CabWriter.h"
#include "tests/support/Files.h"
#include "tests/support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <map>

using namespace morbek::cab;
using morbek::test::CabFileSpec;
using morbek::test::CabMethod;
using morbek::test::CabWriter;
using morbek::test::ScratchDir;

namespace {

struct ToolRun {
    int exitCode = -1;
    QString output;
};

ToolRun RunTool(const QString& program, const QStringList& args, const QString& workDir) {
    QProcess p;
    p.setWorkingDirectory(workDir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    ToolRun r;
    if (!p.waitForFinished(120000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.output = QString::fromLocal8Bit(p.readAll());
    return r;
}

// Data that compresses somewhat but not trivially.
QByteArray Text(int bytes, quint32 seed) {
    QRandomGenerator rng(seed);
    static const char* words[] = {"cabinet ", "folder ", "block ", "MSZIP ",
                                  "deflate ", "set ",    "\r\n",   "1998 "};
    QByteArray out;
    while (out.size() < bytes)
        out += words[rng.bounded(8)];
    return out.left(bytes);
}

QByteArray Noise(int bytes, quint32 seed) {
    QRandomGenerator rng(seed);
    QByteArray out(bytes, '\0');
    for (char& c : out)
        c = static_cast<char>(rng.bounded(256));
    return out;
}

QMap<QString, QByteArray> Expected(const std::vector<CabFileSpec>& specs) {
    QMap<QString, QByteArray> files;
    for (const CabFileSpec& s : specs)
        files[QString::fromLatin1(s.name).replace(QLatin1Char('\\'), QLatin1Char('/'))] = s.data;
    return files;
}

class WriterTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    // Writes the cabinets, extracts the first with the tool and compares every file.
    void expectExtracts(const QString& tool, const std::vector<QByteArray>& cabinets,
                        const std::vector<CabFileSpec>& specs,
                        const QString& namePattern = QStringLiteral("part#.cab")) {
        const QString program = QStandardPaths::findExecutable(tool);
        if (program.isEmpty())
            GTEST_SKIP() << tool.toStdString() << " is not installed";
        const QString work = dir.path(tool + QString::number(++runs_));
        ASSERT_TRUE(QDir().mkpath(work + QStringLiteral("/out")));
        for (size_t i = 0; i < cabinets.size(); ++i) {
            QString name = namePattern;
            name.replace(QLatin1Char('#'), QString::number(i + 1));
            ASSERT_TRUE(morbek::test::WriteFile(work + QLatin1Char('/') + name, cabinets[i]));
        }
        QString first = namePattern;
        first.replace(QLatin1Char('#'), QStringLiteral("1"));
        const QStringList args =
            tool == QLatin1String("cabextract")
                ? QStringList{QStringLiteral("-q"), QStringLiteral("-d"), QStringLiteral("out"), first}
                : QStringList{QStringLiteral("x"), QStringLiteral("-y"), QStringLiteral("-oout"), first};
        const ToolRun run = RunTool(program, args, work);
        EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
        EXPECT_FALSE(run.output.contains(QLatin1String("WARNING"))) << run.output.toStdString();
        EXPECT_EQ(morbek::test::ContentsUnder(work + QStringLiteral("/out")), Expected(specs))
            << run.output.toStdString();
    }

    Catalogue list(const QByteArray& cab) {
        return ReadCatalogue(dir.write(QStringLiteral("listed%1.cab").arg(++runs_), cab));
    }

    ScratchDir dir;
    int runs_ = 0;
};

std::vector<CabFileSpec> AddAll(CabWriter& w, std::vector<CabFileSpec> specs) {
    for (const CabFileSpec& s : specs)
        w.addFile(s);
    return specs;
}

CabFileSpec File(const char* name, QByteArray data, int folder = 0) {
    CabFileSpec s;
    s.name = name;
    s.data = std::move(data);
    s.folder = folder;
    return s;
}

// Folders of both methods, a file larger than one block, an empty file, a folder
// path, and reserves in every area.
std::vector<CabFileSpec> Mixed(CabWriter& w) {
    w.addFolder(CabMethod::MsZip);
    w.addFolder(CabMethod::Stored);
    w.addFolder(CabMethod::MsZip);
    return AddAll(w, {File("readme.txt", Text(1200, 1)), File("docs\\big.txt", Text(100000, 2)),
                      File("empty.dat", QByteArray()), File("stored.bin", Noise(40000, 3), 1),
                      File("stored2.txt", Text(70, 4), 1), File("noise.bin", Noise(70000, 5), 2),
                      File("tail.txt", Text(33, 6), 2)});
}

class WriterTools : public WriterTest, public ::testing::WithParamInterface<const char*> {};

// One cabinet of every method as it is, with reserves in every area and a set id, and
// with MSZIP blocks that do not share their history.
TEST_P(WriterTools, SingleCabinetInEveryVariant) {
    const std::pair<const char*, void (*)(CabWriter&)> variants[] = {
        {"plain", [](CabWriter&) {}},
        {"reserves",
         [](CabWriter& w) {
             w.setReserve(26, 13, 7);
             w.setSetId(77);
         }},
        {"independent_blocks", [](CabWriter& w) { w.setZipHistory(false); }}};
    for (const auto& [name, configure] : variants) {
        SCOPED_TRACE(name);
        CabWriter w;
        const auto specs = Mixed(w);
        configure(w);
        expectExtracts(QString::fromLatin1(GetParam()), {w.build()}, specs);
    }
}

// Sets: cut sizes chosen so that blocks split inside files, files span three and more
// cabinets, and a cut falls in a stored and in an MSZIP folder.
struct SetCase {
    const char* name;
    int64_t budget;
};

class WriterSets : public WriterTest,
                   public ::testing::WithParamInterface<std::tuple<const char*, SetCase>> {};

TEST_P(WriterSets, ExtractFromTheFirstCabinet) {
    const auto& [tool, c] = GetParam();
    CabWriter w;
    w.setSetId(4242);
    const auto specs = Mixed(w);
    const std::vector<QByteArray> set = w.buildSet(c.budget);
    ASSERT_GE(set.size(), 2u);
    expectExtracts(QString::fromLatin1(tool), set, specs);
}

INSTANTIATE_TEST_SUITE_P(
    Cuts, WriterSets,
    ::testing::Combine(::testing::Values("cabextract", "7zz"),
                       ::testing::Values(SetCase{"halves", 90000}, SetCase{"small", 20000},
                                         SetCase{"tiny", 7000}, SetCase{"odd", 33333})),
    [](const auto& row) { return std::string(std::get<0>(row.param)) + "_" + std::get<1>(row.param).name; });

// Cuts that fall exactly on block ends: a folder that goes on still splits a block (one
// byte stays behind), a folder that starts after a full cabinet starts in the next one.
TEST_P(WriterTools, CutsOnBlockBoundaries) {
    CabWriter w;
    w.addFolder(CabMethod::Stored);
    w.addFolder(CabMethod::Stored);
    const auto specs =
        AddAll(w, {File("three_blocks.bin", Noise(3 * 32768, 7)), File("at_end.txt", QByteArray()),
                   File("exactly_one_block.bin", Noise(32768, 8), 1), File("after.txt", Text(10, 9), 1)});
    const std::vector<QByteArray> set = w.buildSet(32768);
    ASSERT_GE(set.size(), 4u);
    const Catalogue second = list(set[1]);
    ASSERT_EQ(second.outcome, OpenOutcome::Ok);
    ASSERT_FALSE(second.entries.empty());
    EXPECT_EQ(second.entries[0].iFolder, ifoldCONTINUED_PREV_AND_NEXT);
    expectExtracts(QString::fromLatin1(GetParam()), set, specs);
}

INSTANTIATE_TEST_SUITE_P(Tools, WriterTools, ::testing::Values("cabextract", "7zz"));

// The reader's view of a set: chained names, and continuation records that pair up
// between neighbours (the last ones of a cabinet, the first ones of the next).
TEST_F(WriterTest, SetMembersChainAndPairTheirContinuations) {
    CabWriter w;
    w.setSetId(99);
    Mixed(w);
    const std::vector<QByteArray> set = w.buildSet(20000, "DISK#.CAB", "Disk #");
    ASSERT_GE(set.size(), 4u);
    std::vector<Catalogue> cats;
    for (const QByteArray& cab : set)
        cats.push_back(list(cab));
    uint64_t listedOnce = 0;
    for (size_t i = 0; i < cats.size(); ++i) {
        const Catalogue& cat = cats[i];
        ASSERT_EQ(cat.outcome, OpenOutcome::Ok);
        EXPECT_EQ(cat.header.SetId, 99);
        EXPECT_EQ(cat.header.CabinetIndex, static_cast<int>(i));
        EXPECT_EQ(cat.header.HasPrevCabinet, i > 0 ? 1 : 0);
        EXPECT_EQ(cat.header.HasNextCabinet, i + 1 < cats.size() ? 1 : 0);
        if (i > 0) {
            EXPECT_EQ(cat.names.PrevCabinetName, QStringLiteral("DISK%1.CAB").arg(i));
        }
        if (i + 1 < cats.size()) {
            EXPECT_EQ(cat.names.NextDiskName, QStringLiteral("Disk %1").arg(i + 2));
        }

        // Continuation records: those from the previous cabinet open the table, those
        // to the next close it.
        std::vector<QByteArray> toNext, fromPrev;
        for (size_t k = 0; k < cat.entries.size(); ++k) {
            const CatalogueEntry& e = cat.entries[k];
            const bool isFromPrev = e.iFolder == 0xFFFD || e.iFolder == 0xFFFF;
            const bool isToNext = e.iFolder == 0xFFFE || e.iFolder == 0xFFFF;
            if (isFromPrev) {
                EXPECT_EQ(k, fromPrev.size()) << "cabinet " << i;
                fromPrev.push_back(e.storedName);
            }
            if (isToNext) {
                toNext.push_back(e.storedName);
            } else {
                EXPECT_TRUE(toNext.empty()) << "cabinet " << i;
            }
            if (!isFromPrev)
                listedOnce += e.size;
        }
        if (i + 1 < cats.size()) {
            std::vector<QByteArray> next;
            for (const CatalogueEntry& e : cats[i + 1].entries)
                if (e.iFolder == 0xFFFD || e.iFolder == 0xFFFF)
                    next.push_back(e.storedName);
            EXPECT_EQ(toNext, next) << "between cabinet " << i << " and " << i + 1;
        }
    }
    EXPECT_EQ(listedOnce, 1200u + 100000u + 40000u + 70u + 70000u + 33u);
}

TEST_F(WriterTest, LayoutPointsAtTheFields) {
    CabWriter w;
    w.addFolder();
    w.addFile("a.txt", "alpha");
    w.addFile("b.txt", "beta");
    w.setReserve(4, 0, 0);
    w.setNextCabinet("n.cab", "n");
    morbek::test::CabLayout layout;
    const QByteArray cab = w.build(&layout);
    EXPECT_EQ(layout.size, static_cast<size_t>(cab.size()));
    EXPECT_EQ(morbek::test::GetU32(cab, kHdrCoffFiles), layout.files);
    ASSERT_EQ(layout.fileRecords.size(), 2u);
    EXPECT_EQ(cab.mid(static_cast<qsizetype>(layout.fileRecords[1] + kFileFixedSize), 5),
              QByteArray("b.txt"));
    EXPECT_EQ(layout.optionalFields, 36u);
    EXPECT_EQ(morbek::test::GetU16(cab, layout.optionalFields), 4);
    ASSERT_EQ(layout.dataBlocks.size(), 1u);
    EXPECT_EQ(morbek::test::GetU32(cab, layout.folders), layout.dataBlocks[0]);
}

TEST(WriterChecksum, MatchesTheFormatsDefinition) {
    // Whole words are xor-ed; a tail is taken most significant byte first.
    const unsigned char data[] = {0x01, 0x02, 0x03, 0x04, 0x10, 0x20, 0x30};
    EXPECT_EQ(morbek::test::CabChecksum(data, 4, 0), 0x04030201u);
    EXPECT_EQ(morbek::test::CabChecksum(data, 7, 0), 0x04030201u ^ 0x00102030u);
    EXPECT_EQ(morbek::test::CabChecksum(data, 5, 0xFF), 0x04030201u ^ 0x10u ^ 0xFFu);
}

TEST(WriterExecutable, StubHoldsNoSignature) {
    const QByteArray exe = CabWriter::embedInExecutable(QByteArray("CAB"), 20000, QByteArray("END"));
    EXPECT_TRUE(exe.startsWith("MZ"));
    EXPECT_EQ(exe.size(), 20006);
    EXPECT_EQ(exe.indexOf("MSCF"), -1);
    EXPECT_EQ(exe.mid(20000), QByteArray("CABEND"));
}

} // namespace
