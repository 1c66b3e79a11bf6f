#pragma once
// The help viewer: a window that shows the topics of one help file, run in a process of
// its own (see HelpChannel.h) so that it stays usable while the program that asked for
// it sits in a modal dialog. Its own few texts (buttons, error pages) follow the help
// file's "@language", else the user's locale.
#include "platform/help/HelpFile.h"

#include <QDateTime>
#include <QList>
#include <QMainWindow>
#include <cstdint>

class QAction;
class QLabel;
class QTextBrowser;
class QUrl;

namespace morbek::platform::help {

class HelpViewer : public QMainWindow {
    Q_OBJECT
public:
    enum class State { Empty, Topic, NoTopic, FileError };

    explicit HelpViewer(QWidget* parent = nullptr);

    // Carries out one WinHelp request on a help file and brings the window forward.
    // Returns false for HELP_QUIT, which closes the window.
    bool Execute(const QString& helpFile, uint32_t command, uint32_t value);

    // Shows the topic of a context; the topic shown before is kept for Back.
    void ShowContext(int context);
    void Back();

    State CurrentState() const { return state_; }
    int CurrentContext() const { return state_ == State::Topic ? context_ : -1; }
    const HelpFile& File() const { return file_; }

    QTextBrowser* Browser = nullptr;
    QLabel* TopicTitle = nullptr;
    QAction* ContentsAction = nullptr;
    QAction* BackAction = nullptr;
    QAction* PreviousAction = nullptr;
    QAction* NextAction = nullptr;

private:
    void Reload(const QString& helpFile);
    void Render(int context);
    void ShowFileError();
    void UpdateActions();
    void Step(int delta);
    void OpenLink(const QUrl& url);
    void ApplyTexts();

    HelpFile file_;
    QString path_;
    QDateTime loadedTime_;
    qint64 loadedSize_ = -1;
    State state_ = State::Empty;
    int context_ = -1;
    QList<int> history_;
};

// The viewer process: hands the request to the viewer already serving this help file,
// or becomes that viewer and serves later requests until its window closes. Needs a
// QApplication; returns the process's exit code.
int RunViewer(const QString& helpFile, uint32_t command, uint32_t data);

} // namespace morbek::platform::help
