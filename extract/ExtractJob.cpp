#include "extract/ExtractJob.h"

#include "extract/TempCopy.h"
#include "platform/files/Files.h"
#include "platform/files/TempPath.h"
#include "resources/MessageIds.h"

#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace morbek {

namespace {

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

// One line of the final report: the entry's whole name and why it was not extracted.
QString NotExtractedLine(const QString& entry, ExtractFailure failure) {
    return entry + QStringLiteral(" : ") + FailureText(failure);
}

// The job's UI answers the driver too while the job runs.
class InstalledUi {
public:
    explicit InstalledUi(ExtractionUi& ui) : previous_(SetExtractionUi(&ui)) {}
    ~InstalledUi() { SetExtractionUi(previous_); }
    InstalledUi(const InstalledUi&) = delete;
    InstalledUi& operator=(const InstalledUi&) = delete;

private:
    ExtractionUi* previous_;
};

class Busy {
public:
    explicit Busy(ExtractJobUi& ui) : ui_(ui) { ui_.SetBusy(true); }
    ~Busy() { ui_.SetBusy(false); }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    ExtractJobUi& ui_;
};

} // namespace

ExtractJob::ExtractJob(ExtractJobUi& ui, const QString& file, int64_t offset, int64_t size)
    : ui_(ui), file_(file), offset_(offset), size_(size) {}

void ExtractJob::Run(const QStringList& names, const QStringList& entryTexts, const QString& folder) {
    const InstalledUi installed(ui_);
    QString workingCabinet = file_;
    const QString copyPath = TemporaryCopyPath(file_, platform::GetTempPathA());
    TemporaryCopy copy;

    if (offset_ >= 1) {
        const Busy busy(ui_);
        if (!MakeCopy(copy, copyPath)) {
            // Nothing is read from a copy that is not whole.
            ui_.Report(MessageText(msg::CabinetOpenError));
            copy.Remove(copyPath);
            return;
        }
        workingCabinet = copy.Path();
    }

    ui_.ShowTitle(MessageText(msg::FileWord) + QLatin1Char(' ') + file_);

    const QString target = folder.isEmpty() ? ui_.ChooseFolder() : folder;
    if (!target.isEmpty())
        ExtractAll(workingCabinet, target, names, entryTexts);

    copy.Remove(copyPath);
}

bool ExtractJob::MakeCopy(TemporaryCopy& copy, const QString& path) {
    ui_.ShowProgress(MessageText(msg::FileWord) + QLatin1Char(' ') + file_,
                     MessageText(msg::CreatingTemporaryFile));
    const TemporaryCopy::Result made =
        copy.Make(file_, offset_, size_, path, [this](int percent) { ui_.SetProgress(percent); });
    ui_.HideProgress();
    return made == TemporaryCopy::Result::Ok;
}

void ExtractJob::ExtractAll(const QString& cabinet, QString target, const QStringList& names,
                            const QStringList& entryTexts) {
    if (!target.endsWith(QLatin1Char('/')))
        target += QLatin1Char('/');
    const Busy busy(ui_);
    // Leftovers of killed runs are cleared once per folder for the whole command.
    ExtractCommandScope command;
    const QString titlePrefix = MessageText(msg::FileWord) + QLatin1Char(' ');
    const QString statusPrefix = MessageText(msg::ExtractingFile) + QLatin1Char(' ');
    const qsizetype count = std::min(names.size(), entryTexts.size());
    QStringList notExtracted;
    for (qsizetype i = 0; i < count; ++i) {
        QString current = cabinet;
        const QString namePart = names[i].mid(names[i].lastIndexOf(QLatin1Char('\\')) + 1);
        // Each cabinet of a set is visited once per entry: earlier-cabinet references that
        // lead back to one already tried form a cycle and end the run.
        QSet<QString> visited;
        ExtractResult result;
        ExtractFailure failure = ExtractFailure::None;
        bool shown = false;
        for (;;) {
            ui_.ShowProgress(titlePrefix + current, statusPrefix + namePart);
            result = ExtractEntry(current, target, names[i], entryTexts[i], 0);
            failure = Failure;
            shown = FailureShown;
            if (result != ExtractResult::BeginsInEarlierCabinet)
                break;
            visited.insert(QFileInfo(current).absoluteFilePath());
            current = LocateEarlierCabinet(current, PreviousCabinet);
            if (visited.contains(QFileInfo(current).absoluteFilePath())) {
                result = ExtractResult::Failed;
                failure = ExtractFailure::EarlierCabinetMissing;
                break;
            }
        }
        if (const int ending = EndingMessage(result)) {
            ui_.Report(MessageText(ending));
            break;
        }
        if (result == ExtractResult::Failed && failure == ExtractFailure::None)
            failure = ExtractFailure::WriteFailed;
        // What the driver warned about itself is not listed twice.
        if (failure != ExtractFailure::None && !shown)
            notExtracted << NotExtractedLine(names[i], failure);
    }
    ui_.HideProgress();
    if (!notExtracted.isEmpty())
        ReportNotExtracted(std::move(notExtracted));
}

void ExtractJob::ReportNotExtracted(QStringList lines) {
    // A dialog taller than the screen would hide its own OK button: the first lines, then
    // how many more.
    const qsizetype more = lines.size() - kNotExtractedLines;
    if (more > 1) {
        lines.resize(kNotExtractedLines);
        lines << MessageText(msg::MoreNotExtracted).arg(more);
    }
    ui_.Report(MessageText(msg::NotExtractedList) + QStringLiteral("\r\n") +
               lines.join(QStringLiteral("\r\n")));
}

} // namespace morbek
