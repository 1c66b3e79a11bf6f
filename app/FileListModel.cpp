#include "app/FileListModel.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QListView>
#include <QTreeView>
#include <algorithm>
#include <cmath>

namespace morbek {

namespace {

// Design widths of the six columns, in 96-dpi units.
constexpr int kColumnWidths[FileListModel::kColumns] = {110, 80, 140, 135, 200, 50};

} // namespace

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(items_.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const ListItem& it = item(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        if (role == Qt::ToolTipRole && index.column() != 0)
            return {};
        switch (index.column()) {
        case 0: return it.caption;
        case 1: return sizeText(index.row());
        case 2: return it.typeName;
        case 3: return it.dateText;
        case 4: return it.path;
        default: return {};
        }
    case Qt::DecorationRole: {
        if (index.column() != 0 || it.imageIndex < 0)
            return {};
        const std::vector<QIcon>& images = showLarge ? Large : Small;
        if (static_cast<size_t>(it.imageIndex) >= images.size())
            return {};
        return images[static_cast<size_t>(it.imageIndex)];
    }
    case Qt::TextAlignmentRole:
        return index.column() == 1 ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                   : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole)
        return titles_.value(section);
    if (role == Qt::TextAlignmentRole)
        return section == 1 ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                            : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    // Read-only: captions are never edited in place. Entries can be dragged out to a
    // file manager, which extracts them (see TListFic::dragOutRequested).
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren | Qt::ItemIsDragEnabled;
}

void FileListModel::setColumnTitles(const QStringList& titles) {
    titles_ = titles;
    emit headerDataChanged(Qt::Horizontal, 0, kColumns - 1);
}

void FileListModel::setItems(std::vector<ListItem> items, const QString& bytesWord) {
    beginResetModel();
    items_ = std::move(items);
    bytesWord_ = bytesWord;
    endResetModel();
}

QString FileListModel::sizeText(int row) const {
    // Built when asked for: a 65,535-entry fill then costs no string per size.
    return QString::number(item(row).size) + QLatin1Char(' ') + bytesWord_;
}

void FileListModel::clear() { setItems({}); }

// --- TListFic -------------------------------------------------------------------------

namespace {

// The views forward the right button to the window, which decides whether the context
// menu may pop up.
// A drag of selected entries is not Qt's item drag: the list asks its window to carry
// it out (the entries are extracted where they are dropped).
void RequestDragOut(QWidget* view) {
    for (QWidget* w = view->parentWidget(); w; w = w->parentWidget())
        if (auto* list = qobject_cast<TListFic*>(w)) {
            emit list->dragOutRequested();
            return;
        }
}

class IconView : public QListView {
public:
    using QListView::QListView;

protected:
    void contextMenuEvent(QContextMenuEvent* e) override { e->ignore(); }
    void mousePressEvent(QMouseEvent* e) override {
        // A static arrangement turns item dragging off; dragging out stays on.
        setDragEnabled(true);
        QListView::mousePressEvent(e);
    }
    void startDrag(Qt::DropActions) override { RequestDragOut(this); }
};

class DetailView : public QTreeView {
public:
    using QTreeView::QTreeView;

protected:
    void contextMenuEvent(QContextMenuEvent* e) override { e->ignore(); }
    void startDrag(Qt::DropActions) override { RequestDragOut(this); }
};

void CommonViewSetup(QAbstractItemView* view) {
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Dragged out, never dropped onto: drops go on to the window, which opens cabinets.
    view->setDragDropMode(QAbstractItemView::DragOnly);
    view->setTextElideMode(Qt::ElideRight);
}

} // namespace

TListFic::TListFic(QWidget* parent)
    : QStackedWidget(parent), model_(new FileListModel(this)), selection_(new QItemSelectionModel(model_, this)),
      iconView_(new IconView(this)), detailView_(new DetailView(this)) {
    setObjectName(QStringLiteral("ListFic"));
    iconView_->setObjectName(QStringLiteral("ListFicIcons"));
    detailView_->setObjectName(QStringLiteral("ListFicDetails"));
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(iconView_),
                                    static_cast<QAbstractItemView*>(detailView_)}) {
        view->setModel(model_);
        view->setSelectionModel(selection_);
        CommonViewSetup(view);
        connect(view, &QAbstractItemView::doubleClicked, this, [this] { emit doubleClicked(); });
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, this,
                [this, view](const QPoint& pos) { emit contextMenuAt(view->viewport()->mapToGlobal(pos)); });
    }
    iconView_->setModelColumn(0);
    iconView_->setUniformItemSizes(true);
    iconView_->setLayoutMode(QListView::Batched);
    iconView_->setBatchSize(2000);

    detailView_->setRootIsDecorated(false);
    detailView_->setItemsExpandable(false);
    detailView_->setUniformRowHeights(true);
    detailView_->setAllColumnsShowFocus(true);
    detailView_->setSortingEnabled(false);
    detailView_->setIconSize(QSize(16, 16));
    QHeaderView* header = detailView_->header();
    header->setSectionsClickable(false);
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    for (int c = 0; c < FileListModel::kColumns; ++c)
        header->resizeSection(c, kColumnWidths[c]);

    addWidget(iconView_);
    addWidget(detailView_);

    // Every change of the list, a rebuild included, refreshes the selection summary.
    connect(selection_, &QItemSelectionModel::selectionChanged, this, &TListFic::changed);
    connect(model_, &QAbstractItemModel::modelReset, this, &TListFic::changed);
    connect(model_, &QAbstractItemModel::rowsInserted, this, &TListFic::changed);
    connect(model_, &QAbstractItemModel::rowsRemoved, this, &TListFic::changed);

    setViewStyle(vsIcon);
}

