// The Extract commands driven on the real main window: what is extracted and in which
// order, the folder browser, the temporary copy of an embedded cabinet, failures, and
// entries that begin in an earlier cabinet of a set.
#include "app/FileListModel.h"
#include "components/DialogPat.h"
#include "components/FolderTreeModel.h"
#include "components/ShelBrow.h"
#include "extract/Binding.h"
#include "extract/ExtractJob.h"
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
#include <QItemSelection>
#include <QItemSelectionModel>
#include <QMap>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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
            const QString text = dialogPat->LPat->text();
            if (lines->isEmpty() || lines->last() != text)
                *lines << text;
        });
        statusLines_ = lines;
        return {};
    }
    QStringList StatusLines() const { return statusLines_ ? *statusLines_ : QStringList(); }

    std::shared_ptr<QStringList> statusLines_;
};

TEST_F(ExtractTest, SelectedEntriesAreExtractedInListOrder) {
    Open(WriteFile("four.cab", FourFiles()));
    ASSERT_EQ(window->ListFic->model()->rowCount(), 4);
    Select({3, 0, 2}); // clicked in another order than the list's
    RecordStatusLines();
    AnswerBrowser(Out());
    window->Extrait1Click(window->Extrait1);

    EXPECT_EQ(StatusLines(),
              QStringList({"Extracting file a.txt", "Extracting file c.txt", "Extracting file d.txt"}));
    EXPECT_EQ(ReadAll(Out() + "/a.txt"), Data('a', 3000));
    EXPECT_EQ(ReadAll(Out() + "/c.txt"), Data('c', 7000));
    EXPECT_EQ(ReadAll(Out() + "/d.txt"), Data('d', 9000));
    EXPECT_FALSE(QFileInfo::exists(Out() + "/b.txt"));
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

TEST_F(ExtractTest, EmbeddedCabinetIsExtractedFromATemporaryCopyThatIsDeleted) {
    const QString exe = WriteFile("setup.exe", CabWriter::embedInExecutable(FourFiles(), 5000, "trailer"));
    Open(exe);
    ASSERT_EQ(window->Location.CabOffset, 5000);
    const QString copyPath = TemporaryCopyPath(exe, platform::GetTempPathA());
    ASSERT_EQ(copyPath, platform::GetTempPathA() + "setup.TMP");

    // Cancelled: nothing extracted, and the copy made before the browser is gone.
    Select({0, 1});
    bool copyDuringBrowser = false;
    modal::AnswerNext([&](QDialog& d) {
        copyDuringBrowser = QFileInfo::exists(copyPath);
        d.findChild<QPushButton*>(QStringLiteral("CancelButton"))->click();
    });
    window->Extrait1Click(nullptr);
    EXPECT_TRUE(copyDuringBrowser);
    EXPECT_FALSE(QFileInfo::exists(copyPath));
    EXPECT_TRUE(QDir(Out()).isEmpty());

    // Chosen: the entries come out of the copy, whose name is the dialog's title.
    QString titleDuringExtraction;
    SetProgressSink([&](int) { titleDuringExtraction = dialogPat->windowTitle(); });
    AnswerBrowser(Out());
    window->Extrait1Click(nullptr);
    EXPECT_EQ(ReadAll(Out() + "/a.txt"), Data('a', 3000));
    EXPECT_EQ(ReadAll(Out() + "/b.txt"), Data('b', 5000));
    EXPECT_EQ(titleDuringExtraction, "file " + copyPath);
    EXPECT_FALSE(QFileInfo::exists(copyPath));
}

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
    EXPECT_FALSE(QFileInfo::exists(TemporaryCopyPath(path, platform::GetTempPathA())));
    EXPECT_TRUE(QDir(Out()).isEmpty());
}

TEST_F(ExtractTest, FailureOfTheSecondEntryStopsTheRun) {
    const QString cab = WriteFile("four.cab", FourFiles());
    Open(cab);
    Select({0, 2, 3});
    // The cabinet disappears while the first entry is written.
    SetProgressSink([&](int) { QFile::remove(cab); });
    AnswerBrowser(Out());
    ShownMessage shown;
    ExpectMessage(&shown);
    window->Extrait1Click(nullptr);
    EXPECT_EQ(shown.text, "Cabinet file open error");
    EXPECT_EQ(shown.title, "Avertissement");
    EXPECT_EQ(shown.buttons.filter("OK").size(), 1);
    EXPECT_EQ(ReadAll(Out() + "/a.txt"), Data('a', 3000));
    EXPECT_FALSE(QFileInfo::exists(Out() + "/c.txt"));
    EXPECT_FALSE(QFileInfo::exists(Out() + "/d.txt"));
    EXPECT_FALSE(dialogPat->isVisible());
}

