#include "components/FolderTreeModel.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFileSystemWatcher>
#include <QHash>
#include <QStorageInfo>
#include <QTimer>
#include <algorithm>
#include <set>

namespace morbek {

namespace {

// Internal ids: the computer item, a tree root (its row says which tree), and from
// kFirstKey on, the entry of the item's source parent.
constexpr quintptr kComputerId = 1;
constexpr quintptr kTreeRootId = 2;
constexpr quintptr kFirstKey = 3;

bool IsPseudoFileSystem(const QByteArray& type) {
    // Kernel interfaces, memory file systems, container layers, snap images and desktop
    // bridges: nothing a user would call a drive.
    static const std::set<QByteArray> kPseudo = {
        "autofs",  "binfmt_misc", "bpf",        "cgroup",     "cgroup2",         "configfs",
        "debugfs", "devpts",      "devtmpfs",   "efivarfs",   "fuse.gvfsd-fuse", "fuse.portal",
        "fusectl", "hugetlbfs",   "mqueue",     "nsfs",       "overlay",         "proc",
        "pstore",  "ramfs",       "rpc_pipefs", "securityfs", "selinuxfs",       "squashfs",
        "sysfs",   "tmpfs",       "tracefs"};
    return kPseudo.count(type) > 0;
}

bool UnderSystemFolder(const QString& path) {
    for (const char* folder : {"/proc", "/sys", "/dev"}) {
        const QString prefix = QString::fromLatin1(folder);
        if (path == prefix || path.startsWith(prefix + QLatin1Char('/')))
            return true;
    }
    return false;
}

QString CleanAbsolute(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

bool Holds(const QString& root, const QString& path) {
    return path == root || root == QLatin1String("/") || path.startsWith(root + QLatin1Char('/'));
}

// One folder watcher for the whole program, never closed. On Linux closing a watcher
// waits for the kernel to retire its watches, 10 to 25 ms, and each source model would
// close its own with every folder browser. The source models therefore do not watch:
// the trees register the folders they have read here, and a change has the folder read
// again (FolderTreeModel::Reread). Folders are counted, as two trees may hold one.
QFileSystemWatcher& SharedWatcher() {
    static QFileSystemWatcher* const watcher = new QFileSystemWatcher;
    return *watcher;
}

QHash<QString, int>& WatchCounts() {
    static QHash<QString, int> counts;
    return counts;
}

// The watcher drops a folder that is deleted while it stays counted here: one made again
// under that name is added back when it is read.
void EnsureWatched(const QString& folder) {
    if (!SharedWatcher().directories().contains(folder))
        SharedWatcher().addPath(folder);
}

void Watch(const QString& folder) {
    ++WatchCounts()[folder];
    EnsureWatched(folder);
}

void Unwatch(const QString& folder) {
    const auto it = WatchCounts().find(folder);
    if (it == WatchCounts().end())
        return;
    if (--it.value() == 0) {
        WatchCounts().erase(it);
        SharedWatcher().removePath(folder);
    }
}

} // namespace

std::vector<FolderRoot> MountedRoots() {
    const QStorageInfo rootVolume = QStorageInfo::root();
    std::vector<FolderRoot> roots{
        {QStringLiteral("/"), rootVolume.isValid() ? rootVolume.displayName() : QStringLiteral("/")}};
    // A bind mount or a second mount of one volume (same device and subvolume) shows once.
    std::set<std::pair<QByteArray, QByteArray>> volumes;
    std::set<QString> paths{QStringLiteral("/")};
    if (rootVolume.isValid())
        volumes.insert({rootVolume.device(), rootVolume.subvolume()});

    QList<QStorageInfo> mounted = QStorageInfo::mountedVolumes();
    std::sort(mounted.begin(), mounted.end(),
              [](const QStorageInfo& a, const QStorageInfo& b) { return a.rootPath() < b.rootPath(); });
    for (const QStorageInfo& volume : mounted) {
        const QString path = volume.rootPath();
        if (!volume.isValid() || !volume.isReady() || IsPseudoFileSystem(volume.fileSystemType()) ||
            UnderSystemFolder(path) || !QFileInfo(path).isDir())
            continue;
        if (!paths.insert(path).second || !volumes.insert({volume.device(), volume.subvolume()}).second)
            continue;
        roots.push_back({path, volume.displayName()});
    }
    return roots;
}

FolderIconProvider::FolderIconProvider() {
    // Read from image files by the style: loaded for the first browser and kept (never
    // freed, so that no icon outlives the application object at exit).
    static const Icons* const icons =
        new Icons{QFileIconProvider::icon(Folder), QFileIconProvider::icon(Drive)};
    icons_ = icons;
}

QIcon FolderIconProvider::icon(IconType type) const {
    return type == Folder ? icons_->folder : type == Drive ? icons_->drive : QFileIconProvider::icon(type);
}

QIcon FolderIconProvider::icon(const QFileInfo& info) const {
    return info.isRoot() ? icons_->drive : icons_->folder;
}

QString FolderIconProvider::type(const QFileInfo& info) const {
    // Never shown (the tree has one column), but the model reads an empty type as an
    // entry not yet looked at and leaves it out.
    return info.isRoot()  ? QStringLiteral("Drive")
           : info.isDir() ? QStringLiteral("Folder")
                          : QStringLiteral("File");
}

FolderTreeModel::FolderTreeModel(std::vector<FolderRoot> roots, bool computerItem, QObject* parent)
    : QAbstractItemModel(parent), computer_(computerItem) {
    trees_.reserve(roots.size());
    for (FolderRoot& root : roots) {
        Tree tree;
        tree.path = CleanAbsolute(root.path);
        tree.name = std::move(root.name);
        tree.model = new QFileSystemModel(this);
        tree.model->setReadOnly(true);
        tree.model->setIconProvider(&icons_);
        tree.model->setOption(QFileSystemModel::DontWatchForChanges);
        tree.model->setFilter(QDir::Dirs | QDir::Drives | QDir::NoDotAndDotDot);
        tree.model->setRootPath(tree.path);
        tree.root = tree.model->index(tree.path);
        trees_.push_back(std::move(tree));
    }
    for (int t = 0; t < static_cast<int>(trees_.size()); ++t)
        Connect(t);
    connect(&SharedWatcher(), &QFileSystemWatcher::directoryChanged, this, [this](const QString& folder) {
        if (!watched_.contains(folder))
            return;
        // A burst of changes (a folder unpacked there) is read again once.
        if (changed_.isEmpty())
            QTimer::singleShot(0, this, [this]() {
                const QSet<QString> folders = std::exchange(changed_, {});
                for (const QString& changed : folders)
                    Reread(changed);
            });
        changed_.insert(folder);
    });
}

FolderTreeModel::~FolderTreeModel() {
    for (const QString& folder : std::as_const(watched_))
        Unwatch(folder);
    // Before the icon provider they read from on their own thread.
    for (Tree& tree : trees_)
        delete tree.model;
}

void FolderTreeModel::Reread(const QString& folder) {
    for (Tree& tree : trees_) {
        if (!Holds(tree.path, folder))
            continue;
        // A source model reads a folder once. Setting its root path marks the previous
        // root as not read: the folder is made root for a moment, then the tree's own
        // root again (the folder is then not read, and the root is read afresh).
        const QString other = folder != tree.path             ? folder
                              : tree.path != QDir::rootPath() ? QFileInfo(tree.path).path()
                                                              : QDir::tempPath();
        if (other == tree.path)
            continue;
        tree.model->setRootPath(other);
        tree.model->setRootPath(tree.path);
        const QModelIndex source = tree.model->index(folder);
        if (folder != tree.path && source.isValid() && tree.model->canFetchMore(source))
            tree.model->fetchMore(source);
    }
}

void FolderTreeModel::Connect(int t) {
    QFileSystemModel* fileModel = trees_[t].model;
    connect(fileModel, &QFileSystemModel::directoryLoaded, this, [this](const QString& path) {
        const QString folder = QDir::cleanPath(path);
        if (!watched_.contains(folder)) {
            watched_.insert(folder);
            Watch(folder);
        } else {
            EnsureWatched(folder);
        }
        emit directoryLoaded(path);
    });

    // Changes above a tree root (the source model builds the root's chain of parents) are
    // not ours; changes inside the subtree are passed on as they come.
    connect(fileModel, &QAbstractItemModel::rowsAboutToBeInserted, this,
            [this, t](const QModelIndex& parent, int first, int last) {
                if (InSubtree(t, parent))
                    beginInsertRows(FromSource(t, parent), first, last);
            });
    connect(fileModel, &QAbstractItemModel::rowsInserted, this, [this, t](const QModelIndex& parent) {
        if (InSubtree(t, parent))
            endInsertRows();
    });
    connect(fileModel, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this, t](const QModelIndex& parent, int first, int last) {
                Tree& tree = trees_[t];
                if (InSubtree(t, parent)) {
                    beginRemoveRows(FromSource(t, parent), first, last);
                } else if (tree.root.isValid() && tree.root.parent() == parent && tree.root.row() >= first &&
                           tree.root.row() <= last) {
                    // The root folder itself goes (deleted, unmounted): its tree empties.
                    tree.resetting = true;
                    beginResetModel();
                }
            });
    connect(fileModel, &QAbstractItemModel::rowsRemoved, this, [this, t](const QModelIndex& parent) {
        Tree& tree = trees_[t];
        if (tree.resetting) {
            tree.resetting = false;
            parents_.clear();
            parentKeys_.clear();
            endResetModel();
        } else if (InSubtree(t, parent)) {
            endRemoveRows();
        }
    });
    connect(fileModel, &QAbstractItemModel::dataChanged, this,
            [this, t](const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles) {
                if (topLeft.column() != 0)
                    return;
                const Tree& tree = trees_[t];
                const QModelIndex parent = topLeft.parent();
                if (InSubtree(t, parent)) {
                    emit dataChanged(FromSource(t, topLeft), FromSource(t, bottomRight.siblingAtColumn(0)),
                                     roles);
                } else if (tree.root.isValid() && tree.root.parent() == parent &&
                           tree.root.row() >= topLeft.row() && tree.root.row() <= bottomRight.row()) {
                    const QModelIndex rootItem = FromSource(t, tree.root);
                    emit dataChanged(rootItem, rootItem, roles);
                }
            });
    // Re-sorting moves items; our persistent indexes follow their source items.
    connect(fileModel, &QAbstractItemModel::layoutAboutToBeChanged, this, [this, t]() {
        emit layoutAboutToBeChanged();
        Tree& tree = trees_[t];
        tree.moving.clear();
        for (const QModelIndex& ours : persistentIndexList()) {
            int owner = -1;
            const QModelIndex source = ToSource(ours, &owner);
            if (owner == t && ours.internalId() >= kFirstKey)
                tree.moving.emplace_back(ours, source);
        }
    });
    connect(fileModel, &QAbstractItemModel::layoutChanged, this, [this, t]() {
        Tree& tree = trees_[t];
        QModelIndexList from, to;
        for (const auto& [ours, source] : tree.moving) {
            from.append(ours);
            to.append(source.isValid() && InSubtree(t, source.parent()) ? FromSource(t, source)
                                                                        : QModelIndex());
        }
        tree.moving.clear();
        changePersistentIndexList(from, to);
        emit layoutChanged();
    });
    connect(fileModel, &QAbstractItemModel::modelAboutToBeReset, this, [this]() { beginResetModel(); });
    connect(fileModel, &QAbstractItemModel::modelReset, this, [this, t]() {
        Tree& tree = trees_[t];
        tree.root = tree.model->index(tree.path);
        parents_.clear();
        parentKeys_.clear();
        endResetModel();
    });
}

bool FolderTreeModel::InSubtree(int t, QModelIndex source) const {
    const QPersistentModelIndex& root = trees_[t].root;
    if (!root.isValid())
        return false;
    for (; source.isValid(); source = source.parent())
        if (source == root)
            return true;
    return false;
}

quintptr FolderTreeModel::KeyFor(int t, const QModelIndex& sourceParent) const {
    const auto key = std::make_pair(t, static_cast<const void*>(sourceParent.internalPointer()));
    const auto found = parentKeys_.find(key);
    if (found != parentKeys_.end()) {
        ParentEntry& entry = parents_[found->second];
        // A removed folder's node can be reused for another folder: refresh the entry.
        if (entry.source != sourceParent)
            entry.source = sourceParent;
        return kFirstKey + found->second;
    }
    parents_.push_back({t, sourceParent});
    parentKeys_.emplace(key, parents_.size() - 1);
    return kFirstKey + (parents_.size() - 1);
}

QModelIndex FolderTreeModel::FromSource(int t, const QModelIndex& source) const {
    if (!source.isValid())
        return {};
    const QModelIndex first = source.siblingAtColumn(0);
    if (first == trees_[t].root)
        return createIndex(t, 0, kTreeRootId);
    return createIndex(first.row(), 0, KeyFor(t, first.parent()));
}

QModelIndex FolderTreeModel::ToSource(const QModelIndex& index, int* tree) const {
    if (!index.isValid() || index.model() != this)
        return {};
    const quintptr id = index.internalId();
    if (id == kComputerId)
        return {};
    if (id == kTreeRootId) {
        if (index.row() >= static_cast<int>(trees_.size()))
            return {};
        if (tree)
            *tree = index.row();
        return trees_[index.row()].root;
    }
    const size_t key = id - kFirstKey;
    if (key >= parents_.size() || !parents_[key].source.isValid())
        return {};
    const ParentEntry& entry = parents_[key];
    if (tree)
        *tree = entry.tree;
    return trees_[entry.tree].model->index(index.row(), 0, entry.source);
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column != 0)
        return {};
    const int treeCount = static_cast<int>(trees_.size());
    if (!parent.isValid()) {
        if (computer_)
            return row == 0 ? createIndex(0, 0, kComputerId) : QModelIndex();
        return row < treeCount ? createIndex(row, 0, kTreeRootId) : QModelIndex();
    }
    if (parent.internalId() == kComputerId)
        return row < treeCount ? createIndex(row, 0, kTreeRootId) : QModelIndex();
    int t = -1;
    const QModelIndex sourceParent = ToSource(parent, &t);
    if (!sourceParent.isValid() || row >= trees_[t].model->rowCount(sourceParent))
        return {};
    return createIndex(row, 0, KeyFor(t, sourceParent));
}

