// The About box, the help commands, F1 and the two help files shipped beside the program.
#include "MainWindowFixture.h"

#include "app/AboutBox.h"
#include "app/HelpKeys.h"
#include "app/Windows.h"
#include "platform/help/HelpFile.h"
#include "platform/help/WinHelp.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include <map>

namespace morbek::testing {
namespace {

using platform::HELP_CONTEXT;
using platform::HELP_FINDER;
using platform::help::HelpFile;
using platform::help::kContentsContext;

// Every help context the program gives its menus and windows.
const int kProgramContexts[] = {1, 10, 11, 12, 15, 16, 17, 19, 20, 21, 22, 25, 28, 29, 30, 31, 90};

QString BuiltHelpFile(const char* name) {
    return QStringLiteral(MORBEK_APP_DIR "/") + QLatin1String(name);
}

class AboutHelpTest : public MainWindowTest {
protected:
    void SetUp() override {
        // Requests are recorded; no viewer window is started from these tests.
        platform::SetHelpViewerProgram(QString());
        InstallHelpKeys();
        MainWindowTest::SetUp();
        aboutBox = Windows().AboutBox;
        ASSERT_NE(aboutBox, nullptr);
    }
    void TearDown() override {
        MainWindowTest::TearDown();
        platform::ResetHelpViewerProgram();
        LangIndex = 0;
    }

    void SwitchLanguage(int index) {
        LangIndex = index;
        window->ApplyLanguage(index);
    }

    // Presses F1 where the keyboard is; returns the context opened, or -1 for none.
    int PressF1(QWidget* target) {
        const int before = platform::HelpRequestCount();
        QTest::keyClick(target, Qt::Key_F1);
        if (platform::HelpRequestCount() == before)
            return -1;
        EXPECT_EQ(platform::HelpRequestCount(), before + 1);
        EXPECT_EQ(platform::LastHelpRequest().command, HELP_CONTEXT);
        EXPECT_EQ(platform::LastHelpRequest().file, framework::HelpFile());
        return static_cast<int>(platform::LastHelpRequest().data);
    }

