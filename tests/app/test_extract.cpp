// The Extract commands driven on the real main window: what is extracted and in which
// order, the folder browser, the temporary copy of an embedded cabinet, failures, and
// entries that begin in an earlier cabinet of a set.
#include "app/FileListModel.h"
#include "components/DialogPat.h"
#include "components/FolderTreeModel.h"
#include "components/ShelBrow.h"
#include "extract/Binding.h"
#include "extract/TempCopy.h"
#include "platform/files/TempPath.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/CabWriter.h"
#include "tests/support/Corpus.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/Files.h"

#include <QCryptographicHash>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QToolButton>
#include <QTreeView>

namespace morbek {
namespace {

using test::CabMethod;
using test::CabWriter;
using testing::MainWindowTest;
using testing::ShownMessage;

QByteArray Data(char c, int size) { return QByteArray(size, c); }

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
    Select({3, 0, 2});   // clicked in another order than the list's
    RecordStatusLines();
    AnswerBrowser(Out());
    window->Extrait1Click(window->Extrait1);

    EXPECT_EQ(StatusLines(), QStringList({"Extracting file a.txt", "Extracting file c.txt", "Extracting file d.txt"}));
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
    EXPECT_EQ(shown.text, "File decompression error'");
    EXPECT_FALSE(QFileInfo::exists(Out() + "/big.bin"));
}

TEST_F(ExtractTest, CorpusEmbeddedCabinetsExtractThroughTheCopy) {
    if (!test::CorpusAvailable())
        GTEST_SKIP() << "corpus absent";
    const QString exe = test::CorpusPath("embedded/v3bundle.exe");
    Open(exe);
    ASSERT_GT(window->Location.CabOffset, 0);
    const int rows = window->ListFic->model()->rowCount();
    ASSERT_GT(rows, 0);
    Select({0});
    AnswerBrowser(Out());
    window->Extrait1Click(nullptr);
    const QString name = window->ListFic->model()->item(0).caption;
    const QString stored = window->ListFic->model()->item(0).path + name;
    const auto expected = test::LoadExpected();
    QString md5;
    for (const auto& row : expected)
        if (row.cabinet == "embedded/v3bundle.exe" && row.mscfOffset == window->Location.CabOffset &&
            row.entryName == stored && row.md5 != "-")
            md5 = row.md5;
    ASSERT_FALSE(md5.isEmpty());
    EXPECT_EQ(QCryptographicHash::hash(ReadAll(Out() + "/" + name), QCryptographicHash::Md5).toHex(), md5);
    EXPECT_FALSE(QFileInfo::exists(TemporaryCopyPath(exe, platform::GetTempPathA())));
}

} // namespace
} // namespace morbek
