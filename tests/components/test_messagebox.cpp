// The stand-in for the platform's message box: buttons, results, icon and beep.
#include "components/MessageBox.h"
#include "components/ModalSeam.h"
#include "platform/sound/MessageBeep.h"

#include <QAbstractButton>
#include <QDialog>
#include <QMessageBox>
#include <gtest/gtest.h>

namespace morbek {
namespace {

// Presses the named button (or closes the box when name is empty) and records the
// buttons the box showed.
void Answer(const char* name, QStringList* shown) {
    modal::AnswerNext([name, shown](QDialog& d) {
        auto& box = static_cast<QMessageBox&>(d);
        for (QAbstractButton* b : box.buttons())
            shown->append(b->objectName());
        if (*name)
            box.findChild<QAbstractButton*>(QString::fromLatin1(name))->click();
        else
            box.reject();
    });
}

TEST(MessageBoxA, YesNoCancelGivesThePlatformCodes) {
    const std::pair<const char*, int> cases[] = {
        {"Yes", IDYES}, {"No", IDNO}, {"Cancel", IDCANCEL}, {"", IDCANCEL}};
    for (const auto& [button, code] : cases) {
        SCOPED_TRACE(button);
        QStringList shown;
        Answer(button, &shown);
        const int beeps = platform::MessageBeepCount();
        EXPECT_EQ(MessageBoxA(nullptr, QStringLiteral("Replace?\r\nNow"), QStringLiteral("Title"),
                              MB_YESNOCANCEL | platform::MB_ICONEXCLAMATION),
                  code);
        EXPECT_EQ(shown.size(), 3);
        EXPECT_EQ(platform::MessageBeepCount(), beeps + 1);
        EXPECT_EQ(platform::LastMessageBeep(), platform::MB_ICONEXCLAMATION);
    }
}

TEST(MessageBoxA, OkAloneAnswersOkEvenWhenClosed) {
    QStringList shown;
    Answer("", &shown);
    EXPECT_EQ(MessageBoxA(nullptr, QStringLiteral("x"), QStringLiteral("t"), MB_OK), IDOK);
    EXPECT_EQ(shown, QStringList{QStringLiteral("OK")});
}

} // namespace
} // namespace morbek
