#include "components/MessageBox.h"

#include "components/ModalSeam.h"
#include "components/MsgDialog.h"
#include "platform/sound/MessageBeep.h"

#include <QMessageBox>
#include <QPushButton>
#include <vector>

namespace morbek {

int MessageBoxA(QWidget* owner, const QString& text, const QString& caption, uint32_t type) {
    QMessageBox box(owner);
    box.setWindowTitle(caption);
    box.setTextFormat(Qt::PlainText);
    box.setText(DisplayLineBreaks(text));
    box.setProperty("messageText", text);
    const uint32_t icon = type & 0xF0;
    switch (icon) {
    case platform::MB_ICONHAND:
        box.setIcon(QMessageBox::Critical);
        break;
    case platform::MB_ICONQUESTION:
        box.setIcon(QMessageBox::Question);
        break;
    case platform::MB_ICONEXCLAMATION:
        box.setIcon(QMessageBox::Warning);
        break;
    case platform::MB_ICONASTERISK:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        break;
    }
    struct Choice {
        QMessageBox::StandardButton button;
        int code;
        const char* name;
    };
    std::vector<Choice> choices;
    switch (type & 0x0F) {
    case MB_OKCANCEL:
        choices = {{QMessageBox::Ok, IDOK, "OK"}, {QMessageBox::Cancel, IDCANCEL, "Cancel"}};
        break;
    case MB_YESNOCANCEL:
        choices = {{QMessageBox::Yes, IDYES, "Yes"},
                   {QMessageBox::No, IDNO, "No"},
                   {QMessageBox::Cancel, IDCANCEL, "Cancel"}};
        break;
    case MB_YESNO:
        choices = {{QMessageBox::Yes, IDYES, "Yes"}, {QMessageBox::No, IDNO, "No"}};
        break;
    default:
        choices = {{QMessageBox::Ok, IDOK, "OK"}};
        break;
    }
    for (const Choice& c : choices)
        box.addButton(c.button)->setObjectName(QString::fromLatin1(c.name));
    box.setDefaultButton(choices.front().button);
    // Esc and the close box give Cancel when there is one, else the last button.
    box.setEscapeButton(box.button(choices.back().button));
    if (icon)
        platform::MessageBeep(icon);
    modal::Exec(box);
    const QAbstractButton* clicked = box.clickedButton();
    for (const Choice& c : choices)
        if (clicked && clicked == box.button(c.button))
            return c.code;
    return choices.back().code;
}

} // namespace morbek
