#pragma once
// Stand-in for SHGetFileInfoA: icon and type name of a file, by its name only
// (the program's probe files are empty).
#include <QIcon>
#include <QString>
#include <cstdint>

namespace morbek::platform {

constexpr uint32_t SHGFI_SMALLICON = 0x1;
constexpr uint32_t SHGFI_ICON = 0x100;
constexpr uint32_t SHGFI_TYPENAME = 0x400;

struct SHFILEINFO {
    QIcon hIcon;          // empty when not asked for
    QString szTypeName;   // the MIME type's comment in the system language; empty when no match
};

// Returns true when the file was recognised. A name with no MIME match gives the
// generic file icon and an empty type name (never another file's answer).
// Sets a usable icon theme on first use when the platform left none (hicolor).
bool SHGetFileInfoA(const QString& path, uint32_t fileAttributes, SHFILEINFO& info, uint32_t flags);

} // namespace morbek::platform
