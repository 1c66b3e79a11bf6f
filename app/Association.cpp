// The Association and Remove association commands: the program as the desktop's
// handler for cabinet files.
#include "app/MainWindow.h"

namespace morbek {

void TDezerOvu::Install1Click(QObject*) {}
void TDezerOvu::Uninstall1Click(QObject*) {}

} // namespace morbek
