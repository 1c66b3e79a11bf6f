#include "components/Framework.h"

#include <QWidget>

#include "components/ModalSeam.h"
#include "components/MsgDialog.h"
#include "platform/help/WinHelp.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QtMath>
#include <algorithm>

namespace morbek::framework {

int Scaled(const QWidget* widget, int value) {
    const int dpi = widget->logicalDpiY() > 0 ? widget->logicalDpiY() : 96;
    return qRound(value * dpi / 96.0);
}

void SetHelpContext(QObject* object, int context) {
    object->setProperty("helpContext", context);
}

int HelpContextOf(const QObject* object) {
    return object ? object->property("helpContext").toInt() : 0;
}

namespace {
QString applicationTitle;
QString helpFile;
} // namespace

QFont DialogFont() {
    qreal dpi = 96.0;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        dpi = screen->logicalDotsPerInchY();
    QFont font(QStringLiteral("sans-serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(qMax(1, qRound(11.0 * dpi / 96.0)));
    return font;
}

int TitleBarWidth(const QString& title, const QWidget* window) {
    QFont font = QApplication::font("QMdiSubWindowTitleBar");
    font.setBold(true);
    const QFontMetrics metrics(font);
    // The frame's icon and three buttons are about as wide as the bar is high, and the
    // bar is a little higher than its text; plus the gaps at both ends of the text.
    const int bar = metrics.height() + 8;
    const int needed = metrics.horizontalAdvance(title) + 4 * bar + 2 * metrics.height();
    const QScreen* screen = window && window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    return screen ? std::min(needed, screen->availableGeometry().width()) : needed;
}

namespace {

// Kept on the dialog as a child, so it lives and goes with it.
class DialogHabits final : public QObject {
public:
    explicit DialogHabits(QWidget* dialog) : QObject(dialog), dialog_(dialog) {
        setObjectName(QStringLiteral("DialogHabits"));
        dialog->installEventFilter(this);
        FitTitle();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != dialog_)
            return false;
        switch (event->type()) {
        case QEvent::Show:
            // Qt sets this only after a Tab or a shortcut, and the style draws focus
            // frames only with it.
            dialog_->setAttribute(Qt::WA_KeyboardFocusChange);
            FitTitle();
            break;
        case QEvent::WindowTitleChange:
        case QEvent::Resize: // a message box fixes its own size as it shows
            FitTitle();
            break;
        default:
            break;
        }
        return false;
    }

private:
    void FitTitle() {
        const int own = dialog_->minimumWidth();
        if (own != applied_)
            designWidth_ = own; // set by the dialog itself since our last fit
        const int target = std::max(designWidth_, TitleBarWidth(dialog_->windowTitle(), dialog_));
        if (target == own)
            return;
        applied_ = target;
        if (dialog_->maximumWidth() != own) {
            dialog_->setMinimumWidth(target);
            return;
        }
        // A fixed width: controls placed by hand stay centred (a layout does that itself),
        // and a dialog already placed stays centred where it was put.
        const int shift = (target - designWidth_) / 2;
        if (!dialog_->layout() && shift != shift_) {
            const QObjectList children = dialog_->children();
            for (QObject* child : children)
                if (auto* widget = qobject_cast<QWidget*>(child); widget && !widget->isWindow())
                    widget->move(widget->x() + shift - shift_, widget->y());
        }
        shift_ = shift;
        if (dialog_->testAttribute(Qt::WA_Moved))
            dialog_->move(dialog_->x() - (target - dialog_->width()) / 2, dialog_->y());
        dialog_->setFixedWidth(target);
    }

    QWidget* dialog_;
    int designWidth_ = 0; // the width the dialog asks for by itself
    int applied_ = -1;    // the minimum width we set last
    int shift_ = 0;       // how far hand-placed controls were moved to stay centred
};

} // namespace

void PrepareDialog(QWidget* dialog) {
    if (!dialog ||
        dialog->findChild<DialogHabits*>(QStringLiteral("DialogHabits"), Qt::FindDirectChildrenOnly))
        return;
    new DialogHabits(dialog);
}

void SetApplicationTitle(const QString& title) {
    applicationTitle = title;
}
QString ApplicationTitle() {
    return applicationTitle;
}

void SetHelpFile(const QString& path) {
    helpFile = path;
}
QString HelpFile() {
    return helpFile;
}

void HelpContext(int context) {
    if (context != 0)
        platform::WinHelp(HelpFile(), platform::HELP_CONTEXT, static_cast<uint32_t>(context));
    else
        platform::WinHelp(HelpFile(), platform::HELP_FINDER, 0);
}

void ShowErrorBox(const QString& message) {
    QMessageBox box;
    box.setWindowTitle(ApplicationTitle());
    box.setIcon(QMessageBox::Critical);
    // Error texts carry file names; a "<" in one must not switch the box to rich text.
    box.setTextFormat(Qt::PlainText);
    box.setText(DisplayLineBreaks(message));
    box.setProperty(kMessageTextProperty, message);
    // A plain button keeps the French caption that standard buttons would translate.
    auto* ok = new QPushButton(QStringLiteral("OK"), &box);
    ok->setObjectName(QStringLiteral("OK"));
    box.addButton(ok, QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    modal::Exec(box);
}

bool RunHandler(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const Error& e) {
        ShowErrorBox(e.text);
        return false;
    }
    return true;
}

} // namespace morbek::framework
