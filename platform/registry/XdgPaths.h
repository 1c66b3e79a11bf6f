#pragma once
// The XDG base folders, read from the environment on each call (tests change it). A
// variable that is unset, empty or not an absolute path gives the standard default.
#include <QString>
#include <QStringList>

namespace morbek::platform::registry {

QString HomeFolder();
QString ConfigHome();     // $XDG_CONFIG_HOME, else ~/.config
QString DataHome();       // $XDG_DATA_HOME, else ~/.local/share
QStringList ConfigDirs(); // $XDG_CONFIG_DIRS, else /etc/xdg
QStringList DataDirs();   // $XDG_DATA_DIRS, else /usr/local/share:/usr/share
// $XDG_CURRENT_DESKTOP's names, in lower case, in order.
QStringList CurrentDesktops();

} // namespace morbek::platform::registry
