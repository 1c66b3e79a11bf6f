#pragma once
// Stand-in for WinHelp: shows a help file in our help viewer, a separate process
// (MorbekHelp, beside the program) with one instance per help file, reused by later
// requests. Being another process, it stays usable while the program sits in a modal
// dialog, and going back and forth between it and the program is an application switch.
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

// HELP_CONTEXT shows the topic of a context, HELP_FINDER the contents, HELP_QUIT closes
// the file's viewer. False when the viewer could not be reached or started.
bool WinHelp(const QString& helpFile, uint32_t command, uint32_t data);

// The viewer program; by default MorbekHelp in the running program's own folder.
QString HelpViewerProgram();
// Test hook: another viewer program; an empty path shows nothing (requests are still
// recorded). ResetHelpViewerProgram goes back to the default.
void SetHelpViewerProgram(const QString& path);
void ResetHelpViewerProgram();

// Test hook: the last request, and how many were made.
HelpRequest LastHelpRequest();
int HelpRequestCount();

} // namespace morbek::platform
