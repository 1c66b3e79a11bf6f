#include "setup/InfInstall.h"

#include "platform/files/Files.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morbek::setup {

namespace {

// A file or folder name that stays where it is put: no separators, no "." or "..",
// no control characters.
bool IsPlainName(const QString& name) {
    if (name.isEmpty() || name.size() > 255 || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name)
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20 || c.unicode() == 0x7F)
            return false;
    return true;
}

std::optional<uint32_t> ParseNumber(const QString& text) {
    if (text.trimmed().isEmpty())
        return 0u;
    bool ok = false;
    const QString t = text.trimmed();
    const uint32_t value =
        t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? t.mid(2).toUInt(&ok, 16) : t.toUInt(&ok, 10);
    return ok ? std::optional<uint32_t>(value) : std::nullopt;
}

QString Field(const QStringList& fields, int index) {
    return index < fields.size() ? fields[index] : QString();
}

QString DesktopString(const QString& text) {
    QString result;
    for (const QChar c : text) {
        if (c == QLatin1Char('\\'))
            result += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            result += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            result += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            result += QStringLiteral("\\r");
        else if (c.unicode() >= 0x20 && c.unicode() != 0x7F)
            result += c;
    }
    return result;
}

struct Destination {
    QString folder;
    QString stopAt;
};

class Planner {
public:
    Planner(const InfFile& inf, const QString& infFolder, const UserFolders& folders)
        : inf_(inf), infFolder_(infFolder), folders_(folders) {}

    bool Plan(const QString& sectionName) {
        const InfSection* version = inf_.Section(QStringLiteral("Version"));
        const auto signature = version ? inf_.Value(*version, QStringLiteral("Signature")) : std::nullopt;
        const QString sig = signature ? Field(*signature, 0) : QString();
        if (sig.compare(QLatin1String("$Windows NT$"), Qt::CaseInsensitive) != 0 &&
            sig.compare(QLatin1String("$Chicago$"), Qt::CaseInsensitive) != 0 &&
            sig.compare(QLatin1String("$Windows 95$"), Qt::CaseInsensitive) != 0)
            return Fail(QStringLiteral("the file has no [Version] signature of an installation description"));
        const InfSection* section = inf_.Section(sectionName);
        if (!section)
            return Fail(QStringLiteral("the section [%1] is missing").arg(sectionName));

        for (const InfLine& line : section->lines) {
            const QString key = line.key.toLower();
            for (const QString& name : line.fields) {
                if (name.isEmpty())
                    continue;
                bool ok = false;
                if (key == QLatin1String("copyfiles"))
                    ok = PlanCopy(name, line.number);
                else if (key == QLatin1String("delfiles"))
                    ok = PlanDelete(name, line.number);
                else if (key == QLatin1String("profileitems"))
                    ok = PlanMenuEntry(name, line.number);
                else
                    return Fail(
                        QStringLiteral("line %1: \"%2\" is not a directive this installer carries out")
                            .arg(line.number)
                            .arg(line.key.isEmpty() ? name : line.key));
                if (!ok)
                    return false;
            }
        }
        // Folders emptied by the deletions go too, deepest first.
        std::sort(emptied_.begin(), emptied_.end(), [](const Destination& a, const Destination& b) {
            return a.folder.size() > b.folder.size();
        });
        for (const Destination& d : emptied_) {
            InstallStep step;
            step.kind = InstallStep::Kind::RemoveEmptyFolders;
            step.target = d.folder;
            step.stopAt = d.stopAt;
            plan.steps.push_back(step);
        }
        return true;
    }

    InstallPlan plan;
    QString error;

private:
    bool Fail(const QString& message) {
        error = message;
        return false;
    }

    const InfSection* FileSection(const QString& name, int line) {
        if (name.startsWith(QLatin1Char('@'))) {
            Fail(QStringLiteral("line %1: single-file copies (\"%2\") are not carried out")
                     .arg(line)
                     .arg(name));
            return nullptr;
        }
        const InfSection* section = inf_.Section(name);
        if (!section)
            Fail(QStringLiteral("line %1: the section [%2] is missing").arg(line).arg(name));
        return section;
    }

