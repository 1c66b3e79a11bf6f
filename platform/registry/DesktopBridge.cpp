#include "platform/registry/DesktopBridge.h"

#include "platform/registry/AtomicFile.h"
#include "platform/registry/XdgPaths.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace morbek::platform::registry {

namespace {

const QString kDefaultGroup = QStringLiteral("[Default Applications]");

bool SameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The first part of a key path, and whether there are more.
QString FirstPart(const QString& path, bool* more) {
    QStringList parts;
    if (!SplitKeyPath(path, &parts) || parts.isEmpty()) {
        *more = false;
        return {};
    }
    *more = parts.size() > 1;
    return parts.first();
}

bool ValidDesktopId(const QString& id) {
    if (!id.endsWith(QLatin1String(".desktop")) || id.size() <= 8)
        return false;
    for (QChar c : id)
        if (c.unicode() < 0x20 || c == QLatin1Char('/') || c == QLatin1Char(';') || c == QLatin1Char('\\') ||
            c == QLatin1Char('[') || c == QLatin1Char(']') || c == QLatin1Char('='))
            return false;
    return true;
}

// A desktop-file id names applications/<id>, or a file in a subfolder with '-' for '/'.
bool ExistsUnder(const QString& folder, const QString& id, int depth = 0) {
    if (QFileInfo(folder + QLatin1Char('/') + id).isFile())
        return true;
    if (depth > 8)
        return false;
    for (qsizetype dash = id.indexOf(QLatin1Char('-')); dash > 0;
         dash = id.indexOf(QLatin1Char('-'), dash + 1))
        if (QFileInfo(folder + QLatin1Char('/') + id.left(dash)).isDir() &&
            ExistsUnder(folder + QLatin1Char('/') + id.left(dash), id.mid(dash + 1), depth + 1))
            return true;
    return false;
}

bool DesktopFileExistsIn(const QStringList& bases, const QString& id) {
    if (!ValidDesktopId(id))
        return false;
    for (const QString& base : bases)
        if (ExistsUnder(base + QStringLiteral("/applications"), id))
            return true;
    return false;
}

bool DesktopFileExists(const QString& id) {
    return DesktopFileExistsIn(QStringList{DataHome()} + DataDirs(), id);
}

QString MainList() {
    return ConfigHome() + QStringLiteral("/mimeapps.list");
}

QString DesktopList(const QString& desktop) {
    return ConfigHome() + QLatin1Char('/') + desktop + QStringLiteral("-mimeapps.list");
}

QString WithoutId(const QString& line, const QString& id) {
    QStringList ids = line.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    ids.removeAll(id);
    return ids.isEmpty() ? QString() : ids.join(QLatin1Char(';')) + QLatin1Char(';');
}

// Desktop Entry string values: backslash and the control characters are escaped.
QString EscapedValue(const QString& text) {
    QString out;
    for (QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        default:
            if (c.unicode() >= 0x20)
                out += c;
        }
    }
    return out;
}

// One Exec argument, before the string escaping of the whole value.
QString ExecArgument(const QString& arg) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = arg.isEmpty();
    for (QChar c : arg)
        quote = quote || reserved.contains(c) || c.unicode() < 0x20;
    QString out;
    if (quote)
        out += QLatin1Char('"');
    for (QChar c : arg) {
        if (quote && (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                      c == QLatin1Char('\\')))
            out += QLatin1Char('\\');
        if (c == QLatin1Char('%'))
            out += QLatin1Char('%');
        out += c;
    }
    if (quote)
        out += QLatin1Char('"');
    return out;
}

// Splits a Windows command line: blanks separate arguments, double quotes group them.
QStringList CommandArguments(const QString& command) {
    QStringList args;
    qsizetype i = 0;
    while (i < command.size()) {
        while (i < command.size() && (command[i] == QLatin1Char(' ') || command[i] == QLatin1Char('\t')))
            ++i;
        if (i >= command.size())
            break;
        QString arg;
        bool quoted = false;
        while (i < command.size() &&
               (quoted || (command[i] != QLatin1Char(' ') && command[i] != QLatin1Char('\t')))) {
            if (command[i] == QLatin1Char('"'))
                quoted = !quoted;
            else
                arg += command[i];
            ++i;
        }
        args << arg;
    }
    return args;
}

