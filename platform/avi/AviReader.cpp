#include "platform/avi/AviReader.h"

#include <QFile>
#include <QFileInfo>
#include <QList>

#include <algorithm>
#include <cstring>

namespace morbek::platform::avi {

namespace {

// RIFF: every chunk is a four-character code, a 32-bit little-endian size and the body,
// padded to an even length. "RIFF" and "LIST" bodies start with a type code followed by
// further chunks. An AVI file is RIFF 'AVI ' holding LIST 'hdrl' (the main header
// 'avih' and one LIST 'strl' per stream with 'strh' and 'strf') and LIST 'movi' (the
// data chunks, named by the stream number in two digits and a kind: 'db' uncompressed
// picture, 'dc' compressed picture, 'pc' palette change; possibly grouped in LIST 'rec ').
constexpr size_t kChunkHeader = 8;
constexpr size_t kMainHeaderMin = 40;    // 'avih' up to dwWidth, dwHeight
constexpr size_t kStreamHeaderMin = 32;  // 'strh' up to dwRate
constexpr size_t kBitmapInfoHeader = 40; // BITMAPINFOHEADER
constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_RLE8 = 1;
constexpr int kPaletteSize = 256;
constexpr int kMaxStreams = 100; // two digits name a stream's chunks

uint16_t U16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
int32_t S32(const uint8_t* p) {
    return static_cast<int32_t>(U32(p));
}
bool Is(const uint8_t* code, const char* expected) {
    return std::memcmp(code, expected, 4) == 0;
}

struct Chunk {
    const uint8_t* id = nullptr;
    const uint8_t* body = nullptr;
    size_t size = 0;

