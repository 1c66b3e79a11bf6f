// The program's contract with the shared corpus, through its real path: every corpus file
// from which cabextract extracted something is opened in the main window, every listed
// entry is selected and the Extract command writes them into a fresh folder chosen in the
// folder browser. Every entry cabextract extracted must then be there with cabextract's
// contents, its stored date and time, and its read-only attribute.
//
// Entries that begin in an earlier cabinet of a set are included: the command goes back to
// that cabinet itself. Entries that share a bare name within one cabinet all land on one
// name, so each of those is extracted alone into a folder of its own as well.
//
// Driven by the two tables only. Every mismatch is one line (cabinet, entry, expected, got);
// the test fails once, at the end.
#include "app/FileListModel.h"
#include "components/FolderTreeModel.h"
#include "platform/fdi/fdi.h"
#include "platform/text/AnsiText.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/Corpus.h"
#include "tests/support/Watchdog.h"

#include <QDateTime>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QMap>
#include <QPushButton>
#include <QTreeView>

#include <limits>

namespace morbek {
namespace {

using test::ExpectedRow;
using testing::MainWindowTest;

// The record's name after its last backslash, decoded as the program decodes it.
QString NamePart(const ExpectedRow& row) {
    const QString stored =
        platform::DecodeCabinetName(row.nameBytes, static_cast<uint16_t>(std::max(0, row.attribs)));
    return stored.mid(stored.lastIndexOf(QLatin1Char('\\')) + 1);
}

// Names the driver refuses on purpose: nothing may be written outside the chosen folder.
bool Writable(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

// The program looks for a cabinet inside executables only.
bool Executable(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && f.read(2) == "MZ";
}

QString Stamp(const QDateTime& t) {
    return t.isValid() ? t.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")) : QStringLiteral("<none>");
}

class CorpusContract : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        fdi::FDIFlushCache();
        AnswerMessages();
    }
    void TearDown() override {
        fdi::FDIFlushCache();
        MainWindowTest::TearDown();
    }

    // Every dialog but the folder browser: Yes to a question (a replacement), OK to a
    // message; what it said is recorded. A browser that comes unasked is cancelled.
    void AnswerMessages() {
        modal::SetDefaultAnswer([this](QDialog& d) {
            const QString text = d.property("messageText").toString().simplified();
            if (auto* yes = d.findChild<QAbstractButton*>(QStringLiteral("Yes"))) {
                questions << text;
                yes->click();
                return;
            }
            messages << (text.isEmpty() ? d.objectName() + QLatin1Char(' ') + d.windowTitle() : text);
            for (const char* name : {"OK", "CancelButton"})
                if (auto* b = d.findChild<QAbstractButton*>(QLatin1String(name))) {
                    b->click();
                    return;
                }
            d.reject();
        });
    }

