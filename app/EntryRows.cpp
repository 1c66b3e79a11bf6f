#include "app/EntryRows.h"

#include "platform/locale/Regional.h"
#include "platform/shell/ShellInfo.h"

#include <QFile>
#include <QHash>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

namespace morbek {

namespace {

struct Probe {
    QIcon icon;
    QString typeName;
};

// The shell's answer for an extension, through an empty probe file named like the entry,
// as the original asked it of a real file.
Probe AskShell(const QString& probeFolder, const QString& extension, uint32_t flags) {
    const QString probeName = probeFolder + QStringLiteral("~tmpxcab.") + extension;
    platform::SHFILEINFO info;
    // An extension that holds a folder separator cannot name a probe file.
    const bool creatable = !extension.contains(QLatin1Char('/')) && !extension.contains(QLatin1Char('\\'));
    int fd = -1;
    if (creatable)
        fd = ::open(QFile::encodeName(probeName).constData(),
                    O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        platform::SHGetFileInfoA(probeName, 0, info, flags);
        ::unlink(QFile::encodeName(probeName).constData());
    } else {
        platform::SHGetFileInfoA(QString(), 0, info, flags);
    }
    return {info.hIcon, info.szTypeName.left(80)};
}

} // namespace

EntryRows BuildEntryRows(std::vector<cab::CatalogueEntry> entries, const EntryRowsOptions& options) {
    EntryRows rows;
    rows.items.reserve(entries.size());
    rows.images.reserve(entries.size());
    const uint32_t flags = platform::SHGFI_ICON | platform::SHGFI_TYPENAME |
                           (options.largeIcons ? 0 : platform::SHGFI_SMALLICON);
    // The shell's answer depends on the extension only: each is asked once per fill (not
    // once per program run: an association made meanwhile changes the answer).
    QHash<QString, Probe> probes;
    for (cab::CatalogueEntry& entry : entries) {
        auto found = probes.find(entry.extension);
        if (found == probes.end())
            found = probes.insert(entry.extension, AskShell(options.probeFolder, entry.extension, flags));
        const Probe& probe = found.value();
        ListItem item;
        // Two entries may share a name part in different folders: the one selected is
        // named whole.
        item.storedName = std::move(entry.name);
        item.caption = std::move(entry.fileName);
        item.size = entry.size;
        item.imageIndex = static_cast<int>(rows.images.size());
        rows.images.push_back(probe.icon);
        item.typeName = probe.typeName;
        item.dateText = std::move(entry.dateText);
        item.path = std::move(entry.path);
        rows.items.push_back(std::move(item));
        if (options.progress)
            options.progress();
    }
    if (options.byName) {
        std::stable_sort(rows.items.begin(), rows.items.end(), [](const ListItem& a, const ListItem& b) {
            return platform::CompareLocale(a.caption, b.caption) < 0;
        });
    }
    return rows;
}

} // namespace morbek
