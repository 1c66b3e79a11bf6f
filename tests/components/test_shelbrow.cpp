#include "components/ShelBrow.h"

#include "components/FolderTreeModel.h"
#include "components/ModalSeam.h"
#include "platform/help/WinHelp.h"
#include "tests/support/QtPrinters.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>
#include <vector>

using namespace morbek;

namespace {

QTreeView* Tree(QDialog& d) {
    return d.findChild<QTreeView*>(QStringLiteral("FolderTree"));
}
FolderTreeModel* Model(QDialog& d) {
    return qobject_cast<FolderTreeModel*>(Tree(d)->model());
}
QPushButton* Button(QDialog& d, const char* name) {
    return d.findChild<QPushButton*>(QString::fromLatin1(name));
}
QString CurrentPath(QDialog& d) {
    return Model(d)->FilePath(Tree(d)->currentIndex());
}
QLineEdit* FolderEdit(QDialog& d) {
    return d.findChild<QLineEdit*>(QStringLiteral("FolderEdit"));
}
// Replaces the folder line's text by pasting, as one edit.
void PasteFolder(QDialog& d, const QString& text) {
    QLineEdit* edit = FolderEdit(d);
    QGuiApplication::clipboard()->setText(text);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
}

class ShellBrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        modal::ClearAnswers();
        ASSERT_TRUE(dir.isValid());
        root = QDir::cleanPath(dir.path());
        for (const char* sub : {"one", "two/deep", ".secret"})
            ASSERT_TRUE(QDir(root).mkpath(QString::fromLatin1(sub)));
    }
    void TearDown() override { EXPECT_EQ(modal::PendingAnswers(), 0); }

    // Runs Execute with one answer acting on the open dialog.
    bool Run(const std::function<void(QDialog&)>& answer) {
        modal::AnswerNext(answer);
        return browser.Execute();
    }

    QTemporaryDir dir;
    QString root;
    TShellBrowser browser;
};

TEST(ShellBrowserOptions, FlagsOfEachOptionAreOred) {
    EXPECT_EQ(BrowseFlags(0), 0u);
    const std::pair<TShellBrowserOption, uint32_t> table[] = {
        {TShellBrowserOption::shbBrowseForComputer, 0x1000},
        {TShellBrowserOption::shbBrowseForPrinter, 0x2000},
        {TShellBrowserOption::shbDontGoBelowDomain, 0x0002},
        {TShellBrowserOption::shbReturnFSAncestors, 0x0008},
        {TShellBrowserOption::shbReturnOnlyFSDirs, 0x0001},
        {TShellBrowserOption::shbStatusText, 0x0004}};
    TShellBrowserOptions all = 0;
    for (const auto& [option, flag] : table) {
        EXPECT_EQ(BrowseFlags(ShellBrowserOption(option)), flag) << static_cast<int>(option);
        all |= ShellBrowserOption(option);
    }
    EXPECT_EQ(BrowseFlags(all), 0x300Fu);

    const TShellBrowser fresh;
    EXPECT_EQ(BrowseFlags(fresh.Options), BIF_RETURNFSANCESTORS | BIF_RETURNONLYFSDIRS);
    EXPECT_TRUE(fresh.Center);
}

TEST_F(ShellBrowserTest, OkReturnsThePreselectedFolderAndCancelClearsTheResults) {
    browser.InitialPath = root + QStringLiteral("/two/deep/");
    EXPECT_TRUE(Run([&](QDialog& d) {
        EXPECT_EQ(browser.Dialog(), &d);
        EXPECT_EQ(CurrentPath(d), root + QStringLiteral("/two/deep"));
        EXPECT_TRUE(Tree(d)->isExpanded(Tree(d)->currentIndex().parent()));
        QTest::mouseClick(Button(d, "OKButton"), Qt::LeftButton);
    }));
    EXPECT_EQ(browser.Folder, root + QStringLiteral("/two/deep"));
    EXPECT_EQ(browser.DisplayName, QStringLiteral("deep"));
    EXPECT_EQ(browser.Dialog(), nullptr);

    EXPECT_FALSE(Run([](QDialog& d) { QTest::mouseClick(Button(d, "CancelButton"), Qt::LeftButton); }));
    EXPECT_TRUE(browser.Folder.isEmpty());
    EXPECT_TRUE(browser.DisplayName.isEmpty());

    browser.InitialPath = root + QStringLiteral("/missing"); // passed on: nothing chosen
    EXPECT_FALSE(Run([](QDialog& d) {
        EXPECT_FALSE(Tree(d)->currentIndex().isValid());
        QTest::keyClick(&d, Qt::Key_Escape);
    }));
    EXPECT_TRUE(browser.Folder.isEmpty());
}