    // The folder of a destination id, and the folder above which nothing is removed.
    std::optional<Destination> Resolve(const QStringList& fields, int line) {
        const auto id = ParseNumber(Field(fields, 0));
        Destination d;
        if (id && *id == kDirProgram) {
            d.folder = folders_.dataHome + QStringLiteral("/morbek32");
            d.stopAt = folders_.dataHome;
        } else if (id && *id == kDirIcons) {
            d.folder = folders_.dataHome + QStringLiteral("/icons");
            d.stopAt = d.folder;
        } else {
            Fail(QStringLiteral("line %1: the destination \"%2\" is not one this installer knows")
                     .arg(line)
                     .arg(Field(fields, 0)));
            return std::nullopt;
        }
        QString subdir = Field(fields, 1);
        subdir.replace(QLatin1Char('\\'), QLatin1Char('/'));
        if (!subdir.isEmpty()) {
            for (const QString& part : subdir.split(QLatin1Char('/'))) {
                if (!IsPlainName(part)) {
                    Fail(QStringLiteral("line %1: the folder \"%2\" leaves its destination")
                             .arg(line)
                             .arg(Field(fields, 1)));
                    return std::nullopt;
                }
                d.folder += QLatin1Char('/') + part;
            }
        }
        return d;
    }

    std::optional<Destination> DestinationOf(const QString& fileSection, int line) {
        const InfSection* dirs = inf_.Section(QStringLiteral("DestinationDirs"));
        std::optional<QStringList> fields;
        if (dirs) {
            fields = inf_.Value(*dirs, fileSection);
            if (!fields)
                fields = inf_.Value(*dirs, QStringLiteral("DefaultDestDir"));
        }
        if (!fields) {
            Fail(QStringLiteral("line %1: no destination is given for [%2]").arg(line).arg(fileSection));
            return std::nullopt;
        }
        return Resolve(*fields, line);
    }

    bool PlanCopy(const QString& name, int line) {
        const InfSection* files = FileSection(name, line);
        if (!files)
            return false;
        const auto dest = DestinationOf(files->name, line);
        if (!dest)
            return false;
        for (const InfLine& l : files->lines) {
            const QString target = Field(l.fields, 0);
            const QString source = Field(l.fields, 1).isEmpty() ? target : Field(l.fields, 1);
            const auto flags = ParseNumber(Field(l.fields, 3));
            if (!l.key.isEmpty() || !IsPlainName(target) || !IsPlainName(source))
                return Fail(QStringLiteral("line %1: a file must be named by its plain name").arg(l.number));
            if (!flags)
                return Fail(QStringLiteral("line %1: the copy flags are not a number").arg(l.number));
            const QString sourcePath = infFolder_ + QLatin1Char('/') + source;
            struct stat st {};
            if (::lstat(QFile::encodeName(sourcePath).constData(), &st) != 0) {
                if (errno != ENOENT || (*flags & COPYFLG_NOSKIP))
                    return Fail(QStringLiteral("the file %1 is missing").arg(source));
                plan.skipped << source;
                continue;
            }
            if (!S_ISREG(st.st_mode))
                return Fail(QStringLiteral("%1 is not a plain file").arg(source));
            InstallStep step;
            step.kind = InstallStep::Kind::CopyFile;
            step.source = sourcePath;
            step.target = dest->folder + QLatin1Char('/') + target;
            step.mode = (st.st_mode & 0111) ? 0755 : 0644;
            plan.steps.push_back(step);
        }
        return true;
    }

    bool PlanDelete(const QString& name, int line) {
        const InfSection* files = FileSection(name, line);
        if (!files)
            return false;
        const auto dest = DestinationOf(files->name, line);
        if (!dest)
            return false;
        for (const InfLine& l : files->lines) {
            const QString target = Field(l.fields, 0);
            if (!l.key.isEmpty() || !IsPlainName(target))
                return Fail(QStringLiteral("line %1: a file must be named by its plain name").arg(l.number));
            InstallStep step;
            step.kind = InstallStep::Kind::DeleteFile;
            step.target = dest->folder + QLatin1Char('/') + target;
            plan.steps.push_back(step);
        }
        bool known = false;
        for (const Destination& d : emptied_)
            known = known || d.folder == dest->folder;
        if (!known)
            emptied_.push_back(*dest);
        return true;
    }

    // CmdLine and IconPath: "dirid,subfolder,file".
    std::optional<QString> PathIn(const QStringList& fields, int line, bool iconsAllowed) {
        const auto dest = Resolve(fields, line);
        if (!dest)
            return std::nullopt;
        if (!iconsAllowed && ParseNumber(Field(fields, 0)) != std::optional<uint32_t>(kDirProgram)) {
            Fail(QStringLiteral("line %1: a menu entry starts programs from the program's folder only")
                     .arg(line));
            return std::nullopt;
        }
        const QString file = Field(fields, 2);
        if (!IsPlainName(file)) {
            Fail(QStringLiteral("line %1: a file must be named by its plain name").arg(line));
            return std::nullopt;
        }
        return dest->folder + QLatin1Char('/') + file;
    }

