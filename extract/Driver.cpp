#include "extract/Driver.h"

#include "extract/Binding.h"
#include "extract/StagedTarget.h"
#include "platform/fdi/CabinetFormat.h"
#include "platform/files/Files.h"
#include "platform/files/OpenFlags.h"
#include "platform/locale/Regional.h"
#include "resources/MessageIds.h"
#include "resources/StringTable.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QList>
#include <QPair>
#include <QSet>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>
#include <utility>

namespace morbek {

static_assert(std::is_same_v<decltype(&CabNotify), fdi::PFNFDINOTIFY>);

ExtractionUi::~ExtractionUi() = default;

QString EntryName;
QString RequestedName;
QString TargetFolder;
QString EntryText;
QString TargetPath;
int32_t KeepPaths = 0;
QString PreviousCabinet;
ExtractFailure Failure = ExtractFailure::None;
bool FailureShown = false;

namespace {

using namespace fdi;

constexpr int kCabinetFlags = platform::_O_BINARY | platform::_O_SEQUENTIAL; // 0x8020
static_assert(kCabinetFlags == 0x8020);

ExtractionUi* Ui = nullptr;

MessageTextFn& TextHook() {
    static MessageTextFn hook;
    return hook;
}

constexpr int kEnglishEntries = 1000; // the string table's English entry of message n is 1000 + n

// State private to one run, beside the public module state.
struct Run {
    QByteArray requested;  // EntryName in UTF-8, as the library's names come
    QByteArray namePart;   // after its last backslash (the name filter)
    QString cabinetFolder; // where set members are looked up, with its '/' (or empty)
    int root = -1;         // the target folder, open
    int folder = -1;       // the entry's own folder (root or below), open
    QByteArray targetName; // the file's name in that folder
    bool inPlace = false;  // written in place and not yet closed by CLOSE_FILE_INFO
    StagedTarget staged;   // the file being written under a hidden name, if any
    bool written = false;  // put in place whole at least once
    bool failureRaised = false;
    bool nextAnswered = false;
};
Run Current{};

// Folders cleared of leftovers in the current command (device, inode), and the target
// folder held open for the command's runs (one open less per entry).
struct Cleared {
    bool inCommand = false;
    QSet<QPair<quint64, quint64>> folders;
    QByteArray rootPath;
    int rootFd = -1;
    void releaseRoot() {
        if (rootFd >= 0)
            ::close(rootFd);
        rootFd = -1;
        rootPath.clear();
    }
};
Cleared& ClearedFolders() {
    static Cleared cleared;
    return cleared;
}

void ClearLeftoversOnce(int folder) {
    struct stat st {};
    if (::fstat(folder, &st) != 0)
        return;
    const QPair<quint64, quint64> key{static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino)};
    Cleared& cleared = ClearedFolders();
    if (cleared.folders.contains(key))
        return;
    cleared.folders.insert(key);
    RemoveStagingLeftovers(folder);
}

// Exact name first, then the one case-insensitive match in the folder: set members were
// often named on case-insensitive systems.
bool MemberExists(const QString& folder, const QString& name) {
    return platform::FileExists(folder + name) || !platform::FindCaseInsensitive(folder, name).isEmpty();
}

bool UnsafeComponent(const QByteArray& part) {
    return part.isEmpty() || part == "." || part == ".." || part.contains('/') || part.contains('\0');
}

void Warn(const QString& text) {
    if (Ui)
        Ui->Warn(RequestedName, text);
}

// The first cause met is kept: it is the most specific (a write's errno comes before the
// library's report of the failed write).
void Fail(ExtractFailure failure, bool shown = false) {
    if (Failure != ExtractFailure::None)
        return;
    Failure = failure;
    FailureShown = shown;
}

INT_PTR FailErrno(int error) {
    Fail(FailureOfErrno(error));
    return 0;
}

int OpenDirAt(int folder, const char* name, int extra) {
    return platform::OpenAt(folder, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | extra);
}

void CloseEntryFolder() {
    if (Current.folder >= 0 && Current.folder != Current.root)
        ::close(Current.folder);
    Current.folder = -1;
}

// The folder the entry goes to, opened component by component from the target folder and
// created where missing, never through a link: whatever another user swaps in while the
// run goes on, the descriptor stays on a folder below the target. -1 with errno when a
// component cannot be had.
int OpenEntryFolder(const QList<QByteArray>& components) {
    if (Current.root < 0) {
        // The target folder itself is the user's choice, a link to it included.
        const QByteArray path = QFile::encodeName(AddDrivePrefix(TargetFolder));
        Cleared& command = ClearedFolders();
        if (command.inCommand && command.rootFd >= 0 && command.rootPath == path) {
            Current.root = command.rootFd;
        } else {
            Current.root = OpenDirAt(AT_FDCWD, path.constData(), 0);
            if (Current.root < 0)
                return -1;
            ClearLeftoversOnce(Current.root);
            if (command.inCommand) {
                command.releaseRoot();
                command.rootFd = Current.root;
                command.rootPath = path;
            }
        }
    }
    int fd = Current.root;
    for (const QByteArray& part : components) {
        int next = OpenDirAt(fd, part.constData(), O_NOFOLLOW);
        if (next < 0 && errno == ENOENT) {
            if (::mkdirat(fd, part.constData(), 0777) != 0 && errno != EEXIST) {
                const int why = errno;
                if (fd != Current.root)
                    ::close(fd);
                errno = why;
                return -1;
            }
            next = OpenDirAt(fd, part.constData(), O_NOFOLLOW);
        }
        const int why = errno;
        if (fd != Current.root)
            ::close(fd);
        if (next < 0) {
            // A link, or a file where a folder goes.
            errno = (why == ENOTDIR || why == ELOOP) ? ENOTDIR : why;
            return -1;
        }
        fd = next;
        ClearLeftoversOnce(fd);
    }
    return fd;
}

INT_PTR OpenTarget(bool knownMissing) {
    const int staged = Current.staged.Begin(Current.folder, Current.targetName, knownMissing);
    if (staged > 0)
        return staged;
    // Where no hidden file can be made beside it (a folder we may not create in, say), the
    // file is written in place, as before; an existing file that refused to be replaced
    // refuses this open for the same reason. Neither follows a link.
    const int hf = CabCreateAt(Current.folder, Current.targetName.constData());
    if (hf > 0) {
        Current.inPlace = true;
        return hf;
    }
    return FailErrno(errno);
}

INT_PTR Refuse() {
    Fail(ExtractFailure::UnsafeName);
    return 0;
}

// The existing file's size and last-write time, for the replace confirmation; false
// (errno set) when it cannot be opened for reading without sharing.
bool DescribeExisting(int64_t& size, QDateTime& written) {
    const int fd = platform::OpenAt(Current.folder, Current.targetName.constData(),
                                    O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    int why = 0;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        why = ELOOP;
    } else if (!platform::LockUnlessHeld(fd, LOCK_EX)) {
        why = EWOULDBLOCK;
    }
    ::close(fd);
    if (why != 0) {
        errno = why;
        return false;
    }
    size = static_cast<int64_t>(st.st_size);
    written = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec).toLocalTime();
    return true;
}