class ExtractSetTest : public ExtractTest {
protected:
    // A set of three cabinets; big.bin starts in the first and ends in the third.
    void WriteSet() {
        CabWriter w;
        w.addFolder(CabMethod::Stored);
        w.addFile("first.txt", Data('f', 1000));
        w.addFile("big.bin", big);
        w.addFile("last.txt", Data('l', 1000));
        const std::vector<QByteArray> parts = w.buildSet(30000);
        ASSERT_GE(parts.size(), 3u);
        for (size_t i = 0; i < parts.size(); ++i)
            WriteFile(QStringLiteral("part%1.cab").arg(i + 1), parts[i]);
    }
    int RowOf(const QString& caption) const {
        const FileListModel* m = window->ListFic->model();
        for (int r = 0; r < m->rowCount(); ++r)
            if (m->item(r).caption == caption)
                return r;
        return -1;
    }
    QByteArray big = [] {
        QByteArray b(70000, '\0');
        for (int i = 0; i < b.size(); ++i)
            b[i] = static_cast<char>(i % 253);
        return b;
    }();
};

TEST_F(ExtractSetTest, EntryBeginningInAnEarlierCabinetIsExtractedWhole) {
    WriteSet();
    // The process's current folder is not the set's.
    ASSERT_NE(QDir::currentPath(), dir.path());
    Open(dir.filePath("part3.cab"));
    const int row = RowOf("big.bin");
    ASSERT_GE(row, 0);
    Select({row});
    AnswerBrowser(Out());
    window->Extrait1Click(nullptr);
    EXPECT_EQ(ReadAll(Out() + "/big.bin"), big);
}

TEST_F(ExtractSetTest, CycleOfEarlierCabinetsEndsWithAMessage) {
    WriteSet();
    // part1.cab now holds the middle cabinet, which names part1.cab as its earlier one.
    QFile::remove(dir.filePath("part1.cab"));
    ASSERT_TRUE(QFile::copy(dir.filePath("part2.cab"), dir.filePath("part1.cab")));
    Open(dir.filePath("part3.cab"));
    Select({RowOf("big.bin")});
    AnswerBrowser(Out());
    ShownMessage shown;
    ExpectMessage(&shown);
    window->Extrait1Click(nullptr);
    // Reported with the other entries not extracted, after the command, in plain words.
    EXPECT_EQ(shown.text,
              "These files were not extracted:\r\nbig.bin : the cabinet where the file begins is missing");
    EXPECT_FALSE(QFileInfo::exists(Out() + "/big.bin"));
}

// Before, the command passed the bare name: a\readme.txt selected asked to replace a file
// never asked for, then wrote b\readme.txt's contents.
TEST_F(ExtractTest, TheSelectedEntryIsTheOneWrittenWhenNamePartsAreShared) {
    CabWriter w;
    w.addFolder(CabMethod::MsZip);
    w.addFile("a\\readme.txt", "first");
    w.addFile("b\\readme.txt", "second!");
    Open(WriteFile("twins.cab", w.build()));
    const FileListModel* model = window->ListFic->model();
    ASSERT_EQ(model->rowCount(), 2);
    for (int row = 0; row < 2; ++row) {
        SCOPED_TRACE(row);
        QFile::remove(Out() + "/readme.txt");
        Select({row});
        AnswerBrowser(Out());
        // No question and no message: a replace question left unanswered fails the fixture.
        window->Extrait1Click(nullptr);
        EXPECT_EQ(ReadAll(Out() + "/readme.txt"), model->item(row).storedName == "a\\readme.txt"
                                                      ? QByteArray("first")
                                                      : QByteArray("second!"));
    }
}

