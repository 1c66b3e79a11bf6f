// The language dialog, and the Language command of the main window.
#include "app/LangDlg.h"
#include "app/MainWindow.h"

namespace morbek {

TLangDlg::TLangDlg(QWidget* parent) : QDialog(parent) { setObjectName(QStringLiteral("LangDlg")); }

void TDezerOvu::Langue1Click(QObject*) {}

} // namespace morbek
