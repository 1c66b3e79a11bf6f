// The main window driven as a user drives it: start-up, opening cabinets, views, sort
// orders, the selection summary and the failures of an open.
#include "MainWindowFixture.h"
#include "tests/support/CabWriter.h"

#include "app/Windows.h"
#include "components/MsgDialog.h"
#include "components/ShelBrow.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QStatusBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

namespace morbek::testing {
namespace {

struct Fixture {
    const char* name;
    QByteArray data;
    uint16_t date = 0x226C; // 12.03.1997
    uint16_t time = 0x5A3A; // 11:17:52
    uint16_t attribs = 0x20;
};

QByteArray Cabinet(const std::vector<Fixture>& files) {
    test::CabWriter writer;
    writer.addFolder(test::CabMethod::Stored);
    for (const Fixture& f : files) {
        test::CabFileSpec spec;
        spec.name = f.name;
        spec.data = f.data;
        spec.date = f.date;
        spec.time = f.time;
        spec.attribs = f.attribs;
        writer.addFile(spec);
    }
    return writer.build();
}

const std::vector<Fixture> kThree = {
    {"readme.txt", QByteArray(12, 'r')},
    {"docs\\Manual.doc", QByteArray(300, 'm')},
    {"src\\main.c", QByteArray(45, 'c')},
};

TEST_F(MainWindowTest, FirstActivationLabelsTheWindowAndDisablesCommands) {
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Dazeduv Uvoro"));
    EXPECT_EQ(framework::ApplicationTitle(), QStringLiteral("Zuvedaz ud Izedori"));
    EXPECT_EQ(LangIndex, 1);
    EXPECT_EQ(window->Ouvre1->text(), QStringLiteral("&Open"));
    EXPECT_EQ(window->N1->title(), QStringLiteral("&?"));
    EXPECT_EQ(window->AlphaBtn->toolTip(), QStringLiteral("Aphabetic sorted  display"));
    for (QObject* command : std::initializer_list<QObject*>{window->Extrait1, window->ExtrBtn,
                                                            window->Information1, window->InfBtn})
        EXPECT_FALSE(command->property("enabled").toBool()) << command->objectName().toStdString();
    EXPECT_TRUE(window->Install1->isEnabled());
    EXPECT_FALSE(window->Uninstall1->isEnabled());
    EXPECT_TRUE(window->Grandesic1->isChecked());
    EXPECT_TRUE(window->GrandesBtn->isChecked());
    EXPECT_TRUE(window->Aucun1->isChecked());
    EXPECT_TRUE(window->AucunBtn->isChecked());
    EXPECT_EQ(window->DisplayMode, 1);
    EXPECT_EQ(window->SortOrder, 0);
    EXPECT_TRUE(window->AppDir.endsWith(QLatin1Char('/')));
    EXPECT_TRUE(window->StatPanel0->text().isEmpty());
    // Column titles of the details view.
    const FileListModel* m = window->ListFic->model();
    const QStringList titles = {QStringLiteral("Name"), QStringLiteral("Size"),      QStringLiteral("Type"),
                                QStringLiteral("Date"), QStringLiteral("Directory"), QString()};
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(m->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), titles[c]);
    EXPECT_EQ(window->Panel1->findChildren<QToolButton*>().size(), 12);
}

// The menus' items in order, "-" for a separator: Quit stands apart from the file
// commands, and each separator really takes a line in the shown menu.
struct MenuCase {
    const char* name;
    QMenu* TDezerOvu::*menu;
    QStringList items;
};

TEST_F(MainWindowTest, MenusHoldTheirItemsAndSeparatorsInOrder) {
    const MenuCase cases[] = {
        {"Files", &TDezerOvu::MenFichiers, {"Ouvre1", "Extrait1", "Information1", "-", "Quitte1"}},
        {"Display",
         &TDezerOvu::MenAffiche,
         {"Grandesic1", "Petitesic1", "Liste1", "Details1", "-", "Alpha1", "Aucun1", "-", "Options1"}},
        {"Options", &TDezerOvu::Options1, {"Install1", "Uninstall1", "Langue1"}},
        {"Help", &TDezerOvu::N1, {"Aide1", "Apropos1"}},
    };
    for (const MenuCase& c : cases) {
        SCOPED_TRACE(c.name);
        QMenu* menu = window.get()->*c.menu;
        QStringList items;
        for (QAction* a : menu->actions())
            items << (a->isSeparator() ? QStringLiteral("-")
                      : a->menu()      ? a->menu()->objectName()
                                       : a->objectName());
        EXPECT_EQ(items, c.items);
        menu->popup(QPoint(10, 10));
        for (QAction* a : menu->actions())
            if (a->isSeparator()) {
                EXPECT_TRUE(a->isVisible());
                EXPECT_GT(menu->actionGeometry(a).height(), 0) << "a separator that takes no line";
            }
        menu->close();
    }
}

// Files dropped onto the main window from a file manager: a cabinet or an executable
// opens as with Open; anything else is refused at the door.
struct DropCase {
    const char* name;
    QStringList urls;   // a bare name is a local file in the test folder
    const char* opened; // the file that ends up open; empty: the drop is refused
};

void PrintTo(const DropCase& c, std::ostream* os) {
    *os << c.name;
}

class DroppedFiles : public MainWindowTest, public ::testing::WithParamInterface<DropCase> {};

TEST_P(DroppedFiles, OpenACabinetOrAnExecutableAsOpenDoes) {
    const DropCase& c = GetParam();
    const QByteArray cab = Cabinet(kThree);
    WriteFile(QStringLiteral("three.cab"), cab);
    WriteFile(QStringLiteral("LOUD.CAB"), cab);
    WriteFile(QStringLiteral("setup.exe"), test::CabWriter::embedInExecutable(cab, 5000));
    WriteFile(QStringLiteral("notes.txt"), "just text");
    QList<QUrl> urls;
    for (const QString& u : c.urls)
        urls << (u.contains(QLatin1Char(':')) ? QUrl(u) : QUrl::fromLocalFile(dir.filePath(u)));
    QMimeData data;
    if (!urls.isEmpty())
        data.setUrls(urls);
    else
        data.setText(QStringLiteral("three.cab"));

    const QPoint at = window->ListFic->mapTo(window.get(), window->ListFic->rect().center());
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &enter);
    const bool expected = *c.opened != '\0';
    EXPECT_EQ(enter.isAccepted(), expected);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &drop);
    EXPECT_EQ(drop.isAccepted(), expected);
    QCoreApplication::processEvents();

    if (expected) {
        EXPECT_EQ(window->CabFileName, dir.filePath(QString::fromUtf8(c.opened)));
        EXPECT_EQ(Column(0).size(), 3);
        EXPECT_TRUE(window->Extrait1->isEnabled());
        EXPECT_EQ(window->windowTitle(), QStringLiteral("file ") + window->CabFileName);
    } else {
        EXPECT_TRUE(window->CabFileName.isEmpty());
        EXPECT_EQ(Column(0).size(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Drops, DroppedFiles,
    ::testing::Values(
        DropCase{"Cabinet", {"three.cab"}, "three.cab"},
        DropCase{"CabinetInCapitals", {"LOUD.CAB"}, "LOUD.CAB"},
        DropCase{"Executable", {"setup.exe"}, "setup.exe"},
        DropCase{"FirstCabinetAmongOtherFiles", {"notes.txt", "three.cab", "setup.exe"}, "three.cab"},
        DropCase{"OtherFileOnly", {"notes.txt"}, ""},
        DropCase{"RemoteCabinet", {"https://example.invalid/three.cab"}, ""},
        DropCase{"TextNotFiles", {}, ""}),
    [](const ::testing::TestParamInfo<DropCase>& p) { return std::string(p.param.name); });

TEST_F(MainWindowTest, NothingIsTakenWhileADialogIsOpen) {
    WriteFile(QStringLiteral("three.cab"), Cabinet(kThree));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(dir.filePath(QStringLiteral("three.cab")))});
    bool enterAccepted = true, dropAccepted = true;
    modal::AnswerNext([&](QDialog& d) {
        QDragEnterEvent enter(QPoint(50, 80), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &enter);
        enterAccepted = enter.isAccepted();
        QDropEvent drop(QPointF(50, 80), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &drop);
        dropAccepted = drop.isAccepted();
        d.reject();
    });
    window->Apropos1->trigger();
    QCoreApplication::processEvents();
    EXPECT_FALSE(enterAccepted);
    EXPECT_FALSE(dropAccepted);
    EXPECT_TRUE(window->CabFileName.isEmpty());
}

