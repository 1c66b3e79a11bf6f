#include "components/DialogPat.h"

#include "components/Busy.h"
#include "components/Framework.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <algorithm>

namespace morbek {

using framework::Scaled;

TDialogPat::TDialogPat(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("DialogPat"));
    setWindowTitle(QStringLiteral("DialogPat"));
    setModal(false);
    setFont(framework::DialogFont());
    setSizeGripEnabled(false);

    LPat = new QLabel(this);
    LPat->setObjectName(QStringLiteral("LPat"));
    LPat->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    LPat->setWordWrap(false);
    LPat->setGeometry(Scaled(this, 3), Scaled(this, 14), Scaled(this, 425), Scaled(this, 13));
    LPat->setFixedSize(LPat->size());

    PBPat = new QProgressBar(this);
    PBPat->setObjectName(QStringLiteral("PBPat"));
    PBPat->setRange(0, 100);
    PBPat->setValue(0);
    PBPat->setTextVisible(false);
    PBPat->setGeometry(Scaled(this, 50), Scaled(this, 49), Scaled(this, 333), Scaled(this, 16));

    setFixedSize(Scaled(this, 427), Scaled(this, 86));
}

// QProgressBar repaints itself at once on every change of value, which over a run of
// thousands of small entries costs more than the extraction: the bar is only marked for
// painting, and the busy pump (at most every ~30 ms) or the event loop paints it.
void TDialogPat::SetBarValue(int value) {
    if (PBPat->value() == value)
        return;
    PBPat->setUpdatesEnabled(false);
    PBPat->setValue(value);
    PBPat->setUpdatesEnabled(true);
}

void TDialogPat::Begin(const QString& title, const QString& status) {
    SetBarValue(0);
    if (windowTitle() != title)
        setWindowTitle(title);
    LPat->setText(status);
    if (!isVisible()) {
        show();
        raise();
        // A repaint before the first expose is thrown away: wait for it, then paint.
        busy::WaitExposed(this);
        repaint();
        return;
    }
    // Already on screen: the new texts are painted by the next busy pump, at most about
    // 30 ms later, instead of a full repaint per entry of a long run.
    busy::PumpBusy();
}

void TDialogPat::SetProgress(int percent) {
    // Out-of-range values would be ignored by the bar; past 100 it stays at its maximum.
    SetBarValue(std::clamp(percent, 0, 100));
    busy::PumpBusy();
}

void TDialogPat::Finish() {
    hide();
}

void TDialogPat::setVisible(bool visible) {
    // Centred on the screen at every show (not over the parent, as QDialog would);
    // showing it while visible leaves it where it is.
    if (visible && !isVisible()) {
        const QWidget* anchor = parentWidget() ? parentWidget()->window() : nullptr;
        const QScreen* screen = anchor && anchor->screen() ? anchor->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            const QRect area = screen->availableGeometry();
            move(area.center() - QPoint(width() / 2, height() / 2));
        }
    }
    QDialog::setVisible(visible);
}

void TDialogPat::reject() {
    // There is nothing to cancel: the work runs on regardless.
}

void TDialogPat::closeEvent(QCloseEvent* event) {
    // No close request is honoured, whether it comes from the window manager (Alt-F4)
    // or through QWindow::close(), as Wayland compositors deliver it: the program hides
    // the window itself, with Finish().
    event->ignore();
}

void TDialogPat::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Cancel) || event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace morbek
