#pragma once
// Makes a file class of the classes root real on a freedesktop.org desktop.
//
//   extension key's default value (".cab")  <->  the default application for the MIME type,
//                                                read as `xdg-mime query default` reads it,
//                                                set in $XDG_CONFIG_HOME/mimeapps.list
//   the class key ("cabfile") and below     <->  our desktop entry in $XDG_DATA_HOME/applications
//
// The extension's class is the default application's desktop-file id, except that our
// own entry reads as the class name. So a previous default (say "org.kde.ark.desktop")
// can be remembered and given back like any other class.
//
// A default set in the current desktop's own list ($XDG_CONFIG_HOME/<desktop>-mimeapps.list)
// would win over ours; it is taken out while we are the default and put back after. What
// was there before is kept under "<extension>\DesktopDefaults" in the classes root.
#include "platform/registry/Registry.h"

#include <QByteArray>
#include <QString>

namespace morbek::platform::registry {

// Marks the desktop entries the bridge writes; it replaces or removes no other.
inline constexpr char kAssociationMark[] = "X-Morbek-Association=true";

struct DesktopBridgeConfig {
    QString extension;  // ".cab"
    QString className;  // "cabfile"
    QString mimeType;   // "application/vnd.ms-cab-compressed"
    QString desktopId;  // our entry's file name
    QString appName;    // its Name=
    QString iconName;   // its Icon=
    QByteArray iconPng; // installed as a 32x32 theme icon of that name when there is none yet
};

class DesktopBridge : public ClassesBridge {
public:
    explicit DesktopBridge(DesktopBridgeConfig config) : config_(std::move(config)) {}
    void overlay(Hive& hive) override;
    bool apply(const Hive& before, Hive& after, const Change& change) override;
    const DesktopBridgeConfig& config() const { return config_; }

private:
    bool takeOver(Hive& after);
    bool giveBack(const Hive& before, Hive& after, const QString& newClass);
    bool syncEntry(const Hive& after);
    QString recordKey() const;

    DesktopBridgeConfig config_;
};

// The default application's desktop-file id for a MIME type, with xdg-mime's precedence
// (config home, config dirs, data home, data dirs; the current desktop's list first in
// each); only ids whose desktop file exists count. Empty when there is none.
QString DefaultApplication(const QString& mimeType);

// The value of mimeType's line in the [Default Applications] group of one list file;
// nullopt when the file or the line is absent.
std::optional<QString> DefaultLine(const QString& listFile, const QString& mimeType);

// Sets (or, with nullopt, removes) mimeType's line in the [Default Applications] group,
// leaving every other line of the file as it was.
bool SetDefaultLine(const QString& listFile, const QString& mimeType, const std::optional<QString>& value);

// A Windows open command ("\"C:\\prog.exe\" %1") as a desktop entry's Exec value:
// the program and other arguments quoted and escaped where the Desktop Entry rules ask
// for it, %1 as %f (a local file name, not a URI).
QString ExecLine(const QString& command);

// Where our desktop entry lives now.
QString DesktopEntryPath(const QString& desktopId);

} // namespace morbek::platform::registry
