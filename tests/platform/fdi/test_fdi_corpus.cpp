// The FDI library against the shared corpus, read in place: every entry that cabextract
// extracts comes out with the same md5, and every corpus file, however damaged, ends its
// run without a crash or a hang.
#include "tests/platform/fdi/FdiHarness.h"
#include "tests/support/Corpus.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <map>
#include <set>

using namespace morbek::fdi;
using namespace morbek::test;

namespace {

class FdiCorpus : public ::testing::Test {
protected:
    void SetUp() override {
        if (!CorpusAvailable())
            GTEST_SKIP() << "corpus not found (set MORBEK_CORPUS)";
    }
};

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::string Utf8(const QString& s) {
    return s.toUtf8().toStdString();
}

// One run per entry, as the program extracts them: the run answers a handle only for the
// wanted record (by name and occurrence), so a damaged neighbour does not hide it. Rows
// whose cabinet starts inside its file (executables, search tests) are run on a copy of
// the cabinet alone, as the program does; set members are reached from the first cabinet.
TEST_F(FdiCorpus, EveryEntryCabextractExtractsHasTheSameMd5) {
    std::map<std::pair<QString, int64_t>, std::vector<ExpectedRow>> byCabinet;
    for (const ExpectedRow& row : LoadExpected())
        byCabinet[{row.cabinet, row.mscfOffset}].push_back(row);
    int checked = 0;
    for (const auto& [key, rows] : byCabinet) {
        const auto& [cabinet, offset] = key;
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
            if (row.cabextractStatus != QLatin1String("OK") || row.folder.startsWith(QLatin1String("cont-from")) ||
                row.folder == QLatin1String("cont-both"))
                continue;
            SCOPED_TRACE(Utf8(cabinet) + " @" + std::to_string(offset) + " " + wanted);
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
            EXPECT_TRUE(h.copy(name, dir)) << "erf " << h.erf.erfOper;
            ASSERT_EQ(h.extracted.size(), 1u);
            EXPECT_EQ(h.extracted[0].md5.toStdString(), row.md5.toStdString());
            EXPECT_TRUE(h.extracted[0].closed);
            EXPECT_EQ(h.opens, h.closes);
            EXPECT_EQ(h.writesToUnknownHandles, 0);
            ++checked;
        }
    }
    EXPECT_GT(checked, 50);
}

// The methods the corpus names, each checked above; this says they were really there.
TEST_F(FdiCorpus, CoversEveryMethod) {
    std::set<QString> methods;
    for (const ManifestRow& m : LoadManifest()) {
        if (!m.cabextractOk.startsWith(QLatin1String("yes")))
            continue;
        for (const QString& part : m.methods.split(QLatin1Char(','), Qt::SkipEmptyParts))
            methods.insert(part.trimmed().section(QLatin1Char(':'), 0, 0));
    }
    for (const char* wanted : {"MSZIP", "LZX", "Quantum", "None"})
        EXPECT_TRUE(methods.count(QString::fromLatin1(wanted))) << wanted;
}

TEST_F(FdiCorpus, EveryFileEndsItsRunWithoutHarm) {
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
}

// Every damaged cabinet of the corpus is refused with a code.
TEST_F(FdiCorpus, MalformedCabinetsFail) {
    std::set<QString> extractable;
    for (const ManifestRow& m : LoadManifest())
        if (m.cabextractOk.startsWith(QLatin1String("yes")))
            extractable.insert(m.path);
    int seen = 0;
    for (const QString& relative : CorpusFiles()) {
        if (extractable.count(relative)) // some reproducers are valid cabinets today
            continue;
        const QString base = QFileInfo(relative).fileName();
        const bool malformed = relative.startsWith(QLatin1String("bugs/")) || base.startsWith(QLatin1String("bad_")) ||
                               base.startsWith(QLatin1String("partial_")) || base.startsWith(QLatin1String("cve-"));
        if (!malformed)
            continue;
        SCOPED_TRACE(Utf8(relative));
        FdiHarness h;
        ASSERT_NE(h.create(), nullptr);
        const QString full = CorpusPath(relative);
        EXPECT_FALSE(h.copy(Utf8(QFileInfo(full).fileName()), Utf8(QFileInfo(full).absolutePath()) + "/"));
        EXPECT_TRUE(h.erf.fError);
        EXPECT_NE(h.erf.erfOper, FDIERROR_NONE);
        ++seen;
    }
    EXPECT_GT(seen, 20);
}

} // namespace
