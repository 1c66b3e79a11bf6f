#pragma once
// Reader for the silent clips that the animation control plays: a RIFF AVI file with one
// video stream of 8-bit palette pictures, run-length encoded (BI_RLE8) or uncompressed
// (BI_RGB), with optional palette changes between frames. Sound streams and the index
// are ignored. Every frame is decoded when the clip is read, since an RLE frame only
// paints what changed since the previous one.
//
// The input may be anything: every size and offset is checked against its container,
// and a clip that breaks a rule or a limit below is refused as a whole.
#include <QByteArrayView>
#include <QImage>
#include <QSize>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace morbek::platform::avi {

// Limits on what a clip may demand. An animation control shows small clips; these leave
// ample room and keep a hostile file from taking the machine's memory.
constexpr int kMaxDimension = 2048;                   // pixels, width and height
constexpr qint64 kMaxFileSize = 32 * 1024 * 1024;     // bytes read from a file
constexpr qint64 kMaxDecodedBytes = 64 * 1024 * 1024; // all decoded frames together
constexpr int kMaxFrames = 32768;                     // as many as frame numbers 0..32767 reach

struct Clip {
    QSize size;                    // of every frame
    uint32_t microSecPerFrame = 0; // as the file states it (0 when it states none)
    std::vector<QImage> frames;    // Format_Indexed8, 256-entry palette each
    QRgb background = 0;           // colour of the first frame's top-left pixel

    bool isEmpty() const { return frames.empty(); }
};

// Reads a whole clip from memory. False when the data is not such a clip or breaks a
// limit; clip is then empty.
bool ReadClip(QByteArrayView bytes, Clip& clip);

// Reads a clip from a file or a Qt resource path (":/..."), at most kMaxFileSize bytes.
bool LoadClip(const QString& path, Clip& clip);

// Decodes one BI_RLE8 picture of width x height onto pixels: top-down rows of width
// bytes that hold the previous frame, since pixels no code reaches keep their value.
// False when a code would leave the picture or the data ends before the end-of-picture
// code; pixels is then partly written and must be discarded.
bool DecodeRle8(const uint8_t* data, size_t size, int width, int height, uint8_t* pixels);

} // namespace morbek::platform::avi
