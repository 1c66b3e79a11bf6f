// Every file of the shared corpus's manifest through the real Open and Extract commands
// of the main window, with every listed entry selected and every dialog answered. Whatever the cabinet holds:
// no crash, no hang, nothing written or changed outside the chosen folder (links planted in it are not
// followed), no hidden half-written file left in it, and no temporary copy left. A second pass over files
// already there checks that a confirmed replacement leaves each of them either as it was or replaced whole.
#include "app/FileListModel.h"
#include "components/FolderTreeModel.h"
#include "extract/StagedTarget.h"
#include "extract/TempCopy.h"
#include "platform/fdi/fdi.h"
#include "platform/files/TempPath.h"
#include "platform/text/AnsiText.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/Corpus.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/Watchdog.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QItemSelectionModel>
#include <QMap>
#include <QPushButton>
#include <QScopeGuard>
#include <QSet>
#include <QTreeView>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace morbek {
namespace {

using testing::MainWindowTest;

// What a path is, without following links.
struct Node {
    char type = '?'; // f file, d folder, l link, o other
    qint64 size = 0;
    qint64 mtime = 0;
    QByteArray link;   // a link's text
    QByteArray digest; // a file's contents
    bool operator==(const Node&) const = default;
};

Node Describe(const QString& path) {
    Node n;
    struct stat st {};
    const QByteArray native = QFile::encodeName(path);
    if (::lstat(native.constData(), &st) != 0)
        return n;
    if (S_ISLNK(st.st_mode)) {
        n.type = 'l';
        char buffer[4096];
        const ssize_t length = ::readlink(native.constData(), buffer, sizeof buffer);
        n.link = QByteArray(buffer, length > 0 ? static_cast<qsizetype>(length) : 0);
    } else if (S_ISDIR(st.st_mode)) {
        n.type = 'd'; // its times change with what is made and removed in it
    } else if (S_ISREG(st.st_mode)) {
        n.type = 'f';
        n.size = st.st_size;
        n.mtime = static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        QFile f(path);
        if (f.open(QIODevice::ReadOnly)) {
            QCryptographicHash hash(QCryptographicHash::Md5);
            hash.addData(&f);
            n.digest = hash.result();
        }
    } else {
        n.type = 'o';
    }
    return n;
}

// Every path under root, links not followed, except those under skip.
QMap<QString, Node> Walk(const QString& root, const QString& skip = {}) {
    QMap<QString, Node> all;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!skip.isEmpty() && (path == skip || path.startsWith(skip + QLatin1Char('/'))))
            continue;
        all.insert(path, Describe(path));
    }
    return all;
}

QStringList Differences(const QMap<QString, Node>& before, const QMap<QString, Node>& after) {
    QStringList out;
    for (auto it = after.begin(); it != after.end(); ++it)
        if (!before.contains(it.key()))
            out << QStringLiteral("new: ") + it.key();
        else if (!(before.value(it.key()) == it.value()))
            out << QStringLiteral("changed: ") + it.key();
    for (auto it = before.begin(); it != before.end(); ++it)
        if (!after.contains(it.key()))
            out << QStringLiteral("gone: ") + it.key();
    return out;
}

