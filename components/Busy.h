#pragma once
// The program reads and extracts on its one thread without returning to the event
// loop. PumpBusy keeps windows painted and animations moving meanwhile: it processes
// pending events except user input (keys, mouse, close requests stay queued until the
// work ends), at most about every 30 ms.
class QWidget;

namespace morbek::busy {

// Marks the start and end of a stretch of busy work; nests.
void Begin();
void End();
bool IsBusy();

// Processes non-input events when at least 30 ms passed since the last pump.
void PumpBusy();

// Processes non-input events until the window has been exposed by the window system,
// so that what is painted next reaches the screen (bounded to about one second).
void WaitExposed(QWidget* window);

struct Scope {
    Scope() { Begin(); }
    ~Scope() { End(); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
};

} // namespace morbek::busy
