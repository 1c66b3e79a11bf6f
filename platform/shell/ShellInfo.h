#pragma once
// Stand-in for SHGetFileInfoA: icon and type name of a file, by its name only
// (the program's probe files are empty).
#include <QIcon>
#include <QString>
#include <cstdint>
#include <functional>

namespace morbek::platform {

constexpr uint32_t SHGFI_SMALLICON = 0x1;
constexpr uint32_t SHGFI_ICON = 0x100;
constexpr uint32_t SHGFI_TYPENAME = 0x400;

struct SHFILEINFO {
    QIcon hIcon;        // empty when not asked for
    QString szTypeName; // the MIME type's comment in the system language; empty when no match
};

// Chooses a usable icon theme when the platform left none (hicolor): the first
// installed of Adwaita and breeze. Called once at start, before any window or icon is
// made, so that every icon of the run (list entries, message boxes) comes from one theme.
void SetUpIconTheme();

// The classes store's type name for an extension (".cab": the extension's class, then
// that class's default value); empty when the store names none. The shell consults it
// before the MIME database, as the original shell consulted HKEY_CLASSES_ROOT, so a
// class registered by the program names its files. None by default.
using ClassTypeNameSource = std::function<QString(const QString& extension)>;
void SetClassTypeNameSource(ClassTypeNameSource source);

// Returns true when the file was recognised. A name with no MIME match gives the
// generic file icon and an empty type name (never another file's answer). Never
// changes the icon theme.
bool SHGetFileInfoA(const QString& path, uint32_t fileAttributes, SHFILEINFO& info, uint32_t flags);

} // namespace morbek::platform
