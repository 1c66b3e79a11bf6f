#pragma once
// How the program reaches the help viewer: one viewer process per help file, found
// through a local socket whose name is derived from the file's path. One request per
// line: "<command> <data>" in decimal (the WinHelp command numbers), answered "OK" or
// "ERR"; "STATUS" is answered with "pid=<pid> context=<shown context> state=<state>".
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace morbek::platform::help {

// Full path of the viewer's socket for a help file, in the user's private runtime
// folder (never a bare name, which would land in the shared /tmp).
QString ServerName(const QString& helpFile);
// Lock taken while a viewer starts, so that two quick requests start one viewer.
QString StartLockName(const QString& helpFile);

QByteArray EncodeRequest(uint32_t command, uint32_t data);
// Parses one request line (without its line feed).
bool DecodeRequest(const QByteArray& line, uint32_t* command, uint32_t* data);

} // namespace morbek::platform::help
