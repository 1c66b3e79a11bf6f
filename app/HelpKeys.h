#pragma once
// F1 anywhere in the program opens the help topic of what has the keyboard: the
// highlighted menu item while a menu is open, else the focused control, its nearest
// enclosing control, or its window.

class QObject;

namespace morbek {

// Installs the application-wide F1 handling once; later calls do nothing.
void InstallHelpKeys();

// The help context F1 opens for a key sent to receiver; 0 when there is none.
int HelpContextForKey(QObject* receiver);

} // namespace morbek
