#include "platform/registry/Registry.h"

#include "platform/registry/AtomicFile.h"
#include "platform/registry/XdgPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morbek::platform::registry {

namespace {

std::shared_ptr<ClassesBridge>& Bridge() {
    static std::shared_ptr<ClassesBridge> bridge;
    return bridge;
}

std::function<bool(SavePoint)>& Hook() {
    static std::function<bool(SavePoint)> hook;
    return hook;
}

std::vector<DamageNotice>& Notices() {
    static std::vector<DamageNotice> notices;
    return notices;
}

// Damaged files already reported, by path, size and modification time.
QSet<QString>& Reported() {
    static QSet<QString> reported;
    return reported;
}

// An exclusive flock on "<target>.lock" for one read-modify-write; released when it goes.
class StoreLock {
public:
    explicit StoreLock(const QString& target) {
        fd_ = ::open(QFile::encodeName(target + QStringLiteral(".lock")).constData(),
                     O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~StoreLock() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

QString Identity(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return path;
    return QStringLiteral("%1|%2|%3|%4")
        .arg(path)
        .arg(st.st_ino)
        .arg(st.st_size)
        .arg(st.st_mtim.tv_nsec + st.st_mtim.tv_sec * 1000000000LL);
}

// Moves the damaged file to the first free "<file>.damaged[-n]", never over another one.
QString MoveAside(const QString& target) {
    const QByteArray from = QFile::encodeName(target);
    for (int n = 0; n < 1000; ++n) {
        const QString aside =
            target + QStringLiteral(".damaged") + (n ? QStringLiteral("-%1").arg(n) : QString());
        const QByteArray to = QFile::encodeName(aside);
        if (::link(from.constData(), to.constData()) == 0) {
            if (::unlink(from.constData()) == 0)
                return aside;
            ::unlink(to.constData());
            return {};
        }
        if (errno == EEXIST)
            continue;
        // Folders that refuse hard links: a rename, after checking the name is free.
        struct stat st {};
        if (::lstat(to.constData(), &st) == 0)
            continue;
        return ::rename(from.constData(), to.constData()) == 0 ? aside : QString();
    }
    return {};
}

struct Loaded {
    Hive hive;
    bool usable = true; // false: the file exists but must not be replaced
};

// Reads the root's file. A damaged one is moved aside (under the lock, re-read first in
// case another writer has just replaced it) and reported once.
Loaded Load(RootKey root, const QString& target, bool lockHeld) {
    const QString rootName = RootName(root);
    QByteArray bytes;
    bool absent = false;
    if (!ReadWholeFile(target, kMaxRegeditSize, &bytes, &absent))
        return {Hive(rootName), absent};
    ParseError error;
    if (std::optional<Hive> hive = ParseRegedit(bytes, rootName, &error))
        return {std::move(*hive), true};

    std::optional<StoreLock> lock;
    if (!lockHeld) {
        lock.emplace(target);
        if (ReadWholeFile(target, kMaxRegeditSize, &bytes, &absent)) {
            if (std::optional<Hive> hive = ParseRegedit(bytes, rootName, &error))
                return {std::move(*hive), true};
        } else {
            return {Hive(rootName), absent};
        }
    }
    const QString identity = Identity(target);
    const QString keptAs = MoveAside(target);
    if (keptAs.isEmpty()) {
        if (!Reported().contains(identity)) {
            Reported().insert(identity);
            Notices().push_back({target, {}, error});
        }
        return {Hive(rootName), false};
    }
    Notices().push_back({target, keptAs, error});
    return {Hive(rootName), true};
}

void RemoveStaleTemporaries(const QString& target) {
    // Left by a save that crashed; no save of ours is running while we hold the lock.
    const QFileInfo info(target);
    const QString prefix = info.fileName() + QStringLiteral(".tmp-");
    const QStringList names =
        QDir(info.absolutePath()).entryList({prefix + QStringLiteral("??????")}, QDir::Files | QDir::Hidden);
    for (const QString& name : names)
        QFile::remove(info.absolutePath() + QLatin1Char('/') + name);
}

bool Save(const QString& target, const Hive& hive) {
    const bool ok = WriteFileAtomically(
        target, hive.toRegedit(), [](int point) { return !Hook() || Hook()(static_cast<SavePoint>(point)); });
    if (ok)
        RemoveStaleTemporaries(target);
    return ok;
}

using Edit = std::function<bool(Hive&)>;

// One read-modify-write of a root; false when anything on the way fails.
bool Modify(RootKey root, const Edit& edit, const std::optional<ClassesBridge::Change>& change) {
    const QString target = WriteTarget(StoreFile(root));
    if (!MakeFolder(QFileInfo(target).absolutePath()))
        return false;
    StoreLock lock(target);
    if (!lock.held())
        return false;
    Loaded loaded = Load(root, target, true);
    if (!loaded.usable)
        return false;
    const Hive before = loaded.hive;
    Hive& after = loaded.hive;
    if (!edit(after))
        return false;
    if (root == RootKey::ClassesRoot && change) {
        if (const std::shared_ptr<ClassesBridge> bridge = Bridge();
            bridge && !bridge->apply(before, after, *change))
            return false;
    }
    if (before.root().sameTree(after.root()))
        return true; // nothing to save; a missing file is not created for nothing
    return Save(target, after);
}

} // namespace

QString RootName(RootKey root) {
    return root == RootKey::ClassesRoot ? QStringLiteral("HKEY_CLASSES_ROOT")
                                        : QStringLiteral("HKEY_CURRENT_USER");
}

QString StoreFile(RootKey root) {
    return ConfigHome() + QStringLiteral("/morbek/") +
           (root == RootKey::ClassesRoot ? QStringLiteral("classes.reg") : QStringLiteral("user.reg"));
}

Hive Snapshot(RootKey root) {
    Hive hive = Load(root, WriteTarget(StoreFile(root)), false).hive;
    if (root == RootKey::ClassesRoot)
        if (const std::shared_ptr<ClassesBridge> bridge = Bridge())
            bridge->overlay(hive);
    return hive;
}

bool KeyExists(RootKey root, const QString& key) {
    return Snapshot(root).find(key) != nullptr;
}

std::optional<Value> QueryValue(RootKey root, const QString& key, const QString& name) {
    const Hive hive = Snapshot(root);
    const Key* k = hive.find(key);
    if (!k)
        return std::nullopt;
    const Value* v = k->value(name);
    return v ? std::optional<Value>(*v) : std::nullopt;
}

WriteStatus SetValue(RootKey root, const QString& key, const QString& name, const Value& value) {
    bool existed = false;
    const bool ok = Modify(
        root,
        [&](Hive& hive) {
            existed = hive.find(key) != nullptr;
            Key* k = hive.create(key);
            if (!k)
                return false;
            for (QChar c : name)
                if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                    return false; // a name the file could not hold
            k->setValue(name, value);
            return true;
        },
        ClassesBridge::Change{ClassesBridge::Change::ValueSet, key, name});
    if (ok)
        return WriteStatus::Ok;
    return existed ? WriteStatus::SetValueFailed : WriteStatus::CreateKeyFailed;
}

WriteStatus DeleteKey(RootKey root, const QString& key) {
    const bool ok = Modify(
        root,
        [&](Hive& hive) {
            QStringList parts;
            if (!SplitKeyPath(key, &parts) || parts.isEmpty())
                return false; // the root itself cannot be deleted
            hive.remove(key);
            return true;
        },
        ClassesBridge::Change{ClassesBridge::Change::KeyDeleted, key, {}});
    return ok ? WriteStatus::Ok : WriteStatus::DeleteKeyFailed;
}

std::vector<DamageNotice> TakeDamageNotices() {
    return std::exchange(Notices(), {});
}

void SetClassesBridge(std::shared_ptr<ClassesBridge> bridge) {
    Bridge() = std::move(bridge);
}
std::shared_ptr<ClassesBridge> CurrentClassesBridge() {
    return Bridge();
}

void SetSaveHook(std::function<bool(SavePoint)> hook) {
    Hook() = std::move(hook);
}

} // namespace morbek::platform::registry