// What the dialog starts on, with the owner passing on the last folder chosen as the
// next starting folder (as the Extract command does; a cancelled browser chose none).
// Without a starting folder nothing is chosen: the line is empty, OK is off even once
// the tree has the focus, and Enter does not close the dialog.
struct StartCase {
    const char* name;
    std::vector<QString> earlierRuns; // folder chosen by each earlier run, below root; empty: cancelled
    bool removeLastChosen;            // the last folder chosen is gone by the next run
    QString expected;                 // below root; empty: nothing chosen
};

void PrintTo(const StartCase& c, std::ostream* os) {
    *os << c.name;
}

class BrowserStart : public ShellBrowserTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(BrowserStart, OnlyTheLastChosenFolderIsPreselected) {
    const StartCase& c = GetParam();
    for (const QString& folder : c.earlierRuns) {
        browser.InitialPath = browser.Folder;
        Run([&](QDialog& d) {
            if (folder.isEmpty())
                return QTest::mouseClick(Button(d, "CancelButton"), Qt::LeftButton);
            Tree(d)->setCurrentIndex(Model(d)->IndexOf(root + folder));
            QTest::mouseClick(Button(d, "OKButton"), Qt::LeftButton);
        });
    }
    if (c.removeLastChosen) {
        ASSERT_TRUE(QDir(browser.Folder).removeRecursively());
    }
    const QString expected = c.expected.isEmpty() ? QString() : root + c.expected;

    browser.InitialPath = browser.Folder;
    const bool chosen = Run([&](QDialog& d) {
        QPushButton* ok = Button(d, "OKButton");
        EXPECT_TRUE(ok->isDefault());
        EXPECT_EQ(CurrentPath(d), expected);
        EXPECT_EQ(Tree(d)->currentIndex().isValid(), !expected.isEmpty());
        EXPECT_EQ(FolderEdit(d)->text(), expected);
        EXPECT_EQ(ok->isEnabled(), !expected.isEmpty());
        EXPECT_TRUE(Tree(d)->isExpanded(Model(d)->index(0, 0)));
        // The tree taking the focus (as it does when the dialog opens) chooses nothing.
        QFocusEvent focus(QEvent::FocusIn, Qt::TabFocusReason);
        QCoreApplication::sendEvent(Tree(d), &focus);
        EXPECT_EQ(CurrentPath(d), expected);
        EXPECT_EQ(ok->isEnabled(), !expected.isEmpty());
        // A reflexive Enter in the tree takes the preselected folder, or nothing.
        QTest::keyClick(Tree(d), Qt::Key_Return);
        EXPECT_EQ(d.isVisible(), expected.isEmpty());
        if (d.isVisible())
            d.reject();
    });
    EXPECT_EQ(chosen, !expected.isEmpty());
    EXPECT_EQ(browser.Folder, expected);
}

INSTANTIATE_TEST_SUITE_P(Runs, BrowserStart,
                         ::testing::Values(StartCase{"firstTime", {}, false, {}},
                                           StartCase{"afterCancel", {"/one", {}}, false, {}},
                                           StartCase{"afterChosenFolder", {"/one"}, false, "/one"},
                                           StartCase{"afterChosenThenCancelledThenChosen",
                                                     {"/one", {}, "/two/deep"},
                                                     false,
                                                     "/two/deep"},
                                           StartCase{"chosenFolderGoneSince", {"/two/deep"}, true, {}}),
                         morbek::test::CaseName());

