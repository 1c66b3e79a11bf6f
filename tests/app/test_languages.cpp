// The language dialog and switching languages at run time, on the real windows.
#include "app/FileListModel.h"
#include "app/LangDlg.h"
#include "app/RegistryAccess.h"
#include "app/Settings.h"
#include "app/Windows.h"
#include "platform/help/WinHelp.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/CabWriter.h"
#include "tests/support/QtPrinters.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLibraryInfo>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

namespace morbek {
namespace {

using test::CabWriter;
using testing::MainWindowTest;

class LanguagesTest : public MainWindowTest {
protected:
    TLangDlg* Dialog() { return Windows().LangDlg; }

    // Answers the language dialog: records its entries, then picks entry (-1: none
    // selected) and presses OK, or closes it with key (Cancel button when key is 0).
    void Answer(int entry, QStringList* entries = nullptr, int selectedOnShow[1] = nullptr, int key = -1) {
        modal::AnswerNext([=, this](QDialog&) {
            TLangDlg* d = Dialog();
            if (entries)
                for (int i = 0; i < d->LstLang->topLevelItemCount(); ++i)
                    *entries << d->LstLang->topLevelItem(i)->text(0);
            if (selectedOnShow)
                selectedOnShow[0] =
                    d->LstLang->selectedItems().isEmpty()
                        ? -1
                        : d->LstLang->indexOfTopLevelItem(d->LstLang->selectedItems().front());
            if (key == 0) {
                d->CancelBtn->click();
                return;
            }
            if (key > 0) {
                QTest::keyClick(d->LstLang, static_cast<Qt::Key>(key));
                return;
            }
            d->LstLang->clearSelection();
            if (entry >= 0)
                d->LstLang->topLevelItem(entry)->setSelected(true);
            d->OKbtn->click();
        });
    }

