// The FDI library through its seven callbacks, on cabinets from the test-only writer.
#include "tests/platform/fdi/FdiHarness.h"
#include "tests/support/CabWriter.h"
#include "tests/support/Files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace morbek::fdi;
using namespace morbek::test;

namespace {

QByteArray Md5(const QByteArray& data) {
    return Md5Of(data).toLatin1();
}

// Three files in two folders (stored and MSZIP).
QByteArray ThreeFiles(CabMethod second = CabMethod::MsZip) {
    CabWriter w;
    const int f0 = w.addFolder(CabMethod::Stored);
    const int f1 = w.addFolder(second);
    w.addFile("a.txt", Pattern(1000, 1), f0);
    w.addFile("dir\\b.txt", Pattern(70000, 2), f1);
    w.addFile("c.txt", Pattern(5, 3), f1);
    return w.build();
}

class Fdi : public ::testing::Test {
protected:
    void SetUp() override {
        FDIFlushCache();
        ASSERT_NE(h.create(), nullptr);
    }
    FdiHarness h;
};

TEST_F(Fdi, SingleCabinetNotifiesInTableOrderAndWritesEachFile) {
    h.files["/c/x.cab"] = ThreeFiles();
    ASSERT_TRUE(h.copy("x.cab", "/c/"));
    using T = std::vector<FDINOTIFICATIONTYPE>;
    EXPECT_EQ(h.types(), (T{fdintCABINET_INFO, fdintCOPY_FILE, fdintCLOSE_FILE_INFO, fdintCOPY_FILE,
                            fdintCLOSE_FILE_INFO, fdintCOPY_FILE, fdintCLOSE_FILE_INFO}));
    EXPECT_EQ(h.events[0].psz3, "/c/");
    EXPECT_EQ(h.events[1].psz1, "a.txt");
    EXPECT_EQ(h.events[1].cb, 1000);
    EXPECT_EQ(h.events[1].attribs, 0x20);
    EXPECT_EQ(h.events[1].date, DosDate(1997, 3, 12));
    EXPECT_EQ(h.events[1].time, DosTime(11, 13, 52));
    EXPECT_EQ(h.events[3].psz1, "dir\\b.txt");
    EXPECT_EQ(h.events[3].iFolder, 1);
    EXPECT_EQ(h.events[4].psz1, "dir\\b.txt");
    ASSERT_EQ(h.extracted.size(), 3u);
    EXPECT_EQ(h.extracted[0].md5, Md5(Pattern(1000, 1)));
    EXPECT_EQ(h.extracted[1].md5, Md5(Pattern(70000, 2)));
    EXPECT_EQ(h.extracted[2].md5, Md5(Pattern(5, 3)));
    for (const Extracted& e : h.extracted)
        EXPECT_TRUE(e.closed) << e.name;
    EXPECT_EQ(h.writesToUnknownHandles, 0);
    EXPECT_EQ(h.opens, h.closes);
}

TEST_F(Fdi, CabinetsAreOpenedReadOnlyWithWindowsFlags) {
    h.files["x.cab"] = ThreeFiles();
    ASSERT_TRUE(h.copy("x.cab"));
    ASSERT_FALSE(h.openFlags.empty());
    for (int flags : h.openFlags)
        EXPECT_EQ(flags, 0x8020); // _O_BINARY | _O_RDONLY | _O_SEQUENTIAL, never _O_EXCL
}

TEST_F(Fdi, AnswersToCopyFileSkipAndStop) {
    struct Case {
        const char* what;
        intptr_t answerForB; // 0 skip, -1 stop
        bool result;
        std::vector<std::string> written;
    };
    const Case cases[] = {
        {"skip", 0, true, {"a.txt", "c.txt"}},
        {"stop", -1, false, {"a.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FdiHarness run;
        ASSERT_NE(run.create(), nullptr);
        run.files["x.cab"] = ThreeFiles();
        run.answer = [&](FDINOTIFICATIONTYPE type, FDINOTIFICATION* n) -> intptr_t {
            if (type == fdintCOPY_FILE)
                return std::string(n->psz1) == "dir\\b.txt" ? c.answerForB : run.hashingTarget(n->psz1);
            return type == fdintCLOSE_FILE_INFO ? TRUE : 0;
        };
        EXPECT_EQ(run.copy("x.cab"), c.result);
        std::vector<std::string> written;
        for (const Extracted& e : run.extracted)
            written.push_back(e.name);
        EXPECT_EQ(written, c.written);
        if (!c.result) {
            EXPECT_TRUE(run.erf.fError);
            EXPECT_EQ(run.erf.erfOper, FDIERROR_USER_ABORT);
        }
        EXPECT_EQ(run.opens, run.closes);
    }
}

TEST_F(Fdi, NamesArriveAsUtf8) {
    CabWriter w;
    w.addFolder();
    CabFileSpec ansi;
    ansi.name = "caf\xE9 \x80.txt"; // Windows-1252
    ansi.data = "1";
    CabFileSpec utf8;
    utf8.name = "caf\xC3\xA9.txt";
    utf8.data = "2";
    utf8.attribs = 0xA0; // 0x80: the name is UTF-8
    w.addFile(ansi);
    w.addFile(utf8);
    h.files["n.cab"] = w.build();
    ASSERT_TRUE(h.copy("n.cab"));
    ASSERT_EQ(h.extracted.size(), 2u);
    EXPECT_EQ(h.extracted[0].name, "caf\xC3\xA9 \xE2\x82\xAC.txt");
    EXPECT_EQ(h.extracted[1].name, "caf\xC3\xA9.txt");
}

TEST_F(Fdi, IsCabinetReadsTheHeader) {
    CabWriter w;
    w.addFolder();
    w.addFile("a", "x");
    w.setSetId(4242);
    w.setCabinetIndex(2);
    w.setNextCabinet("n.cab", "disk");
    w.setReserve(4, 0, 0);
    h.files["x.cab"] = w.build();
    h.files["not.cab"] = "MZ this is not a cabinet at all, just some bytes";
    h.files["short.cab"] = "MSCF";
    FDICABINETINFO info{};
    ASSERT_TRUE(h.isCabinet("x.cab", &info));
    EXPECT_EQ(info.cbCabinet, h.files["x.cab"].size());
    EXPECT_EQ(info.cFolders, 1);
    EXPECT_EQ(info.cFiles, 1);
    EXPECT_EQ(info.setID, 4242);
    EXPECT_EQ(info.iCabinet, 2);
    EXPECT_TRUE(info.fReserve);
    EXPECT_FALSE(info.hasprev);
    EXPECT_TRUE(info.hasnext);
    EXPECT_FALSE(h.isCabinet("not.cab", &info));
    EXPECT_EQ(h.erf.erfOper, FDIERROR_NOT_A_CABINET);
    EXPECT_FALSE(h.isCabinet("short.cab", &info));
}

// A set of three cabinets whose MSZIP folder spans them, built by the writer.
struct Set {
    std::vector<QByteArray> parts;
    QByteArray big, small, tail;
};

Set MakeSet(uint16_t setId = 77, CabMethod method = CabMethod::MsZip, const QByteArray& disk = "Disk #") {
    Set s;
    s.small = Pattern(3000, 7);
    // Incompressible, so that even MSZIP needs three cabinets.
    s.big = QByteArray(120000, '\0');
    uint32_t x = 12345;
    for (char& c : s.big) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    s.tail = Pattern(2000, 9);
    CabWriter w;
    w.setSetId(setId);
    const int f = w.addFolder(method);
    w.addFile("small.txt", s.small, f);
    w.addFile("big.dat", s.big, f);
    w.addFile("tail.txt", s.tail, f);
    s.parts = w.buildSet(50000, "part#.cab", disk);
    return s;
}

class FdiSet : public ::testing::TestWithParam<CabMethod> {
protected:
    void SetUp() override {
        FDIFlushCache();
        ASSERT_NE(h.create(), nullptr);
    }
    FdiHarness h;
};
INSTANTIATE_TEST_SUITE_P(Methods, FdiSet,
                         ::testing::Values(CabMethod::Stored, CabMethod::MsZip, CabMethod::Lzx));

TEST_P(FdiSet, SetIsFollowedThroughNextCabinet) {
    const Set s = MakeSet(77, GetParam());
    ASSERT_EQ(s.parts.size(), 3u);
    for (size_t i = 0; i < s.parts.size(); ++i)
        h.files["/s/part" + std::to_string(i + 1) + ".cab"] = s.parts[i];
    ASSERT_TRUE(h.copy("part1.cab", "/s/")) << h.erf.erfOper;

    // CABINET_INFO(1), COPY small, CLOSE, COPY big, NEXT_CABINET(2), CABINET_INFO(2),
    // NEXT_CABINET(3), CABINET_INFO(3), CLOSE big, then the rest of the later cabinets.
    const auto t = h.types();
    ASSERT_GE(t.size(), 10u);
    using T = std::vector<FDINOTIFICATIONTYPE>;
    EXPECT_EQ(
        T(t.begin(), t.begin() + 10),
        (T{fdintCABINET_INFO, fdintCOPY_FILE, fdintCLOSE_FILE_INFO, fdintCOPY_FILE, fdintNEXT_CABINET,
           fdintCABINET_INFO, fdintNEXT_CABINET, fdintCABINET_INFO, fdintCLOSE_FILE_INFO, fdintCOPY_FILE}));
    EXPECT_EQ(h.events[0].psz1, "part2.cab");
    EXPECT_EQ(h.events[0].psz2, "Disk 2");
    EXPECT_EQ(h.events[0].setID, 77);
    EXPECT_EQ(h.events[4].psz1, "part2.cab");
    EXPECT_EQ(h.events[4].psz3, "/s/");
    EXPECT_EQ(h.events[4].fdie, FDIERROR_NONE);
    EXPECT_EQ(h.events[5].iCabinet, 1);
    EXPECT_EQ(h.events[7].iCabinet, 2);
    ASSERT_NE(h.find("big.dat"), nullptr);
    EXPECT_EQ(h.find("small.txt")->md5, Md5(s.small));
    EXPECT_EQ(h.find("big.dat")->md5, Md5(s.big));
    ASSERT_NE(h.find("tail.txt"), nullptr);
    EXPECT_EQ(h.find("tail.txt")->md5, Md5(s.tail));
    EXPECT_EQ(h.opens, h.closes);

    // Run on a later cabinet, the spanning file is announced as partial.
    FdiHarness later;
    ASSERT_NE(later.create(), nullptr);
    later.files = h.files;
    ASSERT_TRUE(later.copy("part3.cab", "/s/"));
    ASSERT_GE(later.events.size(), 2u);
    EXPECT_EQ(later.events[1].type, fdintPARTIAL_FILE);
    EXPECT_EQ(later.events[1].psz1, "big.dat");
    EXPECT_EQ(later.events[1].psz2, "part2.cab");
    EXPECT_EQ(later.events[1].psz3, "Disk 2");
    EXPECT_EQ(later.find("big.dat"), nullptr);
    ASSERT_NE(later.find("tail.txt"), nullptr);
    EXPECT_EQ(later.find("tail.txt")->md5, Md5(s.tail));
}

// A file that lies wholly before the cut of a folder that goes on in the next cabinet
// needs nothing of that cabinet (decoders that read ahead must stop at the cut), and runs
// that go on past the cut later in the same session still decode the folder right. Also
// with empty disk names, which name nothing but are allowed.
TEST_P(FdiSet, FilesBeforeTheCutComeOutWithOrWithoutTheNextCabinet) {
    for (const QByteArray& disk : {QByteArray("Disk #"), QByteArray()}) {
        SCOPED_TRACE(disk.isEmpty() ? "empty disk names" : "named disks");
        FDIFlushCache();
        const Set s = MakeSet(77, GetParam(), disk);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const std::string path = dir.path().toStdString() + "/";
        ASSERT_TRUE(WriteFile(dir.filePath(QStringLiteral("part1.cab")), s.parts[0]));
        const auto run = [&](const std::string& cabinet, const std::string& name, const QByteArray& bytes) {
            SCOPED_TRACE(cabinet + " " + name);
            h.extracted.clear();
            h.answerOnly(name);
            EXPECT_TRUE(h.copy(cabinet, path)) << h.erf.erfOper;
            ASSERT_EQ(h.extracted.size(), 1u);
            EXPECT_TRUE(h.extracted[0].closed);
            EXPECT_EQ(h.extracted[0].md5, Md5(bytes));
        };
        run("part1.cab", "small.txt", s.small); // the rest of the set absent
        for (size_t i = 1; i < s.parts.size(); ++i)
            ASSERT_TRUE(WriteFile(dir.filePath(QStringLiteral("part%1.cab").arg(i + 1)), s.parts[i]));
        for (const auto& [name, bytes] :
             {std::pair{"small.txt", s.small}, {"big.dat", s.big}, {"small.txt", s.small}})
            run("part1.cab", name, bytes);
        run("part3.cab", "tail.txt", s.tail);
    }
}

// Empty files come out as empty files, whatever the method: the last file of a folder
// (its offset is the folder's end), and a folder without data blocks.
TEST_P(FdiSet, EmptyFilesAreWritten) {
    CabWriter w;
    const int full = w.addFolder(GetParam());
    const int empty = w.addFolder(GetParam());
    w.addFile("a.txt", Pattern(40000, 1), full);
    w.addFile("empty.txt", QByteArray(), full);
    w.addFile("none.txt", QByteArray(), empty);
    h.files["/e/x.cab"] = w.build();
    ASSERT_TRUE(h.copy("x.cab", "/e/")) << h.erf.erfOper;
    for (const char* name : {"a.txt", "empty.txt", "none.txt"}) {
        const Extracted* e = h.find(name);
        ASSERT_NE(e, nullptr) << name;
        EXPECT_TRUE(e->closed) << name;
    }
    EXPECT_EQ(h.find("empty.txt")->bytes, 0);
    EXPECT_EQ(h.find("none.txt")->bytes, 0);
}

TEST_F(Fdi, NextCabinetProblemsAreAnnouncedAgain) {
    struct Case {
        const char* what;
        FDIERROR expected;
    };
    const Case cases[] = {{"missing", FDIERROR_CABINET_NOT_FOUND},
                          {"other set", FDIERROR_WRONG_CABINET},
                          {"not a cabinet", FDIERROR_NOT_A_CABINET}};
    const Set s = MakeSet(77);
    const Set other = MakeSet(78);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FdiHarness run;
        ASSERT_NE(run.create(), nullptr);
        run.files["part1.cab"] = s.parts[0];
        if (c.expected == FDIERROR_WRONG_CABINET)
            run.files["part2.cab"] = other.parts[1];
        if (c.expected == FDIERROR_NOT_A_CABINET)
            run.files["part2.cab"] = "not a cabinet";
        int asked = 0;
        run.answer = [&](FDINOTIFICATIONTYPE type, FDINOTIFICATION* n) -> intptr_t {
            if (type == fdintNEXT_CABINET)
                return ++asked == 1 ? 0 : -1; // the caller gives up on the second request
            if (type == fdintCOPY_FILE)
                return run.hashingTarget(n->psz1);
            return type == fdintCLOSE_FILE_INFO ? TRUE : 0;
        };
        EXPECT_FALSE(run.copy("part1.cab"));
        EXPECT_EQ(run.erf.erfOper, FDIERROR_USER_ABORT);
        std::vector<FDIERROR> fdie;
        for (const Event& e : run.events)
            if (e.type == fdintNEXT_CABINET)
                fdie.push_back(e.fdie);
        EXPECT_EQ(fdie, (std::vector<FDIERROR>{FDIERROR_NONE, c.expected}));
        EXPECT_EQ(run.opens, run.closes);
        EXPECT_EQ(run.liveAllocations(), 1); // the context only
    }
}

TEST_F(Fdi, RetriesAreBoundedForACallerThatNeverGivesUp) {
    const Set s = MakeSet();
    h.files["part1.cab"] = s.parts[0];
    int asked = 0;
    h.answer = [&](FDINOTIFICATIONTYPE type, FDINOTIFICATION* n) -> intptr_t {
        asked += type == fdintNEXT_CABINET;
        if (type == fdintCOPY_FILE)
            return h.hashingTarget(n->psz1);
        return type == fdintCLOSE_FILE_INFO ? TRUE : 0;
    };
    EXPECT_FALSE(h.copy("part1.cab"));
    EXPECT_EQ(h.erf.erfOper, FDIERROR_CABINET_NOT_FOUND);
    EXPECT_GT(asked, 2);
    EXPECT_LE(asked, 1001);
}

TEST_F(Fdi, NextCabinetMayBeMovedByTheCaller) {
    const Set s = MakeSet();
    h.files["/a/part1.cab"] = s.parts[0];
    for (size_t i = 1; i < s.parts.size(); ++i)
        h.files["/b/part" + std::to_string(i + 1) + ".cab"] = s.parts[i];
    h.answer = [&](FDINOTIFICATIONTYPE type, FDINOTIFICATION* n) -> intptr_t {
        if (type == fdintNEXT_CABINET)
            std::strcpy(n->psz3, "/b/");
        if (type == fdintCOPY_FILE)
            return h.hashingTarget(n->psz1);
        return type == fdintCLOSE_FILE_INFO ? TRUE : 0;
    };
    ASSERT_TRUE(h.copy("part1.cab", "/a/"));
    ASSERT_NE(h.find("big.dat"), nullptr);
    EXPECT_EQ(h.find("big.dat")->md5, Md5(s.big));
}

TEST_F(Fdi, SetMembersAreFoundWhateverTheirCase) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const Set s = MakeSet();
    ASSERT_TRUE(WriteFile(dir.filePath("part1.cab"), s.parts[0]));
    for (size_t i = 1; i < s.parts.size(); ++i)
        ASSERT_TRUE(WriteFile(dir.filePath(QStringLiteral("PART%1.CAB").arg(i + 1)), s.parts[i]));
    const std::string path = dir.path().toStdString() + "/";
    ASSERT_TRUE(h.copy("part1.cab", path)) << h.erf.erfOper;
    ASSERT_NE(h.find("big.dat"), nullptr);
    EXPECT_EQ(h.find("big.dat")->md5, Md5(s.big));
}

// Extracting one entry per run, as the program does, over a cabinet on disk: every run
// gives the right bytes, opens and closes what it uses, and a rewritten file is noticed.
TEST_F(Fdi, OneEntryPerRunReusesNothingStale) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    CabWriter w;
    const int f = w.addFolder(CabMethod::MsZip);
    std::vector<QByteArray> data;
    for (int i = 0; i < 12; ++i) {
        data.push_back(Pattern(9000 + i * 1000, i));
        w.addFile(QByteArray("f") + QByteArray::number(i), data.back(), f);
    }
    const QString cab = dir.filePath("one.cab");
    ASSERT_TRUE(WriteFile(cab, w.build()));
    const std::string path = dir.path().toStdString() + "/";
    // In order, backwards, then again after the file was replaced by other content.
    std::vector<int> order;
    for (int i = 0; i < 12; ++i)
        order.push_back(i);
    for (int i = 11; i >= 0; --i)
        order.push_back(i);
    for (int round = 0; round < 2; ++round) {
        for (int want : order) {
            const std::string name = "f" + std::to_string(want);
            h.extracted.clear();
            h.opens = h.closes = 0;
            h.answerOnly(name);
            ASSERT_TRUE(h.copy("one.cab", path));
            ASSERT_EQ(h.extracted.size(), 1u);
            EXPECT_EQ(h.extracted[0].md5, Md5(data[static_cast<size_t>(want)])) << want;
            EXPECT_EQ(h.opens, h.closes);
            EXPECT_EQ(h.openHandles(), 0);
        }
        CabWriter w2;
        const int f2 = w2.addFolder(CabMethod::MsZip);
        for (int i = 0; i < 12; ++i) {
            data[static_cast<size_t>(i)] = Pattern(9000 + i * 1000, 100 + i);
            w2.addFile(QByteArray("f") + QByteArray::number(i), data[static_cast<size_t>(i)], f2);
        }
        ASSERT_TRUE(WriteFile(cab, w2.build()));
    }
    // What is cached survives the context and was allocated through its functions.
    h.destroy();
    FDIFlushCache();
    EXPECT_EQ(h.liveAllocations(), 0);
}