QString ReplaceText(int64_t size, const QDateTime& written) {
    const QString crlf = QStringLiteral("\r\n");
    const QString blanks(10, QLatin1Char(' '));
    const QChar blank = QLatin1Char(' ');
    return MessageText(msg::ReplaceFile) + blank + TargetPath + crlf + blanks + QString::number(size) +
           blank + MessageText(msg::BytesWord) + blank + platform::ShortDate(written.date()) + blank +
           platform::LongTime(written.time()) + QStringLiteral("\r\n\n") + MessageText(msg::WithFile) +
           blank + TargetPath + crlf + blanks + EntryText;
}

INT_PTR CopyFile(FDINOTIFICATION* n) {
    // Runs for every record the name filter lets through: the skip path compares bytes
    // and allocates nothing. The whole stored name must match, not only its name part.
    const char* stored = n->psz1;
    if (std::strcmp(stored, Current.requested.constData()) != 0)
        return 0;

    // A record of the same name met again (duplicates): its own folder and target.
    CloseEntryFolder();
    if (UnsafeComponent(Current.namePart))
        return Refuse();
    const qsizetype folderLength = Current.requested.size() - Current.namePart.size(); // with its '\'
    QList<QByteArray> components;
    if (KeepPaths != 0 && folderLength > 0) {
        for (const QByteArray& part : Current.requested.left(folderLength - 1).split('\\')) {
            if (UnsafeComponent(part))
                return Refuse();
            components.push_back(QFile::encodeName(QString::fromUtf8(part)));
        }
    }

    TargetPath = TargetFolder;
    if (!components.isEmpty())
        TargetPath += QString::fromUtf8(Current.requested.left(folderLength))
                          .replace(QLatin1Char('\\'), QLatin1Char('/'));
    TargetPath = AddDrivePrefix(TargetPath) + RequestedName;

    Current.folder = OpenEntryFolder(components);
    if (Current.folder < 0)
        return FailErrno(errno);

    struct stat st {};
    if (::fstatat(Current.folder, Current.targetName.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT)
            return FailErrno(errno);
        return OpenTarget(true);
    }
    if (!S_ISREG(st.st_mode))
        return FailErrno(S_ISDIR(st.st_mode) ? EISDIR : ELOOP);

    int64_t size = 0;
    QDateTime written;
    if (!DescribeExisting(size, written)) {
        Fail(FailureOfErrno(errno));
        Current.failureRaised = true;
        return -1;
    }
    const int answer =
        Ui ? Ui->ConfirmReplace(MessageText(msg::ConfirmReplace), ReplaceText(size, written)) : kIdCancel;
    if (answer != kIdYes)
        return 0;
    // The folder may have changed while the question was open: Begin looks at the name
    // again, and neither it nor the open in place follows a link found there now.
    return OpenTarget(false);
}

