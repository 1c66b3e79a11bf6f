#pragma once
// Stand-in for WinHelp. The help viewer itself comes later; until then requests are
// recorded so that callers and tests see what would be shown.
#include <QString>
#include <cstdint>

namespace morbek::platform {

constexpr uint32_t HELP_CONTEXT = 0x0001;
constexpr uint32_t HELP_QUIT = 0x0002;
constexpr uint32_t HELP_FINDER = 0x000B;

struct HelpRequest {
    QString file;
    uint32_t command = 0;
    uint32_t data = 0;
};

bool WinHelp(const QString& helpFile, uint32_t command, uint32_t data);
// Test hook: the last request, and how many were made.
HelpRequest LastHelpRequest();
int HelpRequestCount();

} // namespace morbek::platform
