#pragma once
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace morbek::platform {

// Attribute bit of a cabinet file record that marks its name as UTF-8.
constexpr uint16_t kAttribNameIsUtf8 = 0x80;

// Decodes Windows-1252 (the ANSI code page of the program's audience). The five bytes
// that code page leaves undefined map to the C1 code point of the same value.
QString FromWindows1252(const QByteArray& bytes);

// Decodes a name stored in a cabinet: UTF-8 when attribs carries 0x80, else
// Windows-1252. Invalid UTF-8 sequences become U+FFFD.
QString DecodeCabinetName(const QByteArray& bytes, uint16_t attribs);

} // namespace morbek::platform
