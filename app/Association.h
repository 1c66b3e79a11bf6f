#pragma once
// The program's registration as the desktop's handler for cabinet files.

namespace morbek {

inline constexpr const char* kCabinetMimeType = "application/vnd.ms-cab-compressed";
// The desktop entry that carries the association (the installer's menu entry is another).
inline constexpr const char* kAssociationDesktopId = "morbek32-cabfile.desktop";

// Lets the classes root's ".cab" and "cabfile" keys act on the desktop (default
// application, desktop entry). Done by the association commands; once is enough.
void InstallShellBridge();

} // namespace morbek