// Local time; mktime with tm_isdst -1 decides: a time in the spring gap moves forward by
// the shift, one in the autumn overlap takes whichever side the C library picks. Fields
// out of range are not refused: mktime carries them over.
time_t DosToTime(uint16_t date, uint16_t time) {
    const mscf::DosDateTime v = mscf::DecodeDosDateTime(date, time);
    struct tm tm {};
    tm.tm_year = v.year - 1900;
    tm.tm_mon = v.month - 1;
    tm.tm_mday = v.day;
    tm.tm_hour = v.hour;
    tm.tm_min = v.minute;
    tm.tm_sec = v.second;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

INT_PTR CloseFile(FDINOTIFICATION* n) {
    // The file is whole: its date and attributes are set through the handle it was written
    // through, before that is closed (a staged file still under its hidden name).
    if (n->hf > 0) {
        const time_t when = DosToTime(n->date, n->time);
        if (when != static_cast<time_t>(-1)) {
            const struct timespec times[2] = {{0, UTIME_OMIT}, {when, 0}};
            ::futimens(n->hf, times);
        }
        // Only read-only has a meaning here; hidden, system and archive have none.
        struct stat st {};
        if (::fstat(n->hf, &st) == 0) {
            const mode_t mode = st.st_mode & 07777;
            const mode_t wanted =
                (n->attribs & _A_RDONLY) ? (mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
            if (wanted != mode) // most new files already have it
                ::fchmod(n->hf, wanted);
        }
    }
    CabClose(n->hf);
    Current.inPlace = false;
    // Not put in place: stopped as for a target that cannot be created.
    if (Current.staged.Active() && !Current.staged.Commit()) {
        Fail(FailureOfErrno(errno));
        return -1;
    }
    Current.written = true;
    return TRUE;
}

INT_PTR PartialFile(FDINOTIFICATION* n) {
    if (std::strcmp(n->psz1, Current.requested.constData()) != 0)
        return 0;
    const QString cabinet = QString::fromUtf8(n->psz2);
    if (MemberExists(Current.cabinetFolder, cabinet)) {
        PreviousCabinet = cabinet;
        return 0;
    }
    Warn(MessageText(msg::SecondPartOf) + QString::fromUtf8(n->psz1) + MessageText(msg::BeginningInCabinet) +
         cabinet + QStringLiteral("\r\n") + MessageText(msg::CannotExtract));
    Fail(ExtractFailure::EarlierCabinetMissing, true);
    return -1;
}

INT_PTR NextCabinet(FDINOTIFICATION* n) {
    // A repeated request after a yes means the cabinet there was not accepted (another
    // set under the expected name, say): asking again would never end.
    const bool refusedAgain = Current.nextAnswered && n->fdie != FDIERROR_NONE;
    if (!refusedAgain && MemberExists(QString::fromUtf8(n->psz3), QString::fromUtf8(n->psz1))) {
        Current.nextAnswered = true;
        return 0;
    }
    Warn(MessageText(msg::CabinetPrefix) + QString::fromUtf8(n->psz1) + MessageText(msg::NextPartNotFound) +
         QStringLiteral("\r\n") + MessageText(msg::CannotExtract));
    Fail(ExtractFailure::NextCabinetMissing, true);
    return -1;
}

int64_t LeadingNumber(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text[i] == QLatin1Char(' '))
        ++i;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        ++i;
    int64_t value = 0;
    for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
        if (value > (INT64_MAX - 9) / 10)
            break; // no entry is that large; keep what was read
        value = value * 10 + (text[i].unicode() - '0');
    }
    return value;
}

} // namespace

ExtractionUi* SetExtractionUi(ExtractionUi* ui) {
    return std::exchange(Ui, ui);
}

