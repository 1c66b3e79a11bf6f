// The main window's settings: read on the first activation, saved when it closes.
#include "app/MainWindow.h"

#include <QAction>

namespace morbek {

void TDezerOvu::LoadSettings() {
    // Values of an empty store: large icons, file-table order, the association menu
    // items as designed and no question asked.
    Install1->setEnabled(true);
    Uninstall1->setEnabled(false);
    Affiche1Click(Grandesic1);
    Alpha1Click(Aucun1);
}

void TDezerOvu::OnQuit() {}

} // namespace morbek