void UpdateDesktopDatabase(const QString& folder) {
    // Keeps mimeinfo.cache, which some file managers read, in step; its absence is no error.
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
    if (tool.isEmpty())
        return;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(tool, {QStringLiteral("-q"), folder});
    if (process.waitForStarted(5000))
        process.waitForFinished(10000);
    // A cache that lists no type means the same as none; dropping it leaves the folder as
    // it was before the association.
    const QString cache = folder + QStringLiteral("/mimeinfo.cache");
    QFile file(cache);
    if (file.open(QIODevice::ReadOnly) && file.size() < 4096) {
        const QByteArray text = file.readAll().trimmed();
        file.close();
        if (text == "[MIME Cache]")
            QFile::remove(cache);
    }
}

} // namespace

// --- list files -----------------------------------------------------------------------------

std::optional<QString> DefaultLine(const QString& listFile, const QString& mimeType) {
    QFile file(listFile);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool inGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == kDefaultGroup;
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (inGroup && eq > 0 && !line.startsWith(QLatin1Char('#')) && line.left(eq).trimmed() == mimeType)
            return line.mid(eq + 1).trimmed();
    }
    return std::nullopt;
}

bool SetDefaultLine(const QString& listFile, const QString& mimeType, const std::optional<QString>& value) {
    QByteArray bytes;
    bool absent = false;
    if (!ReadWholeFile(listFile, 16 * 1024 * 1024, &bytes, &absent) && !absent)
        return false;
    QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    const bool endedWithNewline = bytes.isEmpty() || bytes.endsWith('\n');
    if (endedWithNewline)
        lines.removeLast();
    const QString newLine = value ? mimeType + QLatin1Char('=') + *value : QString();

    qsizetype groupAt = -1, groupEnd = -1;
    bool written = false, removed = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString t = lines[i].trimmed();
        if (t.startsWith(QLatin1Char('['))) {
            if (groupAt >= 0 && groupEnd < 0)
                groupEnd = i;
            if (t == kDefaultGroup && groupAt < 0)
                groupAt = i;
            continue;
        }
        const qsizetype eq = t.indexOf(QLatin1Char('='));
        const bool inGroup = groupAt >= 0 && groupEnd < 0;
        if (!inGroup || eq <= 0 || t.startsWith(QLatin1Char('#')) || t.left(eq).trimmed() != mimeType)
            continue;
        if (value && !written) {
            lines[i] = newLine;
            written = true;
        } else {
            lines.removeAt(i--); // a second line for the type, or the one to remove
            removed = true;
        }
    }
    // A group that the removal emptied goes too, and a file left with nothing: a list
    // that was not there before the association is not left behind.
    if (!value && removed && groupAt >= 0) {
        qsizetype end = groupAt + 1;
        bool empty = true;
        for (; end < lines.size() && !lines[end].trimmed().startsWith(QLatin1Char('[')); ++end)
            empty = empty && lines[end].trimmed().isEmpty();
        if (empty) {
            qsizetype from = groupAt;
            while (from > 0 && lines[from - 1].trimmed().isEmpty())
                --from;
            const bool groupAfter = end < lines.size();
            lines.remove(from, end - from);
            if (groupAfter && from > 0)
                lines.insert(from, QString()); // keeps the blank line between the groups around it
        }
        bool blank = true;
        for (const QString& line : lines)
            blank = blank && line.trimmed().isEmpty();
        if (blank) {
            const QString target = WriteTarget(listFile);
            return !QFileInfo::exists(target) || QFile::remove(target);
        }
    }
    if (value && !written) {
        if (groupAt < 0) {
            if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
                lines << QString();
            lines << kDefaultGroup << newLine;
        } else {
            // At the end of the group, before the blank lines that separate it from the next.
            qsizetype at = groupEnd < 0 ? lines.size() : groupEnd;
            while (at > groupAt + 1 && lines[at - 1].trimmed().isEmpty())
                --at;
            lines.insert(at, newLine);
        }
    }
    QByteArray out = lines.join(QLatin1Char('\n')).toUtf8();
    if (!lines.isEmpty())
        out += '\n';
    if (out == bytes)
        return true;
    const QString target = WriteTarget(listFile);
    return MakeFolder(QFileInfo(target).absolutePath()) && WriteFileAtomically(target, out);
}

