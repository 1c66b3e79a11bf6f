// The Extract commands driven on the real main window: the selection handed to the
// extraction job, the folder browser, the window's progress dialog and messages, and
// entries dragged out. The job itself is tested without a window (tests/extract).
#include "app/FileListModel.h"
#include "components/Busy.h"
#include "components/DialogPat.h"
#include "components/FolderTreeModel.h"
#include "components/ShelBrow.h"
#include "extract/Binding.h"
#include "extract/TempCopy.h"
#include "platform/files/TempPath.h"
#include "platform/shell/DirectSave.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/CabWriter.h"
#include "tests/support/Files.h"
#include "tests/support/QtPrinters.h"

#include <QApplication>
#include <QDirIterator>
#include <QDrag>
#include <QItemSelectionModel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

namespace morbek {
namespace {

using test::CabMethod;
using test::CabWriter;
using testing::MainWindowTest;
using testing::ShownMessage;

QByteArray Data(char c, int size) {
    return QByteArray(size, c);
}

using test::ReadAll;

class ExtractTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(Out()));
    }

    QString Out() const { return dir.filePath(QStringLiteral("out")); }

    QByteArray FourFiles() {
        CabWriter w;
        w.addFolder(CabMethod::MsZip);
        w.addFile("a.txt", Data('a', 3000));
        w.addFile("sub\\b.txt", Data('b', 5000));
        w.addFile("c.txt", Data('c', 7000));
        w.addFile("d.txt", Data('d', 9000));
        return w.build();
    }

    // Answers the folder browser: OK on folder, or Cancel when folder is empty.
    void AnswerBrowser(const QString& folder, QString* initialPath = nullptr) {
        modal::AnswerNext([this, folder, initialPath](QDialog& d) {
            if (initialPath)
                *initialPath = window->RepDlg->InitialPath;
            if (folder.isEmpty()) {
                d.findChild<QPushButton*>(QStringLiteral("CancelButton"))->click();
                return;
            }
            auto* tree = d.findChild<QTreeView*>(QStringLiteral("FolderTree"));
            auto* model = qobject_cast<FolderTreeModel*>(tree->model());
            tree->setCurrentIndex(model->IndexOf(folder));
            d.findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
        });
    }

    void Select(std::initializer_list<int> rows) {
        QItemSelectionModel* selection = window->ListFic->selectionModel();
        selection->clearSelection();
        const FileListModel* model = window->ListFic->model();
        for (int row : rows)
            selection->select(model->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    // The status line of the progress dialog each time the library writes.
    QStringList RecordStatusLines() {
        auto lines = std::make_shared<QStringList>();
        SetProgressSink([this, lines](int percent) {
            dialogPat->SetProgress(percent);
            busyWhileWriting_ = busy::IsBusy();
            const QString text = dialogPat->LPat->text();
            if (lines->isEmpty() || lines->last() != text)
                *lines << text;
        });
        statusLines_ = lines;
        return {};
    }
    QStringList StatusLines() const { return statusLines_ ? *statusLines_ : QStringList(); }

    std::shared_ptr<QStringList> statusLines_;
    bool busyWhileWriting_ = false;
};

// The whole stored names go, in list order, and the job's progress shows in the window's
// dialog while the program is busy.
TEST_F(ExtractTest, SelectedEntriesAreExtractedInListOrder) {
    Open(WriteFile("four.cab", FourFiles()));
    ASSERT_EQ(window->ListFic->model()->rowCount(), 4);
    Select({3, 0, 1}); // clicked in another order than the list's
    RecordStatusLines();
    AnswerBrowser(Out());
    window->Extrait1Click(window->Extrait1);

    EXPECT_EQ(StatusLines(),
              QStringList({"Extracting file a.txt", "Extracting file b.txt", "Extracting file d.txt"}));
    EXPECT_TRUE(busyWhileWriting_);
    EXPECT_FALSE(busy::IsBusy());
    EXPECT_EQ(ReadAll(Out() + "/a.txt"), Data('a', 3000));
    EXPECT_EQ(ReadAll(Out() + "/b.txt"), Data('b', 5000));
    EXPECT_EQ(ReadAll(Out() + "/d.txt"), Data('d', 9000));
    EXPECT_FALSE(QFileInfo::exists(Out() + "/c.txt"));
    EXPECT_FALSE(dialogPat->isVisible());
    EXPECT_EQ(window->windowTitle(), "file " + dir.filePath("four.cab"));
}

TEST_F(ExtractTest, DoubleClickTakesTheFirstSelectedEntryOnly) {
    Open(WriteFile("four.cab", FourFiles()));
    Select({3, 1});
    AnswerBrowser(Out());
    window->DblClick();
    EXPECT_EQ(ReadAll(Out() + "/b.txt"), Data('b', 5000));
    EXPECT_FALSE(QFileInfo::exists(Out() + "/d.txt"));

    // Without a selection neither command asks anything.
    Select({});
    window->DblClick();
    window->Extrait1Click(window->ExtrBtn);
}

TEST_F(ExtractTest, BrowserReopensOnTheLastFolderChosen) {
    Open(WriteFile("four.cab", FourFiles()));
    Select({0});
    QString first, second, third;
    AnswerBrowser(Out(), &first);
    window->Extrait1Click(nullptr);
    AnswerBrowser({}, &second);
    window->Extrait1Click(nullptr);
    const QString other = dir.filePath("other");
    ASSERT_TRUE(QDir().mkpath(other));
    AnswerBrowser(other, &third);
    window->Extrait1Click(nullptr);
    EXPECT_EQ(first, "");
    EXPECT_EQ(second, Out());
    EXPECT_EQ(third, "") << "a cancelled browser leaves no folder to reopen on";
}

// The job is handed where the open cabinet lies in the executable.
TEST_F(ExtractTest, EmbeddedCabinetIsExtractedFromATemporaryCopyThatIsDeleted) {
    const QString exe = WriteFile("setup.exe", CabWriter::embedInExecutable(FourFiles(), 5000, "trailer"));
    Open(exe);
    ASSERT_EQ(window->Location.CabOffset, 5000);
    const QString copyPath = TemporaryCopyPath(exe, platform::GetTempPathA());
    ASSERT_EQ(copyPath, platform::GetTempPathA() + "setup.TMP");

    // The entries come out of the copy, whose name is the dialog's title.
    Select({0, 1});
    QString titleDuringExtraction;
    SetProgressSink([&](int) { titleDuringExtraction = dialogPat->windowTitle(); });
    AnswerBrowser(Out());
    window->Extrait1Click(nullptr);
    EXPECT_EQ(ReadAll(Out() + "/a.txt"), Data('a', 3000));
    EXPECT_EQ(ReadAll(Out() + "/b.txt"), Data('b', 5000));
    EXPECT_EQ(titleDuringExtraction, "file " + copyPath);
    EXPECT_FALSE(QFileInfo::exists(copyPath));
}

// What ends the command is told in the program's warning, under its own title.
TEST_F(ExtractTest, TruncatedExecutableEndsTheRunBeforeTheBrowser) {
    QByteArray exe = CabWriter::embedInExecutable(FourFiles(), 5000);
    const QString path = WriteFile("setup.exe", exe);
    Open(path);
    ASSERT_EQ(window->Location.CabOffset, 5000);
    // The file shrinks after it was listed.
    ASSERT_TRUE(QFile::resize(path, 5000 + window->Header.CabSize / 2));
    Select({0});
    ShownMessage shown;
    ExpectMessage(&shown);
    window->Extrait1Click(nullptr);
    EXPECT_EQ(shown.text, "Cabinet file open error");
    EXPECT_EQ(shown.title, "Avertissement");
    EXPECT_EQ(shown.buttons.filter("OK").size(), 1);
    EXPECT_FALSE(busy::IsBusy());
    EXPECT_FALSE(QFileInfo::exists(TemporaryCopyPath(path, platform::GetTempPathA())));
    EXPECT_TRUE(QDir(Out()).isEmpty());
}

// --- dragging entries out to a file manager -------------------------------------------------

// A file manager that takes the drop by X Direct Save names a file in the folder it
// wants; the dragged entries are extracted there through the Extract path: replace
// question, report of the entries not extracted. No folder browser is shown.
struct DragOutCase {
    const char* name;
    std::vector<int> rows;
    const char* uriFile;            // the file the target names in the out folder; empty: it never asks
    bool remote = false;            // the target names a file on another machine
    const char* existing = nullptr; // a.txt already in the folder, holding this
    const char* replace = nullptr;  // the answer to the replace question ("Yes", "No")
    QStringList written;            // files of the out folder afterwards
    const char* report = nullptr;   // the message that lists entries not extracted
    const char* answer = "S";       // what the target was told
};

void PrintTo(const DragOutCase& c, std::ostream* os) {
    *os << c.name;
}

class DragOut : public ExtractTest, public ::testing::WithParamInterface<DragOutCase> {};

TEST_P(DragOut, ExtractsIntoTheFolderTheDropTargetNames) {
    const DragOutCase& c = GetParam();
    CabWriter w;
    w.addFolder(CabMethod::MsZip);
    w.addFile("a.txt", Data('a', 3000));
    w.addFile("sub\\b.txt", Data('b', 5000));
    w.addFile("c.txt", Data('c', 7000));
    w.addFile("d/unsafe", Data('d', 10));
    Open(WriteFile("drag.cab", w.build()));
    ASSERT_EQ(window->ListFic->model()->rowCount(), 4);
    if (c.existing)
        WriteFile("out/a.txt", c.existing);
    std::vector<int> rows = c.rows;
    QItemSelectionModel* selection = window->ListFic->selectionModel();
    selection->clearSelection();
    for (int row : rows)
        selection->select(window->ListFic->model()->index(row, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);

    QStringList offered;
    QByteArray told;
    window->RunDrag = [&](QDrag& drag) {
        auto* offer = qobject_cast<platform::DirectSaveMimeData*>(drag.mimeData());
        if (!offer)
            return Qt::IgnoreAction;
        offered = offer->formats();
        if (!*c.uriFile)
            return Qt::IgnoreAction;
        const QString host = c.remote ? QStringLiteral("elsewhere.invalid") : QString();
        QUrl url = QUrl::fromLocalFile(Out() + QLatin1Char('/') + QString::fromUtf8(c.uriFile));
        url.setHost(host);
        const QByteArray uri = url.toEncoded();
        offer->SetUriReader([uri] { return uri; });
        told = offer->data(QString::fromLatin1(platform::DirectSaveMimeData::kFormat));
        return Qt::CopyAction;
    };
    if (c.replace)
        modal::AnswerNext([&c](QDialog& d) {
            auto& box = static_cast<QMessageBox&>(d);
            box.button(QString::fromLatin1(c.replace) == "Yes" ? QMessageBox::Yes : QMessageBox::No)->click();
        });
    ShownMessage shown;
    if (c.report)
        ExpectMessage(&shown);
    window->DragOut();

    EXPECT_EQ(offered, QStringList({"XdndDirectSave0"}));
    EXPECT_EQ(told, *c.uriFile ? QByteArray(c.answer) : QByteArray());
    QStringList files;
    QDirIterator it(Out(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next().mid(Out().size() + 1);
    files.sort();
    EXPECT_EQ(files, c.written);
    const bool keptOld = c.existing && QString::fromLatin1(c.replace) == "No";
    for (const QString& f : files) {
        if (f == QLatin1String("a.txt") && keptOld) {
            EXPECT_EQ(ReadAll(Out() + "/a.txt"), QByteArray(c.existing));
        } else {
            EXPECT_EQ(ReadAll(Out() + QLatin1Char('/') + f).size(), f.startsWith('a')   ? 3000
                                                                    : f.startsWith('c') ? 7000
                                                                                        : 5000);
        }
    }
    if (c.report) {
        EXPECT_EQ(shown.text, QString::fromUtf8(c.report));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Targets, DragOut,
    ::testing::Values(
        DragOutCase{
            "SelectedEntriesGoToTheDropFolder", {0, 2}, "a.txt", false, nullptr, nullptr, {"a.txt", "c.txt"}},
        DragOutCase{
            "AnyNameTheTargetGivesNamesItsFolder", {1}, "whatever.bin", false, nullptr, nullptr, {"b.txt"}},
        DragOutCase{
            "ExistingFileKeptWhenTheUserSaysNo", {0, 2}, "a.txt", false, "old", "No", {"a.txt", "c.txt"}},
        DragOutCase{"ExistingFileReplacedWhenTheUserSaysYes", {0}, "a.txt", false, "old", "Yes", {"a.txt"}},
        DragOutCase{
            "EntriesNotExtractedAreReported",
            {2, 3},
            "c.txt",
            false,
            nullptr,
            nullptr,
            {"c.txt"},
            "These files were not extracted:\r\nd/unsafe : the name is not valid here or would place the "
            "file outside the target folder"},
        DragOutCase{
            "TargetOnAnotherMachineIsRefused", {0}, "a.txt", true, nullptr, nullptr, {}, nullptr, "E"},
        DragOutCase{"TargetThatNeverAsksGetsNothing", {0}, "", false, nullptr, nullptr, {}}),
    [](const ::testing::TestParamInfo<DragOutCase>& p) { return std::string(p.param.name); });

TEST_F(ExtractTest, DraggingSelectedEntriesInTheListStartsTheDragOut) {
    Open(WriteFile("four.cab", FourFiles()));
    window->resize(600, 400);
    QCoreApplication::processEvents();
    Select({0, 2});
    QStringList dragged;
    window->RunDrag = [&](QDrag&) {
        for (int row : window->ListFic->selectedRows())
            dragged << window->ListFic->model()->item(row).storedName;
        return Qt::IgnoreAction;
    };
    for (const int style : {1, 4}) {
        SCOPED_TRACE(style);
        dragged.clear();
        window->ListFic->setViewStyle(style);
        Select({0, 2});
        QCoreApplication::processEvents();
        QAbstractItemView* view = window->ListFic->currentView();
        const QRect item = view->visualRect(view->model()->index(2, 0));
        ASSERT_FALSE(item.isEmpty());
        const QPointF from = item.center();
        const QPointF to =
            from + QPointF(QApplication::startDragDistance() * 3, QApplication::startDragDistance() * 3);
        QMouseEvent press(QEvent::MouseButtonPress, from, view->viewport()->mapToGlobal(from), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view->viewport(), &press);
        for (int step = 1; step <= 3; ++step) {
            const QPointF at = from + (to - from) * step / 3.0;
            QMouseEvent move(QEvent::MouseMove, at, view->viewport()->mapToGlobal(at), Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(view->viewport(), &move);
        }
        QMouseEvent release(QEvent::MouseButtonRelease, to, view->viewport()->mapToGlobal(to), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view->viewport(), &release);
        EXPECT_EQ(dragged, QStringList({"a.txt", "c.txt"}))
            << "both selected entries go, not only the one pressed";
    }
}

} // namespace
} // namespace morbek
