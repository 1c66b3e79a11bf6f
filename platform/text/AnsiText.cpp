#include "platform/text/AnsiText.h"

namespace morbek::platform {

namespace {

// Windows-1252 for 0x80..0x9F; 0xA0..0xFF equal Latin-1. The five bytes the code page
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) keep their own C1 code point.
constexpr char16_t kHighC1[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98..9F
};

} // namespace

QString FromWindows1252(const QByteArray& bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = (b >= 0x80 && b < 0xA0) ? QChar(kHighC1[b - 0x80]) : QChar(static_cast<char16_t>(b));
    }
    return text;
}

QString DecodeCabinetName(const QByteArray& bytes, uint16_t attribs) {
    // Qt's UTF-8 decoder turns every invalid sequence into U+FFFD.
    if (attribs & kAttribNameIsUtf8)
        return QString::fromUtf8(bytes);
    return FromWindows1252(bytes);
}

} // namespace morbek::platform