QModelIndex FolderTreeModel::parent(const QModelIndex& child) const {
    if (!child.isValid())
        return {};
    const quintptr id = child.internalId();
    if (id == kComputerId)
        return {};
    if (id == kTreeRootId)
        return computer_ ? createIndex(0, 0, kComputerId) : QModelIndex();
    const size_t key = id - kFirstKey;
    if (key >= parents_.size())
        return {};
    const ParentEntry& entry = parents_[key];
    return FromSource(entry.tree, entry.source);
}

int FolderTreeModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid())
        return computer_ ? 1 : static_cast<int>(trees_.size());
    if (parent.column() != 0)
        return 0;
    if (parent.internalId() == kComputerId)
        return static_cast<int>(trees_.size());
    int t = -1;
    const QModelIndex source = ToSource(parent, &t);
    return source.isValid() ? trees_[t].model->rowCount(source) : 0;
}

int FolderTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool FolderTreeModel::hasChildren(const QModelIndex& parent) const {
    if (!parent.isValid() || parent.internalId() == kComputerId)
        return rowCount(parent) > 0;
    int t = -1;
    const QModelIndex source = ToSource(parent, &t);
    return source.isValid() && trees_[t].model->hasChildren(source);
}

bool FolderTreeModel::canFetchMore(const QModelIndex& parent) const {
    int t = -1;
    const QModelIndex source = ToSource(parent, &t);
    return source.isValid() && trees_[t].model->canFetchMore(source);
}