// The cache at work: runs without flushing in between still open and close the cabinet
// each time and give the right bytes.
TEST_F(Fdi, CachedRunsStillUseTheCallbacks) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const Set s = MakeSet();
    for (size_t i = 0; i < s.parts.size(); ++i)
        ASSERT_TRUE(WriteFile(dir.filePath(QStringLiteral("part%1.cab").arg(i + 1)), s.parts[i]));
    const std::string path = dir.path().toStdString() + "/";
    const std::pair<std::string, QByteArray> wanted[] = {{"small.txt", s.small},
                                                         {"big.dat", s.big},
                                                         {"small.txt", s.small},
                                                         {"big.dat", s.big},
                                                         {"big.dat", s.big}};
    for (const auto& [name, bytes] : wanted) {
        SCOPED_TRACE(name);
        h.events.clear();
        h.extracted.clear();
        h.opens = h.closes = 0;
        h.answerOnly(name);
        ASSERT_TRUE(h.copy("part1.cab", path));
        ASSERT_EQ(h.extracted.size(), 1u);
        EXPECT_EQ(h.extracted[0].md5, Md5(bytes));
        EXPECT_GE(h.opens, 1);
        EXPECT_EQ(h.opens, h.closes);
        EXPECT_EQ(h.types().front(), fdintCABINET_INFO);
        int next = 0;
        for (const Event& e : h.events)
            next += e.type == fdintNEXT_CABINET;
        EXPECT_EQ(next, name == "big.dat" ? 2 : 0);
    }
}

