// The Information and Properties reports, read as they reach the message dialog.
#include "app/FileListModel.h"
#include "components/MsgDialog.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/CabWriter.h"
#include "tests/support/QtPrinters.h"

#include <QItemSelectionModel>
#include <QToolButton>

namespace morbek {
namespace {

using test::CabWriter;
using testing::MainWindowTest;
using testing::ShownMessage;

class InformationTest : public MainWindowTest {
protected:
    // Records the next message dialog and closes it with its only button.
    void Capture(ShownMessage* shown, QString* icon = nullptr) {
        modal::AnswerNext([shown, icon](QDialog& d) {
            shown->title = d.windowTitle();
            shown->text = d.property(kMessageTextProperty).toString();
            QList<QAbstractButton*> buttons = d.findChildren<QAbstractButton*>();
            for (QAbstractButton* b : buttons)
                if (b->isVisible())
                    shown->buttons << b->text();
            if (icon)
                *icon = d.property("kind").toString();
            if (!buttons.isEmpty())
                buttons.front()->click();
            else
                d.reject();
        });
    }

    QByteArray SetMember() {
        CabWriter w;
        w.addFolder();
        w.addFile("one.txt", "1");
        w.addFile("dir\\two.txt", "22");
        w.addFile("three.txt", "333");
        w.setPrevCabinet("prev.cab", "Disk 1");
        w.setNextCabinet("next.cab", "Disk 3");
        w.setReserve(4, 0, 0);
        w.setSetId(4660);
        w.setCabinetIndex(1);
        return w.build();
    }
};

TEST_F(InformationTest, HeaderReportInEnglishAndFrench) {
    const QByteArray cab = SetMember();
    const QString path = WriteFile("member.cab", cab);
    Open(path);

    ShownMessage shown;
    Capture(&shown);
    window->Information1Click(window->InfBtn);
    const QString size = QString::number(cab.size());
    EXPECT_EQ(shown.title, "file " + path);
    EXPECT_EQ(shown.text, "Size of the cabinet file: " + size +
                              " bytes\n\r"
                              "Format version: 1.3\n\r"
                              "Number of folders: 1\n\r"
                              "Number of files: 3\n\r"
                              "Cabinet set identifier: 4660\n\r"
                              "Number of the cabinet in the set: 1\n\r"
                              "Name of previous cabinet:prev.cab\n\r"
                              "Name of previous disk: Disk 1\n\r"
                              "Name of next cabinet: next.cab\n\r"
                              "Name of next disk: Disk 3\n\r");
    EXPECT_EQ(shown.buttons, QStringList({"&Oui"}));

    window->ApplyLanguage(0);
    Open(path);
    shown = {};
    Capture(&shown);
    window->Information1Click(nullptr);
    EXPECT_EQ(shown.title, "fichier " + path);
    EXPECT_TRUE(shown.text.startsWith("Taille du fichier cabinet : " + size +
                                      " octets\n\rVersion du format : 1.3\n\r"))
        << shown.text.toStdString();
    EXPECT_TRUE(shown.text.contains("\n\rNom du cabinet précédent : prev.cab\n\r"));
}

TEST_F(InformationTest, FailedOpenKeepsNumbersEmptiesNamesAndShowsTheRejectedFile) {
    Open(WriteFile("member.cab", SetMember()));
    const QString bad = WriteFile("bad.cab", "MSCF but nothing else");
    ShownMessage refused;
    ExpectMessage(&refused);
    Open(bad);
    ASSERT_TRUE(refused.text.endsWith("is not a valid cab file")) << refused.text.toStdString();
    ASSERT_TRUE(window->Information1->isEnabled());

    ShownMessage shown;
    Capture(&shown);
    window->Information1Click(nullptr);
    EXPECT_EQ(shown.title, "file " + bad);
    EXPECT_TRUE(shown.text.contains("Number of files: 3\n\r"));
    EXPECT_TRUE(shown.text.contains("Cabinet set identifier: 4660\n\r"));
    EXPECT_TRUE(shown.text.endsWith("Name of previous cabinet:\n\rName of previous disk: \n\r"
                                    "Name of next cabinet: \n\rName of next disk: \n\r"));
}

TEST_F(InformationTest, PropertiesReportTheFirstSelectedEntryOnly) {
    Open(WriteFile("member.cab", SetMember()));
    // Nothing selected: nothing shown.
    window->ProprieteClick(window->proprietes1);

    QItemSelectionModel* selection = window->ListFic->selectionModel();
    const FileListModel* model = window->ListFic->model();
    for (int row : {2, 1, 0})
        selection->select(model->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    ShownMessage shown;
    Capture(&shown);
    window->ProprieteClick(nullptr);
    EXPECT_EQ(shown.title, window->windowTitle());
    const QStringList lines = shown.text.split("\n\r");
    ASSERT_EQ(lines.size(), 5) << shown.text.toStdString();
    EXPECT_EQ(lines[0], "Name : one.txt");
    EXPECT_EQ(lines[1], "Size : 1 bytes");
    EXPECT_TRUE(lines[2].startsWith("Type : "));
    EXPECT_EQ(lines[3], "Date : " + model->item(0).dateText);
    EXPECT_EQ(lines[4], "Directory : ");
    EXPECT_EQ(shown.buttons, QStringList({"OK"}));

    window->ApplyLanguage(2);
    Open(window->CabFileName);
    selection->select(model->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    shown = {};
    Capture(&shown);
    window->ProprieteClick(nullptr);
    EXPECT_EQ(shown.text.split("\n\r").value(0), "Name : two.txt");
    EXPECT_EQ(shown.text.split("\n\r").value(4), "Verzeichnis : dir\\");
}

// The header's cabinet size is an unsigned 32-bit field: read and shown as such from the
// file to the dialog (the report's own table of sizes is in tests/cabinet/test_report).
TEST_F(InformationTest, CabinetSizeWithTheTopBitSetReadsUnsigned) {
    QByteArray cab = SetMember();
    const uint32_t v = 0xC0000000u;
    for (int i = 0; i < 4; ++i)
        cab[8 + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    Open(WriteFile("member.cab", cab));
    ASSERT_TRUE(window->Information1->isEnabled());
    ShownMessage shown;
    Capture(&shown);
    window->Information1Click(nullptr);
    EXPECT_EQ(shown.text.split("\n\r").value(0),
              QStringLiteral("Size of the cabinet file: 3221225472 bytes"));
}

} // namespace
} // namespace morbek
