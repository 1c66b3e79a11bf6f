#pragma once
// Carrying out one install section of an INF file for the current user, as the
// platform's shell does for the "Install" action. Everything lands under the user's
// data folder ($XDG_DATA_HOME, else ~/.local/share); a description file can name only
// these destinations, by their ids (the user-defined range of the INF format):
//
//   32768  the program's folder       $XDG_DATA_HOME/morbek32
//   32769  the icon themes           $XDG_DATA_HOME/icons
//
// and a source only by its plain name, as a plain file in the description file's own
// folder. Directives carried out: CopyFiles, DelFiles (with [DestinationDirs] and
// DefaultDestDir) and ProfileItems, which makes or removes the desktop's menu entry in
// $XDG_DATA_HOME/applications (keys Name, CmdLine, IconPath, InfoTip, Categories, and
// MimeType, the types the entry opens). Anything else refuses the whole section before a
// single file is touched.
#include "setup/InfFile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace morbek::setup {

constexpr int kDirProgram = 32768;
constexpr int kDirIcons = 32769;
constexpr uint32_t COPYFLG_NOSKIP = 0x2;      // a missing source stops the install
constexpr uint32_t FLG_PROFITEM_DELETE = 0x2; // ProfileItems: remove the entry

// Marks the menu entries this installer wrote; it replaces or removes no other.
inline constexpr char kMenuEntryMark[] = "X-Morbek-Installer=infinstall";
// Marks the hidden entry the program writes when it becomes the handler of cabinets;
// the menu entry has the same id and takes its place.
inline constexpr char kAssociationEntryMark[] = "X-Morbek-Association=true";

struct UserFolders {
    QString dataHome; // absolute, without a trailing '/'
};
// $XDG_DATA_HOME when absolute, else $HOME/.local/share; nullopt without a home.
std::optional<UserFolders> UserFoldersFromEnvironment();

struct InstallStep {
    enum class Kind { CopyFile, DeleteFile, WriteMenuEntry, DeleteMenuEntry, RemoveEmptyFolders };
    Kind kind = Kind::CopyFile;
    QString source;      // CopyFile
    QString target;      // the file, or the folder to remove when empty
    QByteArray contents; // WriteMenuEntry
    int mode = 0644;     // CopyFile, WriteMenuEntry
    QString stopAt;      // RemoveEmptyFolders: this folder and those above it stay
};

struct InstallPlan {
    std::vector<InstallStep> steps;
    QStringList skipped; // missing sources that the section lets go
};

// Checks the whole section and lists its steps; nullopt and a message when the file or
// the section is refused.
std::optional<InstallPlan> PlanSection(const InfFile& inf, const QString& section, const QString& infFolder,
                                       const UserFolders& folders, QString* error);
// Carries out the steps in order; stops at the first failure.
bool CarryOut(const InstallPlan& plan, QString* error);

// One argument of a desktop entry's Exec key, quoted and escaped as that format asks.
QString DesktopExecArgument(const QString& argument);

} // namespace morbek::setup
