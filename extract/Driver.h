#pragma once
// The extraction driver: writes one entry of a cabinet, named by its whole stored name,
// into a target folder, answering the cabinet library's notifications in CabNotify. No
// widgets here: the questions it asks go through an ExtractionUi that the program installs.
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

// Null: no one to ask; a replace is then declined and warnings are dropped. Returns the
// one installed before.
ExtractionUi* SetExtractionUi(ExtractionUi* ui);

// Message n in the current language. Empty: English from the string table.
using MessageTextFn = std::function<QString(int n)>;
void SetMessageText(MessageTextFn text);
// Message n (resources/MessageIds.h) as the installed MessageTextFn gives it.
QString MessageText(int n);

// Why a run did not write its entry. A run whose entry was skipped by the user or is not
// in the cabinet has none.
enum class ExtractFailure {
    None,
    DamagedData,       // the cabinet's data is damaged or cut short
    UnsupportedMethod, // a compression method the library does not decode
    OutOfMemory,
    DiskFull,
    PermissionDenied,      // the folder or a read-only file may not be written
    InUse,                 // another program holds the file
    InTheWay,              // a link, a special file or a folder stands where a file or folder goes
    UnsafeName,            // not valid here, or would leave the target folder
    NextCabinetMissing,    // the entry continues in a cabinet that cannot be found
    EarlierCabinetMissing, // the entry begins in a cabinet that cannot be found
    CannotOpenCabinet,
    WriteFailed, // any other failure to write the file
    Stopped,     // the library stopped for a reason it did not give
};

// The message number of a failure's reason (0 for None), and its text.
int FailureMessage(ExtractFailure failure);
QString FailureText(ExtractFailure failure);
// The failure an errno of a target's open, write or rename stands for.
ExtractFailure FailureOfErrno(int error);
// The failure a library error (ERF::erfOper) stands for; writeError is LastWriteError().
ExtractFailure FailureOfLibrary(int erfOper, int writeError);

// Module state of one run (one run at a time, UI thread only). Texts are kept whole,
// whatever their length. Host paths use '/'; stored names use '\'.
extern QString EntryName;       // the entry's whole stored name, '\' between folders
extern QString RequestedName;   // its name part (after the last '\'): the file written, and
                                // the title of the driver's warnings
extern QString TargetFolder;    // as the caller passes it, with its trailing '/'
extern QString EntryText;       // the entry's list text; its leading number is its size
extern QString TargetPath;      // the file being written
extern int32_t KeepPaths;       // nonzero: rebuild the stored folder path under TargetFolder
extern QString PreviousCabinet; // after BeginsInEarlierCabinet: the earlier cabinet, as the
                                // library names it
extern ExtractFailure Failure;  // why the entry was not written; None when it was, or when it
                                // was skipped or not found
extern bool FailureShown;       // the driver has already warned about Failure itself

// How a run of ExtractEntry ended.
enum class ExtractResult {
    Done,                   // written, skipped, not found, or the library stopped by itself:
                            // Failure says why
    NoContext,              // no decompression context
    CannotOpenCabinet,      // the cabinet cannot be opened
    NotACabinet,            // the file is not a cabinet
    Failed,                 // a failure was raised while the library ran
    BeginsInEarlierCabinet, // the entry begins in the earlier cabinet named by PreviousCabinet
};

// entryName is the whole stored name, as the catalogue decodes it; only records of exactly
// that name are written, under its name part (and, with keepPaths, its folders). An entry
// whose name is unsafe here is not written (Failure UnsafeName); the caller reports it.
// Nothing is written through a link: the folders are walked, created and written relative
// to open descriptors.
ExtractResult ExtractEntry(const QString& cabinetPath, const QString& targetFolder, const QString& entryName,
                           const QString& entryText, int keepPaths);

// One Extract command over many entries: within it, each folder reached is cleared of the
// hidden files killed runs left (see RemoveStagingLeftovers) once; outside any, every
// ExtractEntry clears the folders it reaches.
class ExtractCommandScope {
public:
    ExtractCommandScope();
    ~ExtractCommandScope();
    ExtractCommandScope(const ExtractCommandScope&) = delete;
    ExtractCommandScope& operator=(const ExtractCommandScope&) = delete;
};

// Handed to FDICopy by ExtractEntry.
fdi::INT_PTR CabNotify(fdi::FDINOTIFICATIONTYPE fdint, fdi::FDINOTIFICATION* pfdin);

// A path that is not absolute gets "/" in front (the root stands where a drive would).
QString AddDrivePrefix(const QString& path);
// Creates every folder along the path, from the root (a relative path counts from the
// root, like AddDrivePrefix); failures are ignored. Always true. Follows links: for
// folders the user chose, never for a cabinet's stored folders.
bool CreateFolders(const QString& path);

} // namespace morbek
