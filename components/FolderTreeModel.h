#pragma once
// The folder tree of the folder browser. It shows one or more folder trees, each the
// subtree of its own QFileSystemModel below a chosen root folder, the root folder itself
// being a visible top item. Optionally the trees hang below one "computer" item that
// stands for the machine and has no path. Folders only; hidden folders are left out.
//
// Every tree has its own source model so that a folder reached through two roots (a
// mounted volume is also a folder below "/") maps back to exactly one item.
#include <QAbstractItemModel>
#include <QFileIconProvider>
#include <QPersistentModelIndex>
#include <QSet>
#include <QString>
#include <map>
#include <utility>
#include <vector>

class QFileSystemModel;

namespace morbek {

struct FolderRoot {
    QString path; // absolute, clean
    QString name; // shown for the root item
};

// The machine's mounted roots: "/" first, then the real file systems that are mounted on
// a folder (no kernel or memory file systems, no snap images, no second mount of the
// same volume), by path; each named by its volume label or else its mount point.
std::vector<FolderRoot> MountedRoots();

// Every item is a folder or a volume: their icons without the MIME look-up, theme search
// and type text that the general provider works out for each entry it reads. Called from
// the model's reading thread too, so it only hands out copies of icons made up front, on
// the interface thread, once per process.
class FolderIconProvider : public QFileIconProvider {
public:
    FolderIconProvider();
    QIcon icon(IconType type) const override;
    QIcon icon(const QFileInfo& info) const override;
    QString type(const QFileInfo& info) const override;

private:
    struct Icons {
        QIcon folder, drive;
    };
    const Icons* icons_;
};

class FolderTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    FolderTreeModel(std::vector<FolderRoot> roots, bool computerItem, QObject* parent = nullptr);
    ~FolderTreeModel() override;

    // The folder's absolute path; empty for the computer item and invalid indexes.
    QString FilePath(const QModelIndex& index) const;
    // The item of a folder inside one of the trees (the deepest root that holds it), its
    // chain of parents built at once; invalid when the folder is not in the trees.
    QModelIndex IndexOf(const QString& path);
    bool IsComputerItem(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // A source model finished reading a folder (its items may still be re-sorted).
    void directoryLoaded(const QString& path);

private:
    struct Tree {
        QString path, name;
        QFileSystemModel* model = nullptr;
        QPersistentModelIndex root;
        std::vector<std::pair<QPersistentModelIndex, QPersistentModelIndex>> moving; // ours, source
        bool resetting = false;
    };
    // Items below a tree root point (by internal id) at an entry naming their source parent.
    struct ParentEntry {
        int tree;
        QPersistentModelIndex source;
    };

    QModelIndex ToSource(const QModelIndex& index, int* tree = nullptr) const;
    QModelIndex FromSource(int tree, const QModelIndex& source) const;
    bool InSubtree(int tree, QModelIndex source) const;
    quintptr KeyFor(int tree, const QModelIndex& sourceParent) const;
    void Connect(int tree);
    // Reads a changed folder again in every tree that holds it.
    void Reread(const QString& folder);

    std::vector<Tree> trees_;
    bool computer_;
    FolderIconProvider icons_;
    mutable std::vector<ParentEntry> parents_;
    mutable std::map<std::pair<int, const void*>, size_t> parentKeys_;
    QSet<QString> watched_; // folders read, watched for changes while this model lives
    QSet<QString> changed_; // changed folders waiting to be read again
};

} // namespace morbek
