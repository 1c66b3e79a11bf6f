#pragma once
// The Extract command's work, apart from any window: the entries of a cabinet written into
// one folder, one run of the driver each, and those not extracted reported together at the
// end. A cabinet inside an executable is read from a temporary copy, made first. What the
// command asks and shows goes through an ExtractJobUi; no widgets here.
#include "extract/Driver.h"

#include <QString>
#include <QStringList>
#include <cstdint>

namespace morbek {

class TemporaryCopy;

// The driver's questions and the command's own.
struct ExtractJobUi : ExtractionUi {
    // The folder the entries go to, as the user chooses it; empty when cancelled.
    virtual QString ChooseFolder() = 0;
    // The title the command gives the program's window.
    virtual void ShowTitle(const QString& title) = 0;
    // The progress window: shown with a title and a status line, its bar moved (0 to 100),
    // hidden again.
    virtual void ShowProgress(const QString& title, const QString& status) = 0;
    virtual void SetProgress(int percent) = 0;
    virtual void HideProgress() = 0;
    // The command's work begins or ends: the program takes no other command meanwhile.
    // Nests.
    virtual void SetBusy(bool busy) = 0;
    // A warning under the program's own title, OK alone: why the command ended, or the
    // entries not extracted.
    virtual void Report(const QString& text) = 0;
};

class ExtractJob {
public:
    // The most lines of the report of entries not extracted; the rest are counted.
    static constexpr qsizetype kNotExtractedLines = 30;

    // file: the cabinet as the program opened it; the cabinet itself begins at offset in
    // it (above 0 for one inside an executable) and is size bytes long.
    ExtractJob(ExtractJobUi& ui, const QString& file, int64_t offset, int64_t size);
    ExtractJob(const ExtractJob&) = delete;
    ExtractJob& operator=(const ExtractJob&) = delete;

    // Extracts the entries named in names (whole stored names, '\' between folders), whose
    // list texts are in entryTexts (size text, a blank, date text), in that order, into
    // folder, or into the folder the user chooses when folder is empty. The driver asks
    // the same UI meanwhile.
    void Run(const QStringList& names, const QStringList& entryTexts, const QString& folder = {});

private:
    bool MakeCopy(TemporaryCopy& copy, const QString& path);
    void ExtractAll(const QString& cabinet, QString target, const QStringList& names,
                    const QStringList& entryTexts);
    void ReportNotExtracted(QStringList lines);

    ExtractJobUi& ui_;
    QString file_;
    int64_t offset_;
    int64_t size_;
};

} // namespace morbek