// Every kind of callback failing after N successful calls, for every N until a run
// succeeds: FDICopy reports FALSE with a code, and nothing leaks or crashes.
TEST_F(Fdi, FailingCallbacksEndTheRunCleanly) {
    const Set s = MakeSet();
    std::map<std::string, QByteArray> files;
    files["a.cab"] = ThreeFiles();
    for (size_t i = 0; i < s.parts.size(); ++i)
        files["part" + std::to_string(i + 1) + ".cab"] = s.parts[i];
    struct Case {
        Op op;
        const char* what;
    };
    const Case kinds[] = {{Op::Alloc, "alloc"},
                          {Op::Open, "open"},
                          {Op::Read, "read"},
                          {Op::Write, "write"},
                          {Op::Seek, "seek"}};
    for (const char* cabinet : {"a.cab", "part1.cab"}) {
        for (const Case& c : kinds) {
            bool succeeded = false;
            for (long n = 0; n < 5000 && !succeeded; ++n) {
                SCOPED_TRACE(std::string(cabinet) + " " + c.what + " after " + std::to_string(n));
                FDIFlushCache();
                FdiHarness run;
                run.files = files;
                ASSERT_NE(run.create(), nullptr);
                run.failAfter(c.op, n);
                succeeded = run.copy(cabinet);
                if (!succeeded) {
                    EXPECT_TRUE(run.erf.fError);
                    EXPECT_NE(run.erf.erfOper, FDIERROR_NONE);
                    if (c.op == Op::Write) {
                        EXPECT_EQ(run.erf.erfOper, FDIERROR_TARGET_FILE);
                    }
                }
                EXPECT_EQ(run.writesToUnknownHandles, 0);
                run.destroy();
                FDIFlushCache();
                EXPECT_EQ(run.liveAllocations(), 0);
                EXPECT_EQ(run.openHandles(), 0);
            }
            EXPECT_TRUE(succeeded) << cabinet << " " << c.what;
        }
    }
}