QString DefaultApplication(const QString& mimeType) {
    QStringList folders = QStringList{ConfigHome()} + ConfigDirs();
    folders << DataHome() + QStringLiteral("/applications");
    for (const QString& d : DataDirs())
        folders << d + QStringLiteral("/applications");
    const QStringList desktops = CurrentDesktops();
    for (const QString& folder : folders) {
        for (const QString& desktop : desktops + QStringList{QString()}) {
            const QString list = folder + QLatin1Char('/') +
                                 (desktop.isEmpty() ? QString() : desktop + QLatin1Char('-')) +
                                 QStringLiteral("mimeapps.list");
            const std::optional<QString> line = DefaultLine(list, mimeType);
            if (!line)
                continue;
            for (const QString& id : line->split(QLatin1Char(';'), Qt::SkipEmptyParts))
                if (DesktopFileExists(id.trimmed()))
                    return id.trimmed();
        }
    }
    return {};
}

QString ExecLine(const QString& command) {
    const QStringList args = CommandArguments(command);
    QStringList out;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (i > 0 && (a == QLatin1String("%1") || a.compare(QLatin1String("%L"), Qt::CaseInsensitive) == 0))
            out << QStringLiteral("%f");
        else if (i > 0 && a == QLatin1String("%*"))
            out << QStringLiteral("%F");
        else
            out << ExecArgument(a);
    }
    return EscapedValue(out.join(QLatin1Char(' ')));
}

QString DesktopEntryPath(const QString& desktopId) {
    return DataHome() + QStringLiteral("/applications/") + desktopId;
}

// --- the bridge -----------------------------------------------------------------------------

QString DesktopBridge::recordKey() const {
    return config_.extension + QStringLiteral("\\DesktopDefaults");
}

void DesktopBridge::overlay(Hive& hive) {
    const QString current = DefaultApplication(config_.mimeType);
    if (current.isEmpty()) {
        if (Key* ext = hive.find(config_.extension))
            ext->removeValue(QString());
        return;
    }
    if (Key* ext = hive.create(config_.extension))
        ext->setValue(QString(), Value::Text(current == config_.desktopId ? config_.className : current));
}

bool DesktopBridge::apply(const Hive& before, Hive& after, const Change& change) {
    bool more = false;
    const QString first = FirstPart(change.key, &more);
    bool ok = true;
    if (SameName(first, config_.extension) && !more) {
        if (change.kind == Change::KeyDeleted) {
            ok = giveBack(before, after, QString());
        } else if (change.name.isEmpty()) {
            const Key* ext = after.find(config_.extension);
            const Value* v = ext ? ext->value(QString()) : nullptr;
            const QString newClass =
                v && (v->type == REG_SZ || v->type == REG_EXPAND_SZ) ? v->text() : QString();
            ok = SameName(newClass, config_.className) ? takeOver(after) : giveBack(before, after, newClass);
        }
    }
    if (ok && SameName(first, config_.className))
        ok = syncEntry(after);
    return ok;
}

bool DesktopBridge::takeOver(Hive& after) {
    const QString& mime = config_.mimeType;
    Key* record = after.find(recordKey());
    const bool firstTime = !record;
    const bool alreadyOurs = DefaultApplication(mime) == config_.desktopId;
    if (!record && !alreadyOurs)
        record = after.create(recordKey());
    // The current desktop's own defaults would hide ours: out they go, remembered.
    for (const QString& desktop : CurrentDesktops()) {
        const QString list = DesktopList(desktop);
        const std::optional<QString> line = DefaultLine(list, mime);
        if (!line || WithoutId(*line, config_.desktopId).isEmpty())
            continue;
        if (record && !record->value(list))
            record->setValue(list, Value::Text(WithoutId(*line, config_.desktopId)));
        if (!SetDefaultLine(list, mime, std::nullopt))
            return false;
    }
    if (firstTime && record && !record->value(MainList()))
        record->setValue(MainList(), Value::Text(WithoutId(DefaultLine(MainList(), mime).value_or(QString()),
                                                           config_.desktopId)));
    return SetDefaultLine(MainList(), mime, config_.desktopId + QLatin1Char(';'));
}

