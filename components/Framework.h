#pragma once
// The pieces of the original window framework that the program relies on: the
// application title, the application's help file, and the standard error box raised
// when an event handler fails.
#include <QFont>
#include <QString>
#include <functional>
#include <stdexcept>

class QObject;
class QWidget;

namespace morbek::framework {

// Design geometry is given in 96-dpi units and scales with the screen's text size.
int Scaled(const QWidget* widget, int value);

// The help context of a window, control or menu item: the topic that F1 and the Help
// buttons open for it (0: none). Kept as the object's "helpContext" property.
void SetHelpContext(QObject* object, int context);
int HelpContextOf(const QObject* object);

// The application title is our own value: it is never handed to Qt as the
// application display name (which would be appended to every window title).
// The framework font: the system sans-serif at 11 pixels at 96 dpi, scaled with the
// screen's dpi (the original's "MS Sans Serif 8 pt").
QFont DialogFont();

// The width a window needs for a window manager to show its whole title: the title in
// the title-bar font, made bold as most window managers draw titles, with room for the
// frame's icon and three buttons; never more than the screen's width.
int TitleBarWidth(const QString& title, const QWidget* window = nullptr);

// What every dialog of the program shares, kept up while it lives: at least as wide as
// its title (again whenever the title changes; a dialog without a layout keeps its
// controls centred), and the focused control's focus frame shown from the start
// rather than only after a Tab. Idempotent.
void PrepareDialog(QWidget* dialog);

void SetApplicationTitle(const QString& title);
QString ApplicationTitle();

void SetHelpFile(const QString& path);
QString HelpFile();
// Opens the application's help file at a context (0: contents).
void HelpContext(int context);

// The framework's exception type; its message is shown as is.
class Error : public std::runtime_error {
public:
    explicit Error(const QString& message) : std::runtime_error(message.toStdString()), text(message) {}
    QString text;
};

// The standard error box: title the application title, critical icon, one "OK".
void ShowErrorBox(const QString& message);

// Runs an event handler; a framework Error it raises is shown in the standard error
// box and does not travel further. Returns false when the handler failed.
bool RunHandler(const std::function<void()>& handler);

} // namespace morbek::framework
