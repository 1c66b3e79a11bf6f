#pragma once
// The "please wait" window: a title, one status line and a bar from 0 to 100 per cent,
// shown while work runs on the UI thread. Modeless; the user can neither close nor
// cancel it. Users set its texts and bar, show it and hide it again.
#include <QDialog>
#include <array>
#include <cstdint>

class QLabel;
class QProgressBar;

namespace morbek {

// The _MOTIF_WM_HINTS asked for on X11: a title bar and a border without buttons;
// the window may be moved, nothing else.
std::array<uint32_t, 5> TitleOnlyMotifHints();

class TDialogPat : public QDialog {
    Q_OBJECT
public:
    explicit TDialogPat(QWidget* parent = nullptr);

    QLabel* LPat = nullptr;        // status line, centred, fixed size
    QProgressBar* PBPat = nullptr; // 0..100, no text

    // Bar to 0, title and status set, shown and raised, then painted before returning,
    // since the work that follows does not return to the event loop. When already
    // visible, only the texts and the bar change.
    void Begin(const QString& title, const QString& status);
    // Bar position (clamped to 0..100), then a rate-limited busy pump so it is drawn.
    void SetProgress(int percent);
    // Hides the window (the only way it goes away; close requests are refused).
    void Finish();

    void setVisible(bool visible) override;
    void reject() override;

protected:
    void SetBarValue(int value);
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace morbek
