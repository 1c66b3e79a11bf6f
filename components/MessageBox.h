#pragma once
// Stand-in for the platform's standard message box (MessageBoxA): standard buttons in
// the system language, the icon and beep of the type, the platform's result codes.
#include "platform/sound/MessageBeep.h"

#include <QString>
#include <cstdint>

class QWidget;

namespace morbek {

constexpr uint32_t MB_OK = 0x0, MB_OKCANCEL = 0x1, MB_YESNOCANCEL = 0x3, MB_YESNO = 0x4;
// The icon values are the beep types of platform/sound/MessageBeep.h (MB_ICONHAND ...).
constexpr int IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7;

// Shows the box application-modal (through the modal seam) and returns the button's
// code; closing it through its title bar counts as Cancel when it has one, else OK/No.
int MessageBoxA(QWidget* owner, const QString& text, const QString& caption, uint32_t type);

} // namespace morbek