TEST_F(MainWindowTest, ActivationRunsItsFirstPartOnce) {
    window->OpenDir = QStringLiteral("/somewhere");
    window->Information1->setEnabled(true);
    window->Acti();
    EXPECT_TRUE(window->OpenDir.isEmpty());
    EXPECT_TRUE(window->Information1->isEnabled()) << "later activations must not redo the first one";
    EXPECT_FALSE(window->AC1->isVisible());
}

TEST_F(MainWindowTest, OpeningListsEveryEntryWithSizeTypeDateAndPath) {
    const QString path = WriteFile(QStringLiteral("three.cab"), Cabinet(kThree));
    Open(path);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("file ") + path);
    EXPECT_EQ(Column(0), (QStringList{"readme.txt", "Manual.doc", "main.c"}));
    EXPECT_EQ(Column(1), (QStringList{"12 bytes", "300 bytes", "45 bytes"}));
    EXPECT_EQ(Column(3)[0], QStringLiteral("3/12/1997 11:17:52 AM"));
    EXPECT_EQ(Column(4), (QStringList{"", "docs\\", "src\\"}));
    EXPECT_FALSE(Column(2)[0].isEmpty()) << "a .txt file has a type name";
    EXPECT_EQ(window->StatPanel0->text(), QStringLiteral("3 files, 357 bytes"));
    EXPECT_TRUE(window->StatPanel1->text().isEmpty());
    for (QObject* command : std::initializer_list<QObject*>{window->Extrait1, window->ExtrBtn,
                                                            window->Information1, window->InfBtn})
        EXPECT_TRUE(command->property("enabled").toBool()) << command->objectName().toStdString();
    EXPECT_TRUE(window->PopupEnabled);
    EXPECT_TRUE(window->PendingFileName.isEmpty());
    EXPECT_FALSE(window->AC1->isVisible());
    // One image per item, in the image list of the style the fill ran in.
    EXPECT_EQ(window->ListFic->model()->Large.size(), 3u);
    EXPECT_EQ(window->Header.FileCount, 3);
    EXPECT_EQ(window->TotalSize, 357u);
}