TEST_F(Fdi, DamagedCabinetsFailWithACode) {
    CabLayout layout;
    CabWriter w;
    const int f = w.addFolder(CabMethod::MsZip);
    w.addFile("a.txt", Pattern(40000, 1), f);
    w.addFile("b.txt", Pattern(40000, 2), f);
    const QByteArray good = w.build(&layout);
    struct Case {
        const char* what;
        std::function<void(QByteArray&)> damage;
        FDIERROR expected;
    };
    const Case cases[] = {
        {"signature", [](QByteArray& b) { b[0] = 'X'; }, FDIERROR_NOT_A_CABINET},
        {"version", [](QByteArray& b) { b[25] = 2; }, FDIERROR_UNKNOWN_CABINET_VERSION},
        {"cut in the catalogue", [&](QByteArray& b) { b.truncate(static_cast<int>(layout.files + 20)); },
         FDIERROR_CORRUPT_CABINET},
        {"folder index", [&](QByteArray& b) { PutU16(b, layout.fileRecords[0] + 8, 5); },
         FDIERROR_CORRUPT_CABINET},
        {"method", [&](QByteArray& b) { PutU16(b, layout.folders + 6, 0x0007); }, FDIERROR_BAD_COMPR_TYPE},
        {"lzx window", [&](QByteArray& b) { PutU16(b, layout.folders + 6, 0x1603); },
         FDIERROR_BAD_COMPR_TYPE},
        {"data checksum", [&](QByteArray& b) { b[static_cast<int>(layout.dataBlocks[0] + 10)] ^= 0x55; },
         FDIERROR_CORRUPT_CABINET},
        {"cut in the data", [&](QByteArray& b) { b.truncate(static_cast<int>(layout.dataBlocks[0] + 100)); },
         FDIERROR_CORRUPT_CABINET},
        {"declared 4 GiB", [&](QByteArray& b) { PutU32(b, layout.fileRecords[1], 0xFFFFFFF0u); },
         FDIERROR_CORRUPT_CABINET},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FdiHarness run;
        ASSERT_NE(run.create(), nullptr);
        QByteArray bad = good;
        c.damage(bad);
        run.files["d.cab"] = bad;
        EXPECT_FALSE(run.copy("d.cab"));
        EXPECT_TRUE(run.erf.fError);
        EXPECT_EQ(run.erf.erfOper, c.expected);
        EXPECT_EQ(run.opens, run.closes);
        EXPECT_EQ(run.writesToUnknownHandles, 0);
    }
}

} // namespace

