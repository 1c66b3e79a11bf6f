#pragma once
// The folder browser: a modal dialog that shows the folder tree and returns the chosen
// folder. On top of a plain folder dialog it centres itself on the screen, preselects the
// starting folder it is given (without one nothing is chosen and OK waits for the user),
// restricts the tree to a root, sets its title and status line, adds a help button next
// to OK and Cancel, and reports each change of selection. Under the tree a line shows the
// chosen folder's path; a path typed there selects that folder.
#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <cstdint>
#include <functional>

class QWidget;

namespace morbek {

enum class TShellBrowserOption : uint8_t {
    shbBrowseForComputer = 0,
    shbBrowseForPrinter = 1,
    shbDontGoBelowDomain = 2,
    shbReturnFSAncestors = 3,
    shbReturnOnlyFSDirs = 4,
    shbStatusText = 5,
};
using TShellBrowserOptions = uint8_t; // one bit per option, bit n = option n
constexpr TShellBrowserOptions ShellBrowserOption(TShellBrowserOption o) {
    return static_cast<TShellBrowserOptions>(1u << static_cast<unsigned>(o));
}

// Flags of the original platform's dialog, OR-ed from the options.
constexpr uint32_t BIF_RETURNONLYFSDIRS = 0x0001;
constexpr uint32_t BIF_DONTGOBELOWDOMAIN = 0x0002;
constexpr uint32_t BIF_STATUSTEXT = 0x0004;
constexpr uint32_t BIF_RETURNFSANCESTORS = 0x0008;
constexpr uint32_t BIF_BROWSEFORCOMPUTER = 0x1000;
constexpr uint32_t BIF_BROWSEFORPRINTER = 0x2000;
uint32_t BrowseFlags(TShellBrowserOptions options);

class TShellBrowser;
using TNotifyEvent = std::function<void(QObject* Sender)>;
using TSelChangeEvent = std::function<void(QObject* Sender, const QString& NewFolder, bool IsDisplayName)>;

// Push button that opens help at its own help context as soon as it goes down.
class TMyButton : public QPushButton {
    Q_OBJECT
public:
    explicit TMyButton(QWidget* parent = nullptr);
    int HelpContext = 0;

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
};

class TShellBrowser : public QObject {
    Q_OBJECT
public:
    explicit TShellBrowser(QObject* owner = nullptr);
    ~TShellBrowser() override;

    // Published properties, in their design order.
    bool Center = true;
    QString InitialPath;
    QString RootPath;
    QString Prompt;
    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    QString StatusText() const { return statusText_; }
    void SetStatusText(const QString& text);
    TShellBrowserOptions Options = 0;
    TNotifyEvent OnInitialize;
    TSelChangeEvent OnSelChange;
    int32_t HelpContext = 0;
    QString HelpBtnCaption;
    QString CancelBtnCaption;

    // Shows the dialog modally (through the modal seam); true when the user chose an item.
    bool Execute();
    // Results of the last Execute.
    QString Folder;
    QString DisplayName;

    // Run-time state, reachable by tests: the open dialog (null when none), the host
    // form (created on the first Execute, never shown), the help button of the open
    // dialog (it goes with its dialog).
    QDialog* Dialog() const { return dialog_; }
    QWidget* HostForm() const { return host_; }
    TMyButton* HelpButton() const { return helpButton_; }

private:
    QString caption_, statusText_;
    QDialog* dialog_ = nullptr;
    QPointer<QWidget> host_;
    QPointer<TMyButton> helpButton_;
};

} // namespace morbek
