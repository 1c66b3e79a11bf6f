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
#include "platform/shell/DirectSave.h"
#include "resources/MessageIds.h"

#include <QDrag>
#include <QEventLoop>
#include <QFileInfo>
#include <QIcon>
#include <QPointer>
#include <QSet>
#include <QTimer>

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

// The results that end the command, each with the message that says why: without a
// context or a cabinet to read, the next entries would fail alike.
struct EndingResult {
    ExtractResult result;
    int message;
};
constexpr EndingResult kEndingResults[] = {
    {ExtractResult::NoContext, msg::ContextCreateError},
    {ExtractResult::CannotOpenCabinet, msg::CabinetOpenError},
    {ExtractResult::NotACabinet, msg::NotACabinet},
};

// The message of a result that ends the command; 0 for the others.
int EndingMessage(ExtractResult result) {
    for (const EndingResult& ending : kEndingResults)
        if (ending.result == result)
            return ending.message;
    return 0;
}

// One line of the final report: the entry's whole name and why it was not extracted.
QString NotExtractedLine(const QString& entry, ExtractFailure failure) {
    return entry + QStringLiteral(" : ") + FailureText(failure);
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
        names << model.item(row).storedName;
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
    ExtractEntries({model.item(rows.front()).storedName}, {EntryTextOf(model, rows.front())});
}

