#include "extract/Driver.h"

#include "extract/Binding.h"
#include "extract/StagedTarget.h"
#include "platform/files/Files.h"
#include "platform/files/OpenFlags.h"
#include "platform/locale/Regional.h"
#include "resources/StringTable.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>

namespace morbek {

static_assert(std::is_same_v<decltype(&CabNotify), fdi::PFNFDINOTIFY>);

ExtractionUi::~ExtractionUi() = default;

QString RequestedName;
QString TargetFolder;
QString EntryText;
QString TargetPath;
int32_t KeepPaths = 0;
QString PreviousCabinet;

namespace {

using namespace fdi;

constexpr int kCabinetFlags = platform::_O_BINARY | platform::_O_SEQUENTIAL;                  // 0x8020
constexpr int kTargetFlags = platform::_O_BINARY | platform::_O_CREAT | platform::_O_SEQUENTIAL // 0x8121
                             | platform::_O_WRONLY;
static_assert(kCabinetFlags == 0x8020 && kTargetFlags == 0x8121);

ExtractionUi* Ui = nullptr;

MessageTextFn& TextHook() {
    static MessageTextFn hook;
    return hook;
}

QString MsgText(int n) {
    if (const MessageTextFn& hook = TextHook())
        return hook(n);
    return LoadStringEntry(1000 + n);
}

// State private to one run, beside the public module state.
struct Run {
    QByteArray requested;       // RequestedName in UTF-8, as the library's names come
    bool requestedHasBackslash = false; // then no name part can equal it
    QString cabinetFolder;      // where set members are looked up, with its '/' (or empty)
    QString pendingTarget;      // written in place and not yet closed by CLOSE_FILE_INFO
    StagedTarget staged;        // the file being written under a hidden name, if any
    QStringList refused;        // stored names not written because unsafe here
    bool failureRaised = false;
    bool nextAnswered = false;
};
Run Current{};

// Exact name first, then the one case-insensitive match in the folder: set members were
// often named on case-insensitive systems.
bool MemberExists(const QString& folder, const QString& name) {
    return platform::FileExists(folder + name) || !platform::FindCaseInsensitive(folder, name).isEmpty();
}

bool UnsafeComponent(const QByteArray& part) {
    return part.isEmpty() || part == "." || part == ".." || part.contains('/') || part.contains('\0');
}

// No link may stand anywhere below the target folder on the way to the target, and an
// existing target must be a plain regular file: otherwise writing could land elsewhere.
bool TargetReachable(const QString& base, const QStringList& components, bool* targetMissing) {
    QString path = base;
    *targetMissing = false;
    for (qsizetype i = 0; i < components.size(); ++i) {
        path += components[i];
        struct stat st {};
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
            *targetMissing = errno == ENOENT;
            return true; // missing: everything below it is ours to create
        }
        if (S_ISLNK(st.st_mode))
            return false;
        if (i + 1 == components.size())
            return S_ISREG(st.st_mode);
        path += QLatin1Char('/');
    }
    return true;
}

void Warn(const QString& text) {
    if (Ui)
        Ui->Warn(RequestedName, text);
}

int OpenTarget(bool knownMissing) {
    const int staged = Current.staged.Begin(TargetPath, knownMissing);
    if (staged > 0)
        return staged;
    // Where no hidden file can be made beside it (or the existing file refuses to be
    // replaced), the binding opens the target itself and gives the answer it always gave.
    QByteArray path = QFile::encodeName(TargetPath);
    const int hf = CabOpen(path.data(), kTargetFlags, 0);
    if (hf > 0)
        Current.pendingTarget = TargetPath;
    return hf;
}

INT_PTR Refuse(const char* storedName) {
    Current.refused.push_back(QString::fromUtf8(storedName));
    return 0;
}

// The existing file's size and last-write time, for the replace confirmation; false
// when it cannot be opened for reading without sharing.
bool DescribeExisting(int64_t& size, QDateTime& written) {
    const int fd = platform::OpenReadNoShare(TargetPath);
    if (fd < 0)
        return false;
    struct stat st {};
    const bool ok = ::fstat(fd, &st) == 0;
    size = platform::FileSize(fd);
    platform::CloseFile(fd);
    if (!ok || size < 0)
        return false;
    written = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec).toLocalTime();
    return true;
}

QString ReplaceText(int64_t size, const QDateTime& written) {
    const QString crlf = QStringLiteral("\r\n");
    const QString blanks(10, QLatin1Char(' '));
    const QChar blank = QLatin1Char(' ');
    return MsgText(175) + blank + TargetPath + crlf + blanks + QString::number(size) + blank + MsgText(113) +
           blank + platform::ShortDate(written.date()) + blank + platform::LongTime(written.time()) +
           QStringLiteral("\r\n\n") + MsgText(176) + blank + TargetPath + crlf + blanks + EntryText;
}