TEST_F(ShellBrowserTest, RootFolderLimitsTheTreeAndHidesHiddenFolders) {
    browser.RootPath = root;
    browser.InitialPath = QDir::homePath(); // outside the root: ignored
    EXPECT_TRUE(Run([&](QDialog& d) {
        FolderTreeModel* model = Model(d);
        ASSERT_EQ(model->rowCount(), 1);
        const QModelIndex top = model->index(0, 0);
        EXPECT_FALSE(Tree(d)->currentIndex().isValid());
        EXPECT_TRUE(Tree(d)->isExpanded(top));
        Tree(d)->setCurrentIndex(top);
        EXPECT_TRUE(QTest::qWaitFor([&]() { return model->rowCount(top) == 2; }));
        QStringList names;
        for (int row = 0; row < model->rowCount(top); ++row)
            names << model->index(row, 0, top).data().toString();
        EXPECT_EQ(names, (QStringList{"one", "two"}));
        d.accept();
    }));
    EXPECT_EQ(browser.Folder, root);
    EXPECT_EQ(browser.DisplayName, QFileInfo(root).fileName());
}

TEST_F(ShellBrowserTest, HelpButtonOnlyWithAHelpContextAndItTakesTheCancelCaption) {
    browser.CancelBtnCaption = QStringLiteral("Annule");
    Run([&](QDialog& d) {
        EXPECT_EQ(d.findChild<TMyButton*>(), nullptr);
        EXPECT_EQ(Button(d, "CancelButton")->text(), QStringLiteral("Cancel"));
        d.reject();
    });

    browser.HelpContext = 16;
    browser.HelpBtnCaption = QStringLiteral("&Aide");
    browser.CancelBtnCaption.clear();
    Run([&](QDialog& d) {
        TMyButton* help = browser.HelpButton();
        ASSERT_NE(help, nullptr);
        QPushButton* ok = Button(d, "OKButton");
        QPushButton* cancel = Button(d, "CancelButton");
        EXPECT_EQ(help->objectName(), QStringLiteral("HelpButton"));
        EXPECT_EQ(help->parentWidget(), &d);
        EXPECT_EQ(cancel->text(), QString());
        EXPECT_EQ(help->text(), QStringLiteral("&Aide"));
        EXPECT_EQ(help->HelpContext, 16);
        EXPECT_FALSE(help->focusPolicy() & Qt::TabFocus);
        EXPECT_EQ(help->font(), ok->font());
        // One row: OK, Cancel, help, all of one size.
        EXPECT_EQ(ok->y(), help->y());
        EXPECT_LT(ok->x(), cancel->x());
        EXPECT_LT(cancel->x(), help->x());
        EXPECT_EQ(ok->size(), help->size());
        EXPECT_EQ(cancel->size(), help->size());
        d.reject();
    });
    EXPECT_EQ(browser.HelpButton(), nullptr); // gone with its dialog
}

TEST_F(ShellBrowserTest, HelpOpensWhenTheButtonGoesDownBeforeRelease) {
    browser.HelpContext = 16;
    Run([&](QDialog& d) {
        TMyButton* help = browser.HelpButton();
        ASSERT_NE(help, nullptr);
        const int before = platform::HelpRequestCount();
        QTest::mousePress(help, Qt::LeftButton);
        EXPECT_TRUE(help->isDown());
        EXPECT_EQ(platform::HelpRequestCount(), before + 1);
        EXPECT_EQ(platform::LastHelpRequest().command, platform::HELP_CONTEXT);
        EXPECT_EQ(platform::LastHelpRequest().data, 16u);
        QTest::mouseRelease(help, Qt::LeftButton);
        EXPECT_EQ(platform::HelpRequestCount(), before + 1);

        QTest::mousePress(help, Qt::RightButton);
        EXPECT_EQ(platform::HelpRequestCount(), before + 1);
        QTest::keyPress(help, Qt::Key_Space);
        EXPECT_EQ(platform::HelpRequestCount(), before + 2);
        QTest::keyRelease(help, Qt::Key_Space);
        EXPECT_TRUE(d.isVisible()); // the help button never closes the dialog
        d.reject();
    });
}