void SetMessageText(MessageTextFn text) {
    TextHook() = std::move(text);
}

QString MessageText(int n) {
    if (const MessageTextFn& hook = TextHook())
        return hook(n);
    return LoadStringEntry(kEnglishEntries + n);
}

QString AddDrivePrefix(const QString& path) {
    return path.startsWith(QLatin1Char('/')) ? path : QLatin1Char('/') + path;
}

bool CreateFolders(const QString& path) {
    QString sofar = QStringLiteral("/");
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        sofar += part + QLatin1Char('/');
        ::mkdir(QFile::encodeName(sofar).constData(), 0777); // exists or cannot be made: ignored
    }
    return true;
}

fdi::INT_PTR CabNotify(fdi::FDINOTIFICATIONTYPE fdint, fdi::FDINOTIFICATION* pfdin) {
    switch (fdint) {
    case fdintPARTIAL_FILE:
        return PartialFile(pfdin);
    case fdintCOPY_FILE:
        return CopyFile(pfdin);
    case fdintCLOSE_FILE_INFO:
        return CloseFile(pfdin);
    case fdintNEXT_CABINET:
        return NextCabinet(pfdin);
    default:
        return 0;
    }
}

ExtractResult ExtractEntry(const QString& cabinetPath, const QString& targetFolder, const QString& entryName,
                           const QString& entryText, int keepPaths) {
    PreviousCabinet.clear();
    Failure = ExtractFailure::None;
    FailureShown = false;
    TargetFolder = targetFolder;
    EntryName = entryName;
    RequestedName = entryName.mid(entryName.lastIndexOf(QLatin1Char('\\')) + 1);
    EntryText = entryText;
    TargetPath.clear();
    Current.staged.Discard();
    Current = Run{};
    Current.requested = EntryName.toUtf8();
    Current.namePart = Current.requested.mid(Current.requested.lastIndexOf('\\') + 1);
    Current.targetName = QFile::encodeName(RequestedName);
    if (!ClearedFolders().inCommand)
        ClearedFolders().folders.clear();

    ProgressTotal = LeadingNumber(EntryText);
    ProgressDone = 0;
    KeepPaths = keepPaths;
    ClearWriteError();

    ERF erf{};
    CabContext = FDICreate(CabAlloc, CabFree, CabOpen, CabRead, CabWrite, CabClose, CabSeek, cpu80386, &erf);
    if (CabContext == nullptr) {
        Fail(ExtractFailure::OutOfMemory);
        return ExtractResult::NoContext;
    }
    // The library visits only the records whose name part is the entry's, so that
    // extracting every entry of a large cabinet does not walk its table per entry;
    // CopyFile and PartialFile then compare the whole name.
    FDISetNameFilter(CabContext, Current.namePart.constData());
    // The cabinet is identified for the library's cache by the handle it reads through.
    FDISetHandleStat(CabContext, CabStat);

    QByteArray cabinet = QFile::encodeName(cabinetPath);
    const int hf = CabOpen(cabinet.data(), kCabinetFlags, 0);
    if (hf < 0) {
        FDIDestroy(CabContext);
        CabContext = nullptr;
        Fail(ExtractFailure::CannotOpenCabinet);
        return ExtractResult::CannotOpenCabinet;
    }
    // The library's own open of the cabinet gets a second descriptor of this one, which
    // is not read again in this run.
    HoldCabinet(cabinet.constData(), hf);
    FDICABINETINFO info{};
    if (!FDIIsCabinet(CabContext, hf, &info)) {
        HoldCabinet(nullptr, -1);
        CabClose(hf);
        FDIDestroy(CabContext);
        CabContext = nullptr;
        Fail(ExtractFailure::DamagedData);
        return ExtractResult::NotACabinet;
    }

    // The colon is an ordinary character here: only '/' separates.
    const qsizetype slash = cabinetPath.lastIndexOf(QLatin1Char('/'));
    Current.cabinetFolder = cabinetPath.left(slash + 1);
    const qsizetype cut = cabinet.lastIndexOf('/') + 1; // the same place in the encoded name
    QByteArray name = cabinet.mid(cut);
    QByteArray path = cabinet.left(cut);
    const bool copied =
        FDICopy(CabContext, name.data(), path.data(), 0, CabNotify, nullptr, nullptr) != FALSE;

    // A failure after the entry was put in place whole, with nothing else begun, did not
    // cost it anything; any other failure did.
    const bool begun = Current.staged.Active() || Current.inPlace;
    if (!copied && (begun || !Current.written))
        Fail(FailureOfLibrary(erf.erfOper, LastWriteError()));

    // The library closed a target itself after a failure: no half-written file may stay
    // looking complete. A staged one never had the target's name; an existing file it
    // was to replace is left as it was.
    Current.staged.Discard();
    if (Current.inPlace) {
        ::unlinkat(Current.folder, Current.targetName.constData(), 0);
        Current.inPlace = false;
    }
    CloseEntryFolder();
    if (Current.root >= 0 && Current.root != ClearedFolders().rootFd)
        ::close(Current.root);
    Current.root = -1;

    ExtractResult result = Current.failureRaised ? ExtractResult::Failed : ExtractResult::Done;
    if (!PreviousCabinet.isEmpty())
        result = ExtractResult::BeginsInEarlierCabinet;

    HoldCabinet(nullptr, -1);
    CabClose(hf);
    FDIDestroy(CabContext);
    CabContext = nullptr;
    return result;
}