bool DesktopBridge::giveBack(const Hive& before, Hive& after, const QString& newClass) {
    const QString& mime = config_.mimeType;
    if (const Key* record = before.find(recordKey())) {
        // Exactly as it was before we took over.
        for (const Key::NamedValue& nv : record->values()) {
            const QString previous = nv.value.text();
            if (!SetDefaultLine(nv.name, mime,
                                previous.isEmpty() ? std::nullopt : std::optional<QString>(previous)))
                return false;
        }
        after.remove(recordKey());
    } else if (const std::optional<QString> line = DefaultLine(MainList(), mime)) {
        const QString rest = WithoutId(*line, config_.desktopId);
        if (rest != *line &&
            !SetDefaultLine(MainList(), mime, rest.isEmpty() ? std::nullopt : std::optional(rest)))
            return false;
    }
    // A class that is a desktop application becomes the default, unless it already is.
    if (ValidDesktopId(newClass) && DefaultApplication(mime) != newClass)
        return SetDefaultLine(MainList(), mime, newClass + QLatin1Char(';'));
    return true;
}

bool DesktopBridge::syncEntry(const Hive& after) {
    const QString path = DesktopEntryPath(config_.desktopId);
    const QString folder = QFileInfo(path).absolutePath();
    const Key* cls = after.find(config_.className);
    const Key* command = after.find(config_.className + QStringLiteral("\\Shell\\Open\\command"));
    const Value* open = command ? command->value(QString()) : nullptr;
    QFile existing(path);
    const bool exists = existing.exists();
    // Only an entry this bridge wrote is replaced or removed: one of the same id that an
    // installer put there is the program's menu entry and already opens cabinets.
    const bool ours =
        exists && existing.open(QIODevice::ReadOnly) && existing.readAll().contains(kAssociationMark);
    existing.close();
    if (!cls || !open || (open->type != REG_SZ && open->type != REG_EXPAND_SZ) ||
        open->text().trimmed().isEmpty()) {
        if (!ours)
            return true;
        if (!QFile::remove(path))
            return false;
        UpdateDesktopDatabase(folder);
        return true;
    }
    // A system-wide entry of that id (a distribution's package) serves as it is; a hidden
    // one in the user's folder would take it out of the menus.
    if ((exists && !ours) || (!exists && DesktopFileExistsIn(DataDirs(), config_.desktopId)))
        return true;
    const Value* typeName = cls->value(QString());
    QString entry = QStringLiteral("[Desktop Entry]\nType=Application\n");
    entry += QStringLiteral("Name=") + EscapedValue(config_.appName) + QLatin1Char('\n');
    if (typeName && typeName->type == REG_SZ && !typeName->text().isEmpty())
        entry += QStringLiteral("Comment=") + EscapedValue(typeName->text()) + QLatin1Char('\n');
    entry += QStringLiteral("Exec=") + ExecLine(open->text()) + QLatin1Char('\n');
    if (!config_.iconName.isEmpty())
        entry += QStringLiteral("Icon=") + EscapedValue(config_.iconName) + QLatin1Char('\n');
    entry += QStringLiteral("MimeType=") + config_.mimeType + QStringLiteral(";\n");
    // A handler for files, not a second launcher in the menus.
    entry += QStringLiteral("NoDisplay=true\nTerminal=false\n");
    entry += QString::fromLatin1(kAssociationMark) + QLatin1Char('\n');

    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == entry.toUtf8())
        return true;
    existing.close();
    if (!MakeFolder(folder) || !WriteFileAtomically(WriteTarget(path), entry.toUtf8()))
        return false;
    if (!config_.iconName.isEmpty() && !config_.iconPng.isEmpty()) {
        const QString icon = DataHome() + QStringLiteral("/icons/hicolor/32x32/apps/") + config_.iconName +
                             QStringLiteral(".png");
        // An icon the installer put there stays; a missing one only costs the picture.
        if (!QFileInfo::exists(icon) && MakeFolder(QFileInfo(icon).absolutePath()))
            WriteFileAtomically(icon, config_.iconPng);
    }
    UpdateDesktopDatabase(folder);
    return true;
}

} // namespace morbek::platform::registry
