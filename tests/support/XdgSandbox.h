#pragma once
// Private XDG folders for one test: the settings store, the classes root, mimeapps.list
// and desktop entries all land in a fresh temporary folder, so tests never see each
// other's state. The previous environment comes back when the sandbox goes.
#include "tests/support/Files.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace morbek::test {

class XdgSandbox {
public:
    // Private: the system's folders (/etc/xdg, /usr/share) are replaced by empty ones too,
    // so that no installed application is seen. Kept: they stay, with the MIME database
    // and icon themes that a window showing files needs.
    enum class SystemFolders { Private, Kept };

    explicit XdgSandbox(SystemFolders system = SystemFolders::Private) {
        for (const char* d : {"config", "data", "etc-xdg", "share"})
            QDir().mkpath(path(QString::fromLatin1(d)));
        set("XDG_CONFIG_HOME", path(QStringLiteral("config")));
        set("XDG_DATA_HOME", path(QStringLiteral("data")));
        if (system == SystemFolders::Private) {
            set("XDG_CONFIG_DIRS", path(QStringLiteral("etc-xdg")));
            set("XDG_DATA_DIRS", path(QStringLiteral("share")));
        }
        set("XDG_CURRENT_DESKTOP", {});
    }
    XdgSandbox(const XdgSandbox&) = delete;
    XdgSandbox& operator=(const XdgSandbox&) = delete;

    QString path(const QString& sub) const { return dir_.filePath(sub); }
    QString configHome() const { return path(QStringLiteral("config")); }
    QString dataHome() const { return path(QStringLiteral("data")); }
    QString userReg() const { return configHome() + QStringLiteral("/morbek/user.reg"); }
    QString classesReg() const { return configHome() + QStringLiteral("/morbek/classes.reg"); }
    QString mimeappsList() const { return configHome() + QStringLiteral("/mimeapps.list"); }

    // Sets a variable for the sandbox's lifetime (empty text: unset).
    void set(const char* name, const QString& value) { env_.set(name, value); }

    // Writes a file (and its folders).
    void write(const QString& file, const QByteArray& bytes) const { WriteFile(file, bytes); }
    static QByteArray read(const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // A settings store whose association question has been answered (install 0 or 1).
    void seedSettings(int install = 0) const { SeedAnsweredSettings(configHome(), install); }

private:
    QTemporaryDir dir_;
    ScopedEnv env_; // after dir_: the variables come back before the folder goes
};

} // namespace morbek::test
