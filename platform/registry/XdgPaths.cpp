#include "platform/registry/XdgPaths.h"

#include <QFile>

#include <pwd.h>
#include <unistd.h>

namespace morbek::platform::registry {

namespace {

QString AbsoluteOr(const char* variable, const QString& fallback) {
    const QString value = QFile::decodeName(qgetenv(variable));
    return value.startsWith(QLatin1Char('/')) ? value : fallback;
}

QStringList ListOr(const char* variable, const QStringList& fallback) {
    QStringList dirs;
    for (const QString& d : QFile::decodeName(qgetenv(variable)).split(QLatin1Char(':'), Qt::SkipEmptyParts))
        if (d.startsWith(QLatin1Char('/')))
            dirs << d;
    return dirs.isEmpty() ? fallback : dirs;
}

} // namespace

QString HomeFolder() {
    const QString home = QFile::decodeName(qgetenv("HOME"));
    if (!home.isEmpty())
        return home;
    const struct passwd* pw = ::getpwuid(::getuid());
    return pw && pw->pw_dir ? QFile::decodeName(pw->pw_dir) : QStringLiteral("/");
}

QString ConfigHome() {
    return AbsoluteOr("XDG_CONFIG_HOME", HomeFolder() + QStringLiteral("/.config"));
}
QString DataHome() {
    return AbsoluteOr("XDG_DATA_HOME", HomeFolder() + QStringLiteral("/.local/share"));
}
QStringList ConfigDirs() {
    return ListOr("XDG_CONFIG_DIRS", {QStringLiteral("/etc/xdg")});
}
QStringList DataDirs() {
    return ListOr("XDG_DATA_DIRS", {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")});
}

QStringList CurrentDesktops() {
    QStringList desktops;
    for (const QString& d :
         QString::fromUtf8(qgetenv("XDG_CURRENT_DESKTOP")).split(QLatin1Char(':'), Qt::SkipEmptyParts))
        desktops << d.toLower();
    return desktops;
}

} // namespace morbek::platform::registry