bool Plantable(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

// Every file of the manifest; empty without the corpus. What cabextract extracts from
// them is compared by the contract test; here the point is what is written where.
std::vector<QString> HostileFiles() {
    std::vector<QString> files;
    if (!test::CorpusAvailable())
        return files;
    for (const test::ManifestRow& row : test::LoadManifest())
        files.push_back(row.path);
    return files;
}

// Files cabextract extracts nothing from: the program must say why, in a message.
QSet<QString> NothingExtracted() {
    QSet<QString> files;
    const auto byFile = test::RowsByFile(test::LoadExpected());
    for (const test::ManifestRow& row : test::LoadManifest()) {
        const auto rows = byFile.find(row.path);
        if (rows == byFile.end() ||
            std::none_of(rows->second.begin(), rows->second.end(), test::ExtractedByCabextract))
            files.insert(row.path);
    }
    return files;
}

class HostileCorpus : public MainWindowTest, public ::testing::WithParamInterface<QString> {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        fdi::FDIFlushCache();
        target = dir.filePath(QStringLiteral("target"));
        outside = dir.filePath(QStringLiteral("outside"));
        ASSERT_TRUE(QDir().mkpath(target));
        ASSERT_TRUE(QDir().mkpath(outside));
        ASSERT_TRUE(test::WriteFile(outside + QStringLiteral("/bait.txt"), "bait"));
        // A folder link, for an entry that would rebuild its folders.
        ASSERT_TRUE(QFile::link(outside, target + QStringLiteral("/linked")));
        AnswerEveryOtherDialog();
    }
    void TearDown() override {
        fdi::FDIFlushCache();
        MainWindowTest::TearDown();
    }

    // Every dialog that no step expects: Yes to a replacement, OK to a message, Cancel to
    // a folder browser that comes unasked.
    void AnswerEveryOtherDialog() {
        modal::SetDefaultAnswer([this](QDialog& d) {
            shown << d.objectName() + QLatin1Char('|') + d.windowTitle() + QLatin1Char('|') +
                         d.property("messageText").toString();
            for (const char* name : {"Yes", "OK", "CancelButton"})
                if (auto* b = d.findChild<QAbstractButton*>(QLatin1String(name))) {
                    b->click();
                    return;
                }
            d.reject();
        });
    }

    void AnswerBrowser() {
        modal::AnswerNext([this](QDialog& d) {
            ASSERT_EQ(d.objectName(), QStringLiteral("ShellBrowserDialog"));
            auto* tree = d.findChild<QTreeView*>(QStringLiteral("FolderTree"));
            auto* model = qobject_cast<FolderTreeModel*>(tree->model());
            tree->setCurrentIndex(model->IndexOf(target));
            d.findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
        });
    }

    void SelectAll() {
        QItemSelectionModel* selection = window->ListFic->selectionModel();
        selection->clearSelection();
        const FileListModel* model = window->ListFic->model();
        for (int row = 0; row < model->rowCount(); ++row)
            selection->select(model->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    // Links named like half the entries (in place of what the first pass wrote), to a
    // missing file and to the bait outside: were one followed, a file would appear or
    // change outside the target folder.
    void PlantLinks(const QStringList& captions) {
        QSet<QString> done;
        for (qsizetype i = 1; i < captions.size(); i += 2) {
            const QString& name = captions[i];
            if (!Plantable(name) || done.contains(name))
                continue;
            done.insert(name);
            const QString to = (i / 2) % 2 == 0 ? outside + QStringLiteral("/missing-%1").arg(i)
                                                : outside + QStringLiteral("/bait.txt");
            QFile::remove(target + QLatin1Char('/') + name);
            ASSERT_TRUE(QFile::link(to, target + QLatin1Char('/') + name)) << name.toStdString();
        }
    }

    void ExtractAll(const QString& pass) {
        SCOPED_TRACE(pass.toStdString());
        SelectAll();
        AnswerBrowser();
        window->Extrait1Click(window->Extrait1);
        QCoreApplication::processEvents();
        if (modal::PendingAnswers() != 0) {
            ADD_FAILURE() << "the folder browser never came";
            modal::ClearAnswers();
            AnswerEveryOtherDialog();
        }
    }

    // Outside the target folder nothing changed; inside it, the planted links are as they
    // were, nothing else is a link, and no hidden half-written file is left.
    void ExpectSound(const QMap<QString, Node>& sandbox, const QMap<QString, Node>& temp,
                     const QMap<QString, Node>& planted, const QString& copyPath) {
        EXPECT_EQ(Differences(sandbox, Walk(dir.path(), target)), QStringList());
        EXPECT_EQ(Differences(temp, Walk(platform::GetTempPathA())), QStringList());
        const QMap<QString, Node> now = Walk(target);
        for (auto it = planted.begin(); it != planted.end(); ++it)
            EXPECT_EQ(now.value(it.key()).link, it.value().link) << it.key().toStdString();
        for (auto it = now.begin(); it != now.end(); ++it) {
            const QString name = QFileInfo(it.key()).fileName();
            EXPECT_FALSE(IsStagingName(name)) << it.key().toStdString();
            if (!planted.contains(it.key())) {
                EXPECT_TRUE(it.value().type == 'f' || it.value().type == 'd') << it.key().toStdString();
            }
        }
        EXPECT_FALSE(QFileInfo::exists(copyPath)) << "temporary copy left: " << copyPath.toStdString();
        EXPECT_FALSE(dialogPat->isVisible());
    }

    QString target, outside;
    QStringList shown;
};

TEST_P(HostileCorpus, OpenAndExtractEverythingStayInsideTheTargetFolder) {
    const QString relative = GetParam();
    const QString path = test::CorpusPath(relative);
    ASSERT_TRUE(QFileInfo(path).isFile());
    const test::Watchdog watchdog(relative);
    const QString copyPath = TemporaryCopyPath(path, platform::GetTempPathA());
    // A file cabextract extracts nothing from: Open or Extract says so in a message,
    // whatever else happens (an empty list says it by itself).
    const bool needsMessage = NothingExtracted().contains(relative);
    int listed = 0;
    const auto expectMessage = qScopeGuard([&] {
        if (needsMessage && listed > 0) {
            EXPECT_FALSE(shown.isEmpty())
                << relative.toStdString() << ": no message said why nothing was extracted";
        }
    });

    Open(path);
    QCoreApplication::processEvents();
    const FileListModel* model = window->ListFic->model();
    listed = model->rowCount();
    QStringList captions;
    for (int row = 0; row < model->rowCount(); ++row)
        captions << model->item(row).caption;
    const QMap<QString, Node> sandbox = Walk(dir.path(), target);
    const QMap<QString, Node> temp = Walk(platform::GetTempPathA());
    const QMap<QString, Node> linked = Walk(target);
    if (captions.isEmpty())
        return ExpectSound(sandbox, temp, linked, copyPath); // nothing to select

    ExtractAll(QStringLiteral("first pass"));
    ExpectSound(sandbox, temp, linked, copyPath);

    // The second pass finds links named like half the entries, and every other file it
    // wrote marked: a replacement that fails part way must leave the marked file, one
    // that succeeds the whole entry.
    PlantLinks(captions);
    QMap<QString, QByteArray> written;
    const QMap<QString, Node> first = Walk(target);
    for (auto [file, node] : first.asKeyValueRange()) {
        if (node.type != 'f')
            continue;
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        written.insert(file, f.readAll());
        f.close();
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << file.toStdString();
        f.write("marked " + QFile::encodeName(file));
    }
    const QMap<QString, Node> planted = Walk(target);
    ExtractAll(QStringLiteral("second pass"));
    ExpectSound(sandbox, temp, planted, copyPath);
    for (auto [file, contents] : written.asKeyValueRange()) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << file.toStdString() << " is gone";
        const QByteArray now = f.readAll();
        EXPECT_TRUE(now == contents || now == "marked " + QFile::encodeName(file))
            << file.toStdString() << ": " << now.size() << " bytes, first pass wrote " << contents.size();
    }
    EXPECT_EQ(Walk(target).keys(), planted.keys()) << "the second pass made or removed files";
    RecordProperty("dialogs", shown.join(QStringLiteral(" || ")).toStdString());
}

// Readable test names from the manifest's paths: "dir/some-file.cab" -> "dir_some_file_cab".
std::string ParamName(const ::testing::TestParamInfo<QString>& info) {
    std::string name = info.param.toStdString();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, HostileCorpus, ::testing::ValuesIn(HostileFiles()), ParamName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(HostileCorpus);

// The cases above are the manifest's files: every one of them is on disk, and the
// manifest names every cabinet-like file of the folder.
TEST(HostileCorpusList, EveryListedFileIsThereAndRun) {
    MORBEK_CORPUS_OR_SKIP();
    const std::vector<QString> files = HostileFiles();
    ASSERT_FALSE(files.empty()) << "the manifest lists no file";
    const QSet<QString> run(files.begin(), files.end());
    for (const QString& file : files)
        EXPECT_TRUE(QFileInfo(test::CorpusPath(file)).isFile())
            << file.toStdString() << " is listed but absent";
    for (const QString& file : test::CorpusFiles())
        if (!file.endsWith(QLatin1String(".tsv")) && !file.endsWith(QLatin1String(".md"))) {
            EXPECT_TRUE(run.contains(file)) << file.toStdString() << " is not in the manifest";
        }
}

} // namespace
} // namespace morbek