void TDezerOvu::DragOut() {
    const std::vector<int> rows = ListFic->selectedRows();
    if (rows.empty() || busy::IsBusy())
        return;
    const FileListModel& model = *ListFic->model();
    QStringList names, entryTexts;
    for (int row : rows) {
        names << model.item(row).storedName;
        entryTexts << EntryTextOf(model, row);
    }
    // The file manager is offered the first entry's name; the folder of the URI it gives
    // back receives every dragged entry.
    auto* offer = new platform::DirectSaveMimeData(model.item(rows.front()).caption);
    // On the heap: Qt's drag manager deletes the drag later itself.
    auto* drag = new QDrag(this);
    drag->setMimeData(offer);
    const QVariant icon = model.data(model.index(rows.front(), 0), Qt::DecorationRole);
    if (icon.canConvert<QIcon>())
        drag->setPixmap(icon.value<QIcon>().pixmap(32, 32));
    // The drag's selection owner exists once the drag runs.
    QTimer::singleShot(0, offer, [offer] { offer->Offer(); });
    // The target asks for the data only after the drop has ended the drag, and Qt keeps
    // the drag (and the offer) until the target is done, possibly after this returns:
    // what it names is kept here while this command runs, never after.
    QString folder;
    bool asked = false;
    QObject scope;
    QObject::connect(offer, &platform::DirectSaveMimeData::targetAsked, &scope, [&](const QString& named) {
        folder = named;
        asked = true;
    });
    QPointer<platform::DirectSaveMimeData> alive(offer);
    if (RunDrag) {
        RunDrag(*drag);
        drag->deleteLater();
    } else if (drag->exec(Qt::CopyAction, Qt::CopyAction) != Qt::IgnoreAction && !asked && alive) {
        constexpr int kAskMs = 10000; // a target that took the drop asks at once
        QEventLoop wait;
        QObject::connect(alive, &platform::DirectSaveMimeData::targetAsked, &wait, &QEventLoop::quit);
        QObject::connect(alive, &QObject::destroyed, &wait, &QEventLoop::quit);
        QTimer::singleShot(kAskMs, &wait, &QEventLoop::quit);
        wait.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (!folder.isEmpty())
        ExtractEntries(names, entryTexts, folder);
}

void TDezerOvu::ExtractEntries(const QStringList& names, const QStringList& entryTexts,
                               const QString& folder) {
    TDialogPat* pat = Windows().DialogPat;
    QString workingCabinet = CabFileName;
    const QString copyPath = TemporaryCopyPath(CabFileName, platform::GetTempPathA());
    TemporaryCopy copy;

    if (Location.CabOffset >= 1) {
        busy::Scope busyScope;
        if (pat)
            pat->Begin(MsgText(msg::FileWord) + QLatin1Char(' ') + CabFileName,
                       MsgText(msg::CreatingTemporaryFile));
        const TemporaryCopy::Result made =
            copy.Make(CabFileName, Location.CabOffset, Header.CabSize, copyPath, [pat](int percent) {
                if (pat)
                    pat->SetProgress(percent);
            });
        if (pat)
            pat->Finish();
        if (made != TemporaryCopy::Result::Ok) {
            // Nothing is read from a copy that is not whole.
            PlainMsgDialog(MsgText(msg::CabinetOpenError), TMsgDlgType::Warning, mbOK, 0);
            copy.Remove(copyPath);
            return;
        }
        workingCabinet = copy.Path();
    }

    setWindowTitle(MsgText(msg::FileWord) + QLatin1Char(' ') + CabFileName);

    QString target = folder;
    if (target.isEmpty()) {
        RepDlg->InitialPath = RepDlg->Folder;
        // The folder browser stands for the platform's own dialog: closing it is not an
        // activation of this window.
        inPlatformDialog_ = true;
        const bool chosen = RepDlg->Execute();
        inPlatformDialog_ = false;
        if (chosen)
            target = RepDlg->Folder;
    }

    if (!target.isEmpty()) {
        if (!target.endsWith(QLatin1Char('/')))
            target += QLatin1Char('/');
        busy::Scope busyScope;
        // Leftovers of killed runs are cleared once per folder for the whole command.
        ExtractCommandScope command;
        const QString titlePrefix = MsgText(msg::FileWord) + QLatin1Char(' ');
        const QString statusPrefix = MsgText(msg::ExtractingFile) + QLatin1Char(' ');
        const qsizetype count = std::min(names.size(), entryTexts.size());
        QStringList notExtracted;
        for (qsizetype i = 0; i < count; ++i) {
            QString cabinet = workingCabinet;
            const QString namePart = names[i].mid(names[i].lastIndexOf(QLatin1Char('\\')) + 1);
            // Each cabinet of a set is visited once per entry: earlier-cabinet references
            // that lead back to one already tried form a cycle and end the run.
            QSet<QString> visited;
            ExtractResult result;
            ExtractFailure failure = ExtractFailure::None;
            bool shown = false;
            for (;;) {
                if (pat)
                    pat->Begin(titlePrefix + cabinet, statusPrefix + namePart);
                result = ExtractEntry(cabinet, target, names[i], entryTexts[i], 0);
                failure = Failure;
                shown = FailureShown;
                if (result != ExtractResult::BeginsInEarlierCabinet)
                    break;
                visited.insert(QFileInfo(cabinet).absoluteFilePath());
                cabinet = LocateEarlierCabinet(cabinet, PreviousCabinet);
                if (visited.contains(QFileInfo(cabinet).absoluteFilePath())) {
                    result = ExtractResult::Failed;
                    failure = ExtractFailure::EarlierCabinetMissing;
                    break;
                }
            }
            if (const int ending = EndingMessage(result)) {
                PlainMsgDialog(MsgText(ending), TMsgDlgType::Warning, mbOK, 0);
                break;
            }
            if (result == ExtractResult::Failed && failure == ExtractFailure::None)
                failure = ExtractFailure::WriteFailed;
            // What the driver warned about itself is not listed twice.
            if (failure != ExtractFailure::None && !shown)
                notExtracted << NotExtractedLine(names[i], failure);
        }
        if (pat)
            pat->Finish();
        if (!notExtracted.isEmpty()) {
            // A dialog taller than the screen would hide its own OK button: the first lines,
            // then how many more.
            const qsizetype more = notExtracted.size() - kNotExtractedLines;
            if (more > 1) {
                notExtracted.resize(kNotExtractedLines);
                notExtracted << MsgText(kMoreNotExtractedMessage).arg(more);
            }
            PlainMsgDialog(MsgText(kNotExtractedMessage) + QStringLiteral("\r\n") +
                               notExtracted.join(QStringLiteral("\r\n")),
                           TMsgDlgType::Warning, mbOK, 0);
        }
    }

    copy.Remove(copyPath);
}

} // namespace morbek