namespace {

TEST(FdiNameFilter, OnlyRecordsOfTheNameAreNotifiedInTableOrder) {
    FDIFlushCache();
    CabWriter w;
    w.addFolder(CabMethod::MsZip);
    w.addFile("a\\x.txt", QByteArray(3000, 'a'));
    w.addFile("y.txt", QByteArray(100, 'y'));
    w.addFile("b\\x.txt", QByteArray(2000, 'b'));
    w.addFile("x.txt.bak", QByteArray(10, 'z'));
    FdiHarness h;
    ASSERT_NE(h.create(), nullptr);
    h.files["/c/f.cab"] = w.build();
    h.answer = [&h](FDINOTIFICATIONTYPE type, FDINOTIFICATION* n) -> intptr_t {
        if (type == fdintCOPY_FILE)
            return h.hashingTarget(n->psz1);
        return type == fdintCLOSE_FILE_INFO ? TRUE : 0;
    };
    const char* wanted = "x.txt";
    FDISetNameFilter(h.hfdi(), wanted);
    // Twice: the second run reads the cached catalogue and its index.
    for (int run = 0; run < 2; ++run) {
        h.events.clear();
        h.extracted.clear();
        ASSERT_TRUE(h.copy("f.cab", "/c/"));
        std::vector<std::string> copied;
        for (const auto& e : h.events)
            if (e.type == fdintCOPY_FILE)
                copied.push_back(e.psz1);
        EXPECT_EQ(copied, (std::vector<std::string>{"a\\x.txt", "b\\x.txt"}));
        ASSERT_EQ(h.extracted.size(), 2u);
        EXPECT_EQ(h.extracted[1].md5, Md5(QByteArray(2000, 'b')));
    }
    FDISetNameFilter(h.hfdi(), nullptr);
    h.events.clear();
    ASSERT_TRUE(h.copy("f.cab", "/c/"));
    const std::vector<FDINOTIFICATIONTYPE> all = h.types();
    EXPECT_EQ(std::count(all.begin(), all.end(), fdintCOPY_FILE), 4);
    FDIFlushCache();
}

} // namespace

