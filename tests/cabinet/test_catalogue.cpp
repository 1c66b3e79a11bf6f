// The catalogue reader against cabinets written by the test-only writer.
#include "cabinet/Catalogue.h"
#include "platform/files/Files.h"
#include "tests/support/CabWriter.h"
#include "tests/support/Files.h"
#include "tests/support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QFile>
#include <sys/stat.h>

using namespace morbek::cab;
using morbek::test::CabFileSpec;
using morbek::test::CabLayout;
using morbek::test::CabMethod;
using morbek::test::CabWriter;
using morbek::test::DosDate;
using morbek::test::DosTime;
using morbek::test::PutU16;
using morbek::test::PutU32;
using morbek::test::ScratchDir;

namespace {

const QByteArray kPattern("MSCF\0\0\0\0", 8);

QString U(const char16_t* text) {
    return QString::fromUtf16(text);
}

CabWriter TwoFiles() {
    CabWriter w;
    w.addFolder(CabMethod::Stored);
    w.addFile("hello.c", "#include <stdio.h>\nint main() { puts(\"hello\"); }\n");
    w.addFile("docs\\welcome.txt", "Welcome!\n");
    return w;
}

class CatalogueTest : public ::testing::Test {
protected:
    Catalogue read(const QByteArray& bytes, const QString& name = QStringLiteral("test.cab")) {
        return ReadCatalogue(dir.write(name, bytes));
    }
    ScratchDir dir;
};

std::vector<QString> StoredNames(const Catalogue& cat) {
    std::vector<QString> names;
    for (const auto& e : cat.entries)
        names.push_back(e.path + e.fileName);
    return names;
}

TEST_F(CatalogueTest, ReadsHeaderValuesAndEntries) {
    CabWriter w = TwoFiles();
    w.setSetId(4711);
    w.setCabinetIndex(3);
    w.setVersion(3, 1);
    const QByteArray cab = w.build();
    const Catalogue cat = read(cab);
    ASSERT_EQ(cat.outcome, OpenOutcome::Ok);
    EXPECT_EQ(cat.location.CabEmbedded, 0);
    EXPECT_EQ(cat.location.CabOffset, 0);
    EXPECT_EQ(cat.location.HostFileSize, 0);
    EXPECT_EQ(cat.header.CabSize, static_cast<uint32_t>(cab.size()));
    EXPECT_EQ(cat.header.VersionMinor, 3);
    EXPECT_EQ(cat.header.VersionMajor, 1);
    EXPECT_EQ(cat.header.FolderCount, 1);
    EXPECT_EQ(cat.header.FileCount, 2);
    EXPECT_EQ(cat.header.SetId, 4711);
    EXPECT_EQ(cat.header.CabinetIndex, 3);
    EXPECT_EQ(cat.header.HasPrevCabinet + cat.header.HasNextCabinet + cat.header.HasReserve, 0);
    ASSERT_EQ(cat.entries.size(), 2u);
    EXPECT_EQ(cat.entries[0].fileName, QStringLiteral("hello.c"));
    EXPECT_EQ(cat.entries[0].path, QString());
    EXPECT_EQ(cat.entries[0].extension, QStringLiteral("c"));
    EXPECT_EQ(cat.entries[0].size, 49u);
    EXPECT_EQ(cat.entries[0].attribs, 0x20);
    EXPECT_EQ(cat.entries[0].iFolder, 0);
    EXPECT_EQ(cat.entries[1].fileName, QStringLiteral("welcome.txt"));
    EXPECT_EQ(cat.entries[1].path, QStringLiteral("docs\\"));
    EXPECT_EQ(cat.entries[1].uoffFolderStart, 49u);
    EXPECT_EQ(cat.entries[1].storedName, QByteArray("docs\\welcome.txt"));
    EXPECT_EQ(cat.TotalSize, 58u);
}

// Optional header fields in every combination; the per-cabinet reserve is skipped by
// its stated size whatever it holds.
struct OptionalFieldsCase {
    const char* name;
    bool prev, next, reserve;
    uint16_t cbCFHeader;
};

class OptionalFields : public CatalogueTest, public ::testing::WithParamInterface<OptionalFieldsCase> {};

TEST_P(OptionalFields, NamesAndReserveAreReadInOrder) {
    const OptionalFieldsCase& c = GetParam();
    CabWriter w = TwoFiles();
    if (c.prev)
        w.setPrevCabinet("prev\x93.cab", "Disk \xe9one");
    if (c.next)
        w.setNextCabinet("NEXT.CAB", "Disk three");
    if (c.reserve)
        w.setReserve(c.cbCFHeader, 7, 9, 'M'); // reserve bytes that look like text
    const Catalogue cat = read(w.build());
    ASSERT_EQ(cat.outcome, OpenOutcome::Ok);
    EXPECT_EQ(cat.header.HasPrevCabinet, c.prev ? 1 : 0);
    EXPECT_EQ(cat.header.HasNextCabinet, c.next ? 1 : 0);
    EXPECT_EQ(cat.header.HasReserve, c.reserve ? 1 : 0);
    EXPECT_EQ(cat.names.PrevCabinetName, c.prev ? U(u"prev\u201C.cab") : QString());
    EXPECT_EQ(cat.names.PrevDiskName, c.prev ? U(u"Disk \u00E9one") : QString());
    EXPECT_EQ(cat.names.NextCabinetName, c.next ? QStringLiteral("NEXT.CAB") : QString());
    EXPECT_EQ(cat.names.NextDiskName, c.next ? QStringLiteral("Disk three") : QString());
    EXPECT_EQ(StoredNames(cat),
              (std::vector<QString>{QStringLiteral("hello.c"), QStringLiteral("docs\\welcome.txt")}));
}

INSTANTIATE_TEST_SUITE_P(Combinations, OptionalFields,
                         ::testing::Values(OptionalFieldsCase{"none", false, false, false, 0},
                                           OptionalFieldsCase{"prev", true, false, false, 0},
                                           OptionalFieldsCase{"next", false, true, false, 0},
                                           OptionalFieldsCase{"prev_next", true, true, false, 0},
                                           OptionalFieldsCase{"reserve_empty", false, false, true, 0},
                                           OptionalFieldsCase{"reserve_1", false, false, true, 1},
                                           OptionalFieldsCase{"reserve_prev", true, false, true, 20},
                                           OptionalFieldsCase{"reserve_next", false, true, true, 255},
                                           OptionalFieldsCase{"reserve_prev_next", true, true, true, 26},
                                           OptionalFieldsCase{"reserve_large_prev_next", true, true, true,
                                                              60000}),
                         morbek::test::CaseName());

TEST_F(CatalogueTest, UnknownFlagBitsAreIgnored) {
    CabWriter w = TwoFiles();
    w.setExtraFlags(0xFFF8);
    const Catalogue cat = read(w.build());
    ASSERT_EQ(cat.outcome, OpenOutcome::Ok);
    EXPECT_EQ(cat.entries.size(), 2u);
}

TEST_F(CatalogueTest, OptionalNameOf255BytesIsReadWhole) {
    CabWriter w = TwoFiles();
    const QByteArray longName(255, 'n');
    w.setPrevCabinet(longName, "d");
    w.setNextCabinet("x", longName);
    const Catalogue cat = read(w.build());
    ASSERT_EQ(cat.outcome, OpenOutcome::Ok);
    EXPECT_EQ(cat.names.PrevCabinetName, QString::fromLatin1(longName));
    EXPECT_EQ(cat.names.PrevDiskName, QStringLiteral("d"));
    EXPECT_EQ(cat.names.NextDiskName, QString::fromLatin1(longName));
}

TEST_F(CatalogueTest, OptionalNameWithoutNulInItsWindowIsRefused) {
    CabWriter w = TwoFiles();
    w.setPrevCabinet(QByteArray(256, 'n'), "d");
    const Catalogue cat = read(w.build());
    EXPECT_EQ(cat.outcome, OpenOutcome::NotCabinet);
    EXPECT_TRUE(cat.entries.empty());
}

TEST_F(CatalogueTest, ReserveRunningPastTheEndIsRefused) {
    CabLayout layout;
    CabWriter w = TwoFiles();
    w.setReserve(0, 0, 0);
    QByteArray cab = w.build(&layout);
    PutU16(cab, layout.optionalFields, 0xFFFF); // cbCFHeader far beyond the file
    EXPECT_EQ(read(cab).outcome, OpenOutcome::NotCabinet);
}

// A cabinet file is not validated: its header values are taken as they stand.
TEST_F(CatalogueTest, CabinetFileHeaderIsNotValidated) {
    QByteArray cab = TwoFiles().build();
    PutU32(cab, kHdrCbCabinet, 3);
    PutU32(cab, kHdrReserved2, 0xDEADBEEF);
    PutU16(cab, kHdrCFolders, 0);
    cab[5] = 'x'; // reserved1 past its first byte
    const Catalogue cat = read(cab);
    ASSERT_EQ(cat.outcome, OpenOutcome::Ok);
    EXPECT_EQ(cat.header.CabSize, 3u);
    EXPECT_EQ(cat.header.FolderCount, 0);
    EXPECT_EQ(cat.entries.size(), 2u);
}

TEST_F(CatalogueTest, NoFilesGivesAnEmptyList) {
    QByteArray cab = TwoFiles().build();
    PutU16(cab, kHdrCFiles, 0);
    const Catalogue cat = read(cab);
    ASSERT_EQ(cat.outcome, OpenOutcome::Ok);
    EXPECT_TRUE(cat.entries.empty());
    EXPECT_EQ(cat.TotalSize, 0u);
}

// Recognition goes by content only.
struct RecognitionCase {
    const char* name;
    QByteArray bytes;
    OpenOutcome outcome;
};

class Recognition : public CatalogueTest, public ::testing::WithParamInterface<RecognitionCase> {};

TEST_P(Recognition, ByContent) {
    EXPECT_EQ(read(GetParam().bytes, QStringLiteral("file.cab")).outcome, GetParam().outcome);
}

QByteArray WithByte(QByteArray bytes, int index, char value) {
    bytes[index] = value;
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Files, Recognition,
    ::testing::Values(
        RecognitionCase{"cabinet", TwoFiles().build(), OpenOutcome::Ok},
        RecognitionCase{"empty", QByteArray(), OpenOutcome::NotCabinet},
        RecognitionCase{"text", QByteArray("just some text, long enough to hold a header of 36 bytes"),
                        OpenOutcome::NotCabinet},
        RecognitionCase{"reserved1_first_byte_set", WithByte(TwoFiles().build(), 4, 1),
                        OpenOutcome::NotCabinet},
        RecognitionCase{"lowercase_signature", WithByte(TwoFiles().build(), 0, 'm'), OpenOutcome::NotCabinet},
        RecognitionCase{"header_35_bytes", TwoFiles().build().left(35), OpenOutcome::NotCabinet},
        RecognitionCase{"signature_only", QByteArray("MSCF\0", 5), OpenOutcome::NotCabinet},
        RecognitionCase{"mz_only", QByteArray("MZ"), OpenOutcome::NotCabinet},
        RecognitionCase{"mz_lowercase", QByteArray("mZ") + TwoFiles().build(), OpenOutcome::NotCabinet},
        RecognitionCase{"mz_without_cabinet", QByteArray("MZ") + QByteArray(20000, '\x90'),
                        OpenOutcome::NotCabinet},
        RecognitionCase{"mz_with_cabinet", CabWriter::embedInExecutable(TwoFiles().build(), 512),
                        OpenOutcome::Ok},
        RecognitionCase{"pe_with_cabinet",
                        QByteArray("PE\0\0", 4) + QByteArray(100, '\0') + TwoFiles().build(),
                        OpenOutcome::Ok},
        RecognitionCase{"zm_with_cabinet", QByteArray("ZM") + QByteArray(100, '\0') + TwoFiles().build(),
                        OpenOutcome::NotCabinet}),
    morbek::test::CaseName());

TEST_F(CatalogueTest, MissingFolderAndLockedFilesCannotBeOpened) {
    EXPECT_EQ(ReadCatalogue(dir.path(QStringLiteral("missing.cab"))).outcome, OpenOutcome::CannotOpen);
    EXPECT_EQ(ReadCatalogue(dir.path(QString())).outcome, OpenOutcome::CannotOpen); // the folder itself

    const QString path = dir.write(QStringLiteral("locked.cab"), TwoFiles().build());
    const int holder = morbek::platform::OpenReadNoShare(path);
    ASSERT_GE(holder, 0);
    EXPECT_EQ(ReadCatalogue(path).outcome, OpenOutcome::CannotOpen);
    morbek::platform::CloseFile(holder);
    EXPECT_EQ(ReadCatalogue(path).outcome, OpenOutcome::Ok);
}

TEST_F(CatalogueTest, FifoCannotBeOpenedAndDoesNotBlock) {
    const QString fifo = dir.path(QStringLiteral("pipe.cab"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(ReadCatalogue(fifo).outcome, OpenOutcome::CannotOpen);
}

// Cutting the file anywhere before the end of the file table refuses it; the folder
// table and data are never read, so cutting after that still lists everything.
TEST_F(CatalogueTest, TruncationBeforeTheEndOfTheFileTableIsRefused) {
    CabWriter w = TwoFiles();
    w.setReserve(10, 0, 0);
    w.setPrevCabinet("a.cab", "disk a");
    w.setNextCabinet("c.cab", "disk c");
    CabLayout layout;
    const QByteArray cab = w.build(&layout);
    const size_t tableEnd = layout.fileRecords.back() + 16 + QByteArray("docs\\welcome.txt").size() + 1;
    for (size_t cut = 0; cut <= static_cast<size_t>(cab.size()); ++cut) {
        const Catalogue cat = read(cab.left(static_cast<qsizetype>(cut)));
        const OpenOutcome expected = cut >= tableEnd ? OpenOutcome::Ok : OpenOutcome::NotCabinet;
        ASSERT_EQ(cat.outcome, expected) << "cut at " << cut;
        if (expected == OpenOutcome::NotCabinet) {
            ASSERT_TRUE(cat.entries.empty()) << "cut at " << cut;
        }
    }
}

TEST_F(CatalogueTest, FileTableIsReadWhereTheHeaderSaysEvenPastTheFolders) {
    // Two records appended after the data; the header is pointed at them.
    CabWriter w = TwoFiles();
    QByteArray cab = w.build();
    const auto hidden = static_cast<uint32_t>(cab.size());
    for (const char* name : {"hidden1.txt", "hidden2.txt"}) {
        QByteArray record(16, '\0');
        PutU32(record, 0, 5);
        PutU16(record, 10, DosDate(2001, 2, 3));
        cab += record + name + '\0';
    }
    PutU32(cab, kHdrCoffFiles, hidden);
    const Catalogue cat = read(cab);
    ASSERT_EQ(cat.outcome, OpenOutcome::Ok);
    EXPECT_EQ(StoredNames(cat),
              (std::vector<QString>{QStringLiteral("hidden1.txt"), QStringLiteral("hidden2.txt")}));

    PutU32(cab, kHdrCoffFiles, static_cast<uint32_t>(cab.size()) + 100);
    EXPECT_EQ(read(cab).outcome, OpenOutcome::NotCabinet);
}

TEST_F(CatalogueTest, MoreRecordsThanTheTableHoldsIsRefused) {
    QByteArray cab = TwoFiles().build();
    PutU16(cab, kHdrCFiles, 3); // the third "record" is the data, without a NUL in reach
    cab.append(QByteArray(300, 'x'));
    const Catalogue cat = read(cab);
    EXPECT_EQ(cat.outcome, OpenOutcome::NotCabinet);
    EXPECT_TRUE(cat.entries.empty());
    EXPECT_EQ(cat.TotalSize, 0u);
}

// Names are read whole, up to the format's 255 bytes.
struct LongNameCase {
    const char* name;
    int length;
    OpenOutcome outcome;
};

class LongNames : public CatalogueTest, public ::testing::WithParamInterface<LongNameCase> {};

TEST_P(LongNames, AreReadWhole) {
    const LongNameCase& c = GetParam();
    QByteArray stored;
    for (int i = 0; stored.size() < c.length - 4; ++i)
        stored += "dir" + QByteArray::number(i % 10) + '\\';
    stored = stored.left(c.length - 4) + ".txt";
    ASSERT_EQ(stored.size(), c.length);
    CabWriter w;
    w.addFolder();
    w.addFile(stored, "data");
    w.addFile("after.txt", "after");
    const Catalogue cat = read(w.build());
    ASSERT_EQ(cat.outcome, c.outcome);
    if (c.outcome != OpenOutcome::Ok)
        return;
    ASSERT_EQ(cat.entries.size(), 2u);
    EXPECT_EQ(cat.entries[0].storedName, stored);
    EXPECT_EQ((cat.entries[0].path + cat.entries[0].fileName).toLatin1(), stored);
    EXPECT_EQ(cat.entries[0].extension, QStringLiteral("txt"));
    EXPECT_EQ(cat.entries[1].fileName,
              QStringLiteral("after.txt")); // the next record is found after a long name
}

INSTANTIATE_TEST_SUITE_P(Lengths, LongNames,
                         ::testing::Values(LongNameCase{"chars65", 65, OpenOutcome::Ok},
                                           LongNameCase{"chars66", 66, OpenOutcome::Ok},
                                           LongNameCase{"chars200", 200, OpenOutcome::Ok},
                                           LongNameCase{"chars255", 255, OpenOutcome::Ok},
                                           LongNameCase{"chars256_no_nul_in_window", 256,
                                                        OpenOutcome::NotCabinet}),
                         morbek::test::CaseName());

TEST_F(CatalogueTest, SizesAreUnsignedAndTheTotalDoesNotWrap) {
    CabWriter w;
    w.addFolder();
    for (int i = 0; i < 2; ++i) {
        CabFileSpec big;
        big.name = "big" + QByteArray::number(i) + ".iso";
        big.declaredSize = 3221225472u; // 3 GiB
        w.addFile(big);
    }
    const Catalogue cat = read(w.build());
    ASSERT_EQ(cat.outcome, OpenOutcome::Ok);
    EXPECT_EQ(cat.entries[0].size, 3221225472u);
    EXPECT_EQ(QString::number(cat.entries[0].size), QStringLiteral("3221225472"));
    EXPECT_EQ(cat.TotalSize, 6442450944u);
}

// Names carry their encoding in the attributes: 0x80 is UTF-8, anything else Windows-1252.
struct NameEncodingCase {
    const char* name;
    QByteArray stored;
    uint16_t attribs;
    QString expected;
};

class NameEncoding : public CatalogueTest, public ::testing::WithParamInterface<NameEncodingCase> {};

TEST_P(NameEncoding, FollowsTheAttributes) {
    const NameEncodingCase& c = GetParam();
    CabWriter w;
    w.addFolder();
    CabFileSpec spec;
    spec.name = c.stored;
    spec.attribs = c.attribs;
    w.addFile(spec);
    const Catalogue cat = read(w.build());
    ASSERT_EQ(cat.outcome, OpenOutcome::Ok);
    EXPECT_EQ(cat.entries[0].path + cat.entries[0].fileName, c.expected);
    EXPECT_EQ(cat.entries[0].storedName, c.stored);
}

INSTANTIATE_TEST_SUITE_P(
    Names, NameEncoding,
    ::testing::Values(
        NameEncodingCase{"ansi_latin1", "caf\xe9.txt", 0x20, U(u"caf\u00E9.txt")},
        NameEncodingCase{"ansi_euro_and_quotes", "\x80\x93x\x94.txt", 0x20, U(u"\u20AC\u201Cx\u201D.txt")},
        NameEncodingCase{"ansi_undefined_bytes", "\x81\x8d\x8f\x90\x9d", 0x00,
                         U(u"\u0081\u008D\u008F\u0090\u009D")},
        NameEncodingCase{"utf8", "caf\xc3\xa9\\\xe2\x82\xac.txt", 0xA0, U(u"caf\u00E9\\\u20AC.txt")},
        NameEncodingCase{"utf8_bytes_as_ansi", "caf\xc3\xa9", 0x20, U(u"caf\u00C3\u00A9")},
        NameEncodingCase{"invalid_utf8",
                         "a\xff"
                         "b",
                         0x80, U(u"a\uFFFDb")}),
    morbek::test::CaseName());

TEST_F(CatalogueTest, BadDatesShowDateErrAndTheWalkGoesOn) {
    CabWriter w;
    w.addFolder();
    CabFileSpec good;
    good.name = "good.txt";
    good.date = DosDate(1998, 6, 15);
    good.time = DosTime(0, 0, 0);
    CabFileSpec bad = good;
    bad.name = "bad.txt";
    bad.date = DosDate(1998, 2, 30);
    CabFileSpec after = good;
    after.name = "after.txt";
    after.time = DosTime(14, 5, 6);
    w.addFile(good);
    w.addFile(bad);
    w.addFile(after);
    const Catalogue cat = read(w.build());
    ASSERT_EQ(cat.outcome, OpenOutcome::Ok);
    ASSERT_EQ(cat.entries.size(), 3u);
    EXPECT_EQ(cat.entries[0].dateText, QStringLiteral("6/15/1998")); // midnight: the date alone
    EXPECT_EQ(cat.entries[1].dateText, QStringLiteral("Date Err."));
    EXPECT_EQ(cat.entries[2].dateText, QStringLiteral("6/15/1998 2:05:06 PM"));
}

TEST_F(CatalogueTest, ProgressIsCalledOncePerRecord) {
    CabWriter w;
    w.addFolder();
    for (int i = 0; i < 37; ++i)
        w.addFile("f" + QByteArray::number(i), "x");
    int calls = 0;
    const Catalogue cat = ReadCatalogue(dir.write(QStringLiteral("p.cab"), w.build()), [&] { ++calls; });
    ASSERT_EQ(cat.outcome, OpenOutcome::Ok);
    EXPECT_EQ(calls, 37);
}

TEST_F(CatalogueTest, FullTableOf65535Entries) {
    CabWriter w;
    w.addFolder(CabMethod::MsZip);
    for (int i = 0; i < 65535; ++i)
        w.addFile("dir" + QByteArray::number(i % 100) + "\\file" + QByteArray::number(i) + ".dat",
                  QByteArray(3, 'a'));
    const Catalogue cat = read(w.build());
    ASSERT_EQ(cat.outcome, OpenOutcome::Ok);
    ASSERT_EQ(cat.entries.size(), 65535u);
    EXPECT_EQ(cat.entries.back().fileName, QStringLiteral("file65534.dat"));
    EXPECT_EQ(cat.entries.back().path, QStringLiteral("dir34\\"));
    EXPECT_EQ(cat.TotalSize, 3u * 65535u);
}

// ---- Executables carrying a cabinet ----

TEST_F(CatalogueTest, EmbeddedCabinetIsFoundAndItsTableReadRelativeToIt) {
    CabWriter w = TwoFiles();
    w.setPrevCabinet("p.cab", "p");
    const QByteArray cab = w.build();
    const QByteArray exe = CabWriter::embedInExecutable(cab, 30000, QByteArray(1000, '\xCC'));
    const Catalogue cat = read(exe, QStringLiteral("setup.exe"));
    ASSERT_EQ(cat.outcome, OpenOutcome::Ok);
    EXPECT_EQ(cat.location.CabEmbedded, 1);
    EXPECT_EQ(cat.location.CabOffset, 30000);
    EXPECT_EQ(cat.location.HostFileSize, exe.size());
    EXPECT_EQ(cat.header.CabSize, static_cast<uint32_t>(cab.size()));
    EXPECT_EQ(cat.names.PrevCabinetName, QStringLiteral("p.cab"));
    EXPECT_EQ(StoredNames(cat),
              (std::vector<QString>{QStringLiteral("hello.c"), QStringLiteral("docs\\welcome.txt")}));
}

// The embedded header must fit what is left of the executable; one byte of slack is
// accepted, as the original reader's check allowed.
struct EmbeddedCase {
    const char* name;
    int64_t sizeDelta; // cbCabinet relative to the bytes left from the header on
    OpenOutcome outcome;
};

class EmbeddedSize : public CatalogueTest, public ::testing::WithParamInterface<EmbeddedCase> {};

TEST_P(EmbeddedSize, AgainstTheRestOfTheFile) {
    const QByteArray cab = TwoFiles().build();
    const QByteArray suffix(64, '\0');
    QByteArray exe = CabWriter::embedInExecutable(cab, 4096, suffix);
    const int64_t left = exe.size() - 4096;
    PutU32(exe, 4096 + kHdrCbCabinet, static_cast<uint32_t>(left + GetParam().sizeDelta));
    const Catalogue cat = read(exe, QStringLiteral("a.exe"));
    EXPECT_EQ(cat.outcome, GetParam().outcome);
    EXPECT_EQ(cat.location.CabOffset, 4096); // kept also when refused
    EXPECT_EQ(cat.location.HostFileSize, exe.size());
    EXPECT_EQ(cat.location.CabEmbedded, GetParam().outcome == OpenOutcome::Ok ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, EmbeddedSize,
                         ::testing::Values(EmbeddedCase{"exact", 0, OpenOutcome::Ok},
                                           EmbeddedCase{"plus_one", 1, OpenOutcome::Ok},
                                           EmbeddedCase{"plus_two", 2, OpenOutcome::NotCabinet},
                                           EmbeddedCase{"smaller", -100, OpenOutcome::Ok}),
                         morbek::test::CaseName());

struct EmbeddedFieldCase {
    const char* name;
    size_t offset;
    int width;
    uint32_t value;
    OpenOutcome outcome;
};

class EmbeddedValidation : public CatalogueTest, public ::testing::WithParamInterface<EmbeddedFieldCase> {};

TEST_P(EmbeddedValidation, HeaderFields) {
    const EmbeddedFieldCase& c = GetParam();
    QByteArray exe = CabWriter::embedInExecutable(TwoFiles().build(), 1000, QByteArray(16, '\0'));
    if (c.width == 2)
        PutU16(exe, 1000 + c.offset, static_cast<uint16_t>(c.value));
    else
        PutU32(exe, 1000 + c.offset, c.value);
    EXPECT_EQ(read(exe, QStringLiteral("b.exe")).outcome, c.outcome);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, EmbeddedValidation,
    ::testing::Values(EmbeddedFieldCase{"size_8", kHdrCbCabinet, 4, 8, OpenOutcome::NotCabinet},
                      EmbeddedFieldCase{"size_9", kHdrCbCabinet, 4, 9, OpenOutcome::Ok},
                      EmbeddedFieldCase{"size_negative", kHdrCbCabinet, 4, 0x80000000u,
                                        OpenOutcome::NotCabinet},
                      EmbeddedFieldCase{"reserved2_set", kHdrReserved2, 4, 1, OpenOutcome::NotCabinet},
                      EmbeddedFieldCase{"reserved3_set", kHdrReserved3, 4, 1, OpenOutcome::Ok},
                      EmbeddedFieldCase{"no_folders", kHdrCFolders, 2, 0, OpenOutcome::NotCabinet},
                      EmbeddedFieldCase{"no_files", kHdrCFiles, 2, 0, OpenOutcome::NotCabinet}),
    morbek::test::CaseName());

TEST_F(CatalogueTest, OnlyTheFirstSignatureIsTried) {
    // A pattern in the "code" with no plausible header behind it, a real cabinet later.
    QByteArray exe = CabWriter::embedInExecutable(QByteArray(kPattern) + QByteArray(40, '\xFF'), 700);
    exe.append(QByteArray(5000, '\x90'));
    const qsizetype realOffset = exe.size();
    exe.append(TwoFiles().build());
    const Catalogue cat = read(exe, QStringLiteral("c.exe"));
    EXPECT_EQ(cat.outcome, OpenOutcome::NotCabinet);
    EXPECT_EQ(cat.location.CabOffset, 700);
    EXPECT_EQ(cat.location.CabEmbedded, 0);

    // The same executable without the decoy lists the cabinet.
    QByteArray clean = exe;
    clean.replace(700, 8, QByteArray(8, '\x90'));
    const Catalogue found = read(clean, QStringLiteral("d.exe"));
    ASSERT_EQ(found.outcome, OpenOutcome::Ok);
    EXPECT_EQ(found.location.CabOffset, realOffset);
}

TEST_F(CatalogueTest, EmbeddedHeaderCutByTheEndOfFileIsRefused) {
    QByteArray exe = CabWriter::embedInExecutable(TwoFiles().build(), 300).left(300 + 20);
    const Catalogue cat = read(exe, QStringLiteral("e.exe"));
    EXPECT_EQ(cat.outcome, OpenOutcome::NotCabinet);
    EXPECT_EQ(cat.location.CabOffset, 300);
}

// The signature search at offsets around the window edges (windows start every 8183
// bytes and are 8192 long), in the middle of the file and at its very end.
class SignatureSearch : public CatalogueTest, public ::testing::WithParamInterface<int> {};

TEST_P(SignatureSearch, FindsThePatternWherever) {
    const int at = GetParam();
    QByteArray bytes(at + 8 + (at % 2 ? 0 : 50), '\x90'); // odd offsets end the file with the pattern
    bytes.replace(at, 8, kPattern);
    const QString path = dir.write(QStringLiteral("s.bin"), bytes);
    const int fd = morbek::platform::OpenReadNoShare(path);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(FindCabinetSignature(kPattern, fd), at);
    morbek::platform::CloseFile(fd);
}

INSTANTIATE_TEST_SUITE_P(Offsets, SignatureSearch,
                         ::testing::Values(1, 100, 8175, 8176, 8183, 8184, 8185, 8186, 8190, 8191, 8192,
                                           16358, 16366, 16367, 16373, 24549, 24560, 100000));

TEST_F(CatalogueTest, SignatureSearchReportsTheFirstMatch) {
    QByteArray two(40000, 'x');
    two.replace(9000, 8, kPattern);
    two.replace(20000, 8, kPattern);
    const int fd = morbek::platform::OpenReadNoShare(dir.write(QStringLiteral("u.bin"), two));
    ASSERT_GE(fd, 0);
    EXPECT_EQ(FindCabinetSignature(kPattern, fd), 9000);
    EXPECT_EQ(FindCabinetSignature(QByteArray("nothere!"), fd), 0);
    morbek::platform::CloseFile(fd);
}

TEST_F(CatalogueTest, EmbeddedCabinetStraddlingTheFirstWindowIsListed) {
    const QByteArray exe = CabWriter::embedInExecutable(TwoFiles().build(), 8190);
    const Catalogue cat = read(exe, QStringLiteral("f.exe"));
    ASSERT_EQ(cat.outcome, OpenOutcome::Ok);
    EXPECT_EQ(cat.location.CabOffset, 8190);
    EXPECT_EQ(cat.entries.size(), 2u);
}

// ---- Name split ----

struct SplitCase {
    const char* name;
    QString stored, fileName, path, extension;
};

class NameSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(NameSplit, AtTheLastBackslashAndTheLastDot) {
    const SplitCase& c = GetParam();
    QString fileName, path, extension;
    SplitStoredName(c.stored, fileName, path, extension);
    EXPECT_EQ(fileName, c.fileName);
    EXPECT_EQ(path, c.path);
    EXPECT_EQ(extension, c.extension);
}

INSTANTIATE_TEST_SUITE_P(
    Names, NameSplit,
    ::testing::Values(SplitCase{"plain", "readme.txt", "readme.txt", "", "txt"},
                      SplitCase{"no_extension", "README", "README", "", ""},
                      SplitCase{"in_folders", "a\\b\\c.tar.gz", "c.tar.gz", "a\\b\\", "gz"},
                      SplitCase{"trailing_backslash", "docs\\", "", "docs\\", ""},
                      SplitCase{"dot_in_path_only", "v1.2\\notes", "notes", "v1.2\\", "2\\notes"},
                      SplitCase{"trailing_dot", "name.", "name.", "", ""},
                      SplitCase{"dot_file", ".profile", ".profile", "", "profile"},
                      SplitCase{"leading_backslash", "\\root.ini", "root.ini", "\\", "ini"},
                      SplitCase{"slash_is_no_separator", "a/b.c", "a/b.c", "", "c"},
                      SplitCase{"empty", "", "", "", ""}),
    morbek::test::CaseName());

} // namespace
