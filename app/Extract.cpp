// The Extract commands: the selected entries of the list written into a chosen folder.
#include "app/FileListModel.h"
#include "app/Lang.h"
#include "app/MainWindow.h"
#include "app/Windows.h"
#include "components/Busy.h"
#include "components/MsgDialog.h"
#include "components/ShelBrow.h"
#include "extract/Driver.h"
#include "extract/TempCopy.h"
#include "platform/files/Files.h"
#include "platform/files/TempPath.h"

#include <QFileInfo>
#include <QSet>

namespace morbek {

namespace {

// The entry text the driver reads: the size text, one blank, the date text.
QString EntryTextOf(const FileListModel& model, int row) {
    return model.sizeText(row) + QLatin1Char(' ') + model.item(row).dateText;
}

// The earlier cabinet of a set, named by the library without a folder, is looked up
// beside the cabinet that named it (whatever the process's current folder), matching
// its name regardless of case as the set's other members are; the bare name is kept
// when nothing there matches.
QString LocateEarlierCabinet(const QString& current, const QString& name) {
    const QString folder = QFileInfo(current).absolutePath();
    if (platform::FileExists(folder + QLatin1Char('/') + name))
        return folder + QLatin1Char('/') + name;
    const QString found = platform::FindCaseInsensitive(folder, name);
    return found.isEmpty() ? name : folder + QLatin1Char('/') + found;
}

} // namespace

void TDezerOvu::Extrait1Click(QObject*) {
    const std::vector<int> rows = ListFic->selectedRows();
    if (rows.empty())
        return;
    const FileListModel& model = *ListFic->model();
    QStringList names, entryTexts;
    names.reserve(static_cast<qsizetype>(rows.size()));
    entryTexts.reserve(static_cast<qsizetype>(rows.size()));
    for (int row : rows) {
        names << model.item(row).caption;
        entryTexts << EntryTextOf(model, row);
    }
    ExtractEntries(names, entryTexts);
}

void TDezerOvu::DblClick() {
    // The first selected entry in list order, not necessarily the one under the mouse.
    const std::vector<int> rows = ListFic->selectedRows();
    if (rows.empty())
        return;
    const FileListModel& model = *ListFic->model();
    ExtractEntries({model.item(rows.front()).caption}, {EntryTextOf(model, rows.front())});
}

void TDezerOvu::ExtractEntries(const QStringList& names, const QStringList& entryTexts) {
    TDialogPat* pat = Windows().DialogPat;
    QString workingCabinet = CabFileName;
    const QString copyPath = TemporaryCopyPath(CabFileName, platform::GetTempPathA());
    TemporaryCopy copy;

    if (Location.CabOffset >= 1) {
        busy::Scope busyScope;
        if (pat)
            pat->Begin(MsgText(112) + QLatin1Char(' ') + CabFileName, MsgText(132));
        const TemporaryCopy::Result made =
            copy.Make(CabFileName, Location.CabOffset, Header.CabSize, copyPath, [pat](int percent) {
                if (pat)
                    pat->SetProgress(percent);
            });
        if (pat)
            pat->Finish();
        if (made != TemporaryCopy::Result::Ok) {
            // Nothing is read from a copy that is not whole.
            PlainMsgDialog(MsgText(171), TMsgDlgType::Warning, mbOK, 0);
            copy.Remove(copyPath);
            return;
        }
        workingCabinet = copy.Path();
    }

    setWindowTitle(MsgText(112) + QLatin1Char(' ') + CabFileName);

    RepDlg->InitialPath = RepDlg->Folder;
    // The folder browser stands for the platform's own dialog: closing it is not an
    // activation of this window.
    inPlatformDialog_ = true;
    const bool chosen = RepDlg->Execute();
    inPlatformDialog_ = false;

    if (chosen && !RepDlg->Folder.isEmpty()) {
        QString target = RepDlg->Folder;
        if (!target.endsWith(QLatin1Char('/')))
            target += QLatin1Char('/');
        busy::Scope busyScope;
        const QString titlePrefix = MsgText(112) + QLatin1Char(' ');
        const QString statusPrefix = MsgText(133) + QLatin1Char(' ');
        const qsizetype count = std::min(names.size(), entryTexts.size());
        for (qsizetype i = 0; i < count; ++i) {
            QString cabinet = workingCabinet;
            // Each cabinet of a set is visited once per entry: earlier-cabinet references
            // that lead back to one already tried form a cycle and end the run.
            QSet<QString> visited;
            int result;
            for (;;) {
                if (pat)
                    pat->Begin(titlePrefix + cabinet, statusPrefix + names[i]);
                result = ExtractEntry(cabinet, target, names[i], entryTexts[i], 0);
                if (result != 5)
                    break;
                visited.insert(QFileInfo(cabinet).absoluteFilePath());
                cabinet = LocateEarlierCabinet(cabinet, PreviousCabinet);
                if (visited.contains(QFileInfo(cabinet).absoluteFilePath())) {
                    result = 4;
                    break;
                }
            }
            if (result >= 1 && result <= 4) {
                PlainMsgDialog(MsgText(169 + result), TMsgDlgType::Warning, mbOK, 0);
                break;
            }
        }
        if (pat)
            pat->Finish();
    }

    copy.Remove(copyPath);
}

} // namespace morbek
