#include "components/MsgDialog.h"

#include "components/Framework.h"
#include "components/ModalSeam.h"
#include "platform/sound/MessageBeep.h"

#include <QCloseEvent>
#include <QDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

namespace morbek {

namespace {

struct ButtonInfo {
    TMsgDlgBtn bit;
    const char* name;
    const char* caption;
    int result;
};

// Bit order is also the left-to-right order. The captions stay French in every language.
constexpr std::array<ButtonInfo, 9> kButtons{{
    {mbYes, "Yes", "&Oui", mrYes},
    {mbNo, "No", "&Non", mrNo},
    {mbOK, "OK", "OK", mrOk},
    {mbCancel, "Cancel", "Annuler", mrCancel},
    {mbAbort, "Abort", "&Abandon", mrAbort},
    {mbRetry, "Retry", "&Retenter", mrRetry},
    {mbIgnore, "Ignore", "&Ignorer", mrIgnore},
    {mbAll, "All", "&Tout", mrAll},
    {mbHelp, "Help", "&Aide", mrNone},
}};

struct KindInfo {
    const char* title; // nullptr: the application title
    bool hasIcon;
    QStyle::StandardPixmap icon;
    uint32_t beep; // 0: silent
};

KindInfo Kind(TMsgDlgType kind) {
    switch (kind) {
    case TMsgDlgType::Warning:
        return {"Avertissement", true, QStyle::SP_MessageBoxWarning, platform::MB_ICONEXCLAMATION};
    case TMsgDlgType::Error:
        return {"Erreur", true, QStyle::SP_MessageBoxCritical, platform::MB_ICONHAND};
    case TMsgDlgType::Information:
        return {"Information", true, QStyle::SP_MessageBoxInformation, platform::MB_ICONASTERISK};
    case TMsgDlgType::Confirmation:
        return {"Confirmation", true, QStyle::SP_MessageBoxQuestion, platform::MB_ICONQUESTION};
    case TMsgDlgType::Custom:
        break;
    }
    return {nullptr, false, QStyle::SP_CustomBase, 0};
}

// Dialog units round to the nearest pixel, as the original's MulDiv did.
int MulDiv(int number, int numerator, int denominator) {
    return static_cast<int>(std::lround(static_cast<double>(number) * numerator / denominator));
}

constexpr int kMargin = 8, kIconGap = 10, kButtonGap = 10;
constexpr int kButtonWidth = 50, kButtonHeight = 14, kButtonSpacing = 4;
constexpr int kIconSize = 32;

class MessageDialog final : public QDialog {
    Q_OBJECT
public:
    MessageDialog()
        : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {}

    void SetCancelButton(QPushButton* button) { cancelButton_ = button; }

    void done(int result) override {
        finishing_ = true;
        QDialog::done(result);
        finishing_ = false;
    }

protected:
    // QDialog would reject() with 0; Esc here only ever presses the Cancel-role button.
    void keyPressEvent(QKeyEvent* event) override {
        if (event->matches(QKeySequence::Cancel)) {
            if (cancelButton_ && cancelButton_->isVisible() && cancelButton_->isEnabled())
                cancelButton_->click();
            event->accept();
            return;
        }
        QDialog::keyPressEvent(event);
    }

