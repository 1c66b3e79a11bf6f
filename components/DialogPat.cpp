#include "components/DialogPat.h"

#include "components/Busy.h"
#include "components/Framework.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QShowEvent>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>

#if defined(MORBEK_HAVE_XCB)
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#endif

namespace morbek {

using framework::Scaled;

namespace {

// Qt's own Motif hints for this window keep the resize function, and the window
// managers that read them then offer minimise and maximise: we ask for a title bar
// and a border only, and for moving as the one thing the user may do with it.
void AskForTitleOnlyFrame([[maybe_unused]] QWidget* window) {
#if defined(MORBEK_HAVE_XCB) && QT_CONFIG(xcb)
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    const auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return;
    static constexpr char kName[] = "_MOTIF_WM_HINTS";
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof kName - 1, kName), nullptr);
    if (!reply)
        return;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    const std::array<uint32_t, 5> hints = TitleOnlyMotifHints();
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window->winId()), atom,
                        atom, 32, static_cast<uint32_t>(hints.size()), hints.data());
    xcb_flush(connection);
#endif
}

} // namespace

std::array<uint32_t, 5> TitleOnlyMotifHints() {
    // The Motif names: flags, functions, decorations, input mode, status.
    constexpr uint32_t kHintsFunctions = 1u << 0, kHintsDecorations = 1u << 1;
    constexpr uint32_t kFuncMove = 1u << 2;
    constexpr uint32_t kDecorBorder = 1u << 1, kDecorTitle = 1u << 3;
    return {kHintsFunctions | kHintsDecorations, kFuncMove, kDecorBorder | kDecorTitle, 0, 0};
}

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
    framework::PrepareDialog(this);
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
        const QScreen* screen =
            anchor && anchor->screen() ? anchor->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            const QRect area = screen->availableGeometry();
            move(area.center() - QPoint(width() / 2, height() / 2));
        }
    }
    QDialog::setVisible(visible);
}

void TDialogPat::showEvent(QShowEvent* event) {
    // The native window exists by now and is mapped right after this event, so the
    // window manager reads our hints when it frames the window.
    AskForTitleOnlyFrame(this);
    QDialog::showEvent(event);
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