void FolderTreeModel::fetchMore(const QModelIndex& parent) {
    int t = -1;
    const QModelIndex source = ToSource(parent, &t);
    if (source.isValid())
        trees_[t].model->fetchMore(source);
}

QVariant FolderTreeModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    if (index.internalId() == kComputerId) {
        if (role == Qt::DisplayRole || role == Qt::DecorationRole)
            return trees_.empty() ? QVariant() : trees_.front().model->myComputer(role);
        return {};
    }
    if (index.internalId() == kTreeRootId && index.row() < static_cast<int>(trees_.size())) {
        const Tree& tree = trees_[index.row()];
        switch (role) {
        case Qt::DisplayRole:
            return tree.name;
        case Qt::ToolTipRole:
            return tree.path;
        case Qt::DecorationRole:
            if (computer_)
                return icons_.icon(QAbstractFileIconProvider::Drive);
            break;
        default:
            break;
        }
    }
    return ToSource(index).data(role);
}

Qt::ItemFlags FolderTreeModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

bool FolderTreeModel::IsComputerItem(const QModelIndex& index) const {
    return index.isValid() && index.model() == this && index.internalId() == kComputerId;
}

QString FolderTreeModel::FilePath(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this || index.internalId() == kComputerId)
        return {};
    if (index.internalId() == kTreeRootId)
        return index.row() < static_cast<int>(trees_.size()) ? trees_[index.row()].path : QString();
    int t = -1;
    const QModelIndex source = ToSource(index, &t);
    return source.isValid() ? QDir::cleanPath(trees_[t].model->filePath(source)) : QString();
}

QModelIndex FolderTreeModel::IndexOf(const QString& path) {
    if (path.isEmpty())
        return {};
    const QString wanted = CleanAbsolute(path);
    int best = -1;
    for (int t = 0; t < static_cast<int>(trees_.size()); ++t)
        if (Holds(trees_[t].path, wanted) && (best < 0 || trees_[t].path.size() > trees_[best].path.size()))
            best = t;
    if (best < 0 || !trees_[best].root.isValid())
        return {};
    if (wanted == trees_[best].path)
        return createIndex(best, 0, kTreeRootId);
    const QModelIndex source = trees_[best].model->index(wanted);
    if (!source.isValid() || !InSubtree(best, source.parent()))
        return {};
    return FromSource(best, source);
}

} // namespace morbek
