#include "app/HelpKeys.h"

#include "components/Framework.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QWidget>

namespace morbek {

namespace {

// The highlighted item of an open menu. The program's items carry their context
// themselves, whether they sit in the main menu or in the context menu; with nothing
// highlighted, an open submenu stands for the item that opened it.
int MenuContext(QWidget* menuWidget) {
    if (auto* menu = qobject_cast<QMenu*>(menuWidget))
        return menu->activeAction() ? framework::HelpContextOf(menu->activeAction())
                                    : framework::HelpContextOf(menu->menuAction());
    if (auto* bar = qobject_cast<QMenuBar*>(menuWidget))
        return framework::HelpContextOf(bar->activeAction());
    return 0;
}

// A shortcut of a window does not fire while a menu holds the keyboard or inside a
// modal dialog, so F1 is taken before any widget sees it.
class HelpKeyFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        // Key events pass the window first and then the widget: take them once, at the widget.
        if (e->type() != QEvent::KeyPress || !watched->isWidgetType())
            return false;
        auto* key = static_cast<QKeyEvent*>(e);
        if (key->key() != Qt::Key_F1 || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        if (key->isAutoRepeat())
            return true;
        // Before the first activation has named the help file there is no help to open.
        if (framework::HelpFile().isEmpty())
            return false;
        const int context = HelpContextForKey(watched);
        if (context <= 0)
            return false;
        framework::RunHandler([context] { framework::HelpContext(context); });
        return true;
    }
};

} // namespace

int HelpContextForKey(QObject* receiver) {
    if (QWidget* popup = QApplication::activePopupWidget()) {
        if (qobject_cast<QMenu*>(popup))
            return MenuContext(popup);
    }
    if (auto* bar = qobject_cast<QMenuBar*>(receiver); bar && bar->activeAction())
        return MenuContext(bar);
    // The key goes to the focused control (or to the window when none has the focus).
    QWidget* widget =
        receiver && receiver->isWidgetType() ? static_cast<QWidget*>(receiver) : QApplication::focusWidget();
    // Up from the focused control to its window, never beyond it: a dialog does not
    // borrow the context of the window that owns it.
    for (; widget; widget = widget->isWindow() ? nullptr : widget->parentWidget()) {
        if (const int context = framework::HelpContextOf(widget); context > 0)
            return context;
    }
    return 0;
}

void InstallHelpKeys() {
    static QPointer<HelpKeyFilter> filter;
    if (filter || !qApp)
        return;
    filter = new HelpKeyFilter(qApp);
    qApp->installEventFilter(filter);
}

} // namespace morbek