    QString OpenSample() {
        CabWriter w;
        w.addFolder();
        w.addFile("alpha.txt", QByteArray(1234, 'a'));
        w.addFile("beta.txt", QByteArray(10, 'b'));
        const QString path = WriteFile("sample.cab", w.build());
        Open(path);
        return path;
    }
};

TEST_F(LanguagesTest, DialogListsTheDefaultAndTheThreeLanguagesWithFlags) {
    ASSERT_EQ(window->LocaleLang, 1);
    QStringList entries;
    int selected[1] = {-2};
    Answer(-1, &entries, selected, 0);
    window->Langue1Click(window->Langue1);
    EXPECT_EQ(entries, QStringList({"Default (English)", "Français", "English", "Deutsch"}));
    EXPECT_EQ(selected[0], 0);
    EXPECT_EQ(Dialog()->windowTitle(), "Language");
    EXPECT_EQ(Dialog()->CancelBtn->text(), "Cancel");
    EXPECT_EQ(Dialog()->HlpBtn->text(), "&Help");
    EXPECT_EQ(Dialog()->OKbtn->text(), "OK");
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(Dialog()->LstLang->topLevelItem(i)->icon(0).isNull()) << i;
    // The flags differ: the default entry shows the locale's flag.
    const QImage english = LanguageIcon(1).pixmap(16).toImage();
    EXPECT_EQ(Dialog()->LstLang->topLevelItem(0)->icon(0).pixmap(16).toImage(), english);
    EXPECT_NE(LanguageIcon(0).pixmap(16).toImage(), english);
    EXPECT_NE(LanguageIcon(2).pixmap(16).toImage(), english);
}

TEST_F(LanguagesTest, ChoosingAnExplicitLanguageThenTheDefault) {
    // An English interface on a French system.
    window->LocaleLang = 0;
    QStringList entries;
    Answer(2, &entries);
    window->Langue1Click(nullptr);
    EXPECT_EQ(entries.value(0), "Default (Français)");
    EXPECT_EQ(LangIndex, 1);
    EXPECT_EQ(window->LangSetting, 1);
    EXPECT_EQ(window->windowTitle(), "Dazeduv Uvoro");

    int selected[1] = {-2};
    Answer(0, nullptr, selected);
    window->Langue1Click(nullptr);
    EXPECT_EQ(selected[0], 2) << "the stored choice is selected when the dialog opens";
    EXPECT_EQ(LangIndex, 0);
    EXPECT_EQ(window->LangSetting, 255);
    EXPECT_EQ(window->windowTitle(), "Zuvedaz ud izedori");
    EXPECT_EQ(window->Extrait1->text(), "&Extrait");
}

TEST_F(LanguagesTest, ChoiceIsStoredWhenTheWindowCloses) {
    window->LocaleLang = 0;
    Answer(2);
    window->Langue1Click(nullptr);
    window->close();
    EXPECT_EQ(reg::ReadInteger(reg::HKEY_CURRENT_USER, kSettingsKey, "Language", -7), 1);

    // The default entry is stored as 255, and a new start follows the locale again.
    window = std::make_unique<TDezerOvu>();
    Windows().DezerOvu = window.get();
    Windows().LangDlg = new TLangDlg(window.get());
    window->show();
    QCoreApplication::processEvents();
    ASSERT_EQ(LangIndex, 1);
    ASSERT_EQ(window->LangSetting, 1);
    Answer(0);
    window->Langue1Click(nullptr);
    window->close();
    EXPECT_EQ(reg::ReadInteger(reg::HKEY_CURRENT_USER, kSettingsKey, "Language", -7), 255);
}

TEST_F(LanguagesTest, SwitchingReopensTheListedCabinet) {
    const QString path = OpenSample();
    window->ListFic->selectionModel()->select(window->ListFic->model()->index(0, 0),
                                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
    ASSERT_EQ(window->StatPanel0->text(), "2 files, 1244 bytes");
    Answer(3);
    window->Langue1Click(nullptr);
    EXPECT_EQ(window->windowTitle(), "Datei " + path);
    EXPECT_EQ(Column(1).value(0), "1234 Bytes");
    EXPECT_EQ(window->ListFic->model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "Name");
    EXPECT_EQ(window->ListFic->model()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "Größe");
    EXPECT_TRUE(window->StatPanel0->text().endsWith("1244 Bytes"))
        << window->StatPanel0->text().toStdString();
    EXPECT_TRUE(window->ListFic->selectedRows().empty());
    EXPECT_TRUE(window->Extrait1->isEnabled());
    EXPECT_TRUE(window->InfBtn->isEnabled());
}

TEST_F(LanguagesTest, SwitchingWithNothingOpenLeavesListAndPanelsEmpty) {
    Answer(1);
    window->Langue1Click(nullptr);
    EXPECT_EQ(LangIndex, 0);
    EXPECT_EQ(window->ListFic->model()->rowCount(), 0);
    EXPECT_TRUE(window->StatPanel0->text().isEmpty());
    EXPECT_TRUE(window->StatPanel1->text().isEmpty());
    EXPECT_FALSE(window->Extrait1->isEnabled());
}

TEST_F(LanguagesTest, CancelEscapeAndOkWithoutSelectionChangeNothing) {
    const QString path = OpenSample();
    Answer(1, nullptr, nullptr, 0); // Cancel
    window->Langue1Click(nullptr);
    Answer(1, nullptr, nullptr, Qt::Key_Escape);
    window->Langue1Click(nullptr);
    EXPECT_EQ(LangIndex, 1);
    EXPECT_EQ(window->LangSetting, 255);
    EXPECT_EQ(window->windowTitle(), "file " + path);

    // OK with nothing selected relabels in the unchanged language and opens again.
    Answer(-1);
    window->Langue1Click(nullptr);
    EXPECT_EQ(LangIndex, 1);
    EXPECT_EQ(window->LangSetting, 255);
    EXPECT_EQ(window->windowTitle(), "file " + path);
    EXPECT_EQ(window->ListFic->model()->rowCount(), 2);
}

TEST_F(LanguagesTest, HelpButtonOpensTheDialogsTopic) {
    modal::AnswerNext([this](QDialog&) {
        Dialog()->HlpBtn->click();
        Dialog()->CancelBtn->click();
    });
    const int before = platform::HelpRequestCount();
    window->Langue1Click(nullptr);
    EXPECT_EQ(platform::HelpRequestCount(), before + 1);
    EXPECT_EQ(platform::LastHelpRequest().command, platform::HELP_CONTEXT);
    EXPECT_EQ(platform::LastHelpRequest().data, 31u);
}

// Run with a German locale (see CMakeLists.txt).
// Qt's own texts in the Open dialog follow the interface language, switched at run time.
struct QtTextsCase {
    const char* name;
    int entry; // in the language dialog: 0 the default (English here), 1 French, 2 English, 3 German
    const char* lookIn;
    const char* fileName;
    const char* cancel;
};

class QtTextsInTheOpenDialog : public LanguagesTest, public ::testing::WithParamInterface<QtTextsCase> {};

TEST_P(QtTextsInTheOpenDialog, FollowTheInterfaceLanguage) {
    const QtTextsCase& c = GetParam();
    if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_fr.qm")))
        GTEST_SKIP() << "Qt's translations are not installed";
    // From another language first, so that each case is a switch at run time.
    Answer(c.entry == 1 ? 3 : 1);
    window->Langue1Click(nullptr);
    Answer(c.entry);
    window->Langue1Click(nullptr);

    QString lookIn, fileName, cancel;
    modal::AnswerNext([&](QDialog& d) {
        if (auto* l = d.findChild<QLabel*>(QStringLiteral("lookInLabel")))
            lookIn = l->text();
        if (auto* l = d.findChild<QLabel*>(QStringLiteral("fileNameLabel")))
            fileName = l->text();
        if (auto* box = d.findChild<QDialogButtonBox*>())
            if (QPushButton* b = box->button(QDialogButtonBox::Cancel))
                cancel = b->text();
        d.reject();
    });
    window->Ouvre1->trigger();
    EXPECT_EQ(lookIn, QString::fromUtf8(c.lookIn));
    EXPECT_EQ(fileName.remove(QLatin1Char('&')), QString::fromUtf8(c.fileName));
    EXPECT_EQ(cancel.remove(QLatin1Char('&')), QString::fromUtf8(c.cancel));
    // The program's own texts still come from its table alone.
    EXPECT_EQ(window->Ouvre1->text(), MsgText(22));
}

INSTANTIATE_TEST_SUITE_P(
    Languages, QtTextsInTheOpenDialog,
    ::testing::Values(QtTextsCase{"French", 1, "Voir dans :", "Nom de fichier :", "Annuler"},
                      QtTextsCase{"German", 3, "Suchen in:", "Dateiname:", "Abbrechen"},
                      QtTextsCase{"English", 2, "Look in:", "File name:", "Cancel"},
                      QtTextsCase{"DefaultOnAnEnglishSystem", 0, "Look in:", "File name:", "Cancel"}),
    morbek::test::CaseName());

TEST_F(LanguagesTest, GermanSystemStartsInGerman) {
    if (!qEnvironmentVariable("LC_ALL").startsWith("de_DE"))
        GTEST_SKIP() << "needs LC_ALL=de_DE.UTF-8";
    EXPECT_EQ(window->LocaleLang, 2);
    EXPECT_EQ(LangIndex, 2);
    EXPECT_EQ(window->Ouvre1->text(), "&Öffnen");
    QStringList entries;
    Answer(-1, &entries, nullptr, 0);
    window->Langue1Click(nullptr);
    EXPECT_EQ(entries.value(0), "Standard (Deutsch)");
    EXPECT_EQ(Dialog()->windowTitle(), "Sprache");
}

} // namespace
} // namespace morbek