ExtractCommandScope::ExtractCommandScope() {
    ClearedFolders().inCommand = true;
    ClearedFolders().folders.clear();
}

ExtractCommandScope::~ExtractCommandScope() {
    ClearedFolders().inCommand = false;
    ClearedFolders().folders.clear();
    ClearedFolders().releaseRoot();
}

int FailureMessage(ExtractFailure failure) {
    switch (failure) {
    case ExtractFailure::None:
        return 0;
    case ExtractFailure::DamagedData:
        return msg::ReasonDamaged;
    case ExtractFailure::UnsupportedMethod:
        return msg::ReasonUnsupportedMethod;
    case ExtractFailure::OutOfMemory:
        return msg::ReasonNoMemory;
    case ExtractFailure::DiskFull:
        return msg::ReasonDiskFull;
    case ExtractFailure::PermissionDenied:
        return msg::ReasonPermissionDenied;
    case ExtractFailure::InUse:
        return msg::ReasonInUse;
    case ExtractFailure::InTheWay:
        return msg::ReasonInTheWay;
    case ExtractFailure::UnsafeName:
        return msg::ReasonUnsafeName;
    case ExtractFailure::NextCabinetMissing:
        return msg::ReasonNextCabinetMissing;
    case ExtractFailure::EarlierCabinetMissing:
        return msg::ReasonFirstCabinetMissing;
    case ExtractFailure::CannotOpenCabinet:
        return msg::ReasonCabinetUnopenable;
    case ExtractFailure::WriteFailed:
        return msg::ReasonNotWritten;
    case ExtractFailure::Stopped:
        return msg::ReasonStopped;
    }
    return msg::ReasonNotWritten;
}

QString FailureText(ExtractFailure failure) {
    const int n = FailureMessage(failure);
    return n == 0 ? QString() : MessageText(n);
}

ExtractFailure FailureOfErrno(int error) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return ExtractFailure::DiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
        return ExtractFailure::PermissionDenied;
    case EWOULDBLOCK:
    case EBUSY:
    case ETXTBSY:
        return ExtractFailure::InUse;
    case ENOTDIR:
    case EISDIR:
    case ELOOP:
    case EEXIST:
    case ENXIO:
    case ENOTEMPTY:
        return ExtractFailure::InTheWay;
    case ENAMETOOLONG:
    case EINVAL:
    case EILSEQ:
        return ExtractFailure::UnsafeName;
    case ENOMEM:
        return ExtractFailure::OutOfMemory;
    default:
        return ExtractFailure::WriteFailed;
    }
}

ExtractFailure FailureOfLibrary(int erfOper, int writeError) {
    switch (erfOper) {
    case FDIERROR_CORRUPT_CABINET:
    case FDIERROR_EOF:
    case FDIERROR_MDI_FAIL:
    case FDIERROR_RESERVE_MISMATCH:
    case FDIERROR_UNKNOWN_CABINET_VERSION:
    case FDIERROR_NOT_A_CABINET:
        return ExtractFailure::DamagedData;
    case FDIERROR_BAD_COMPR_TYPE:
        return ExtractFailure::UnsupportedMethod;
    case FDIERROR_ALLOC_FAIL:
        return ExtractFailure::OutOfMemory;
    case FDIERROR_TARGET_FILE:
        return writeError != 0 ? FailureOfErrno(writeError) : ExtractFailure::WriteFailed;
    case FDIERROR_CABINET_NOT_FOUND:
        return ExtractFailure::CannotOpenCabinet;
    case FDIERROR_WRONG_CABINET:
        return ExtractFailure::NextCabinetMissing;
    default:
        return ExtractFailure::Stopped;
    }
}

} // namespace morbek