// Before, a failing entry either ended the command with "File decompression error" or
// ended it in silence. Now every entry is tried and those not extracted are named once,
// each with its reason.
TEST_F(ExtractTest, EntriesNotExtractedAreReportedTogetherWithTheirReasons) {
    CabWriter w;
    w.addFolder(CabMethod::Stored);
    w.addFile("a-ok.txt", Data('a', 100));
    w.addFile("b-folder.txt", Data('b', 100));
    w.addFile("c-held.txt", Data('c', 100));
    w.addFile("d/unsafe", Data('d', 100));
    w.addFile("e-ok.txt", Data('e', 100));
    const int damaged = w.addFolder(CabMethod::Stored);
    test::CabFileSpec cut;
    cut.name = "f-damaged.txt";
    cut.data = Data('f', 100);
    cut.folder = damaged;
    cut.declaredSize = 100000; // beyond the data the cabinet holds
    w.addFile(cut);
    Open(WriteFile("mixed.cab", w.build()));
    const FileListModel* model = window->ListFic->model();
    ASSERT_EQ(model->rowCount(), 6);
    QStringList order;
    for (int row = 0; row < model->rowCount(); ++row)
        order << model->item(row).storedName;

    ASSERT_TRUE(QDir().mkpath(Out() + "/b-folder.txt"));
    const QString held = Out() + "/c-held.txt";
    WriteFile("out/c-held.txt", "kept");
    const int holder = ::open(QFile::encodeName(held).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);

    QItemSelectionModel* selection = window->ListFic->selectionModel();
    selection->select(QItemSelection(model->index(0, 0), model->index(model->rowCount() - 1, 0)),
                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    AnswerBrowser(Out());
    ShownMessage shown;
    ExpectMessage(&shown);
    window->Extrait1Click(nullptr);
    ::close(holder);

    const QMap<QString, QString> reasons = {
        {"b-folder.txt", "a link, a special file or a folder of that name is in the way"},
        {"c-held.txt", "the file is in use by another program"},
        {"d/unsafe", "the name is not valid here or would place the file outside the target folder"},
        {"f-damaged.txt", "the cabinet's data is damaged"},
    };
    QStringList lines{"These files were not extracted:"};
    for (const QString& name : order)
        if (reasons.contains(name))
            lines << name + " : " + reasons.value(name);
    EXPECT_EQ(shown.text, lines.join("\r\n"));
    EXPECT_EQ(shown.title, "Avertissement");
    // The entries around the failures were written; nothing half-written stands.
    EXPECT_EQ(ReadAll(Out() + "/a-ok.txt"), Data('a', 100));
    EXPECT_EQ(ReadAll(Out() + "/e-ok.txt"), Data('e', 100));
    EXPECT_EQ(ReadAll(held), QByteArray("kept"));
    EXPECT_FALSE(QFileInfo::exists(Out() + "/f-damaged.txt"));
    EXPECT_EQ(QDir(Out()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 4);
}

// Before, each unsafe name brought a warning of its own: 200 of them, 200 dialogs.
TEST_F(ExtractTest, ManyUnsafeNamesBringOneMessage) {
    CabWriter w;
    w.addFolder(CabMethod::Stored);
    for (int i = 0; i < 200; ++i)
        w.addFile(QByteArray("x/") + QByteArray::number(i), "z");
    w.addFile("safe.txt", "safe");
    Open(WriteFile("unsafe.cab", w.build()));
    const FileListModel* model = window->ListFic->model();
    ASSERT_EQ(model->rowCount(), 201);
    window->ListFic->selectionModel()->select(QItemSelection(model->index(0, 0), model->index(200, 0)),
                                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
    AnswerBrowser(Out());
    ShownMessage shown;
    ExpectMessage(&shown); // a second dialog would find no answer and fail the fixture
    window->Extrait1Click(nullptr);
    // Thirty lines, then the count of the rest: a taller dialog would hide its OK button.
    const QStringList lines = shown.text.split("\r\n");
    ASSERT_EQ(lines.size(), 1 + ExtractJob::kNotExtractedLines + 1);
    EXPECT_EQ(lines[0], "These files were not extracted:");
    EXPECT_EQ(lines.filter(" : the name is not valid here or would place the file outside the target folder")
                  .size(),
              ExtractJob::kNotExtractedLines);
    EXPECT_EQ(lines.back(),
              QStringLiteral("… and %1 more files not extracted.").arg(200 - ExtractJob::kNotExtractedLines));
    EXPECT_EQ(ReadAll(Out() + "/safe.txt"), QByteArray("safe"));
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