INT_PTR CopyFile(FDINOTIFICATION* n) {
    // Runs for every record of every run: the skip path compares bytes and allocates nothing.
    const char* stored = n->psz1;
    const size_t length = std::strlen(stored);
    const size_t wanted = static_cast<size_t>(Current.requested.size());
    if (Current.requestedHasBackslash || length < wanted ||
        std::memcmp(stored + length - wanted, Current.requested.constData(), wanted) != 0)
        return 0;
    const size_t folderLength = length - wanted; // up to and including the last backslash
    if (folderLength > 0 && stored[folderLength - 1] != '\\')
        return 0;

    if (UnsafeComponent(Current.requested))
        return Refuse(stored);
    QStringList components;
    if (KeepPaths != 0 && folderLength > 0) {
        const QByteArray folder(stored, static_cast<qsizetype>(folderLength - 1));
        for (const QByteArray& part : folder.split('\\')) {
            if (UnsafeComponent(part))
                return Refuse(stored);
            components.push_back(QString::fromUtf8(part));
        }
    }
    components.push_back(RequestedName);
    bool targetMissing = false;
    if (!TargetReachable(AddDrivePrefix(TargetFolder), components, &targetMissing))
        return Refuse(stored);

    TargetPath = TargetFolder;
    if (components.size() > 1) {
        TargetPath += QString::fromUtf8(stored, static_cast<qsizetype>(folderLength)).replace(QLatin1Char('\\'),
                                                                                             QLatin1Char('/'));
        CreateFolders(TargetPath);
    }
    TargetPath = AddDrivePrefix(TargetPath) + RequestedName;

    // The walk above already found no file there: no second look.
    if (targetMissing || !platform::FileExists(TargetPath))
        return OpenTarget(targetMissing);

    int64_t size = 0;
    QDateTime written;
    if (!DescribeExisting(size, written)) {
        Current.failureRaised = true;
        return -1;
    }
    const int answer = Ui ? Ui->ConfirmReplace(MsgText(174), ReplaceText(size, written)) : kIdCancel;
    return answer == kIdYes ? OpenTarget(false) : 0;
}

// Local time; mktime with tm_isdst -1 decides: a time in the spring gap moves forward by
// the shift, one in the autumn overlap takes whichever side the C library picks.
time_t DosToTime(uint16_t date, uint16_t time) {
    struct tm tm {};
    tm.tm_year = 80 + (date >> 9);
    tm.tm_mon = ((date >> 5) & 0x0F) - 1;
    tm.tm_mday = date & 0x1F;
    tm.tm_hour = time >> 11;
    tm.tm_min = (time >> 5) & 0x3F;
    tm.tm_sec = (time & 0x1F) * 2;
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
    Current.pendingTarget.clear();
    // Not put in place: stopped as for a target that cannot be created.
    if (Current.staged.Active() && !Current.staged.Commit())
        return -1;
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
    Warn(MsgText(160) + QString::fromUtf8(n->psz1) + MsgText(161) + cabinet + QStringLiteral("\r\n") +
         MsgText(162));
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
    Warn(MsgText(165) + QString::fromUtf8(n->psz1) + MsgText(166) + QStringLiteral("\r\n") + MsgText(162));
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

void SetExtractionUi(ExtractionUi* ui) {
    Ui = ui;
}

void SetMessageText(MessageTextFn text) {
    TextHook() = std::move(text);
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
    case fdintPARTIAL_FILE: return PartialFile(pfdin);
    case fdintCOPY_FILE: return CopyFile(pfdin);
    case fdintCLOSE_FILE_INFO: return CloseFile(pfdin);
    case fdintNEXT_CABINET: return NextCabinet(pfdin);
    default: return 0;
    }
}

int ExtractEntry(const QString& cabinetPath, const QString& targetFolder, const QString& entryName,
                 const QString& entryText, int keepPaths) {
    PreviousCabinet.clear();
    TargetFolder = targetFolder;
    RequestedName = entryName;
    EntryText = entryText;
    TargetPath.clear();
    Current = Run{};
    Current.requested = RequestedName.toUtf8();
    Current.requestedHasBackslash = Current.requested.contains('\\');

    ProgressTotal = LeadingNumber(EntryText);
    ProgressDone = 0;
    KeepPaths = keepPaths;

    ERF erf{};
    CabContext = FDICreate(CabAlloc, CabFree, CabOpen, CabRead, CabWrite, CabClose, CabSeek, cpu80386, &erf);
    if (CabContext == nullptr)
        return 1;
    // Only records of the requested name can match: the library visits just those, so
    // that extracting every entry of a large cabinet does not walk its table per entry.
    // (A requested name with a backslash matches only a partial file's whole name.)
    if (!Current.requestedHasBackslash)
        FDISetNameFilter(CabContext, Current.requested.constData());
    // The cabinet is identified for the library's cache by the handle it reads through.
    FDISetHandleStat(CabContext, CabStat);

    QByteArray cabinet = QFile::encodeName(cabinetPath);
    const int hf = CabOpen(cabinet.data(), kCabinetFlags, 0);
    if (hf < 0) {
        FDIDestroy(CabContext);
        CabContext = nullptr;
        return 2;
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
        return 3;
    }

    // The colon is an ordinary character here: only '/' separates.
    const qsizetype slash = cabinetPath.lastIndexOf(QLatin1Char('/'));
    Current.cabinetFolder = cabinetPath.left(slash + 1);
    const qsizetype cut = cabinet.lastIndexOf('/') + 1; // the same place in the encoded name
    QByteArray name = cabinet.mid(cut);
    QByteArray path = cabinet.left(cut);
    FDICopy(CabContext, name.data(), path.data(), 0, CabNotify, nullptr, nullptr);

    // The library closed a target itself after a failure: no half-written file may stay
    // looking complete. A staged one never had the target's name; an existing file it
    // was to replace is left as it was.
    Current.staged.Discard();
    if (!Current.pendingTarget.isEmpty()) {
        ::unlink(QFile::encodeName(Current.pendingTarget).constData());
        Current.pendingTarget.clear();
    }
    int result = Current.failureRaised ? 4 : 0;
    if (!PreviousCabinet.isEmpty())
        result = 5;

    HoldCabinet(nullptr, -1);
    CabClose(hf);
    FDIDestroy(CabContext);
    CabContext = nullptr;

    if (!Current.refused.isEmpty())
        Warn(MsgText(167) + QStringLiteral("\r\n") + Current.refused.join(QStringLiteral("\r\n")));
    return result;
}

} // namespace morbek
