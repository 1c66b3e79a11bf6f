#pragma once
// Builds small AVI clips for tests, part by part, so that a test can damage exactly one
// field. Defaults give a valid 4x3 run-length-encoded clip without frames.
#include <QByteArray>
#include <QList>
#include <QtGui/qrgb.h>

#include <cstdint>
#include <vector>

namespace morbek::test {

inline QByteArray Le32(uint32_t v) {
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<char>(v >> (8 * i));
    return b;
}
inline QByteArray Le16(uint16_t v) {
    QByteArray b(2, '\0');
    b[0] = static_cast<char>(v);
    b[1] = static_cast<char>(v >> 8);
    return b;
}
inline QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray b;
    for (int v : values)
        b.append(static_cast<char>(v));
    return b;
}

// fourcc, size, body, pad byte.
inline QByteArray Chunk(const char* fourcc, const QByteArray& body) {
    QByteArray c = QByteArray(fourcc, 4) + Le32(static_cast<uint32_t>(body.size())) + body;
    if (body.size() % 2)
        c.append('\0');
    return c;
}
inline QByteArray List(const char* kind, const char* type, const QByteArray& children) {
    return QByteArray(kind, 4) + Le32(static_cast<uint32_t>(4 + children.size())) + QByteArray(type, 4) +
           children;
}

struct AviSpec {
    int32_t width = 4;
    int32_t height = 3;     // negative: top-down lines
    uint32_t mainWidth = 4; // as the main header announces the clip
    uint32_t mainHeight = 3;
    uint32_t compression = 1; // BI_RLE8; 0 BI_RGB
    uint16_t bitCount = 8;
    uint32_t colorsUsed = 0; // 0: as many as palette holds
    uint32_t microSecPerFrame = 100000;
    QList<QRgb> palette = {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)};
    bool audioStreamFirst = false; // puts a sound stream before the video stream
    std::vector<QByteArray> movi;  // whole chunks, from Chunk(...) or List(...)
};

inline QByteArray StreamList(const char* type, const QByteArray& format) {
    QByteArray strh = QByteArray(type, 4) + QByteArray("mrle") + Le32(0) + Le16(0) + Le16(0) + Le32(0) +
                      Le32(1) + Le32(10) + Le32(0) + Le32(0) + Le32(0) + Le32(0xFFFFFFFF) + Le32(0) +
                      QByteArray(8, '\0');
    return List("LIST", "strl", Chunk("strh", strh) + Chunk("strf", format));
}

inline QByteArray BuildAvi(const AviSpec& s) {
    QByteArray avih = Le32(s.microSecPerFrame) + Le32(0) + Le32(0) + Le32(0x10) +
                      Le32(static_cast<uint32_t>(s.movi.size())) + Le32(0) + Le32(1) + Le32(0) +
                      Le32(s.mainWidth) + Le32(s.mainHeight) + QByteArray(16, '\0');
    QByteArray strf = Le32(40) + Le32(static_cast<uint32_t>(s.width)) +
                      Le32(static_cast<uint32_t>(s.height)) + Le16(1) + Le16(s.bitCount) +
                      Le32(s.compression) + Le32(0) + Le32(0) + Le32(0) +
                      Le32(s.colorsUsed ? s.colorsUsed : static_cast<uint32_t>(s.palette.size())) + Le32(0);
    for (QRgb c : s.palette)
        strf += Bytes({qBlue(c), qGreen(c), qRed(c), 0});
    QByteArray streams;
    if (s.audioStreamFirst)
        streams += StreamList("auds", QByteArray(18, '\0'));
    streams += StreamList("vids", strf);
    QByteArray movi;
    for (const QByteArray& c : s.movi)
        movi += c;
    return List("RIFF", "AVI ",
                List("LIST", "hdrl", Chunk("avih", avih) + streams) + List("LIST", "movi", movi));
}

} // namespace morbek::test
