#pragma once
// The program's other windows, created once at start after the main window and kept
// until the end. They are filled in by their own commands.
#include "app/AboutBox.h"
#include "app/LangDlg.h"
#include "components/DialogPat.h"

namespace morbek {

// The four windows of the program, in their order of creation.
struct ProgramWindows {
    class TDezerOvu* DezerOvu = nullptr;
    TDialogPat* DialogPat = nullptr;
    TAboutBox* AboutBox = nullptr;
    TLangDlg* LangDlg = nullptr;
};
ProgramWindows& Windows();

} // namespace morbek
