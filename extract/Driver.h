#pragma once
// The extraction driver: writes one entry of a cabinet, named by its bare file name, into
// a target folder, answering the cabinet library's notifications in CabNotify. No widgets
// here: the questions it asks go through an ExtractionUi that the program installs.
#include "platform/fdi/fdi.h"

#include <QString>
#include <cstdint>
#include <functional>

namespace morbek {

// What the driver asks of the user. The program answers with its own dialogs, tests with
// a script.
struct ExtractionUi {
    virtual ~ExtractionUi();
    // The platform's message box with Yes, No and Cancel and the exclamation icon (0x33),
    // other windows disabled. Returns 6 (Yes), 7 (No) or 2 (Cancel).
    virtual int ConfirmReplace(const QString& title, const QString& text) = 0;
    // The program's message dialog: kind Warning, the OK button, help context 0.
    virtual void Warn(const QString& title, const QString& text) = 0;
};

inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;
inline constexpr int kIdCancel = 2;

// Null: no one to ask; a replace is then declined and warnings are dropped.
void SetExtractionUi(ExtractionUi* ui);

// Message n in the current language. Empty: English from the string table.
using MessageTextFn = std::function<QString(int n)>;
void SetMessageText(MessageTextFn text);

// Module state of one run (one run at a time, UI thread only). Texts are kept whole,
// whatever their length. Host paths use '/'; stored names use '\'.
extern QString RequestedName;   // bare name of the entry; title of the driver's warnings
extern QString TargetFolder;    // as the caller passes it, with its trailing '/'
extern QString EntryText;       // the entry's list text; its leading number is its size
extern QString TargetPath;      // the file being written
extern int32_t KeepPaths;       // nonzero: rebuild the stored folder path under TargetFolder
extern QString PreviousCabinet; // after result 5: the earlier cabinet, as the library names it

// Result codes: 0 went through (written, skipped, not found, or the library stopped by
// itself), 1 no decompression context, 2 the cabinet cannot be opened, 3 not a cabinet,
// 4 a failure was raised while the library ran, 5 the entry begins in the earlier cabinet
// named by PreviousCabinet. Entries whose names are unsafe here are not written; they are
// reported once, in a warning, before the function returns.
int ExtractEntry(const QString& cabinetPath, const QString& targetFolder, const QString& entryName,
                 const QString& entryText, int keepPaths);

// Handed to FDICopy by ExtractEntry.
fdi::INT_PTR CabNotify(fdi::FDINOTIFICATIONTYPE fdint, fdi::FDINOTIFICATION* pfdin);

// A path that is not absolute gets "/" in front (the root stands where a drive would).
QString AddDrivePrefix(const QString& path);
// Creates every folder along the path, from the root (a relative path counts from the
// root, like AddDrivePrefix); failures are ignored. Always true.
bool CreateFolders(const QString& path);

} // namespace morbek