QAbstractItemView* TListFic::currentView() const {
    return style_ == vsReport ? static_cast<QAbstractItemView*>(detailView_)
                              : static_cast<QAbstractItemView*>(iconView_);
}

void TListFic::setViewStyle(int style) {
    style_ = style;
    model_->showLarge = style == vsIcon;
    if (style == vsReport) {
        setCurrentWidget(detailView_);
    } else {
        applyIconViewStyle();
        setCurrentWidget(iconView_);
    }
    currentView()->viewport()->update();
}

void TListFic::applyIconViewStyle() {
    const QFontMetrics fm(iconView_->font());
    const QFontMetricsF exact(iconView_->font());
    qreal longest = 0;
    // The small-icon and list styles give every item the room of the longest name, as
    // the original list did, instead of cutting names to a fixed width. (Large icons wrap
    // names in a fixed grid: nothing to measure.)
    const auto& items = model_->items();
    const size_t sample = style_ == vsIcon ? 0 : std::min<size_t>(items.size(), 5000);
    for (size_t i = 0; i < sample; ++i)
        longest = std::max(longest, exact.horizontalAdvance(items[i].caption));
    // Drawn text takes a fraction of a pixel more than its rounded advance, and the item
    // delegate adds its own margins: without room to spare the longest name is elided.
    const int textWidth = std::clamp(static_cast<int>(std::ceil(longest)) + 8, 40, 268);
    switch (style_) {
    case vsIcon:
        iconView_->setViewMode(QListView::IconMode);
        iconView_->setFlow(QListView::LeftToRight);
        iconView_->setWrapping(true);
        iconView_->setIconSize(QSize(32, 32));
        iconView_->setGridSize(QSize(std::max(76, fm.averageCharWidth() * 13), 32 + 2 * fm.height() + 10));
        iconView_->setWordWrap(true);
        break;
    case vsSmallIcon:
        iconView_->setViewMode(QListView::ListMode);
        iconView_->setFlow(QListView::LeftToRight);
        iconView_->setWrapping(true);
        iconView_->setIconSize(QSize(16, 16));
        iconView_->setGridSize(QSize(textWidth + 28, std::max(18, fm.height() + 4)));
        iconView_->setWordWrap(false);
        break;
    default:
        iconView_->setViewMode(QListView::ListMode);
        iconView_->setFlow(QListView::TopToBottom);
        iconView_->setWrapping(true);
        iconView_->setIconSize(QSize(16, 16));
        iconView_->setGridSize(QSize(textWidth + 28, std::max(18, fm.height() + 4)));
        iconView_->setWordWrap(false);
        break;
    }
    // Items are arranged by the view, never dragged around.
    iconView_->setMovement(QListView::Static);
    iconView_->setResizeMode(QListView::Adjust);
    iconView_->setSpacing(0);
}

void TListFic::itemsChanged() {
    if (style_ != vsReport)
        applyIconViewStyle();
}

std::vector<int> TListFic::selectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : selection_->selectedIndexes())
        rows.push_back(index.row());
    // Selection order is the order of clicks; commands want list order.
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int TListFic::selectedCount() const { return static_cast<int>(selectedRows().size()); }

} // namespace morbek
