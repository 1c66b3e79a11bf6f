#pragma once
// The program's registration as the desktop's handler for cabinet files.

#include <QString>

namespace morbek {

inline constexpr const char* kCabinetMimeType = "application/vnd.ms-cab-compressed";
// The desktop entry that carries the association: the same id as the menu entry and the
// window class, so that the desktop shows one program. When an installed menu entry has
// that id already, it serves; otherwise the association writes a hidden one.
inline constexpr const char* kAssociationDesktopId = "morbek32.desktop";

// Lets the classes root's ".cab" and "cabfile" keys act on the desktop (default
// application, desktop entry). Done by the association commands; once is enough.
void InstallShellBridge();

// What the Remove association command does, without asking and without touching the
// settings, for the uninstaller; nothing when the association was never made. False
// when the classes root cannot be read or written.
bool RemoveAssociationQuietly();

// The type name the classes root gives an extension (".cab" -> "cabfile" -> its default
// value); empty when it gives none. Never raises: the file list just falls back on the
// MIME database.
QString ClassTypeName(const QString& extension);

} // namespace morbek
