// The Extract commands: the selected entries of the list handed to the extraction job,
// which writes them into a chosen folder and asks its questions through the window.
#include "app/ExtractionUi.h"
#include "app/FileListModel.h"
#include "app/MainWindow.h"
#include "components/Busy.h"
#include "extract/ExtractJob.h"
#include "platform/shell/DirectSave.h"

#include <QDrag>
#include <QEventLoop>
#include <QIcon>
#include <QPointer>
#include <QTimer>

namespace morbek {

namespace {

// What the job is given for rows of the list: each entry's whole stored name, and the text
// the driver reads (the size text, one blank, the date text).
struct Entries {
    QStringList names, texts;
};

Entries EntriesOf(const FileListModel& model, const std::vector<int>& rows) {
    Entries entries;
    entries.names.reserve(static_cast<qsizetype>(rows.size()));
    entries.texts.reserve(static_cast<qsizetype>(rows.size()));
    for (int row : rows) {
        entries.names << model.item(row).storedName;
        entries.texts << model.sizeText(row) + QLatin1Char(' ') + model.item(row).dateText;
    }
    return entries;
}

} // namespace

void TDezerOvu::Extrait1Click(QObject*) {
    const std::vector<int> rows = ListFic->selectedRows();
    if (rows.empty())
        return;
    const Entries entries = EntriesOf(*ListFic->model(), rows);
    ExtractEntries(entries.names, entries.texts);
}

void TDezerOvu::DblClick() {
    // The first selected entry in list order, not necessarily the one under the mouse.
    const std::vector<int> rows = ListFic->selectedRows();
    if (rows.empty())
        return;
    const Entries entries = EntriesOf(*ListFic->model(), {rows.front()});
    ExtractEntries(entries.names, entries.texts);
}

void TDezerOvu::DragOut() {
    const std::vector<int> rows = ListFic->selectedRows();
    if (rows.empty() || busy::IsBusy())
        return;
    const FileListModel& model = *ListFic->model();
    const Entries entries = EntriesOf(model, rows);
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
        ExtractEntries(entries.names, entries.texts, folder);
}

void TDezerOvu::ExtractEntries(const QStringList& names, const QStringList& entryTexts,
                               const QString& folder) {
    WindowExtractionUi ui(*this);
    ExtractJob(ui, CabFileName, Location.CabOffset, Header.CabSize).Run(names, entryTexts, folder);
}

} // namespace morbek
