#pragma once
// Scripted control of the running program, for tests that start it as a real process.
// Compiled into the test build of the program only (Morbek32-testing), never into the
// shipped one; active there only when MORBEK_TEST_HOOKS is set. The program then reports on stdout, one
// line each: "shown" when the main window is shown, "state normal|minimised|maximised"
// when its state changes, "dialog <title>" when a modal dialog shows, "handover
// restored|raised" when a later start brought it to the front, "busy-begin" and
// "busy-end", "row <caption>" ... "rows <count>", "env NAME=value". It obeys commands
// read line by line from stdin: "minimise", "state", "busy <ms>" (a stretch of busy
// work as a long read would be), "pat <ms>" (the progress dialog shown for that long,
// reported as "pat-shown <native window id>" and "pat-end"), "list", "env NAME", "quit" (as the close box),
// and for tests that drive the program with the window system's own input:
//   "caption"      -> "caption <main window title>"
//   "status"       -> "status <panel 0>\t<panel 1>"
//   "view"         -> "view <display mode> <list view style> <sort order>"
//   "focus"        -> "focus <object name of the focus widget, or ->"
//   "popup"        -> "popup <object name of the open menu, or ->"
//   "where NAME"   -> "where NAME <x> <y> <width> <height>" (screen pixels) of the shown
//                     widget of that object name, or "where NAME -"
//   "item ROW"     -> "item ROW <x> <y> <width> <height>" of that list row in the view
//                     shown, or "item ROW -"
//   "text NAME"    -> "text NAME <text>" of the shown label, line or button of that name
//   "captions"     -> "room ROW <x> <y> <width> <height> <needed width> <needed height>
//                     <caption>" per row of the icon view (rect in view coordinates; the
//                     room the whole caption needs there), then "rooms <count>"
namespace morbek {

class TDezerOvu;

void InstallTestHooks(TDezerOvu& window);

} // namespace morbek
