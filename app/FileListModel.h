#pragma once
// The file list: one item per file record with its icon, size, type, date and path,
// shown in four view styles over one model and one selection.
#include "app/EntryRows.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QStackedWidget>
#include <QStringList>
#include <vector>

class QAbstractItemView;
class QListView;
class QTreeView;
class QItemSelectionModel;
class QFont;
class QStyledItemDelegate;

namespace morbek {

// A caption broken into lines of at most width pixels as the Windows list control breaks
// it under a large icon: at blanks where it can, inside a word that is longer than a
// line. Nothing is dropped: the lines joined again give the caption.
QStringList WrapCaption(const QString& caption, const QFont& font, int width);

class FileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumns = 6;
    explicit FileListModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The two image lists; the one in use follows the view style.
    std::vector<QIcon> Small, Large;
    bool showLarge = true;

    void setColumnTitles(const QStringList& titles);
    // The items of a fill, and the word for "bytes" in the language of that fill.
    void setItems(std::vector<ListItem> items, const QString& bytesWord = {});
    // Sub-item 0 of a row: its size, one blank and the bytes word.
    QString sizeText(int row) const;
    void clear();
    const ListItem& item(int row) const { return items_[static_cast<size_t>(row)]; }
    const std::vector<ListItem>& items() const { return items_; }

private:
    std::vector<ListItem> items_;
    QString bytesWord_;
    QStringList titles_;
};

// The list control: its model, the icon views (large icons, small icons, list) and
// the details view, sharing one selection.
class TListFic : public QStackedWidget {
    Q_OBJECT
public:
    explicit TListFic(QWidget* parent = nullptr);

    enum ViewStyle { vsIcon = 1, vsSmallIcon = 2, vsList = 3, vsReport = 4 };
    void setViewStyle(int style);
    int viewStyle() const { return style_; }

    FileListModel* model() const { return model_; }
    QItemSelectionModel* selectionModel() const { return selection_; }
    QListView* iconView() const { return iconView_; }
    QTreeView* detailView() const { return detailView_; }
    QAbstractItemView* currentView() const;

    // Selected rows in list order (the order the items are shown in), each once.
    std::vector<int> selectedRows() const;
    int selectedCount() const;

    // Lays out the icon views for the names now in the list.
    void itemsChanged();

signals:
    void changed();
    void doubleClicked();
    void contextMenuAt(const QPoint& globalPos);
    // The user started dragging the selected entries out of the list.
    void dragOutRequested();

private:
    void applyIconViewStyle();
    void fitColumns();

    FileListModel* model_;
    QItemSelectionModel* selection_;
    QListView* iconView_;
    QTreeView* detailView_;
    QStyledItemDelegate* largeIcons_; // icon on top, caption wrapped whole below
    QStyledItemDelegate* lineItems_;  // small icons and list: icon and caption on one line
    int style_ = vsIcon;
};

} // namespace morbek