    bool PlanMenuEntry(const QString& name, int line) {
        const InfSection* item = FileSection(name, line);
        if (!item)
            return false;
        const auto value = [&](const char* key) {
            const auto fields = inf_.Value(*item, QString::fromLatin1(key));
            return fields ? *fields : QStringList();
        };
        const QString title = value("Name").join(QLatin1Char(','));
        QString id;
        for (const QChar c : title.toLower())
            id +=
                (c.isLetterOrNumber() && c.unicode() < 0x80) || c == QLatin1Char('.') || c == QLatin1Char('_')
                    ? c
                    : QLatin1Char('-');
        if (id.isEmpty() || !IsPlainName(id + QStringLiteral(".desktop")) || id.startsWith(QLatin1Char('.')))
            return Fail(
                QStringLiteral("line %1: the menu entry [%2] has no usable Name").arg(line).arg(name));
        const QString path =
            folders_.dataHome + QStringLiteral("/applications/") + id + QStringLiteral(".desktop");
        const auto flags = ParseNumber(value("Flags").value(0));
        if (!flags)
            return Fail(QStringLiteral("line %1: the menu entry's flags are not a number").arg(line));

        InstallStep step;
        step.target = path;
        if (*flags & FLG_PROFITEM_DELETE) {
            step.kind = InstallStep::Kind::DeleteMenuEntry;
            plan.steps.push_back(step);
            return true;
        }
        const auto exec = PathIn(value("CmdLine"), line, false);
        if (!exec)
            return false;
        QString icon;
        if (!value("IconPath").isEmpty()) {
            const auto iconPath = PathIn(value("IconPath"), line, true);
            if (!iconPath)
                return false;
            icon = *iconPath;
            // An icon put into a theme is named through the theme, so that the desktop
            // picks the size it needs and a theme can override it.
            if (ParseNumber(Field(value("IconPath"), 0)) == std::optional<uint32_t>(kDirIcons)) {
                const QString file = Field(value("IconPath"), 2);
                const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
                icon = dot > 0 ? file.left(dot) : file;
            }
        }
        QFile existing(path);
        QByteArray existingText;
        if (existing.exists() && existing.open(QIODevice::ReadOnly))
            existingText = existing.readAll();
        // The program's hidden association entry has the same id; the menu entry replaces it.
        if (existing.exists() && !existingText.contains(kMenuEntryMark) &&
            !existingText.contains(kAssociationEntryMark))
            return Fail(QStringLiteral("the menu entry %1 belongs to another program").arg(path));
        QString mimeTypes;
        for (const QChar c : value("MimeType").join(QLatin1Char(',')))
            if ((c.isLetterOrNumber() && c.unicode() < 0x80) || QStringLiteral(";/-+._").contains(c))
                mimeTypes += c;

        QString categories;
        for (const QChar c : value("Categories").join(QLatin1Char(',')))
            if ((c.isLetterOrNumber() && c.unicode() < 0x80) || c == QLatin1Char(';') ||
                c == QLatin1Char('-'))
                categories += c;
        QString text = QStringLiteral("[Desktop Entry]\nType=Application\nName=") + DesktopString(title) +
                       QLatin1Char('\n');
        const QString comment = value("InfoTip").join(QLatin1Char(','));
        if (!comment.isEmpty())
            text += QStringLiteral("Comment=") + DesktopString(comment) + QLatin1Char('\n');
        text += QStringLiteral("Exec=") + DesktopString(DesktopExecArgument(*exec) + QStringLiteral(" %f")) +
                QLatin1Char('\n');
        if (!icon.isEmpty())
            text += QStringLiteral("Icon=") + DesktopString(icon) + QLatin1Char('\n');
        text += QStringLiteral("Terminal=false\n");
        if (!categories.isEmpty())
            text += QStringLiteral("Categories=") + categories + QLatin1Char('\n');
        if (!mimeTypes.isEmpty())
            text += QStringLiteral("MimeType=") + mimeTypes + QLatin1Char('\n');
        text += QString::fromLatin1(kMenuEntryMark) + QLatin1Char('\n');
        step.kind = InstallStep::Kind::WriteMenuEntry;
        step.contents = text.toUtf8();
        step.mode = 0644;
        plan.steps.push_back(step);
        return true;
    }

    const InfFile& inf_;
    QString infFolder_;
    UserFolders folders_;
    std::vector<Destination> emptied_;
};

// --- carrying out --------------------------------------------------------------------------

// Writes the file under a temporary name beside it and renames it into place: a
// program that runs from the old file keeps running, a failure leaves the old file,
// and a link at the target is replaced rather than followed.
bool ReplaceFile(const QString& target, int mode, const std::function<bool(int)>& fill, QString* error) {
    const QString folder = target.left(target.lastIndexOf(QLatin1Char('/')));
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("the folder %1 cannot be made").arg(folder);
        return false;
    }
    QByteArray temp = QFile::encodeName(folder + QStringLiteral("/.infinstall-XXXXXX"));
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        *error = QStringLiteral("%1 cannot be written: %2")
                     .arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    bool ok = fill(fd) && ::fchmod(fd, static_cast<mode_t>(mode)) == 0 && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok)
        ok = ::rename(temp.constData(), QFile::encodeName(target).constData()) == 0;
    if (!ok) {
        const int saved = errno;
        ::unlink(temp.constData());
        *error = QStringLiteral("%1 cannot be written: %2")
                     .arg(target, QString::fromLocal8Bit(std::strerror(saved)));
    }
    return ok;
}