    TAboutBox* aboutBox = nullptr; // the program's About box, owned by the main window
};

// --- help file per language --------------------------------------------------------------

TEST_F(AboutHelpTest, HelpOpensTheContentsOfTheLanguagesEditionGermanUsesTheEnglishOne) {
    const std::pair<int, QString> editions[] = {{0, QStringLiteral("morbek.hlp")},
                                                {1, QStringLiteral("morbeke.hlp")},
                                                {2, QStringLiteral("morbeke.hlp")}};
    for (const auto& [language, name] : editions) {
        SwitchLanguage(language);
        const int before = platform::HelpRequestCount();
        window->HelpBtn->click();
        ASSERT_EQ(platform::HelpRequestCount(), before + 1) << "language " << language;
        EXPECT_EQ(platform::LastHelpRequest().file, window->AppDir + name) << "language " << language;
        EXPECT_EQ(platform::LastHelpRequest().command, HELP_FINDER);
        EXPECT_EQ(platform::LastHelpRequest().data, 0u);
        window->Aide1->trigger();
        EXPECT_EQ(platform::HelpRequestCount(), before + 2);
        EXPECT_EQ(platform::LastHelpRequest().file, window->AppDir + name);
    }
    EXPECT_EQ(window->AppDir, QCoreApplication::applicationDirPath() + QLatin1Char('/'));
}

// --- the About box ---------------------------------------------------------------------------

struct AboutShown {
    QString caption, product, version;
    QSize image;
    bool closedByOk = false;
};

TEST_F(AboutHelpTest, AboutBoxFollowsTheLanguageButNotItsVersionLine) {
    const std::map<int, AboutShown> expected = {
        {0,
         {QStringLiteral("A propos de Zuvedaz ud izedori"),
          QStringLiteral("Zuvedaz ud izedori"),
          {},
          {},
          true}},
        {1, {QStringLiteral("About Dazeduv Uvoro"), QStringLiteral("Dazeduv Uvoro"), {}, {}, true}},
        {2, {QString::fromUtf8("Über Dazeduv Uvoro"), QStringLiteral("Dazeduv Uvoro"), {}, {}, true}},
    };
    for (const auto& [language, want] : expected) {
        SwitchLanguage(language);
        AboutShown shown;
        modal::AnswerNext([&shown](QDialog& d) {
            auto& box = static_cast<TAboutBox&>(d);
            shown.caption = box.windowTitle();
            shown.product = box.ProductName->text();
            shown.version = box.Version->text();
            shown.image = box.abImage->pixmap().size();
            box.BitBtn1->click();
            shown.closedByOk = box.result() == QDialog::Accepted && !box.isVisible();
        });
        window->AboutBtn->click();
        EXPECT_EQ(shown.caption, want.caption) << "language " << language;
        EXPECT_EQ(shown.product, want.product) << "language " << language;
        EXPECT_EQ(shown.version, QStringLiteral("Version 1.12 - Septembre 1998")) << "language " << language;
        EXPECT_EQ(shown.image, QSize(32, 32));
        EXPECT_TRUE(shown.closedByOk);
    }
    // The menu item shows the same box.
    modal::AnswerNext([](QDialog& d) { d.reject(); });
    window->Apropos1->trigger();
}

TEST_F(AboutHelpTest, AboutBoxLayoutHoldsItsTextsAndShowsTheIconOnActivation) {
    SwitchLanguage(0);
    QString unfit;
    QRect panel;
    QRect client;
    QPixmap onActivation;
    modal::AnswerNext([&](QDialog& d) {
        auto& box = static_cast<TAboutBox&>(d);
        client = box.rect();
        panel = box.Panel1->geometry();
        for (QLabel* label : {box.ProductName, box.Version}) {
            if (label->fontMetrics().horizontalAdvance(label->text()) > label->width())
                unfit += label->objectName() + QLatin1Char(' ');
        }
        // Whatever was put there before, activation shows the application's icon.
        box.abImage->clear();
        QEvent activate(QEvent::WindowActivate);
        QCoreApplication::sendEvent(&box, &activate);
        onActivation = box.abImage->pixmap();
        d.accept();
    });
    window->AboutBtn->click();
    EXPECT_EQ(unfit, QString()) << "texts cut off by their labels";
    EXPECT_TRUE(client.contains(panel)) << "the panel leaves the client area";
    EXPECT_TRUE(client.contains(aboutBox->BitBtn1->geometry()));
    EXPECT_FALSE(panel.intersects(aboutBox->BitBtn1->geometry()));
    EXPECT_EQ(aboutBox->minimumSize(), aboutBox->maximumSize()) << "a dialog frame is not sizeable";
    EXPECT_FALSE(onActivation.isNull());
}

// --- the help files --------------------------------------------------------------------------

class HelpFilesTest : public ::testing::TestWithParam<const char*> {};

TEST_P(HelpFilesTest, EveryProgramContextHasATopicAndEveryTopicIsReachable) {
    HelpFile file;
    ASSERT_TRUE(file.Load(BuiltHelpFile(GetParam()))) << "not beside the program: " << GetParam();
    ASSERT_NE(file.Find(kContentsContext), nullptr);
    for (int context : kProgramContexts) {
        const platform::help::HelpTopic* topic = file.Find(context);
        ASSERT_NE(topic, nullptr) << "context " << context;
        EXPECT_FALSE(topic->title.isEmpty()) << "context " << context;
        EXPECT_GE(topic->lines.size(), 3) << "context " << context << " says next to nothing";
    }
    // No dead link; every topic leads back to the contents, and the contents reach all.
    QSet<int> reached{kContentsContext};
    QList<int> queue{kContentsContext};
    while (!queue.isEmpty()) {
        for (int target : file.Links(*file.Find(queue.takeFirst()))) {
            if (!reached.contains(target)) {
                reached.insert(target);
                queue << target;
            }
        }
    }
    for (const platform::help::HelpTopic& topic : file.Topics()) {
        for (int target : file.Links(topic))
            EXPECT_NE(file.Find(target), nullptr)
                << "topic " << topic.context << " links to missing " << target;
        if (topic.context != kContentsContext) {
            EXPECT_TRUE(file.Links(topic).contains(kContentsContext)) << "topic " << topic.context;
        }
        EXPECT_TRUE(reached.contains(topic.context)) << "topic " << topic.context << " unreachable";
    }
}

INSTANTIATE_TEST_SUITE_P(Editions, HelpFilesTest, ::testing::Values("morbek.hlp", "morbeke.hlp"),
                         [](const ::testing::TestParamInfo<const char*>& edition) {
                             return std::string(edition.param[6] == 'e' ? "English" : "French");
                         });

TEST(HelpFiles, BothEditionsHaveTheSameTopicsInTheirOwnLanguage) {
    HelpFile french;
    HelpFile english;
    ASSERT_TRUE(french.Load(BuiltHelpFile("morbek.hlp")));
    ASSERT_TRUE(english.Load(BuiltHelpFile("morbeke.hlp")));
    QList<int> frenchContexts;
    QList<int> englishContexts;
    for (const auto& t : french.Topics())
        frenchContexts << t.context;
    for (const auto& t : english.Topics())
        englishContexts << t.context;
    EXPECT_EQ(frenchContexts, englishContexts);
    EXPECT_EQ(french.Language(), QStringLiteral("fr"));
    EXPECT_EQ(english.Language(), QStringLiteral("en"));
    EXPECT_EQ(french.Find(kContentsContext)->title, QStringLiteral("Sommaire"));
    EXPECT_EQ(english.Find(kContentsContext)->title, QStringLiteral("Contents"));
}

TEST_F(AboutHelpTest, EveryContextTheWindowCarriesHasATopic) {
    HelpFile french;
    HelpFile english;
    ASSERT_TRUE(french.Load(BuiltHelpFile("morbek.hlp")));
    ASSERT_TRUE(english.Load(BuiltHelpFile("morbeke.hlp")));
    int carried = 0;
    QList<QObject*> objects = window->findChildren<QObject*>();
    objects << window.get();
    for (QObject* object : objects) {
        const int context = object->property("helpContext").toInt();
        if (context <= 0)
            continue;
        ++carried;
        EXPECT_NE(french.Find(context), nullptr) << object->objectName().toStdString() << " " << context;
        EXPECT_NE(english.Find(context), nullptr) << object->objectName().toStdString() << " " << context;
    }
    EXPECT_GE(carried, 20);
}

// --- F1 ------------------------------------------------------------------------------------------

TEST_F(AboutHelpTest, F1OnTheFileListOpensTheMainWindowsTopic) {
    window->activateWindow();
    window->ListFic->setFocus();
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(PressF1(QApplication::focusWidget()), 1);
    // Shift+F1 and other chords are not help.
    const int before = platform::HelpRequestCount();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1, Qt::ShiftModifier);
    EXPECT_EQ(platform::HelpRequestCount(), before);
}

TEST_F(AboutHelpTest, F1OnAHighlightedMenuItemOpensThatItemsTopic) {
    window->MenFichiers->popup(QPoint(20, 20));
    window->MenFichiers->setActiveAction(window->Ouvre1);
    EXPECT_EQ(PressF1(window->MenFichiers), 11);
    window->MenFichiers->setActiveAction(window->Quitte1);
    EXPECT_EQ(PressF1(window->MenFichiers), 19);
    window->MenFichiers->close();

    // A submenu: its highlighted item, or with none, the item that opened it.
    window->MenAffiche->popup(QPoint(20, 20));
    window->Options1->popup(QPoint(60, 60));
    window->Options1->setActiveAction(window->Langue1);
    EXPECT_EQ(PressF1(window->Options1), 30);
    window->Options1->setActiveAction(nullptr);
    EXPECT_EQ(PressF1(window->Options1), 22);
    window->Options1->close();
    window->MenAffiche->setActiveAction(window->Details1);
    EXPECT_EQ(PressF1(window->MenAffiche), 21);
    window->MenAffiche->close();

    // Items without a context open nothing, not even the window's topic.
    window->N1->popup(QPoint(20, 20));
    window->N1->setActiveAction(window->Apropos1);
    EXPECT_EQ(PressF1(window->N1), -1);
    window->N1->setActiveAction(window->Aide1);
    EXPECT_EQ(PressF1(window->N1), 90);
    window->N1->close();
    window->PopMenu1->popup(QPoint(20, 20));
    window->PopMenu1->setActiveAction(window->proprietes1);
    EXPECT_EQ(PressF1(window->PopMenu1), -1);
    window->PopMenu1->close();
}

TEST_F(AboutHelpTest, F1InsideAModalDialogUsesTheNearestContextUpToTheDialog) {
    // Built as the language dialog is: the dialog and its list carry 31, its buttons none.
    QDialog dialog(window.get());
    dialog.setProperty("helpContext", 31);
    auto* list = new QListWidget(&dialog);
    list->setProperty("helpContext", 31);
    list->addItems({QStringLiteral("Français"), QStringLiteral("English")});
    auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
    ok->setFocusPolicy(Qt::StrongFocus);
    auto* panel = new QWidget(&dialog);
    panel->setProperty("helpContext", 16);
    auto* edit = new QLineEdit(panel);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(list);
    layout->addWidget(panel);
    layout->addWidget(ok);

    int onList = 0;
    int onButton = 0;
    int onEdit = 0;
    modal::AnswerNext([&](QDialog& d) {
        list->setFocus();
        onList = PressF1(list);
        ok->setFocus();
        onButton = PressF1(ok);
        edit->setFocus();
        onEdit = PressF1(edit);
        d.reject();
    });
    modal::Exec(dialog);
    EXPECT_EQ(onList, 31);
    EXPECT_EQ(onButton, 31);
    EXPECT_EQ(onEdit, 16);

    // A dialog without contexts does not borrow its owner's.
    QDialog bare(window.get());
    auto* field = new QLineEdit(&bare);
    int onBare = 0;
    modal::AnswerNext([&](QDialog& d) {
        field->setFocus();
        onBare = PressF1(field);
        d.reject();
    });
    modal::Exec(bare);
    EXPECT_EQ(onBare, -1);
}

TEST_F(AboutHelpTest, NoHelpBeforeTheHelpFileIsKnown) {
    framework::SetHelpFile(QString());
    window->ListFic->setFocus();
    EXPECT_EQ(PressF1(window->ListFic), -1);
}

} // namespace
} // namespace morbek::testing
