#pragma once
// The program's other windows, created once at start after the main window and kept
// until the end. They are filled in by their own commands.
#include "components/DialogPat.h"

#include <QDialog>

namespace morbek {

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);
};

class TLangDlg : public QDialog {
    Q_OBJECT
public:
    explicit TLangDlg(QWidget* parent = nullptr);
};

// The four windows of the program, in their order of creation.
struct ProgramWindows {
    class TDezerOvu* DezerOvu = nullptr;
    TDialogPat* DialogPat = nullptr;
    TAboutBox* AboutBox = nullptr;
    TLangDlg* LangDlg = nullptr;
};
ProgramWindows& Windows();

} // namespace morbek