bool CopyFile(const InstallStep& step, QString* error) {
    const int in = ::open(QFile::encodeName(step.source).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (in < 0 || ::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (in >= 0)
            ::close(in);
        *error = QStringLiteral("%1 cannot be read").arg(step.source);
        return false;
    }
    const bool ok = ReplaceFile(
        step.target, step.mode,
        [in](int out) {
            char buffer[64 * 1024];
            for (;;) {
                const ssize_t n = ::read(in, buffer, sizeof buffer);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0)
                    return false;
                if (n == 0)
                    return true;
                if (!platform::WriteAll(out, buffer, static_cast<size_t>(n)))
                    return false;
            }
        },
        error);
    ::close(in);
    return ok;
}

bool DeleteFile(const QString& target, QString* error) {
    const QByteArray path = QFile::encodeName(target);
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || S_ISDIR(st.st_mode))
        return true; // already gone; a folder is never deleted as a file
    if (::unlink(path.constData()) != 0 && errno != ENOENT) {
        *error = QStringLiteral("%1 cannot be removed: %2")
                     .arg(target, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

void RemoveEmptyFolders(QString folder, const QString& stopAt) {
    while (folder.startsWith(stopAt + QLatin1Char('/')) && folder.size() > stopAt.size() + 1) {
        if (::rmdir(QFile::encodeName(folder).constData()) != 0)
            return;
        folder = folder.left(folder.lastIndexOf(QLatin1Char('/')));
    }
}

} // namespace

std::optional<UserFolders> UserFoldersFromEnvironment() {
    UserFolders folders;
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (!dataHome.startsWith(QLatin1Char('/'))) { // relative values are to be ignored
        QString home = qEnvironmentVariable("HOME");
        if (!home.startsWith(QLatin1Char('/'))) {
            const passwd* pw = ::getpwuid(::getuid());
            home = pw && pw->pw_dir ? QFile::decodeName(pw->pw_dir) : QString();
        }
        if (!home.startsWith(QLatin1Char('/')))
            return std::nullopt;
        dataHome = home + QStringLiteral("/.local/share");
    }
    folders.dataHome = QDir::cleanPath(dataHome);
    if (folders.dataHome == QLatin1String("/"))
        return std::nullopt;
    return folders;
}

std::optional<InstallPlan> PlanSection(const InfFile& inf, const QString& section, const QString& infFolder,
                                       const UserFolders& folders, QString* error) {
    Planner planner(inf, infFolder, folders);
    if (!planner.Plan(section)) {
        if (error)
            *error = planner.error;
        return std::nullopt;
    }
    return std::move(planner.plan);
}

bool CarryOut(const InstallPlan& plan, QString* error) {
    QString message;
    for (const InstallStep& step : plan.steps) {
        bool ok = true;
        switch (step.kind) {
        case InstallStep::Kind::CopyFile:
            ok = CopyFile(step, &message);
            break;
        case InstallStep::Kind::DeleteFile:
            ok = DeleteFile(step.target, &message);
            break;
        case InstallStep::Kind::WriteMenuEntry:
            ok = ReplaceFile(
                step.target, step.mode,
                [&step](int fd) {
                    return platform::WriteAll(fd, step.contents.constData(),
                                              static_cast<size_t>(step.contents.size()));
                },
                &message);
            break;
        case InstallStep::Kind::DeleteMenuEntry: {
            QFile entry(step.target);
            if (entry.open(QIODevice::ReadOnly) && entry.readAll().contains(kMenuEntryMark))
                ok = DeleteFile(step.target, &message);
            break;
        }
        case InstallStep::Kind::RemoveEmptyFolders:
            RemoveEmptyFolders(step.target, step.stopAt);
            break;
        }
        if (!ok) {
            if (error)
                *error = message;
            return false;
        }
    }
    return true;
}

QString DesktopExecArgument(const QString& argument) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString escaped;
    bool quote = false;
    for (const QChar c : argument) {
        if (reserved.contains(c))
            quote = true;
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            escaped += QLatin1Char('\\');
        if (c == QLatin1Char('%'))
            escaped += QLatin1Char('%');
        escaped += c;
    }
    return quote ? QLatin1Char('"') + escaped + QLatin1Char('"') : escaped;
}

} // namespace morbek::setup