    // The title bar's close box (or any other close while shown) answers 2, whatever
    // buttons the dialog has.
    void closeEvent(QCloseEvent* event) override {
        if (!finishing_ && isVisible())
            done(mrCancel);
        event->accept();
    }

private:
    QPushButton* cancelButton_ = nullptr;
    bool finishing_ = false;
};

} // namespace

QString DisplayLineBreaks(const QString& text) {
    QString display = text;
    display.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    display.replace(QStringLiteral("\n\r"), QStringLiteral("\n"));
    display.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return display;
}

QDialog* CreateMessageDialog(const QString& message, TMsgDlgType kind, TMsgDlgButtons buttons) {
    const KindInfo info = Kind(kind);
    auto dialog = std::make_unique<MessageDialog>();
    const QFont font = framework::DialogFont();
    dialog->setFont(font);
    dialog->setWindowTitle(info.title ? QString::fromLatin1(info.title) : framework::ApplicationTitle());
    dialog->setProperty(kHelpContextProperty, 0);
    dialog->setProperty(kMessageTextProperty, message);

    const QFontMetrics metrics(font);
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int averageWidth = metrics.horizontalAdvance(letters) / static_cast<int>(letters.size());
    const int charHeight = metrics.height();
    const auto horz = [averageWidth](int units) { return MulDiv(units, averageWidth, 4); };
    const auto vert = [charHeight](int units) { return MulDiv(units, charHeight, 8); };
    const int hMargin = horz(kMargin), vMargin = vert(kMargin);
    const int buttonWidth = horz(kButtonWidth), buttonHeight = vert(kButtonHeight);
    const int buttonSpacing = horz(kButtonSpacing);

    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect screenRect = screen ? screen->geometry() : QRect(0, 0, 800, 600);

    const QString display = DisplayLineBreaks(message);
    const QRect textRect = metrics.boundingRect(QRect(0, 0, screenRect.width() / 2, 0),
                                                Qt::AlignLeft | Qt::TextWordWrap, display);

    int iconTextWidth = textRect.width();
    int iconTextHeight = textRect.height();
    if (info.hasIcon) {
        iconTextWidth += kIconSize + horz(kIconGap);
        iconTextHeight = std::max(iconTextHeight, kIconSize);
        auto* image = new QLabel(dialog.get());
        image->setObjectName(QStringLiteral("Image"));
        const QIcon icon = dialog->style()->standardIcon(info.icon, nullptr, dialog.get());
        image->setPixmap(icon.pixmap(QSize(kIconSize, kIconSize)));
        image->setGeometry(hMargin, vMargin, kIconSize, kIconSize);
    }

    auto* text = new QLabel(dialog.get());
    text->setObjectName(QStringLiteral("Message"));
    // File names in messages may hold "<"; they must never turn the text into markup.
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->setText(display);
    text->setGeometry(hMargin + iconTextWidth - textRect.width(), vMargin, textRect.width(),
                      textRect.height());

    const int count = static_cast<int>(std::count_if(
        kButtons.begin(), kButtons.end(), [buttons](const ButtonInfo& b) { return buttons & b.bit; }));
    const int groupWidth = count > 0 ? count * buttonWidth + (count - 1) * buttonSpacing : 0;
    const int clientWidth = std::max(iconTextWidth, groupWidth) + 2 * hMargin;
    const int clientHeight = iconTextHeight + vert(kButtonGap) + buttonHeight + 2 * vMargin;

    const TMsgDlgBtn defaultBit = (buttons & mbOK) ? mbOK : (buttons & mbYes) ? mbYes : mbRetry;
    const TMsgDlgBtn cancelBit = (buttons & mbCancel) ? mbCancel : (buttons & mbNo) ? mbNo : mbOK;

    MessageDialog* const self = dialog.get();
    int x = (clientWidth - groupWidth) / 2;
    const int y = iconTextHeight + vMargin + vert(kButtonGap);
    for (const ButtonInfo& b : kButtons) {
        if (!(buttons & b.bit))
            continue;
        auto* button = new QPushButton(QString::fromUtf8(b.caption), self);
        button->setObjectName(QString::fromLatin1(b.name));
        button->setGeometry(x, y, buttonWidth, buttonHeight);
        x += buttonWidth + buttonSpacing;
        if (b.bit == defaultBit) {
            button->setDefault(true);
            // Qt lets the focused button take Enter; starting there keeps Enter on the default.
            button->setFocus();
        }
        if (b.bit == cancelBit)
            self->SetCancelButton(button);
        const int result = b.result;
        if (result != mrNone)
            QObject::connect(button, &QPushButton::clicked, self, [self, result]() { self->done(result); });
        else
            QObject::connect(button, &QPushButton::clicked, self, [self]() {
                framework::HelpContext(self->property(kHelpContextProperty).toInt());
            });
    }

    dialog->setFixedSize(clientWidth, clientHeight);
    dialog->move(screenRect.x() + (screenRect.width() - clientWidth) / 2,
                 screenRect.y() + (screenRect.height() - clientHeight) / 2);
    return dialog.release();
}

int MsgDialog(const QString& caption, const QString& message, TMsgDlgType kind, TMsgDlgButtons buttons,
              int32_t helpContext) {
    const std::unique_ptr<QDialog> dialog(CreateMessageDialog(message, kind, buttons));
    dialog->setWindowTitle(caption);
    dialog->setProperty(kHelpContextProperty, helpContext);
    if (const uint32_t beep = Kind(kind).beep)
        platform::MessageBeep(beep);
    return modal::Exec(*dialog);
}

int PlainMsgDialog(const QString& message, TMsgDlgType kind, TMsgDlgButtons buttons, int32_t helpContext) {
    const std::unique_ptr<QDialog> dialog(CreateMessageDialog(message, kind, buttons));
    dialog->setProperty(kHelpContextProperty, helpContext);
    return modal::Exec(*dialog);
}

} // namespace morbek

#include "MsgDialog.moc"
