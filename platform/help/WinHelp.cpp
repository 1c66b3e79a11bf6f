#include "platform/help/WinHelp.h"

namespace morbek::platform {

namespace {
HelpRequest lastRequest;
int requestCount = 0;
} // namespace

bool WinHelp(const QString& helpFile, uint32_t command, uint32_t data) {
    lastRequest = HelpRequest{helpFile, command, data};
    ++requestCount;
    return true;
}

HelpRequest LastHelpRequest() { return lastRequest; }
int HelpRequestCount() { return requestCount; }

} // namespace morbek::platform
