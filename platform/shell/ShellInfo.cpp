#include "platform/shell/ShellInfo.h"

#include <QApplication>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QStyle>

namespace morbek::platform {

namespace {

struct Answer {
    bool recognised = false;
    QIcon icon;
    QString typeName;
};

QIcon GenericIcon() {
    return QIcon::fromTheme(QStringLiteral("text-x-generic"),
                            QApplication::style()->standardIcon(QStyle::SP_FileIcon));
}

// A pixmap-backed icon: the list paints thousands of them, and theme icons would be
// looked up and scaled again at every paint.
QIcon Rendered(const QIcon& icon, int size) {
    QIcon rendered;
    rendered.addPixmap(icon.pixmap(QSize(size, size)));
    return rendered;
}

Answer Lookup(const QString& fileName, int size) {
    static const QMimeDatabase database;
    // The name is all there is: the program's probe files are empty.
    const QMimeType mime = database.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    const QIcon generic = GenericIcon();
    if (!mime.isValid() || mime.isDefault())
        return {false, Rendered(generic, size), QString()};
    // comment() follows QLocale(), which the program never moves off the system locale.
    const QIcon icon = QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName(), generic));
    return {true, Rendered(icon, size), mime.comment()};
}

using Cache = QHash<QPair<QString, bool>, Answer>;

// Pixmaps must go before the application does, not with the static destructors.
Cache& TheCache() {
    static Cache cache;
    static const bool cleanupRegistered = [] {
        qAddPostRoutine([] { TheCache().clear(); });
        return true;
    }();
    Q_UNUSED(cleanupRegistered);
    return cache;
}

ClassTypeNameSource& ClassSource() {
    static ClassTypeNameSource source;
    return source;
}

} // namespace

void SetClassTypeNameSource(ClassTypeNameSource source) {
    ClassSource() = std::move(source);
}

// Without a desktop session Qt stays on hicolor, which holds almost no file icons.
void SetUpIconTheme() {
    const QString current = QIcon::themeName();
    if (!current.isEmpty() && current != QLatin1String("hicolor"))
        return;
    QStringList roots = QIcon::themeSearchPaths();
    roots << QStringLiteral("/usr/share/icons");
    for (const char* theme : {"Adwaita", "breeze"}) {
        for (const QString& root : roots) {
            if (QFileInfo::exists(root + QLatin1Char('/') + QLatin1String(theme) +
                                  QStringLiteral("/index.theme"))) {
                QIcon::setThemeName(QLatin1String(theme));
                return;
            }
        }
    }
}

bool SHGetFileInfoA(const QString& path, uint32_t /*fileAttributes*/, SHFILEINFO& info, uint32_t flags) {
    const bool small = flags & SHGFI_SMALLICON;
    const int size = small ? 16 : 32;
    // Matched without case, as the original shell matched extensions.
    const QString fileName = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1).toLower();

    Answer answer;
    if (fileName.contains(QLatin1Char('\\'))) {
        // A stored path's folder leaked into the extension: no such probe can exist.
        answer = {false, Rendered(GenericIcon(), size), QString()};
    } else {
        // The answer depends only on the name, so a large cabinet costs one lookup per
        // distinct extension.
        Cache& cache = TheCache();
        const QPair<QString, bool> key(fileName, small);
        auto it = cache.constFind(key);
        if (it == cache.constEnd())
            it = cache.insert(key, Lookup(fileName, size));
        answer = *it;
    }

    // The store is read afresh (it changes with Association), not cached with the MIME answer.
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    if ((flags & SHGFI_TYPENAME) && ClassSource() && dot >= 0 && dot + 1 < fileName.size() &&
        !fileName.contains(QLatin1Char('\\'))) {
        const QString stored = ClassSource()(fileName.mid(dot));
        if (!stored.isEmpty()) {
            answer.typeName = stored;
            answer.recognised = true;
        }
    }

    info.hIcon = (flags & SHGFI_ICON) ? answer.icon : QIcon();
    info.szTypeName = (flags & SHGFI_TYPENAME) ? answer.typeName : QString();
    return answer.recognised;
}

} // namespace morbek::platform
