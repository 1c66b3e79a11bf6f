// The About box, and the help commands of the main window.
#include "app/AboutBox.h"
#include "app/MainWindow.h"
#include "components/Framework.h"

namespace morbek {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) { setObjectName(QStringLiteral("AboutBox")); }

void TDezerOvu::Aide1Click(QObject*) { framework::HelpContext(0); }
void TDezerOvu::Apropos1Click(QObject*) {}

} // namespace morbek
