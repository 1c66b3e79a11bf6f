#include "platform/help/WinHelp.h"

#include "platform/help/HelpChannel.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>

namespace morbek::platform {

namespace {
HelpRequest lastRequest;
int requestCount = 0;
bool programOverridden = false;
QString programOverride;

// A viewer that does not answer within these times is taken as gone or hung; the
// program must not freeze behind it.
constexpr int kConnectMs = 500;
constexpr int kAnswerMs = 3000;

// Hands a request to the viewer already serving the file. False when none answers.
bool SendToRunningViewer(const QString& helpFile, uint32_t command, uint32_t data, bool* delivered) {
    QLocalSocket socket;
    socket.connectToServer(help::ServerName(helpFile));
    if (!socket.waitForConnected(kConnectMs))
        return false;
    socket.write(help::EncodeRequest(command, data));
    *delivered = socket.waitForBytesWritten(kAnswerMs) && socket.waitForReadyRead(kAnswerMs) &&
                 socket.readLine().startsWith("OK");
    return true;
}
} // namespace

QString HelpViewerProgram() {
    if (programOverridden)
        return programOverride;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/MorbekHelp");
}

void SetHelpViewerProgram(const QString& path) {
    programOverridden = true;
    programOverride = path;
}

void ResetHelpViewerProgram() {
    programOverridden = false;
    programOverride.clear();
}

bool WinHelp(const QString& helpFile, uint32_t command, uint32_t data) {
    lastRequest = HelpRequest{helpFile, command, data};
    ++requestCount;
    if (helpFile.isEmpty())
        return false;
    const QString program = HelpViewerProgram();
    if (program.isEmpty())
        return true;

    const QString file = QFileInfo(helpFile).absoluteFilePath();
    bool delivered = false;
    if (SendToRunningViewer(file, command, data, &delivered))
        return delivered;
    if (command == HELP_QUIT)
        return true; // no viewer, nothing to close
    if (!QFileInfo(program).isExecutable())
        return false;
    // The viewer shows the request itself, then serves the later ones.
    return QProcess::startDetached(program, {file, QString::number(command), QString::number(data)});
}

HelpRequest LastHelpRequest() {
    return lastRequest;
}
int HelpRequestCount() {
    return requestCount;
}

} // namespace morbek::platform
