#pragma once
// Stand-in for the shell's extended execute operation and the wait on the process it
// starts. The one action known here is "Install" on an installation description file
// (".inf"): it is carried out by our INF installer, "infinstall", which ships beside
// the program that asks (the way the platform's shell brings its own installer).
// Plain POSIX: a caller that only waits never needs a display.
#include <cstdint>
#include <sys/types.h>

namespace morbek::shell {

constexpr uint32_t SEE_MASK_NOCLOSEPROCESS = 0x40; // return the started process in hProcess
constexpr int SW_SHOWNORMAL = 1;
constexpr uint32_t INFINITE = 0xFFFFFFFF;
constexpr uint32_t WAIT_OBJECT_0 = 0;
constexpr uint32_t WAIT_TIMEOUT = 0x102;
constexpr uint32_t WAIT_FAILED = 0xFFFFFFFF;

// Failure reasons, left in lastError.
constexpr uint32_t ERROR_FILE_NOT_FOUND = 2;
constexpr uint32_t ERROR_NO_ASSOCIATION = 1155;
constexpr uint32_t ERROR_INVALID_PARAMETER = 87;

struct SHELLEXECUTEINFOA {
    uint32_t cbSize = 0;
    uint32_t fMask = 0;
    void* hwnd = nullptr;
    const char* lpVerb = nullptr;
    const char* lpFile = nullptr; // relative names are resolved against lpDirectory, else the current folder
    const char* lpParameters = nullptr;
    const char* lpDirectory = nullptr;
    int nShow = 0;
    intptr_t hInstApp = 0; // > 32 on success
    pid_t hProcess = 0;    // the started process with SEE_MASK_NOCLOSEPROCESS, else 0
};

// Starts the action; false when it cannot be started (lastError() tells why).
bool ShellExecuteExA(SHELLEXECUTEINFOA* info);
uint32_t lastError();

// Waits for the process to end: INFINITE, or a time in milliseconds. A handle of 0
// returns WAIT_FAILED at once.
uint32_t WaitForSingleObject(pid_t process, uint32_t milliseconds);

} // namespace morbek::shell