TEST_F(ShellBrowserTest, InitialisationOrderAndCaptionChangesWhileOpen) {
    QStringList events;
    browser.InitialPath = root + QStringLiteral("/one");
    browser.SetCaption(QStringLiteral("Choose"));
    browser.OnInitialize = [&](QObject* sender) {
        EXPECT_EQ(sender, &browser);
        events << QStringLiteral("init:") + browser.Dialog()->windowTitle();
    };
    browser.OnSelChange = [&](QObject* sender, const QString& folder, bool isDisplayName) {
        EXPECT_EQ(sender, &browser);
        events << (isDisplayName ? QStringLiteral("name:") : QStringLiteral("path:")) + folder;
        browser.SetCaption(folder.section(QLatin1Char('/'), -1));
    };
    Run([&](QDialog& d) {
        // The preselection is reported first; the stored caption (changed by that report)
        // is applied afterwards, and OnInitialize comes last.
        EXPECT_EQ(events, (QStringList{"path:" + root + "/one", "init:one"}));
        const QModelIndex two = Model(d)->IndexOf(root + QStringLiteral("/two"));
        Tree(d)->setCurrentIndex(two);
        EXPECT_EQ(events.last(), "path:" + root + "/two");
        EXPECT_EQ(d.windowTitle(), QStringLiteral("two"));
        d.reject();
    });
    EXPECT_EQ(browser.Caption(), QStringLiteral("two"));

    browser.OnSelChange = nullptr;
    browser.OnInitialize = nullptr;
    browser.SetCaption(QStringLiteral("Later")); // closed: applies at the next Execute
    Run([](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Later"));
        d.reject();
    });
}

TEST_F(ShellBrowserTest, PromptAndStatusLineOnlyWhenAsked) {
    browser.SetStatusText(QStringLiteral("ready"));
    Run([](QDialog& d) {
        EXPECT_EQ(d.findChild<QLabel*>(QStringLiteral("PromptLabel")), nullptr);
        EXPECT_EQ(d.findChild<QLabel*>(QStringLiteral("StatusLabel")), nullptr);
        d.reject();
    });

    browser.Prompt = QStringLiteral("Pick <b>one</b>");
    browser.Options |= ShellBrowserOption(TShellBrowserOption::shbStatusText);
    Run([&](QDialog& d) {
        auto* prompt = d.findChild<QLabel*>(QStringLiteral("PromptLabel"));
        auto* status = d.findChild<QLabel*>(QStringLiteral("StatusLabel"));
        ASSERT_NE(prompt, nullptr);
        ASSERT_NE(status, nullptr);
        EXPECT_EQ(prompt->text(), QStringLiteral("Pick <b>one</b>"));
        EXPECT_EQ(prompt->textFormat(), Qt::PlainText);
        EXPECT_EQ(status->text(), QStringLiteral("ready"));
        browser.SetStatusText(QStringLiteral("busy"));
        EXPECT_EQ(status->text(), QStringLiteral("busy"));
        d.reject();
    });
}

class MyComputerRoot : public ShellBrowserTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(MyComputerRoot, MountedRootsBelowAnItemWithoutPath) {
    browser.RootPath = QString::fromLatin1(GetParam());
    std::vector<std::pair<QString, bool>> changes;
    browser.OnSelChange = [&](QObject*, const QString& folder, bool isName) {
        changes.emplace_back(folder, isName);
    };
    EXPECT_TRUE(Run([&](QDialog& d) {
        FolderTreeModel* model = Model(d);
        ASSERT_EQ(model->rowCount(), 1);
        const QModelIndex computer = model->index(0, 0);
        EXPECT_TRUE(model->IsComputerItem(computer));
        EXPECT_FALSE(Tree(d)->currentIndex().isValid());
        Tree(d)->setCurrentIndex(computer);
        EXPECT_FALSE(Button(d, "OKButton")->isEnabled()); // only folders may be returned

        ASSERT_GE(model->rowCount(computer), 1);
        Tree(d)->setCurrentIndex(model->index(0, 0, computer));
        EXPECT_TRUE(Button(d, "OKButton")->isEnabled());
        Tree(d)->setCurrentIndex(computer);
        const std::vector<std::pair<QString, bool>> want{
            {computer.data().toString(), true}, {"/", false}, {computer.data().toString(), true}};
        EXPECT_EQ(changes, want);

        browser.Options = 0; // takes effect at the next Execute only
        Tree(d)->setCurrentIndex(model->index(0, 0, computer));
        d.accept();
    }));
    EXPECT_EQ(browser.Folder, QStringLiteral("/"));

