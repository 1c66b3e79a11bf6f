#pragma once
#include <cstdint>

namespace morbek::platform {

constexpr uint32_t MB_ICONHAND = 0x10;
constexpr uint32_t MB_ICONQUESTION = 0x20;
constexpr uint32_t MB_ICONEXCLAMATION = 0x30;
constexpr uint32_t MB_ICONASTERISK = 0x40;

// Sounds the system beep; records the type so that tests can tell which was asked for.
void MessageBeep(uint32_t type);
// Test hook: the type of the last beep and how many beeps were sounded.
uint32_t LastMessageBeep();
int MessageBeepCount();

} // namespace morbek::platform
