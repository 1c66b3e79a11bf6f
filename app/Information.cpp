// The Information command and the Properties item of the list's context menu.
#include "app/MainWindow.h"

namespace morbek {

void TDezerOvu::Information1Click(QObject*) {}
void TDezerOvu::ProprieteClick(QObject*) {}

} // namespace morbek