TEST_F(MainWindowTest, StatusBarUsesSingularForNoneAndOne) {
    Open(WriteFile(QStringLiteral("one.cab"), Cabinet({{"only.txt", QByteArray(5, 'x')}})));
    EXPECT_EQ(window->StatPanel0->text(), QStringLiteral("1 file, 5 bytes"));
    Open(WriteFile(QStringLiteral("none.cab"), Cabinet({})));
    EXPECT_EQ(window->StatPanel0->text(), QStringLiteral("0 file, 0 bytes"));
    EXPECT_EQ(window->ListFic->model()->rowCount(), 0);
}

TEST_F(MainWindowTest, SelectionSummaryFollowsTheSelection) {
    Open(WriteFile(QStringLiteral("three.cab"), Cabinet(kThree)));
    QItemSelectionModel* sel = window->ListFic->selectionModel();
    const FileListModel* m = window->ListFic->model();
    sel->select(m->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(window->StatPanel1->text(), QStringLiteral("1 selected file, 300 bytes"));
    sel->select(m->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(window->StatPanel1->text(), QStringLiteral("2 selected files, 345 bytes"));
    sel->clearSelection();
    EXPECT_TRUE(window->StatPanel1->text().isEmpty());
    // A rebuild removes the selection and its summary.
    sel->select(m->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    window->Affiche1Click(window->Details1);
    EXPECT_TRUE(window->StatPanel1->text().isEmpty());
    EXPECT_TRUE(window->ListFic->selectedRows().empty());
}

TEST_F(MainWindowTest, SizesBeyondTwoGigabytesStayUnsigned) {
    // Both records declare 3 GiB without storing them.
    test::CabWriter writer;
    writer.addFolder(test::CabMethod::Stored);
    for (const char* name : {"big.bin", "big2.bin"}) {
        test::CabFileSpec spec;
        spec.name = name;
        spec.data = "x";
        spec.declaredSize = 3221225472u;
        writer.addFile(spec);
    }
    const QByteArray bytes = writer.build();
    Open(WriteFile(QStringLiteral("big.cab"), bytes));
    EXPECT_EQ(Column(1)[0], QStringLiteral("3221225472 bytes"));
    EXPECT_EQ(window->StatPanel0->text(), QStringLiteral("2 files, 6442450944 bytes"));
    window->ListFic->selectionModel()->select(
        QItemSelection(window->ListFic->model()->index(0, 0), window->ListFic->model()->index(1, 0)),
        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(window->StatPanel1->text(), QStringLiteral("2 selected files, 6442450944 bytes"));
}

TEST_F(MainWindowTest, ViewCommandsSwitchStyleAndReadTheFileAgain) {
    const QString path = WriteFile(QStringLiteral("three.cab"), Cabinet(kThree));
    Open(path);
    FileListModel* m = window->ListFic->model();
    EXPECT_EQ(m->Large.size(), 3u);
    EXPECT_TRUE(m->Small.empty());

    window->Affiche1Click(window->DetailBtn);
    EXPECT_EQ(window->DisplayMode, 4);
    EXPECT_TRUE(window->Details1->isChecked());
    EXPECT_TRUE(window->DetailBtn->isChecked());
    EXPECT_EQ(window->ListFic->currentWidget(), window->ListFic->detailView());
    EXPECT_EQ(m->Small.size(), 3u) << "the details fill goes into the small image list";

    window->Affiche1Click(window->Liste1);
    EXPECT_EQ(window->ListFic->iconView()->flow(), QListView::TopToBottom);
    window->Affiche1Click(window->PetitesBtn);
    EXPECT_EQ(window->ListFic->iconView()->flow(), QListView::LeftToRight);
    EXPECT_EQ(window->ListFic->iconView()->viewMode(), QListView::ListMode);
    window->Affiche1Click(window->Grandesic1);
    EXPECT_EQ(window->ListFic->iconView()->viewMode(), QListView::IconMode);
    EXPECT_EQ(window->ListFic->iconView()->movement(), QListView::Static);

    // The re-read really happens: a file changed on disk shows its new contents, even
    // when the chosen style is the one already in use.
    WriteFile(QStringLiteral("three.cab"), Cabinet({{"new.txt", "n"}}));
    window->Affiche1Click(window->Grandesic1);
    EXPECT_EQ(Column(0), QStringList{"new.txt"});
}

TEST_F(MainWindowTest, TriggeringTheCheckedMenuItemStillReopens) {
    const QString path = WriteFile(QStringLiteral("three.cab"), Cabinet(kThree));
    Open(path);
    WriteFile(QStringLiteral("three.cab"), Cabinet({{"again.txt", "a"}}));
    window->Grandesic1->trigger();
    EXPECT_EQ(Column(0), QStringList{"again.txt"});
    WriteFile(QStringLiteral("three.cab"), Cabinet(kThree));
    window->AucunBtn->click();
    EXPECT_EQ(Column(0).size(), 3);
}

TEST_F(MainWindowTest, SortByNameUsesTheLocaleCollationNotByteOrder) {
    Open(WriteFile(
        QStringLiteral("names.cab"),
        Cabinet({{"b.txt", "1"}, {"B.txt", "2"}, {"a.txt", "3"}, {"Zebra.txt", "4"}, {"apple.txt", "5"}})));
    EXPECT_EQ(Column(0), (QStringList{"b.txt", "B.txt", "a.txt", "Zebra.txt", "apple.txt"}));
    window->Alpha1Click(window->AlphaBtn);
    EXPECT_EQ(window->SortOrder, 1);
    EXPECT_TRUE(window->Alpha1->isChecked());
    EXPECT_EQ(Column(0), (QStringList{"a.txt", "apple.txt", "b.txt", "B.txt", "Zebra.txt"}));
    window->Alpha1Click(window->Aucun1);
    EXPECT_EQ(Column(0), (QStringList{"b.txt", "B.txt", "a.txt", "Zebra.txt", "apple.txt"}));
}

TEST_F(MainWindowTest, ViewAndSortWithNothingOpenOnlyRecordTheChoice) {
    window->Affiche1Click(window->ListeBtn);
    window->Alpha1Click(window->Alpha1);
    EXPECT_EQ(window->DisplayMode, 3);
    EXPECT_EQ(window->SortOrder, 1);
    EXPECT_EQ(window->ListFic->model()->rowCount(), 0);
    EXPECT_TRUE(window->PendingFileName.isEmpty());
}

TEST_F(MainWindowTest, MissingFileReportsOpenErrorAndKeepsTheList) {
    const QString good = WriteFile(QStringLiteral("three.cab"), Cabinet(kThree));
    Open(good);
    ShownMessage shown;
    ExpectMessage(&shown);
    Open(dir.filePath(QStringLiteral("absent.cab")));
    EXPECT_EQ(shown.title, QStringLiteral("Dazeduv Uvoro"));
    EXPECT_EQ(shown.text, QStringLiteral("File open error"));
    EXPECT_EQ(shown.buttons, QStringList{"OK"});
    EXPECT_TRUE(window->CabFileName.isEmpty());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("file ") + good);
    EXPECT_EQ(window->ListFic->model()->rowCount(), 3);
    EXPECT_EQ(window->StatPanel0->text(), QStringLiteral("3 files, 357 bytes"));
    // With no file named, a later view change reads nothing.
    window->Affiche1Click(window->Details1);
    EXPECT_EQ(window->ListFic->model()->rowCount(), 3);
}

TEST_F(MainWindowTest, FolderIsNotAFileThatOpens) {
    ShownMessage shown;
    ExpectMessage(&shown);
    Open(dir.path());
    EXPECT_EQ(shown.text, QStringLiteral("File open error"));
}

TEST_F(MainWindowTest, RejectedFilesGiveNotAValidCabFileAndKeepTheirName) {
    const QString good = WriteFile(QStringLiteral("three.cab"), Cabinet(kThree));
    Open(good);
    const std::pair<const char*, QByteArray> rejected[] = {
        {"text.cab", "hello, this is not a cabinet"},
        {"mz.exe", QByteArray("MZ") + QByteArray(20000, '\x90')},
        {"short.cab", "MS"},
        {"reserved.cab", QByteArray("MSCF\x01", 5) + QByteArray(40, '\0')},
    };
    for (const auto& [name, bytes] : rejected) {
        SCOPED_TRACE(name);
        const QString path = WriteFile(QString::fromLatin1(name), bytes);
        ShownMessage shown;
        ExpectMessage(&shown);
        Open(path);
        EXPECT_EQ(shown.text, path + QStringLiteral("\r\nis not a valid cab file"));
        EXPECT_EQ(window->CabFileName, path);
        EXPECT_EQ(window->windowTitle(), QStringLiteral("file ") + good);
        EXPECT_EQ(window->ListFic->model()->rowCount(), 3);
    }
    // The rejected file is still named: a view change reads it again and fails again.
    ShownMessage again;
    ExpectMessage(&again);
    window->Affiche1Click(window->Petitesic1);
    EXPECT_TRUE(again.text.endsWith(QStringLiteral("is not a valid cab file")));
}

TEST_F(MainWindowTest, TableRunningPastTheEndIsRejectedWithoutListingIt) {
    QByteArray bytes = Cabinet(kThree);
    const int cut = bytes.indexOf("main.c");
    ShownMessage shown;
    ExpectMessage(&shown);
    Open(WriteFile(QStringLiteral("cut.cab"), bytes.left(cut + 2)));
    EXPECT_TRUE(shown.text.endsWith(QStringLiteral("is not a valid cab file")));
    EXPECT_EQ(window->ListFic->model()->rowCount(), 0);
}

TEST_F(MainWindowTest, ExecutableCarryingACabinetIsListed) {
    const QByteArray exe = test::CabWriter::embedInExecutable(Cabinet(kThree), 20000, QByteArray(500, 'T'));
    Open(WriteFile(QStringLiteral("setup.exe"), exe));
    EXPECT_EQ(Column(0).size(), 3);
    EXPECT_EQ(window->Location.CabEmbedded, 1);
    EXPECT_GT(window->Location.CabOffset, 0);
    EXPECT_EQ(window->Location.HostFileSize, exe.size());
}

TEST_F(MainWindowTest, OpenDialogChoosesTheFileAndRemembersItsFolder) {
    const QString path = WriteFile(QStringLiteral("three.cab"), Cabinet(kThree));
    QString title, filter;
    bool hasHelp = false;
    modal::AnswerNext([&](QDialog& d) {
        auto& fd = static_cast<QFileDialog&>(d);
        title = fd.windowTitle();
        filter = fd.nameFilters().join(QStringLiteral(";;"));
        hasHelp = fd.findChild<QAbstractButton*>(QStringLiteral("HelpButton")) != nullptr;
        fd.selectFile(path);
        QMetaObject::invokeMethod(&fd, "accept");
    });
    window->Ouvre1->trigger();
    EXPECT_EQ(title, QStringLiteral("Open a cabinet file"));
    EXPECT_EQ(filter, QStringLiteral("Cabinet files (*.cab);;Executables (*.exe)"));
    EXPECT_TRUE(hasHelp);
    EXPECT_EQ(window->CabFileName, path);
    EXPECT_EQ(window->OpenDir, dir.path());
    EXPECT_EQ(Column(0).size(), 3);

    // The next Open dialog starts in that folder; a cancelled one changes nothing.
    QString startFolder;
    modal::AnswerNext([&](QDialog& d) {
        startFolder = static_cast<QFileDialog&>(d).directory().absolutePath();
        d.reject();
    });
    window->OuvreBtn->click();
    EXPECT_EQ(startFolder, dir.path());
    EXPECT_EQ(window->CabFileName, path);
    EXPECT_EQ(Column(0).size(), 3);

    // Closing one of the program's own dialogs is an activation: the folder is forgotten.
    ShownMessage shown;
    ExpectMessage(&shown);
    Open(dir.filePath(QStringLiteral("absent.cab")));
    EXPECT_TRUE(window->OpenDir.isEmpty());
}

TEST_F(MainWindowTest, ApplyLanguageRelabelsAndForgetsTheListedCabinet) {
    Open(WriteFile(QStringLiteral("three.cab"), Cabinet(kThree)));
    LangIndex = 2;
    window->ApplyLanguage(2);
    EXPECT_EQ(window->Ouvre1->text(), QStringLiteral("&Öffnen"));
    EXPECT_EQ(window->Liste1->text(), QStringLiteral("Durch&suchen"));
    EXPECT_EQ(window->ListFic->model()->headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("Zeit"));
    EXPECT_EQ(window->RepDlg->Prompt, QStringLiteral("Ordner zum Entpacken der Datei(en) wählen."));
    EXPECT_FALSE(window->ExtrBtn->isEnabled());
    EXPECT_TRUE(window->StatPanel0->text().isEmpty());
    LangIndex = 0;
    window->ApplyLanguage(0);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Zuvedaz ud izedori"));
    EXPECT_EQ(window->proprietes1->text(), QStringLiteral("&Propriétés"));
    EXPECT_EQ(window->N1->title(), QStringLiteral("&?"));
    // The re-read after a change of language speaks the new language.
    window->Affiche1Click(window->Grandesic1);
    EXPECT_EQ(Column(1)[0], QStringLiteral("12 octets"));
    EXPECT_EQ(window->StatPanel0->text(), QStringLiteral("3 fichiers, 357 octets"));
}

TEST_F(MainWindowTest, ContextMenuOnlyOnceACabinetIsOpen) {
    EXPECT_FALSE(window->PopupEnabled);
    EXPECT_EQ(window->proprietes1->text(), QStringLiteral("&Properties"));
    Open(WriteFile(QStringLiteral("three.cab"), Cabinet(kThree)));
    EXPECT_TRUE(window->PopupEnabled);
}

TEST_F(MainWindowTest, QuitClosesTheWindow) {
    window->Quitte1->trigger();
    EXPECT_FALSE(window->isVisible());
}

// Start-up with a file named on the command line.
class CommandLineTest : public MainWindowTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        first = WriteFile(QStringLiteral("first.cab"), Cabinet(kThree));
    }
    void Start(const QStringList& args) {
        commandLine = args;
        MainWindowTest::SetUp();
    }
    QString first;
};

TEST_F(CommandLineTest, FirstArgumentIsOpenedAndOthersIgnored) {
    Start({first, QStringLiteral("/nonexistent/second.cab")});
    EXPECT_EQ(window->CabFileName, first);
    EXPECT_EQ(Column(0).size(), 3);
}

TEST_F(CommandLineTest, MissingFileIsDroppedSilently) {
    Start({dir.filePath(QStringLiteral("nothing.cab"))});
    EXPECT_TRUE(window->CabFileName.isEmpty());
    EXPECT_TRUE(window->PendingFileName.isEmpty());
    EXPECT_EQ(window->ListFic->model()->rowCount(), 0);
}

} // namespace
} // namespace morbek::testing
