// The Extract commands: the selected entries of the list written into a chosen folder.
#include "app/MainWindow.h"

namespace morbek {

void TDezerOvu::Extrait1Click(QObject*) {}
void TDezerOvu::DblClick() {}

} // namespace morbek