    bool isList(const char* type) const { return Is(id, "LIST") && size >= 4 && Is(body, type); }
    // The chunks inside a list.
    const uint8_t* listBody() const { return body + 4; }
    size_t listSize() const { return size - 4; }
};

// Walks the chunks of one container. A chunk that claims more than its container holds,
// or stray bytes too short for a chunk header, mark the container bad.
class ChunkWalker {
public:
    ChunkWalker(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool next(Chunk& chunk) {
        if (pos_ == size_ || bad_)
            return false;
        if (size_ - pos_ < kChunkHeader) {
            bad_ = true;
            return false;
        }
        const uint8_t* header = data_ + pos_;
        const uint32_t length = U32(header + 4);
        if (length > size_ - pos_ - kChunkHeader) {
            bad_ = true;
            return false;
        }
        chunk = {header, header + kChunkHeader, length};
        pos_ += kChunkHeader + length;
        // The pad byte of the container's last chunk may be missing.
        if ((length & 1) && pos_ < size_)
            ++pos_;
        return true;
    }
    bool bad() const { return bad_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    bool bad_ = false;
};

struct VideoFormat {
    int number = -1; // stream number, -1 until a video stream is found
    int width = 0;
    int height = 0; // always positive here
    bool bottomUp = true;
    uint32_t compression = BI_RGB;
    uint32_t scale = 0;
    uint32_t rate = 0;
    QList<QRgb> palette;
};

bool ReadBitmapFormat(const Chunk& strf, VideoFormat& format) {
    if (strf.size < kBitmapInfoHeader)
        return false;
    const uint8_t* b = strf.body;
    const uint32_t headerSize = U32(b);
    const int32_t width = S32(b + 4);
    const int32_t height = S32(b + 8);
    const uint16_t bitCount = U16(b + 14);
    const uint32_t compression = U32(b + 16);
    const uint32_t colorsUsed = U32(b + 32);
    if (headerSize < kBitmapInfoHeader || headerSize > strf.size || bitCount != 8)
        return false;
    if (compression != BI_RGB && compression != BI_RLE8)
        return false;
    // A negative height means top-down lines, which only uncompressed pictures allow.
    if (width < 1 || width > kMaxDimension || height == 0 || height < -kMaxDimension ||
        height > kMaxDimension)
        return false;
    if (height < 0 && compression != BI_RGB)
        return false;
    const uint32_t colors = colorsUsed == 0 ? kPaletteSize : colorsUsed;
    if (colors > kPaletteSize)
        return false;
    format.width = width;
    format.height = height < 0 ? -height : height;
    format.bottomUp = height > 0;
    format.compression = compression;
    // Entries the file leaves out stay black.
    format.palette = QList<QRgb>(kPaletteSize, qRgb(0, 0, 0));
    const size_t present = std::min<size_t>(colors, (strf.size - headerSize) / 4);
    for (size_t i = 0; i < present; ++i) {
        const uint8_t* q = b + headerSize + 4 * i; // RGBQUAD: blue, green, red, reserved
        format.palette[static_cast<qsizetype>(i)] = qRgb(q[2], q[1], q[0]);
    }
    return true;
}

// Finds the first video stream in LIST 'hdrl'. False when the header is malformed or a
// video stream has a format this reader cannot show.
bool ReadHeaders(const Chunk& hdrl, uint32_t& microSecPerFrame, QSize& mainSize, VideoFormat& format) {
    bool haveMain = false;
    int streams = 0;
    ChunkWalker walker(hdrl.listBody(), hdrl.listSize());
    Chunk chunk;
    while (walker.next(chunk)) {
        if (Is(chunk.id, "avih")) {
            if (chunk.size < kMainHeaderMin)
                return false;
            microSecPerFrame = U32(chunk.body);
            mainSize = QSize(static_cast<int>(std::min<uint32_t>(U32(chunk.body + 32), 1u << 30)),
                             static_cast<int>(std::min<uint32_t>(U32(chunk.body + 36), 1u << 30)));
            haveMain = true;
        } else if (chunk.isList("strl")) {
            const int number = streams++;
            if (format.number >= 0 || number >= kMaxStreams)
                continue;
            bool video = false;
            bool formatRead = false;
            VideoFormat candidate;
            ChunkWalker inner(chunk.listBody(), chunk.listSize());
            Chunk part;
            while (inner.next(part)) {
                if (Is(part.id, "strh")) {
                    if (part.size < kStreamHeaderMin)
                        return false;
                    video = Is(part.body, "vids");
                    candidate.scale = U32(part.body + 20);
                    candidate.rate = U32(part.body + 24);
                } else if (Is(part.id, "strf") && video && !formatRead) {
                    if (!ReadBitmapFormat(part, candidate))
                        return false;
                    formatRead = true;
                }
            }
            if (inner.bad() || (video && !formatRead))
                return false;
            if (video) {
                candidate.number = number;
                format = std::move(candidate);
            }
        }
    }
    return !walker.bad() && haveMain && format.number >= 0;
}

// Decodes the data chunks of the video stream, in file order, into frames.
class FrameDecoder {
public:
    FrameDecoder(const VideoFormat& format, Clip& clip)
        : format_(format), clip_(clip), palette_(format.palette),
          canvas_(static_cast<size_t>(format.width) * static_cast<size_t>(format.height), 0) {
        code_[0] = static_cast<char>('0' + format.number / 10);
        code_[1] = static_cast<char>('0' + format.number % 10);
    }

    bool walk(const uint8_t* data, size_t size, bool nested) {
        ChunkWalker walker(data, size);
        Chunk chunk;
        while (walker.next(chunk)) {
            if (!nested && chunk.isList("rec ")) {
                if (!walk(chunk.listBody(), chunk.listSize(), true))
                    return false;
                continue;
            }
            if (chunk.id[0] != code_[0] || chunk.id[1] != code_[1])
                continue; // another stream's data
            const bool picture = (chunk.id[2] == 'd' && (chunk.id[3] == 'b' || chunk.id[3] == 'c'));
            const bool paletteChange = chunk.id[2] == 'p' && chunk.id[3] == 'c';
            if (picture && !addFrame(chunk))
                return false;
            if (paletteChange && !changePalette(chunk))
                return false;
        }
        return !walker.bad();
    }

private:
    bool addFrame(const Chunk& chunk) {
        const QSize size(format_.width, format_.height);
        const qint64 frameBytes = static_cast<qint64>((format_.width + 3) & ~3) * format_.height;
        if (clip_.frames.size() >= static_cast<size_t>(kMaxFrames) ||
            static_cast<qint64>(clip_.frames.size() + 1) * frameBytes > kMaxDecodedBytes)
            return false;
        // An empty chunk repeats the previous picture (a dropped frame).
        if (chunk.size > 0) {
            if (format_.compression == BI_RLE8) {
                if (!DecodeRle8(chunk.body, chunk.size, format_.width, format_.height, canvas_.data()))
                    return false;
            } else if (!copyUncompressed(chunk)) {
                return false;
            }
        }
        QImage image(size, QImage::Format_Indexed8);
        if (image.isNull())
            return false;
        for (int y = 0; y < format_.height; ++y)
            std::memcpy(image.scanLine(y), canvas_.data() + static_cast<size_t>(y) * format_.width,
                        static_cast<size_t>(format_.width));
        image.setColorTable(palette_);
        clip_.frames.push_back(std::move(image));
        return true;
    }

    bool copyUncompressed(const Chunk& chunk) {
        const size_t width = static_cast<size_t>(format_.width);
        const size_t stride = (width + 3) & ~size_t{3}; // lines are padded to 4 bytes
        if (chunk.size < stride * static_cast<size_t>(format_.height))
            return false;
        for (int line = 0; line < format_.height; ++line) {
            const int y = format_.bottomUp ? format_.height - 1 - line : line;
            std::memcpy(canvas_.data() + static_cast<size_t>(y) * width,
                        chunk.body + static_cast<size_t>(line) * stride, width);
        }
        return true;
    }

    // AVIPALCHANGE: first entry, entry count (0 = 256), flags, then red, green, blue,
    // flags per entry. It applies to the pictures that follow.
    bool changePalette(const Chunk& chunk) {
        if (chunk.size < 4)
            return false;
        const int first = chunk.body[0];
        const int count = chunk.body[1] == 0 ? kPaletteSize : chunk.body[1];
        if (first + count > kPaletteSize || chunk.size < 4 + 4 * static_cast<size_t>(count))
            return false;
        for (int i = 0; i < count; ++i) {
            const uint8_t* e = chunk.body + 4 + 4 * i;
            palette_[first + i] = qRgb(e[0], e[1], e[2]);
        }
        return true;
    }

    const VideoFormat& format_;
    Clip& clip_;
    QList<QRgb> palette_;
    std::vector<uint8_t> canvas_; // the picture so far, top-down lines of width bytes
    char code_[2];
};

bool Parse(const uint8_t* data, size_t size, Clip& clip) {
    if (size < 12 || !Is(data, "RIFF") || !Is(data + 8, "AVI "))
        return false;
    const uint32_t riffSize = U32(data + 4);
    if (riffSize < 4 || riffSize > size - kChunkHeader)
        return false; // truncated file

    Chunk hdrl, movi;
    ChunkWalker walker(data + 12, riffSize - 4);
    Chunk chunk;
    while (walker.next(chunk)) {
        if (!hdrl.id && chunk.isList("hdrl"))
            hdrl = chunk;
        else if (!movi.id && chunk.isList("movi"))
            movi = chunk;
    }
    if (walker.bad() || !hdrl.id || !movi.id)
        return false;

    VideoFormat format;
    QSize mainSize;
    if (!ReadHeaders(hdrl, clip.microSecPerFrame, mainSize, format))
        return false;
    // The pictures may not be larger than the clip the main header announces.
    if ((mainSize.width() > 0 && format.width > mainSize.width()) ||
        (mainSize.height() > 0 && format.height > mainSize.height()))
        return false;
    if (clip.microSecPerFrame == 0 && format.rate > 0)
        clip.microSecPerFrame = static_cast<uint32_t>(
            std::min<uint64_t>(uint64_t{format.scale} * 1000000 / format.rate, UINT32_MAX));

    FrameDecoder decoder(format, clip);
    if (!decoder.walk(movi.listBody(), movi.listSize(), false) || clip.frames.empty())
        return false;
    clip.size = QSize(format.width, format.height);
    const QImage& first = clip.frames.front();
    clip.background = first.color(first.pixelIndex(0, 0));
    return true;
}

} // namespace

bool DecodeRle8(const uint8_t* data, size_t size, int width, int height, uint8_t* pixels) {
    // Lines count from the bottom of the picture; x may reach width (the end of a line)
    // and y may reach height (past the last line) but nothing is written there.
    int x = 0;
    int y = 0;
    size_t i = 0;
    auto line = [&](int fromBottom) { return pixels + static_cast<size_t>(height - 1 - fromBottom) * width; };
    for (;;) {
        if (size - i < 2)
            return false; // no end-of-picture code
        const int count = data[i];
        const int value = data[i + 1];
        i += 2;
        if (count > 0) {
            // Encoded run: count pixels of one colour.
            if (y >= height || count > width - x)
                return false;
            std::memset(line(y) + x, value, static_cast<size_t>(count));
            x += count;
            continue;
        }
        switch (value) {
        case 0: // end of line
            x = 0;
            if (++y > height)
                return false;
            break;
        case 1: // end of picture
            return true;
        case 2: // delta: move right and up
            if (size - i < 2)
                return false;
            x += data[i];
            y += data[i + 1];
            i += 2;
            if (x > width || y > height)
                return false;
            break;
        default: { // absolute run of value pixels, padded to an even length
            const size_t padded = static_cast<size_t>(value + (value & 1));
            if (size - i < padded || y >= height || value > width - x)
                return false;
            std::memcpy(line(y) + x, data + i, static_cast<size_t>(value));
            x += value;
            i += padded;
            break;
        }
        }
    }
}

bool ReadClip(QByteArrayView bytes, Clip& clip) {
    clip = Clip{};
    Clip read;
    if (!Parse(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<size_t>(bytes.size()), read))
        return false;
    clip = std::move(read);
    return true;
}

bool LoadClip(const QString& path, Clip& clip) {
    clip = Clip{};
    // Only regular files: a pipe or device could block or never end.
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileSize)
        return false;
    const QByteArray bytes = file.read(kMaxFileSize + 1);
    if (bytes.size() > kMaxFileSize)
        return false;
    return ReadClip(bytes, clip);
}

} // namespace morbek::platform::avi
