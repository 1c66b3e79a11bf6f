#pragma once
// Scripted control of the running program, for tests that start it as a real process.
// Active only when MORBEK_TEST_HOOKS is set. The program then reports on stdout, one
// line each: "shown" when the main window is shown, "state normal|minimised|maximised"
// when its state changes, "dialog <title>" when a modal dialog shows, "handover
// restored|raised" when a later start brought it to the front, "busy-begin" and
// "busy-end", "row <caption>" ... "rows <count>", "env NAME=value". It obeys commands
// read line by line from stdin: "minimise", "state", "busy <ms>" (a stretch of busy
// work as a long read would be), "list", "env NAME", "quit" (as the close box).
namespace morbek {

class TDezerOvu;

void InstallTestHooks(TDezerOvu& window);

} // namespace morbek