namespace {

// What the handle stat of the next test reports: a regular file whose modification
// time the test moves, and how often it was asked.
int gStatCalls = 0;
int64_t gStatMtime = 1;
int gStatResult = 0;

int FakeHandleStat(int hf, struct stat* st) {
    ++gStatCalls;
    EXPECT_GE(hf, 3); // one of the harness's handles
    *st = {};
    st->st_mode = S_IFREG | 0644;
    st->st_ino = 7;
    st->st_size = 1000;
    st->st_mtim.tv_sec = gStatMtime;
    return gStatResult;
}

TEST(FdiHandleStat, TheCacheGoesByTheIdentityOfTheHandleRead) {
    FDIFlushCache();
    // Two cabinets with the same header bytes and different contents.
    const auto build = [](char first, char second) {
        CabWriter w;
        w.addFolder(CabMethod::MsZip);
        w.addFile("a.txt", QByteArray(3000, first));
        w.addFile("b.txt", QByteArray(3000, second));
        return w.build();
    };
    const QByteArray before = build('a', 'b'), after = build('c', 'd');
    ASSERT_EQ(before.left(36), after.left(36));

    FdiHarness h;
    ASSERT_NE(h.create(), nullptr);
    FDISetHandleStat(h.hfdi(), FakeHandleStat);
    gStatCalls = 0;
    gStatResult = 0;
    h.files["/c/f.cab"] = before;
    h.answerOnly("b.txt");
    ASSERT_TRUE(h.copy("f.cab", "/c/"));
    ASSERT_EQ(h.extracted.size(), 1u);
    EXPECT_EQ(h.extracted[0].md5, Md5(QByteArray(3000, 'b')));

    // The name leads nowhere on disk: only the handle can tell that the file changed.
    h.files["/c/f.cab"] = after;
    ++gStatMtime;
    h.extracted.clear();
    ASSERT_TRUE(h.copy("f.cab", "/c/"));
    ASSERT_EQ(h.extracted.size(), 1u);
    EXPECT_EQ(h.extracted[0].md5, Md5(QByteArray(3000, 'd')));
    EXPECT_EQ(gStatCalls, 2);

    // A handle that cannot be identified is read, just not kept.
    gStatResult = -1;
    h.answerOnly("a.txt");
    h.extracted.clear();
    ASSERT_TRUE(h.copy("f.cab", "/c/"));
    ASSERT_EQ(h.extracted.size(), 1u);
    EXPECT_EQ(h.extracted[0].md5, Md5(QByteArray(3000, 'c')));
    h.destroy();
    FDIFlushCache();
}

} // namespace
