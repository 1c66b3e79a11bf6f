// The main window's settings: read on the first activation, saved when it closes.
#include "app/Settings.h"

#include "app/Lang.h"
#include "app/MainWindow.h"
#include "app/RegistryAccess.h"

#include <QAction>
#include <QEvent>
#include <QGuiApplication>
#include <QMargins>
#include <QRect>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace morbek {

namespace {

// The frame around the client area. Once the window is shown the window system's own
// (zero offscreen or on a bare X server); before that the design's: the outer 585 x 321
// holds a client area of 577 x 294, in 96-dpi units.
QMargins FrameMargins(const QWidget& w) {
    if (w.isVisible()) {
        // Asked of the window system each time: the widget's own copy is updated only
        // by the next move, and a window manager frames the window after it is shown.
        if (const QWindow* handle = w.windowHandle())
            return handle->frameMargins();
        const QRect outer = w.frameGeometry(), client = w.geometry();
        return {client.left() - outer.left(), client.top() - outer.top(), outer.right() - client.right(),
                outer.bottom() - client.bottom()};
    }
    const double scale = (w.logicalDpiY() > 0 ? w.logicalDpiY() : 96) / 96.0;
    const int side = qRound(4 * scale);
    return {side, qRound(23 * scale), side, side};
}

int32_t Int32At(const uint8_t* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

void PutInt32(QByteArray& bytes, int32_t value) {
    const auto u = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        bytes.append(static_cast<char>((u >> (8 * i)) & 0xFF));
}

// Bounds that lie mostly outside every screen's available area (stored on another
// screen, or at another scale factor) come back inside the screen that holds most of
// them: the title bar must stay within reach. Bounds mostly on a screen are kept as they
// were stored, partly off-screen or not.
QRect KeptOnScreen(const QRect& outer) {
    const QScreen* best = QGuiApplication::primaryScreen();
    qint64 bestArea = -1;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect common = screen->availableGeometry().intersected(outer);
        const qint64 area = common.isEmpty() ? 0 : qint64(common.width()) * common.height();
        if (area > bestArea) {
            bestArea = area;
            best = screen;
        }
    }
    if (!best || outer.isEmpty() || 2 * bestArea >= qint64(outer.width()) * outer.height())
        return outer;
    const QRect avail = best->availableGeometry();
    QRect inside(outer.topLeft(), outer.size().boundedTo(avail.size()));
    inside.moveLeft(std::clamp(inside.left(), avail.left(), avail.right() + 1 - inside.width()));
    inside.moveTop(std::clamp(inside.top(), avail.top(), avail.bottom() + 1 - inside.height()));
    return inside;
}

// Holds the restored outer bounds while the window manager frames the window: its frame
// margins are known only once it has, and bounds applied with the margins of an
// unframed window come back a frame larger and a title bar higher at every start. The
// window manager answers our requests in its own time, so an answer to the first one
// may still come after the margins are known: each change in the first moments that
// leaves the window off its bounds is answered with the bounds again, a few times at most.
class OuterBoundsKeeper : public QObject {
public:
    static constexpr QLatin1StringView kName{"OuterBoundsKeeper"};
    OuterBoundsKeeper(QWidget& window, const QRect& outer)
        : QObject(&window), window_(window), outer_(outer) {
        setObjectName(kName);
        window.installEventFilter(this);
        // Framing happens right after the window is shown; later moves are the user's.
        // Without a window manager there is no frame to wait for.
        QTimer::singleShot(300, this, [this] {
            if (FrameMargins(window_).isNull() && answers_ == 0)
                window_.setGeometry(outer_);
        });
        QTimer::singleShot(2000, this, &QObject::deleteLater);
    }

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() != QEvent::Move && e->type() != QEvent::Resize && e->type() != QEvent::Show)
            return false;
        if (window_.windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))
            return false;
        const QMargins now = FrameMargins(window_);
        if (now.isNull() || window_.geometry().marginsAdded(now) == outer_ || answers_ >= 6)
            return false;
        ++answers_;
        window_.setGeometry(outer_.marginsRemoved(now));
        return false;
    }

private:
    QWidget& window_;
    QRect outer_;
    int answers_ = 0;
};

} // namespace

// --- the window record ----------------------------------------------------------------

QByteArray WindowRecord::toBytes() const {
    QByteArray bytes;
    bytes.reserve(kSize);
    for (int32_t field : {state, top, left, height, width})
        PutInt32(bytes, field);
    return bytes;
}

WindowRecord WindowRecord::fromBytes(const uint8_t (&bytes)[kSize]) {
    WindowRecord r;
    r.state = bytes[0]; // the state is read back from its lowest byte
    r.top = Int32At(bytes + 4);
    r.left = Int32At(bytes + 8);
    r.height = Int32At(bytes + 12);
    r.width = Int32At(bytes + 16);
    return r;
}

