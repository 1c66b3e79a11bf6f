// The FDI library against the shared corpus, read in place: every entry that cabextract
// extracts comes out with the same md5, and every corpus file, however damaged, ends its
// run without a crash or a hang. Driven by the tables alone; mismatches are gathered and
// listed, one line each, before the test fails.
#include "tests/platform/fdi/FdiHarness.h"
#include "tests/support/Corpus.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <set>

using namespace morbek::fdi;
using namespace morbek::test;

namespace {

class FdiCorpus : public ::testing::Test {
protected:
    void SetUp() override { MORBEK_CORPUS_OR_SKIP(); }
};

std::string Utf8(const QString& s) {
    return s.toUtf8().toStdString();
}

// One run per entry, as the program extracts them: the run answers a handle only for the
// wanted record (by name and occurrence), so a damaged neighbour does not hide it. Rows
// whose cabinet starts inside its file are run on a copy of the cabinet alone, as the
// program does. A file that begins in an earlier cabinet is checked from the cabinet it
// begins in (every record of it carries the md5 of the whole file), and through the
// program's Extract command by the app-level contract test.
TEST_F(FdiCorpus, EveryEntryCabextractExtractsHasTheSameMd5) {
    Mismatches mismatches;
    for (const auto& [key, rows] : RowsByCabinet(LoadExpected())) {
        const auto& [cabinet, offset] = key;
        const QString label = offset > 0 ? cabinet + QStringLiteral(" @%1").arg(offset) : cabinet;
        const QString full = CorpusPath(cabinet);
        std::string dir = Utf8(QFileInfo(full).absolutePath()) + "/";
        std::string name = Utf8(QFileInfo(full).fileName());
        QByteArray copy;
        if (offset > 0) {
            dir = "/mem/";
            name = "cabinet.cab";
            copy = ReadAll(full).mid(offset);
        }
        std::map<std::string, int> seen;
        for (const ExpectedRow& row : rows) {
            const std::string wanted = row.nameBytes.toStdString();
            const int occurrence = seen[wanted]++;
            if (!HasContent(row) || BeginsInEarlierCabinet(row))
                continue;
            FdiHarness h;
            ASSERT_NE(h.create(), nullptr);
            if (offset > 0)
                h.files[dir + name] = copy;
            int met = 0;
            h.answer = [&](FDINOTIFICATIONTYPE type, FDINOTIFICATION* n) -> intptr_t {
                if (type == fdintCOPY_FILE)
                    return wanted == n->psz1 && met++ == occurrence ? h.hashingTarget(n->psz1) : 0;
                return type == fdintCLOSE_FILE_INFO ? TRUE : 0;
            };
            // Names arrive converted to UTF-8; the names cabextract lists are ASCII or
            // UTF-8 already, so the stored bytes compare directly.
            const bool copied = h.copy(name, dir);
            mismatches.Compared();
            const QString entry = row.entryName;
            if (!copied)
                mismatches.Add(label, entry, QStringLiteral("copied"),
                               QStringLiteral("error %1").arg(h.erf.erfOper));
            if (h.extracted.size() != 1) {
                mismatches.Add(label, entry, QStringLiteral("1 file written"),
                               QStringLiteral("%1 files written").arg(h.extracted.size()));
                continue;
            }
            if (h.extracted[0].md5 != row.md5)
                mismatches.Add(label, entry, QStringLiteral("md5 ") + row.md5,
                               QStringLiteral("md5 ") + h.extracted[0].md5);
            if (!h.extracted[0].closed)
                mismatches.Add(label, entry, QStringLiteral("closed"), QStringLiteral("left open"));
            if (h.opens != h.closes)
                mismatches.Add(label, entry, QStringLiteral("every open closed"),
                               QStringLiteral("%1 opens, %2 closes").arg(h.opens).arg(h.closes));
            if (h.writesToUnknownHandles != 0)
                mismatches.Add(label, entry, QStringLiteral("no write to an unknown handle"),
                               QStringLiteral("%1").arg(h.writesToUnknownHandles));
        }
    }
    mismatches.Report("library md5");
}

// The methods of the files cabextract extracts, each checked above: said, so that a run
// on a corpus without one of them shows it.
TEST_F(FdiCorpus, MethodsCovered) {
    std::set<QString> methods;
    for (const ManifestRow& m : LoadManifest()) {
        if (!CabextractExtracts(m))
            continue;
        for (const QString& part : m.methods.split(QLatin1Char(','), Qt::SkipEmptyParts))
            methods.insert(part.trimmed().section(QLatin1Char(':'), 0, 0));
    }
    QStringList covered(methods.begin(), methods.end());
    std::printf("methods covered: %s\n", covered.join(QStringLiteral(", ")).toUtf8().constData());
    for (const char* wanted : {"MSZIP", "LZX", "Quantum", "None"})
        if (!methods.count(QString::fromLatin1(wanted)))
            std::printf("method not covered by this corpus: %s\n", wanted);
    EXPECT_FALSE(methods.empty());
}

// The files cabextract refuses and extracts nothing from, by the tables' categories:
// cabextract_ok, and the rows' status and folders.
std::set<QString> FilesToRefuse() {
    const auto byFile = RowsByFile(LoadExpected());
    std::set<QString> files;
    for (const ManifestRow& m : LoadManifest()) {
        if (CabextractExtracts(m))
            continue;
        const auto rows = byFile.find(m.path);
        if (rows != byFile.end() &&
            std::any_of(rows->second.begin(), rows->second.end(), ExtractedByCabextract))
            continue; // partly extracted: the md5 test covers its good entries
        // A set member whose every file begins in an earlier, absent cabinet has nothing
        // to extract here: a run that writes nothing is no fault.
        if (rows != byFile.end() &&
            std::all_of(rows->second.begin(), rows->second.end(), BeginsInEarlierCabinet))
            continue;
        files.insert(m.path);
    }
    return files;
}

// One run of every corpus file, tables and README included: it ends without a crash, a
// hang, a leak or a write through a stray handle, and a file of FilesToRefuse is refused
// with a code.
TEST_F(FdiCorpus, EveryFileEndsItsRunWithoutHarmAndMalformedOnesFail) {
    const std::set<QString> toRefuse = FilesToRefuse();
    Mismatches refusals;
    for (const QString& relative : CorpusFiles()) {
        SCOPED_TRACE(Utf8(relative));
        FdiHarness h;
        ASSERT_NE(h.create(), nullptr);
        const QString full = CorpusPath(relative);
        const std::string dir = Utf8(QFileInfo(full).absolutePath()) + "/";
        const std::string name = Utf8(QFileInfo(full).fileName());
        QElapsedTimer timer;
        timer.start();
        FDICABINETINFO info{};
        const bool isCabinet = h.isCabinet(dir + name, &info);
        const bool copied = h.copy(name, dir);
        if (!copied) {
            EXPECT_TRUE(h.erf.fError);
            EXPECT_NE(h.erf.erfOper, FDIERROR_NONE);
        }
        if (copied) {
            EXPECT_TRUE(isCabinet);
        }
        if (toRefuse.count(relative)) {
            refusals.Compared();
            if (copied || !h.erf.fError || h.erf.erfOper == FDIERROR_NONE)
                refusals.Add(relative, QStringLiteral("(cabinet)"),
                             QStringLiteral("refused with an error code"),
                             QStringLiteral("copied %1, fError %2, erfOper %3")
                                 .arg(copied)
                                 .arg(h.erf.fError)
                                 .arg(h.erf.erfOper));
        }
        EXPECT_LT(timer.elapsed(), 20000);
        EXPECT_EQ(h.opens, h.closes);
        EXPECT_EQ(h.openHandles(), 0);
        EXPECT_EQ(h.writesToUnknownHandles, 0);
        // Nothing written beyond what the records declare.
        for (const Extracted& e : h.extracted)
            EXPECT_LE(e.bytes, int64_t{0xFFFFFFFF});
        h.destroy();
        FDIFlushCache();
        EXPECT_EQ(h.liveAllocations(), 0);
    }
    refusals.Report("library refusals");
}

} // namespace