    // Without the restriction the computer item itself can be chosen: no path, a name.
    EXPECT_TRUE(Run([](QDialog& d) {
        Tree(d)->setCurrentIndex(Model(d)->index(0, 0));
        EXPECT_TRUE(Button(d, "OKButton")->isEnabled());
        QTest::mouseClick(Button(d, "OKButton"), Qt::LeftButton);
    }));
    EXPECT_TRUE(browser.Folder.isEmpty());
    EXPECT_FALSE(browser.DisplayName.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(AnyCase, MyComputerRoot,
                         ::testing::Values("MyComputer", "MYCOMPUTER", "mycomputer"));

TEST_F(ShellBrowserTest, HostFormMadeOnceAndNeverShown) {
    EXPECT_EQ(browser.HostForm(), nullptr);
    QWidget* first = nullptr;
    Run([&](QDialog& d) {
        first = browser.HostForm();
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first->objectName(), QStringLiteral("Bidon"));
        EXPECT_FALSE(first->isVisible());
        EXPECT_NE(QApplication::activeModalWidget(), first);
        d.reject();
    });
    Run([](QDialog& d) { d.reject(); });
    EXPECT_EQ(browser.HostForm(), first);
    EXPECT_FALSE(first->isVisible());
}

TEST_F(ShellBrowserTest, CentredOnThePrimaryScreen) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    Run([&](QDialog& d) {
        EXPECT_TRUE(d.isModal());
        EXPECT_EQ(d.windowModality(), Qt::ApplicationModal);
        const QRect frame = d.frameGeometry();
        EXPECT_EQ(frame.topLeft(), QPoint(screen.x() + (screen.width() - frame.width()) / 2,
                                          screen.y() + (screen.height() - frame.height()) / 2));
        d.reject();
    });
}

TEST_F(ShellBrowserTest, PreselectedFolderAmongManyIsScrolledIntoViewOnceLoaded) {
    for (int i = 0; i < 80; ++i)
        ASSERT_TRUE(QDir(root).mkdir(QStringLiteral("many%1").arg(i, 2, 10, QLatin1Char('0'))));
    browser.RootPath = root;
    browser.InitialPath = root + QStringLiteral("/one"); // sorts after every "many.." folder
    Run([&](QDialog& d) {
        QTreeView* tree = Tree(d);
        const QModelIndex top = Model(d)->index(0, 0);
        const bool loaded = QTest::qWaitFor([&]() {
            return Model(d)->rowCount(top) == 82 && tree->currentIndex().row() == 80 &&
                   tree->viewport()->rect().contains(tree->visualRect(tree->currentIndex()));
        });
        EXPECT_TRUE(loaded);
        EXPECT_EQ(CurrentPath(d), root + QStringLiteral("/one"));
        d.reject();
    });
}

