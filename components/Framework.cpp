#include "components/Framework.h"

#include <QWidget>

#include "components/ModalSeam.h"
#include "components/MsgDialog.h"
#include "platform/help/WinHelp.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QtMath>

namespace morbek::framework {

int Scaled(const QWidget* widget, int value) {
    const int dpi = widget->logicalDpiY() > 0 ? widget->logicalDpiY() : 96;
    return qRound(value * dpi / 96.0);
}

void SetHelpContext(QObject* object, int context) { object->setProperty("helpContext", context); }

int HelpContextOf(const QObject* object) { return object ? object->property("helpContext").toInt() : 0; }

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

void SetApplicationTitle(const QString& title) { applicationTitle = title; }
QString ApplicationTitle() { return applicationTitle; }

void SetHelpFile(const QString& path) { helpFile = path; }
QString HelpFile() { return helpFile; }

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
