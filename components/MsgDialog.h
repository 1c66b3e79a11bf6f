#pragma once
// The program's modal message dialog: icon, word-wrapped text, a row of buttons with
// fixed French captions, and result codes of the original platform.
#include <QString>
#include <cstdint>

class QDialog;

namespace morbek {

enum class TMsgDlgType : uint8_t { Warning = 0, Error = 1, Information = 2, Confirmation = 3, Custom = 4 };

// Button set: bit i stands for the i-th button, also their order from left to right.
enum TMsgDlgBtn : uint16_t {
    mbYes = 1 << 0,
    mbNo = 1 << 1,
    mbOK = 1 << 2,
    mbCancel = 1 << 3,
    mbAbort = 1 << 4,
    mbRetry = 1 << 5,
    mbIgnore = 1 << 6,
    mbAll = 1 << 7,
    mbHelp = 1 << 8,
};
using TMsgDlgButtons = uint16_t;

// Result codes.
constexpr int mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6, mrNo = 7,
              mrAll = 8;

// Shows the dialog with the caller's caption and the kind's beep; returns the result
// code of the button pressed, or 2 when closed through the title bar.
int MsgDialog(const QString& caption, const QString& message, TMsgDlgType kind, TMsgDlgButtons buttons,
              int32_t helpContext);
// The same with the kind's default title and no beep.
int PlainMsgDialog(const QString& message, TMsgDlgType kind, TMsgDlgButtons buttons, int32_t helpContext);

// Dynamic properties of the dialog: the help context (int, 0 none; also what F1 opens)
// and the message exactly as passed, before its line breaks were mapped for display.
inline constexpr const char* kHelpContextProperty = "helpContext";
inline constexpr const char* kMessageTextProperty = "messageText";

// Builds the dialog without showing it (for MsgDialog, PlainMsgDialog and tests); the
// caller owns it. Its title is the kind's default title, its help context 0.
QDialog* CreateMessageDialog(const QString& message, TMsgDlgType kind, TMsgDlgButtons buttons);

// Maps the program's line breaks (CR LF, LF CR, lone CR) to LF for display.
QString DisplayLineBreaks(const QString& text);

} // namespace morbek
