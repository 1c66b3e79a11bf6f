#include "app/Windows.h"

namespace morbek {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) { setObjectName(QStringLiteral("AboutBox")); }

TLangDlg::TLangDlg(QWidget* parent) : QDialog(parent) { setObjectName(QStringLiteral("LangDlg")); }

ProgramWindows& Windows() {
    static ProgramWindows windows;
    return windows;
}

} // namespace morbek
