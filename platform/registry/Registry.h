#pragma once
// The per-user registry: each root key is a REGEDIT4 file under
// $XDG_CONFIG_HOME/morbek ("~/.config" when unset or relative): HKEY_CURRENT_USER in
// user.reg, HKEY_CLASSES_ROOT in classes.reg.
//
// Every operation reads the file afresh, acts and is done; nothing is cached, so the
// program and anybody else editing the file (a person, the installer) see each
// other's changes. A change is read-modify-write under an flock on "<file>.lock" and
// saved atomically: a temporary file beside the real one (beside a link's target),
// flushed to disk, then renamed over it. A crash at any point leaves the previous file.
//
// A file that cannot be understood is renamed aside ("user.reg.damaged", then
// ".damaged-1" ...) before the operation goes on with an empty root, and a notice is
// queued for the program to report. If it cannot be moved it is left untouched: reads
// see an empty root and changes fail, so it is never overwritten.
#include "platform/registry/Hive.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace morbek::platform::registry {

enum class RootKey { ClassesRoot, CurrentUser };

// "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER".
QString RootName(RootKey root);
// Where the root's file lives at this moment (the environment is read on each call).
QString StoreFile(RootKey root);

// --- reads --------------------------------------------------------------------------------

// The whole root as it is now (as the desktop shows it, for the classes root).
Hive Snapshot(RootKey root);
bool KeyExists(RootKey root, const QString& key);
// nullopt when the key or the value is absent.
std::optional<Value> QueryValue(RootKey root, const QString& key, const QString& name);

// --- changes ------------------------------------------------------------------------------

enum class WriteStatus {
    Ok,
    CreateKeyFailed, // the key did not exist and could not be created
    SetValueFailed,  // the key existed; the value could not be stored
    DeleteKeyFailed,
};

// Creates the key and every missing key on its path, then stores the value.
WriteStatus SetValue(RootKey root, const QString& key, const QString& name, const Value& value);
// Deletes the key with everything below it; an absent key is not an error.
WriteStatus DeleteKey(RootKey root, const QString& key);

// --- damaged files --------------------------------------------------------------------------

struct DamageNotice {
    QString file;   // the store file that could not be read
    QString keptAs; // where it was moved; empty when it could not be moved
    ParseError error;
};
// The notices queued since the last call. A file is reported once per run.
std::vector<DamageNotice> TakeDamageNotices();

// --- the desktop's view of the classes root ---------------------------------------------------

// Stands between the classes root and the desktop: what some keys mean is kept by the
// desktop (default applications, desktop entries) rather than by the file alone.
class ClassesBridge {
public:
    virtual ~ClassesBridge() = default;
    // Shows the desktop's current state in a freshly read root.
    virtual void overlay(Hive& hive) = 0;
    // Carries one change out on the desktop before the root is saved. before is the
    // root as read, after the root with the change made; the bridge may add its own
    // bookkeeping to after. false: the change fails and nothing is saved.
    struct Change {
        enum Kind { ValueSet, KeyDeleted } kind;
        QString key;
        QString name; // ValueSet only
    };
    virtual bool apply(const Hive& before, Hive& after, const Change& change) = 0;
};
void SetClassesBridge(std::shared_ptr<ClassesBridge> bridge);
std::shared_ptr<ClassesBridge> CurrentClassesBridge();

// --- fault injection for tests ---------------------------------------------------------------

enum class SavePoint {
    Begin,        // the lock is held, nothing written yet
    HalfWritten,  // half of the new text is in the temporary file
    BeforeRename, // the temporary file is complete and flushed
};
// Called at each point of every save; returning false makes the save fail there.
void SetSaveHook(std::function<bool(SavePoint)> hook);

} // namespace morbek::platform::registry
