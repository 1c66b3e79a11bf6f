#include "app/Windows.h"

namespace morbek {

TDialogPat::TDialogPat(QWidget* parent) : QDialog(parent) { setObjectName(QStringLiteral("DialogPat")); }

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) { setObjectName(QStringLiteral("AboutBox")); }

TLangDlg::TLangDlg(QWidget* parent) : QDialog(parent) { setObjectName(QStringLiteral("LangDlg")); }

ProgramWindows& Windows() {
    static ProgramWindows windows;
    return windows;
}

} // namespace morbek
