#include "platform/avi/AviReader.h"
#include "resources/StringTable.h"
#include "tests/support/AviWriter.h"
#include "tests/support/Files.h"
#include "tests/support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sys/stat.h>

using namespace morbek::platform::avi;
using namespace morbek::test;

namespace {

QString SourceFile(const QString& relative) {
    return QDir(qEnvironmentVariable("MORBEK_SOURCE_DIR")).filePath(relative);
}

// --- the program's clip ---------------------------------------------------------------

class ProgramClip : public ::testing::Test {
protected:
    void SetUp() override {
        morbek::EnsureResources();
        ASSERT_TRUE(LoadClip(QStringLiteral(":/avi/100"), clip));
    }
    Clip clip;
};

TEST_F(ProgramClip, Is80x50With29FramesAt6PerSecond) {
    EXPECT_EQ(clip.size, QSize(80, 50));
    EXPECT_EQ(clip.frames.size(), 29u);
    EXPECT_EQ(clip.microSecPerFrame, 166666u);
    EXPECT_EQ(qRound(1e6 / clip.microSecPerFrame), 6);
    for (const QImage& frame : clip.frames) {
        EXPECT_EQ(frame.size(), QSize(80, 50));
        EXPECT_EQ(frame.format(), QImage::Format_Indexed8);
        EXPECT_EQ(frame.colorCount(), 256);
    }
}

TEST_F(ProgramClip, IsTheRunLengthEncodedFileOfTheRepository) {
    QFile file(SourceFile(QStringLiteral("resources/clip/morbek.avi")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_GE(bytes.size(), 0x100);
    // BITMAPINFOHEADER.biCompression of the one stream: BI_RLE8.
    const qsizetype strf = bytes.indexOf("strf");
    ASSERT_GT(strf, 0);
    EXPECT_EQ(bytes.at(strf + 8 + 16), 1);
    EXPECT_EQ(bytes.count("00dc"), 2 * 29); // the frames and their index entries
    EXPECT_EQ(bytes.indexOf("auds"), -1);   // no sound
}

// The script writes the same frames uncompressed as well: decoding the run-length
// encoded clip, deltas and all, must give those source pictures exactly.
TEST_F(ProgramClip, EveryFrameEqualsTheScriptsSourcePicture) {
    Clip source;
    ASSERT_TRUE(LoadClip(SourceFile(QStringLiteral("tests/platform/data/morbek-raw.avi")), source));
    ASSERT_EQ(source.frames.size(), clip.frames.size());
    for (size_t n = 0; n < clip.frames.size(); ++n) {
        const QImage decoded = clip.frames[n].convertToFormat(QImage::Format_RGB32);
        const QImage expected = source.frames[n].convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(decoded, expected) << "frame " << n;
    }
    // Consecutive frames are not all alike: the page moves.
    int changes = 0;
    for (size_t n = 1; n < clip.frames.size(); ++n)
        changes += clip.frames[n].convertToFormat(QImage::Format_RGB32) !=
                   clip.frames[n - 1].convertToFormat(QImage::Format_RGB32);
    EXPECT_GE(changes, 25);
}

TEST_F(ProgramClip, ShowsTheBoxOnItsBackground) {
    const QImage& first = clip.frames.front();
    EXPECT_EQ(clip.background, qRgb(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(first.pixel(0, 0), clip.background);
    EXPECT_EQ(first.pixel(6, 28), qRgb(0, 0, 0));     // the box's top-left corner
    EXPECT_EQ(first.pixel(10, 31), qRgb(0xC8, 0, 0)); // its red stripe
    EXPECT_EQ(first.pixel(58, 30), qRgb(0, 0x80, 0)); // the folder's tab
}

// --- run-length decoding ----------------------------------------------------------------

constexpr int kW = 4;
constexpr int kH = 3;
constexpr uint8_t kOld = 9;      // the previous frame's pixels
constexpr uint8_t kGuard = 0xEE; // bytes around the picture that must stay untouched

struct RleCase {
    const char* name;
    std::vector<uint8_t> data;
    bool ok;
    const char* picture; // top line first, one digit per pixel; only when ok
};

void PrintTo(const RleCase& c, std::ostream* os) {
    *os << c.name;
}

class Rle8 : public ::testing::TestWithParam<RleCase> {};

TEST_P(Rle8, DecodesOntoThePreviousFrameWithinThePicture) {
    const RleCase& c = GetParam();
    std::vector<uint8_t> buffer(64 + kW * kH + 64, kGuard);
    uint8_t* pixels = buffer.data() + 64;
    std::fill(pixels, pixels + kW * kH, kOld);
    EXPECT_EQ(DecodeRle8(c.data.data(), c.data.size(), kW, kH, pixels), c.ok);
    for (size_t i = 0; i < 64; ++i) {
        ASSERT_EQ(buffer[i], kGuard) << "written before the picture";
        ASSERT_EQ(buffer[64 + kW * kH + i], kGuard) << "written after the picture";
    }
    if (!c.ok)
        return;
    std::string got;
    for (int i = 0; i < kW * kH; ++i)
        got += static_cast<char>('0' + pixels[i]);
    EXPECT_EQ(got, c.picture);
}

INSTANTIATE_TEST_SUITE_P(Codes, Rle8,
                         ::testing::Values(
                             // Lines are stored bottom-up.
                             RleCase{"encoded_run",
                                     {3, 5, 0, 1},
                                     true,
                                     "9999"
                                     "9999"
                                     "5559"},
                             RleCase{"end_of_line",
                                     {2, 1, 0, 0, 2, 2, 0, 1},
                                     true,
                                     "9999"
                                     "2299"
                                     "1199"},
                             RleCase{"end_of_line_after_last_line",
                                     {4, 1, 0, 0, 4, 2, 0, 0, 4, 3, 0, 0, 0, 1},
                                     true,
                                     "3333"
                                     "2222"
                                     "1111"},
                             RleCase{"delta_right_and_up",
                                     {0, 2, 1, 1, 1, 7, 0, 1},
                                     true,
                                     "9999"
                                     "9799"
                                     "9999"},
                             RleCase{"delta_to_the_line_end",
                                     {0, 2, 4, 0, 0, 0, 1, 6, 0, 1},
                                     true,
                                     "9999"
                                     "6999"
                                     "9999"},
                             RleCase{"absolute_odd_with_pad",
                                     {0, 3, 1, 2, 3, 0, 1, 4, 0, 1},
                                     true,
                                     "9999"
                                     "9999"
                                     "1234"},
                             RleCase{"absolute_even",
                                     {0, 4, 4, 3, 2, 1, 0, 1},
                                     true,
                                     "9999"
                                     "9999"
                                     "4321"},
                             RleCase{"data_after_the_end_ignored",
                                     {1, 1, 0, 1, 200, 200},
                                     true,
                                     "9999"
                                     "9999"
                                     "1999"},
                             RleCase{"run_past_line_end", {5, 1, 0, 1}, false, ""},
                             RleCase{"run_after_partial_line", {3, 1, 2, 1, 0, 1}, false, ""},
                             RleCase{"absolute_past_line_end", {2, 1, 0, 3, 1, 2, 3, 0, 0, 1}, false, ""},
                             RleCase{"delta_past_right_edge", {0, 2, 5, 0, 0, 1}, false, ""},
                             RleCase{"delta_past_top", {0, 2, 0, 4, 0, 1}, false, ""},
                             RleCase{"run_above_the_picture", {0, 0, 0, 0, 0, 0, 1, 1, 0, 1}, false, ""},
                             RleCase{"end_of_line_past_top", {0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, false, ""},
                             RleCase{"empty", {}, false, ""}, RleCase{"half_a_code", {3}, false, ""},
                             RleCase{"run_without_end_code", {4, 1}, false, ""},
                             RleCase{"truncated_absolute", {0, 3, 1, 2}, false, ""},
                             RleCase{"absolute_without_pad", {0, 3, 1, 2, 3}, false, ""},
                             RleCase{"truncated_delta", {0, 2, 1}, false, ""}),
                         morbek::test::CaseName());

// --- clip structure ------------------------------------------------------------------------

QByteArray Rle(std::initializer_list<int> codes) {
    return Chunk("00dc", Bytes(codes));
}

// Two 4x3 frames: the first paints everything, the second only its bottom-left pixel.
AviSpec TwoFrames() {
    AviSpec s;
    s.movi = {Rle({4, 1, 0, 0, 4, 2, 0, 0, 4, 3, 0, 1}), Rle({1, 0, 0, 1})};
    return s;
}

QString Picture(const QImage& frame) {
    QString text;
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x)
            text += QChar('0' + frame.pixelIndex(x, y));
    return text;
}

TEST(AviClip, ReadsFramesPaletteAndRate) {
    Clip clip;
    ASSERT_TRUE(ReadClip(BuildAvi(TwoFrames()), clip));
    EXPECT_EQ(clip.size, QSize(4, 3));
    EXPECT_EQ(clip.microSecPerFrame, 100000u);
    ASSERT_EQ(clip.frames.size(), 2u);
    EXPECT_EQ(Picture(clip.frames[0]), QStringLiteral("333322221111"));
    EXPECT_EQ(Picture(clip.frames[1]), QStringLiteral("333322220111"));
    EXPECT_EQ(clip.frames[0].pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(clip.frames[0].color(200), qRgb(0, 0, 0)); // entries the file lacks
    EXPECT_EQ(clip.background, qRgb(0, 0, 255));
}

TEST(AviClip, UncompressedLinesBottomUpAndTopDown) {
    AviSpec s;
    s.width = 3;
    s.mainWidth = 3;
    s.height = 2;
    s.mainHeight = 2;
    s.compression = 0;
    // Lines of 3 pixels padded to 4 bytes.
    s.movi = {Chunk("00db", Bytes({1, 2, 3, 0, 0, 1, 2, 0}))};
    Clip clip;
    ASSERT_TRUE(ReadClip(BuildAvi(s), clip));
    EXPECT_EQ(Picture(clip.frames[0]), QStringLiteral("012123"));
    s.height = -2;
    ASSERT_TRUE(ReadClip(BuildAvi(s), clip));
    EXPECT_EQ(Picture(clip.frames[0]), QStringLiteral("123012"));
}

TEST(AviClip, PaletteChangeAppliesToTheFramesAfterIt) {
    AviSpec s = TwoFrames();
    s.movi.insert(s.movi.begin() + 1, Chunk("00pc", Bytes({1, 1, 0, 0, 10, 20, 30, 0})));
    Clip clip;
    ASSERT_TRUE(ReadClip(BuildAvi(s), clip));
    EXPECT_EQ(clip.frames[0].color(1), qRgb(255, 0, 0));
    EXPECT_EQ(clip.frames[1].color(1), qRgb(10, 20, 30));
    EXPECT_EQ(clip.frames[1].color(2), qRgb(0, 255, 0));
}

TEST(AviClip, EmptyChunkRepeatsAFrameAndRecordListsAreRead) {
    AviSpec s = TwoFrames();
    s.movi = {List("LIST", "rec ", s.movi[0] + Chunk("00dc", QByteArray())), s.movi[1]};
    Clip clip;
    ASSERT_TRUE(ReadClip(BuildAvi(s), clip));
    ASSERT_EQ(clip.frames.size(), 3u);
    EXPECT_EQ(Picture(clip.frames[1]), Picture(clip.frames[0]));
}

TEST(AviClip, OtherStreamsAreSkipped) {
    AviSpec s = TwoFrames();
    s.audioStreamFirst = true; // the video stream is then stream 01
    s.movi = {Chunk("00wb", QByteArray(100, '\x7f')), Rle({4, 1, 0, 1}), Rle({1, 2, 0, 1})};
    QByteArray avi = BuildAvi(s);
    Clip clip;
    EXPECT_FALSE(ReadClip(avi, clip)); // no frame of stream 01
    avi.replace("00dc", "01dc");
    ASSERT_TRUE(ReadClip(avi, clip));
    EXPECT_EQ(clip.frames.size(), 2u);
}

struct BadClip {
    const char* name;
    AviSpec spec;
};
void PrintTo(const BadClip& c, std::ostream* os) {
    *os << c.name;
}

AviSpec With(std::function<void(AviSpec&)> change) {
    AviSpec s = TwoFrames();
    change(s);
    return s;
}

class RefusedClip : public ::testing::TestWithParam<BadClip> {};

TEST_P(RefusedClip, LeavesTheClipEmpty) {
    Clip clip;
    ASSERT_TRUE(ReadClip(BuildAvi(TwoFrames()), clip));
    EXPECT_FALSE(ReadClip(BuildAvi(GetParam().spec), clip));
    EXPECT_TRUE(clip.isEmpty());
    EXPECT_EQ(clip.size, QSize());
}

INSTANTIATE_TEST_SUITE_P(
    Clips, RefusedClip,
    ::testing::Values(
        BadClip{"no_frames", With([](AviSpec& s) { s.movi.clear(); })},
        BadClip{"run_leaves_the_picture", With([](AviSpec& s) {
                    s.movi[1] = Rle({8, 1, 0, 1});
                })},
        BadClip{"rle_without_end", With([](AviSpec& s) {
                    s.movi[1] = Rle({1, 1});
                })},
        BadClip{"frame_larger_than_the_clip", With([](AviSpec& s) { s.mainWidth = 3; })},
        BadClip{"taller_than_the_clip", With([](AviSpec& s) { s.mainHeight = 2; })},
        BadClip{"zero_width", With([](AviSpec& s) { s.width = 0; })},
        BadClip{"too_wide", With([](AviSpec& s) { s.width = s.mainWidth = kMaxDimension + 1; })},
        BadClip{"top_down_rle", With([](AviSpec& s) { s.height = -3; })},
        BadClip{"24_bits", With([](AviSpec& s) { s.bitCount = 24; })},
        BadClip{"rle4", With([](AviSpec& s) { s.compression = 2; })},
        BadClip{"too_many_colours", With([](AviSpec& s) { s.colorsUsed = 257; })},
        BadClip{"short_uncompressed_frame", With([](AviSpec& s) {
                    s.compression = 0;
                    s.movi = {Chunk("00db", QByteArray(11, '\1'))};
                })},
        BadClip{"palette_change_past_256", With([](AviSpec& s) {
                    s.movi.push_back(Chunk("00pc", Bytes({250, 10, 0, 0}) + QByteArray(40, '\0')));
                })},
        BadClip{"short_palette_change", With([](AviSpec& s) {
                    s.movi.push_back(Chunk("00pc", Bytes({0, 4, 0, 0, 1, 2, 3, 0})));
                })},
        BadClip{"too_many_frames",
                With([](AviSpec& s) { s.movi.resize(kMaxFrames + 1, Chunk("00dc", QByteArray())); })},
        // 17 frames of 2048 x 2048 pixels need more than the 64 MiB a clip may decode to.
        BadClip{"decoded_size_cap", With([](AviSpec& s) {
                    s.width = s.mainWidth = s.height = s.mainHeight = 2048;
                    s.movi.assign(17, Chunk("00dc", QByteArray()));
                })}),
    morbek::test::CaseName());

TEST(AviClip, EveryTruncationIsRefused) {
    const QByteArray avi = BuildAvi(TwoFrames());
    Clip clip;
    ASSERT_TRUE(ReadClip(avi, clip));
    for (qsizetype n = 0; n < avi.size(); ++n)
        EXPECT_FALSE(ReadClip(QByteArrayView(avi.constData(), n), clip)) << n << " bytes";
}

TEST(AviClip, ChunksThatOverrunTheirListAreRefused) {
    const QByteArray avi = BuildAvi(TwoFrames());
    Clip clip;
    // Each chunk of the clip, in turn, claims one byte more than it has: every one then
    // reaches past its list (the last chunk of a list is not padded here).
    for (const char* id : {"avih", "strh", "strf", "00dc", "LIST"}) {
        QByteArray damaged = avi;
        const qsizetype at = damaged.lastIndexOf(id);
        ASSERT_GT(at, 0) << id;
        const uint32_t size = static_cast<uint8_t>(damaged[at + 4]) | static_cast<uint8_t>(damaged[at + 5])
                                                                          << 8;
        damaged.replace(at + 4, 4, Le32(size + 200));
        EXPECT_FALSE(ReadClip(damaged, clip)) << id;
    }
    QByteArray notAvi = avi;
    notAvi.replace(8, 4, "WAVE");
    EXPECT_FALSE(ReadClip(notAvi, clip));
}

// --- files -----------------------------------------------------------------------------

TEST(AviFile, OnlyRegularFilesWithinTheSizeLimitAreRead) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString good = dir.filePath(QStringLiteral("good.avi"));
    { ASSERT_TRUE(morbek::test::WriteFile(good, BuildAvi(TwoFrames()))); }
    Clip clip;
    EXPECT_TRUE(LoadClip(good, clip));
    EXPECT_FALSE(LoadClip(dir.filePath(QStringLiteral("missing.avi")), clip));
    EXPECT_TRUE(clip.isEmpty());
    EXPECT_FALSE(LoadClip(dir.path(), clip));
    EXPECT_FALSE(LoadClip(QString(), clip));

    // A pipe would block the reader forever.
    const QString fifo = dir.filePath(QStringLiteral("pipe.avi"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(LoadClip(fifo, clip));

    // A valid clip followed by a hole past the size limit (sparse: costs no disk).
    const QString huge = dir.filePath(QStringLiteral("huge.avi"));
    ASSERT_TRUE(QFile::copy(good, huge));
    ASSERT_TRUE(QFile::resize(huge, kMaxFileSize + 1));
    EXPECT_FALSE(LoadClip(huge, clip));
}

} // namespace
