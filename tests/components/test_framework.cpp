#include "components/Framework.h"
#include "components/ModalSeam.h"
#include "platform/help/WinHelp.h"

#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace morbek;

namespace {

TEST(Framework, RunHandlerShowsAFrameworkErrorInTheStandardBoxOnly) {
    modal::ClearAnswers();
    framework::SetApplicationTitle(QStringLiteral("Zuvedaz ud Izedori"));
    QString title, text;
    QStringList buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    modal::AnswerNext([&](QDialog& d) {
        auto& box = dynamic_cast<QMessageBox&>(d);
        title = box.windowTitle();
        text = box.text();
        icon = box.icon();
        for (QAbstractButton* b : box.buttons())
            buttons << b->text();
        box.buttons().value(0)->click();
    });
    EXPECT_FALSE(framework::RunHandler([] { throw framework::Error(QStringLiteral("Écriture: <a.txt>")); }));
    EXPECT_EQ(title, QStringLiteral("Zuvedaz ud Izedori"));
    EXPECT_EQ(text, QStringLiteral("Écriture: <a.txt>"));
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(buttons, QStringList{QStringLiteral("OK")});
    EXPECT_EQ(modal::PendingAnswers(), 0);

    EXPECT_TRUE(framework::RunHandler([] {}));
    EXPECT_THROW(framework::RunHandler([] { throw std::logic_error("bug"); }), std::logic_error);
}

TEST(Framework, HelpContextZeroOpensTheContents) {
    framework::SetHelpFile(QStringLiteral("/opt/morbek/morbek.hlp"));
    framework::HelpContext(17);
    EXPECT_EQ(platform::LastHelpRequest().file, QStringLiteral("/opt/morbek/morbek.hlp"));
    EXPECT_EQ(platform::LastHelpRequest().command, platform::HELP_CONTEXT);
    EXPECT_EQ(platform::LastHelpRequest().data, 17u);
    framework::HelpContext(0);
    EXPECT_EQ(platform::LastHelpRequest().command, platform::HELP_FINDER);
    EXPECT_EQ(platform::LastHelpRequest().data, 0u);
}

} // namespace