WindowRecord WindowRecord::of(const QWidget& window) {
    WindowRecord r;
    const Qt::WindowStates s = window.windowState();
    if (s & Qt::WindowMinimized)
        r.state = 1; // a minimised window that was maximised is minimised
    else if (s & (Qt::WindowMaximized | Qt::WindowFullScreen))
        r.state = 2;
    const QRect outer = window.geometry().marginsAdded(FrameMargins(window));
    r.top = outer.top();
    r.left = outer.left();
    r.height = outer.height();
    r.width = outer.width();
    return r;
}

void WindowRecord::applyTo(QWidget& window) const {
    const QMargins margins = FrameMargins(window);
    QRect outer = window.geometry().marginsAdded(margins);
    outer.moveTo(left, top);
    if (height > 0)
        outer.setHeight(height);
    if (width > 0)
        outer.setWidth(width);
    outer = KeptOnScreen(outer);
    // A shown X11 window without margins is not framed yet: a request now is answered
    // after framing, in the window manager's own order, and may undo the corrections.
    // The keeper applies the bounds once the margins are known.
    const bool unframed = window.isVisible() && margins.isNull() && state == 0 &&
                          QGuiApplication::platformName() == QLatin1String("xcb");
    if (!unframed)
        window.setGeometry(outer.marginsRemoved(margins));
    delete window.findChild<QObject*>(OuterBoundsKeeper::kName, Qt::FindDirectChildrenOnly);
    new OuterBoundsKeeper(window, outer);
    Qt::WindowStates s =
        window.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen);
    if (state == 1)
        s |= Qt::WindowMinimized;
    else if (state == 2)
        s |= Qt::WindowMaximized;
    window.setWindowState(s);
}

// --- loading and saving -------------------------------------------------------------------

void TDezerOvu::LoadSettings() {
    using namespace reg;
    uint8_t record[WindowRecord::kSize] = {};
    if (ReadBinary(HKEY_CURRENT_USER, kSettingsKey, QStringLiteral("WState"), record, WindowRecord::kSize) ==
        WindowRecord::kSize)
        WindowRecord::fromBytes(record).applyTo(*this);

    const int32_t language = ReadInteger(HKEY_CURRENT_USER, kSettingsKey, QStringLiteral("Language"), -1);
    if (language >= 0 && language <= 2) {
        LangSetting = language;
        LangIndex = language;
        ApplyLanguage(LangIndex);
    } else {
        // -1 (never saved), 255, and values the program never writes: the language
        // follows the user's, and 255 is what the next close stores.
        LangSetting = 255;
    }

    switch (ReadInteger(HKEY_CURRENT_USER, kSettingsKey, QStringLiteral("Install"), -1)) {
    case 0:
        Install1->setEnabled(true);
        Uninstall1->setEnabled(false);
        break;
    case 1:
        Install1->setEnabled(false);
        Uninstall1->setEnabled(true);
        break;
    default:
        // Never answered: the program clicks Association itself, so the question comes
        // once, at the first start.
        Install1Click(Install1);
        break;
    }

    switch (ReadInteger(HKEY_CURRENT_USER, kSettingsKey, QStringLiteral("Display"), 1)) {
    case 1:
        Affiche1Click(Grandesic1);
        break;
    case 2:
        Affiche1Click(Petitesic1);
        break;
    case 3:
        Affiche1Click(Liste1);
        break;
    case 4:
        Affiche1Click(Details1);
        break;
    default:
        break; // the design's large icons stay, DisplayMode stays 0
    }

    SortOrder = ReadInteger(HKEY_CURRENT_USER, kSettingsKey, QStringLiteral("Order"), 0);
    Alpha1Click(SortOrder == 0 ? Aucun1 : Alpha1);
}

void TDezerOvu::OnQuit() {
    // The first write that fails raises: the rest of this save is skipped, and the close
    // goes on (the caller accepts it after the error box).
    using namespace reg;
    WriteBinary(HKEY_CURRENT_USER, kSettingsKey, QStringLiteral("WState"), WindowRecord::of(*this).toBytes());
    WriteInteger(HKEY_CURRENT_USER, kSettingsKey, QStringLiteral("Language"), LangSetting);
    WriteText(HKEY_CURRENT_USER, kSettingsKey, QStringLiteral("Version"), kSettingsVersion);
    WriteInteger(HKEY_CURRENT_USER, kSettingsKey, QStringLiteral("Display"), DisplayMode);
    WriteInteger(HKEY_CURRENT_USER, kSettingsKey, QStringLiteral("Order"), SortOrder);
}

} // namespace morbek