    // Selects the given list rows and runs the Extract command into target.
    void Extract(const std::vector<int>& listRows, const QString& target) {
        messages.clear();
        questions.clear();
        QItemSelectionModel* selection = window->ListFic->selectionModel();
        selection->clearSelection();
        const FileListModel* model = window->ListFic->model();
        for (int row : listRows)
            selection->select(model->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        ASSERT_TRUE(QDir().mkpath(target));
        modal::AnswerNext([target](QDialog& d) {
            ASSERT_EQ(d.objectName(), QStringLiteral("ShellBrowserDialog"));
            auto* tree = d.findChild<QTreeView*>(QStringLiteral("FolderTree"));
            auto* folders = qobject_cast<FolderTreeModel*>(tree->model());
            tree->setCurrentIndex(folders->IndexOf(target));
            d.findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
        });
        window->Extrait1Click(window->Extrait1);
        QCoreApplication::processEvents();
        if (modal::PendingAnswers() != 0) {
            messages << QStringLiteral("the folder browser never came");
            modal::ClearAnswers();
            AnswerMessages();
        }
    }

    QString Folder(const QString& name) const { return dir.filePath(QStringLiteral("out/") + name); }

    // The written file against its row: contents, time stamp, read-only bit.
    void Compare(const QString& cabinet, const QString& entry, const ExpectedRow& row, const QString& file) {
        mismatches.Compared();
        const QFileInfo info(file);
        if (!info.isFile()) {
            mismatches.Add(
                cabinet, entry, QStringLiteral("md5 ") + row.md5,
                QStringLiteral("not written") +
                    (messages.isEmpty()
                         ? QString()
                         : QStringLiteral(" (") + messages.join(QStringLiteral("; ")) + QLatin1Char(')')));
            return;
        }
        const QString md5 = test::Md5OfFile(file);
        if (md5 != row.md5)
            mismatches.Add(cabinet, entry, QStringLiteral("md5 ") + row.md5, QStringLiteral("md5 ") + md5);
        // The stored date and time are local time (the tests run in UTC).
        const QDateTime wanted(QDate(row.year, row.month, row.day), QTime(row.hour, row.minute, row.second));
        const QDateTime got = info.lastModified();
        if (!wanted.isValid() || got != wanted)
            mismatches.Add(cabinet, entry, QStringLiteral("time ") + row.datetime,
                           QStringLiteral("time ") + Stamp(got));
        if (row.attribs >= 0) {
            const bool readOnly = (row.attribs & 0x01) != 0;
            const bool gotReadOnly = !(info.permissions() & QFileDevice::WriteOwner);
            if (readOnly != gotReadOnly)
                mismatches.Add(cabinet, entry,
                               readOnly ? QStringLiteral("read-only") : QStringLiteral("writable"),
                               gotReadOnly ? QStringLiteral("read-only") : QStringLiteral("writable"));
        }
    }

    // One cabinet of the open file: its rows in file-table order.
    void CheckCabinet(const QString& cabinet, const std::vector<ExpectedRow>& rows, int index) {
        const FileListModel* model = window->ListFic->model();
        if (model->rowCount() != static_cast<int>(rows.size()))
            mismatches.Add(cabinet, QStringLiteral("(list)"), QStringLiteral("%1 entries").arg(rows.size()),
                           QStringLiteral("%1 listed").arg(model->rowCount()));
        // List row of each record, and how many list rows carry each name.
        std::vector<int> listRowOf(rows.size(), -1);
        QMap<QString, int> sameName;
        std::vector<int> all;
        for (int r = 0; r < model->rowCount(); ++r) {
            const ListItem& item = model->item(r);
            all.push_back(r);
            ++sameName[item.caption];
            if (item.imageIndex >= 0 && item.imageIndex < static_cast<int>(rows.size()))
                listRowOf[static_cast<size_t>(item.imageIndex)] = r;
        }
        QMap<QString, int> sameEntry;
        for (const ExpectedRow& row : rows)
            ++sameEntry[row.entryName];
        const auto entryLabel = [&](size_t k) {
            const QString name =
                rows[k].entryName.isEmpty() ? QStringLiteral("<empty name>") : rows[k].entryName;
            return sameEntry.value(rows[k].entryName) > 1 ? name + QStringLiteral(" (record %1)").arg(k)
                                                          : name;
        };

        const bool allExtracted = std::all_of(rows.begin(), rows.end(), test::ExtractedByCabextract);
        const QString together = Folder(QStringLiteral("%1-all").arg(index));
        Extract(all, together);
        // Where cabextract extracted every entry, so must the program, without a word.
        if (allExtracted && !messages.isEmpty())
            mismatches.Add(cabinet, QStringLiteral("(all entries)"), QStringLiteral("no message"),
                           messages.join(QStringLiteral("; ")));
        const QStringList togetherMessages = messages;

        for (size_t k = 0; k < rows.size(); ++k) {
            const ExpectedRow& row = rows[k];
            if (!test::HasContent(row))
                continue;
            const QString entry = entryLabel(k);
            const int listRow = listRowOf[k];
            if (listRow < 0) {
                mismatches.Compared();
                mismatches.Add(cabinet, entry, QStringLiteral("listed"), QStringLiteral("not listed"));
                continue;
            }
            const QString caption = model->item(listRow).caption;
            if (caption != NamePart(row))
                mismatches.Add(cabinet, entry, QStringLiteral("listed as ") + NamePart(row),
                               QStringLiteral("listed as ") + caption);
            if (!Writable(caption)) {
                mismatches.Skip(cabinet, entry, QStringLiteral("a name the program refuses to write"));
                continue;
            }
            if (sameName.value(caption) == 1) {
                messages = togetherMessages;
                Compare(cabinet, entry, row, together + QLatin1Char('/') + caption);
                continue;
            }
            // A name shared with other records: this record alone, in a folder of its own.
            const QString alone = Folder(QStringLiteral("%1-record%2").arg(index).arg(k));
            Extract({listRow}, alone);
            if (!messages.isEmpty())
                mismatches.Add(cabinet, entry, QStringLiteral("no message"),
                               messages.join(QStringLiteral("; ")));
            Compare(cabinet, entry, row, alone + QLatin1Char('/') + caption);
        }
    }

    QStringList messages, questions;
    test::Mismatches mismatches;
};

TEST_F(CorpusContract, EveryEntryCabextractExtractsIsWrittenAlikeByTheExtractCommand) {
    MORBEK_CORPUS_OR_SKIP();
    const auto byCabinet = test::RowsByCabinet(test::LoadExpected());
    const std::vector<QString> files = test::FilesWithExtractedRows();
    int index = 0;
    for (const QString& relative : files) {
        const test::Watchdog watchdog(relative);
        const QString path = test::CorpusPath(relative);
        messages.clear();
        Open(path);
        QCoreApplication::processEvents();
        // A refused file leaves the list as it was: only a silent Open listed this file.
        const bool listed = messages.isEmpty() && window->ListFic->model()->rowCount() > 0;
        const QString openMessages = messages.join(QStringLiteral("; "));
        const int64_t opened = listed ? window->Location.CabOffset : -1;
        for (auto it = byCabinet.lower_bound({relative, std::numeric_limits<int64_t>::min()});
             it != byCabinet.end() && it->first.first == relative; ++it) {
            const int64_t offset = it->first.second;
            const std::vector<ExpectedRow>& rows = it->second;
            if (std::none_of(rows.begin(), rows.end(), test::ExtractedByCabextract))
                continue;
            const QString cabinet = offset > 0 ? relative + QStringLiteral(" @%1").arg(offset) : relative;
            if (offset == opened) {
                CheckCabinet(cabinet, rows, index++);
                continue;
            }
            // Open takes the first cabinet of an executable, and searches nothing else.
            const bool reachable = offset == 0 || (!listed && Executable(path));
            for (const ExpectedRow& row : rows) {
                if (!test::HasContent(row))
                    continue;
                if (reachable) {
                    mismatches.Compared();
                    mismatches.Add(cabinet, row.entryName, QStringLiteral("opened"),
                                   QStringLiteral("not opened (") + openMessages + QLatin1Char(')'));
                } else {
                    mismatches.Skip(cabinet, row.entryName,
                                    listed ? QStringLiteral("Open takes the cabinet at offset %1").arg(opened)
                                           : QStringLiteral("Open looks inside executables only"));
                }
            }
        }
    }
    std::printf("corpus contract: %zu files opened\n", files.size());
    mismatches.Report("corpus contract");
}

} // namespace
} // namespace morbek