TEST_F(ShellBrowserTest, FolderLineFollowsTheTreeAndATypedPathSelectsItsFolder) {
    QStringList changes;
    browser.InitialPath = root + QStringLiteral("/one");
    browser.OnSelChange = [&](QObject*, const QString& folder, bool) { changes << folder; };
    EXPECT_TRUE(Run([&](QDialog& d) {
        QLineEdit* edit = FolderEdit(d);
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(d.findChild<QLabel*>(QStringLiteral("FolderLabel"))->buddy(), edit);
        // Tab from the tree lands on the line, before the buttons.
        QWidget* next = Tree(d)->nextInFocusChain();
        while (next && next != &d && !(next->focusPolicy() & Qt::TabFocus))
            next = next->nextInFocusChain();
        EXPECT_EQ(next, edit);

        EXPECT_EQ(edit->text(), root + QStringLiteral("/one"));
        Tree(d)->setCurrentIndex(Model(d)->IndexOf(root + QStringLiteral("/two")));
        EXPECT_EQ(edit->text(), root + QStringLiteral("/two"));

        edit->selectAll();
        QTest::keyClicks(edit, root + QStringLiteral("/two/deep/"));
        EXPECT_EQ(CurrentPath(d), root + QStringLiteral("/two/deep"));
        EXPECT_TRUE(Tree(d)->isExpanded(Tree(d)->currentIndex().parent()));
        EXPECT_EQ(edit->text(), root + QStringLiteral("/two/deep/")); // not rewritten while typed
        EXPECT_TRUE(Button(d, "OKButton")->isEnabled());
        EXPECT_EQ(changes.last(), root + QStringLiteral("/two/deep"));
        QTest::keyClick(edit, Qt::Key_Return);
    }));
    EXPECT_EQ(browser.Folder, root + QStringLiteral("/two/deep"));
    EXPECT_EQ(browser.DisplayName, QStringLiteral("deep"));

    // The next dialog starts on the folder chosen by typing, line included.
    browser.InitialPath = browser.Folder;
    EXPECT_FALSE(Run([&](QDialog& d) {
        EXPECT_EQ(FolderEdit(d)->text(), root + QStringLiteral("/two/deep"));
        d.reject();
    }));
}

struct UnusableFolderText {
    const char* name;
    QString (*text)(const QString& root);
};

class FolderLineRejects : public ShellBrowserTest,
                          public ::testing::WithParamInterface<UnusableFolderText> {};

TEST_P(FolderLineRejects, OkGoesOffAndTheTreeKeepsItsFolder) {
    QFile file(root + QStringLiteral("/file.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ASSERT_TRUE(QDir(root).mkpath(QStringLiteral(".secret/inner")));
    browser.InitialPath = root + QStringLiteral("/one");
    const QString text = GetParam().text(root);
    EXPECT_TRUE(Run([&](QDialog& d) {
        PasteFolder(d, text);
        EXPECT_EQ(FolderEdit(d)->text(), text);
        EXPECT_FALSE(Button(d, "OKButton")->isEnabled());
        EXPECT_EQ(CurrentPath(d), root + QStringLiteral("/one"));
        QTest::keyClick(FolderEdit(d), Qt::Key_Return);
        EXPECT_TRUE(d.isVisible()); // Enter cannot take a folder the line does not name

        // A usable path again turns OK back on.
        PasteFolder(d, root + QStringLiteral("/two"));
        EXPECT_TRUE(Button(d, "OKButton")->isEnabled());
        EXPECT_EQ(CurrentPath(d), root + QStringLiteral("/two"));
        QTest::keyClick(FolderEdit(d), Qt::Key_Return);
    }));
    EXPECT_EQ(browser.Folder, root + QStringLiteral("/two"));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FolderLineRejects,
    ::testing::Values(
        UnusableFolderText{"empty", [](const QString&) { return QString(); }},
        UnusableFolderText{"relative", [](const QString&) { return QStringLiteral("one"); }},
        UnusableFolderText{"missing", [](const QString& r) { return r + QStringLiteral("/missing"); }},
        UnusableFolderText{"file", [](const QString& r) { return r + QStringLiteral("/file.txt"); }},
        UnusableFolderText{"hidden", [](const QString& r) { return r + QStringLiteral("/.secret"); }},
        UnusableFolderText{"belowHidden",
                           [](const QString& r) { return r + QStringLiteral("/.secret/inner"); }}),
    morbek::test::CaseName());

// A hidden folder chosen as the tree's root is no reason to refuse the folders below it.
TEST_F(ShellBrowserTest, TypedPathBelowAHiddenRootIsTaken) {
    ASSERT_TRUE(QDir(root).mkpath(QStringLiteral(".secret/inner")));
    browser.RootPath = root + QStringLiteral("/.secret");
    EXPECT_TRUE(Run([&](QDialog& d) {
        PasteFolder(d, root + QStringLiteral("/.secret/inner"));
        EXPECT_TRUE(Button(d, "OKButton")->isEnabled());
        QTest::keyClick(FolderEdit(d), Qt::Key_Return);
    }));
    EXPECT_EQ(browser.Folder, root + QStringLiteral("/.secret/inner"));
}

} // namespace
