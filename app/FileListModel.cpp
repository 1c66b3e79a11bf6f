#include "app/FileListModel.h"

#include "components/Busy.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QHash>
#include <QHeaderView>
#include <QListView>
#include <QMouseEvent>
#include <QPainter>
#include <QSet>
#include <QStyle>
#include <QStyledItemDelegate>
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

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

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
        case 0:
            return it.caption;
        case 1:
            return sizeText(index.row());
        case 2:
            return it.typeName;
        case 3:
            return it.dateText;
        case 4:
            return it.path;
        default:
            return {};
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

void FileListModel::clear() {
    setItems({});
}

// --- TListFic -------------------------------------------------------------------------

QStringList WrapCaption(const QString& caption, const QFont& font, int width) {
    const QFontMetricsF fm(font);
    const auto fits = [&](const QString& text) { return fm.horizontalAdvance(text) <= width; };
    QStringList lines;
    QString rest = caption;
    while (!rest.isEmpty()) {
        if (fits(rest)) {
            lines << rest;
            break;
        }
        // The longest start that fits, one character at least.
        int lo = 1, hi = static_cast<int>(rest.size()) - 1;
        while (lo < hi) {
            const int mid = (lo + hi + 1) / 2;
            if (fits(rest.left(mid)))
                lo = mid;
            else
                hi = mid - 1;
        }
        int cut = lo;
        if (cut < rest.size() && rest.at(cut) == QLatin1Char(' ')) {
            cut += 1; // the blank hangs at the end of the line
        } else if (const qsizetype blank = rest.lastIndexOf(QLatin1Char(' '), cut - 1); blank >= 0) {
            cut = static_cast<int>(blank) + 1;
        }
        lines << rest.left(cut);
        rest.remove(0, cut);
    }
    return lines;
}

namespace {

// A dotted frame around the item that has the keyboard focus, as the Windows list
// draws it. Fusion draws its own only after a Tab and hides it on a selected item.
void DrawFocusFrame(QPainter* painter, const QStyleOptionViewItem& opt, const QRect& rect) {
    if (!(opt.state & QStyle::State_HasFocus))
        return;
    const QPalette::ColorGroup group =
        opt.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
    const bool selected = opt.state & QStyle::State_Selected;
    painter->save();
    painter->setPen(QPen(opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text), 1,
                         Qt::DotLine));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(rect.adjusted(0, 0, -1, -1));
    painter->restore();
}

// Small icons and list: Qt's own drawing, each item sized for its own name, with the
// focus frame.
class LineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        DrawFocusFrame(painter, option, option.rect);
    }
};

// Large icons: every item is a cell of one width with the icon on top and the caption
// wrapped whole below it, as tall as its own caption needs. Qt's own drawing breaks only
// at blanks and cuts a long name with "...".
class LargeIconDelegate : public QStyledItemDelegate {
public:
    static constexpr int kPad = 2;
    using QStyledItemDelegate::QStyledItemDelegate;
    int cellWidth = 76;

    int textWidth() const { return cellWidth - 4 * kPad; }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const int count = lineCount(index.data(Qt::DisplayRole).toString(), option.font);
        return {cellWidth, kPad + option.decorationSize.height() + 2 * kPad +
                               count * QFontMetrics(option.font).lineSpacing() + 2 * kPad};
    }

    // The view asks for every item's size at each layout (a resize, a sort): each caption
    // is wrapped once for a font and width.
    int lineCount(const QString& caption, const QFont& font) const {
        if (countedWidth_ != textWidth() || countedFont_ != font || lineCounts_.size() > 200000) {
            lineCounts_.clear();
            countedFont_ = font;
            countedWidth_ = textWidth();
        }
        if (const auto it = lineCounts_.constFind(caption); it != lineCounts_.constEnd())
            return *it;
        const int count = std::max<int>(1, static_cast<int>(WrapCaption(caption, font, textWidth()).size()));
        lineCounts_.insert(caption, count);
        return count;
    }

private:
    mutable QHash<QString, int> lineCounts_;
    mutable QFont countedFont_;
    mutable int countedWidth_ = -1;

public:
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QRect r = opt.rect;
        const QPalette::ColorGroup group =
            opt.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
        const bool selected = opt.state & QStyle::State_Selected;
        painter->save();
        const QSize is = opt.decorationSize;
        const QRect iconRect(r.left() + (r.width() - is.width()) / 2, r.top() + kPad, is.width(),
                             is.height());
        opt.icon.paint(painter, iconRect, Qt::AlignCenter,
                       !(opt.state & QStyle::State_Enabled) ? QIcon::Disabled
                       : selected                           ? QIcon::Selected
                                                            : QIcon::Normal);
        const QStringList lines = WrapCaption(opt.text, opt.font, textWidth());
        const QFontMetricsF fm(opt.font);
        qreal widest = 0;
        for (const QString& line : lines)
            widest = std::max(widest, fm.horizontalAdvance(line.trimmed()));
        const int lineHeight = QFontMetrics(opt.font).lineSpacing();
        const int w = static_cast<int>(std::ceil(widest)) + 2 * kPad;
        const QRect textRect(r.left() + (r.width() - w) / 2, iconRect.bottom() + 1 + kPad, w,
                             static_cast<int>(std::max<qsizetype>(1, lines.size())) * lineHeight + 2 * kPad);
        if (selected)
            painter->fillRect(textRect, opt.palette.brush(group, QPalette::Highlight));
        painter->setFont(opt.font);
        painter->setPen(opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        int y = textRect.top() + kPad;
        for (const QString& line : lines) {
            painter->drawText(QRect(r.left(), y, r.width(), lineHeight), Qt::AlignHCenter | Qt::AlignTop,
                              line.trimmed());
            y += lineHeight;
        }
        painter->restore();
        DrawFocusFrame(painter, opt, textRect);
    }
};

// A drag of selected entries is not Qt's item drag: the list asks its window to carry
// it out (the entries are extracted where they are dropped).
void RequestDragOut(QWidget* view) {
    for (QWidget* w = view->parentWidget(); w; w = w->parentWidget())
        if (auto* list = qobject_cast<TListFic*>(w)) {
            emit list->dragOutRequested();
            return;
        }
}

// The views forward the right button to the window, which decides whether the context
// menu may pop up.
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
    // While a file is read the list is hidden under the animation and about to be
    // replaced: its batched layout waits (its timers fire again once the read is over)
    // instead of measuring thousands of captions at each pump of the read.
    void timerEvent(QTimerEvent* e) override {
        if (!busy::IsBusy())
            QListView::timerEvent(e);
    }
};

class DetailView : public QTreeView {
public:
    using QTreeView::QTreeView;

protected:
    void contextMenuEvent(QContextMenuEvent* e) override { e->ignore(); }
    void startDrag(Qt::DropActions) override { RequestDragOut(this); }
    // The focus frame around the whole current row, whatever the style draws.
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override {
        QTreeView::drawRow(painter, option, index);
        if ((hasFocus() || viewport()->hasFocus()) && index.row() == currentIndex().row() &&
            currentIndex().isValid()) {
            QStyleOptionViewItem opt = option;
            opt.state |= QStyle::State_HasFocus;
            if (selectionModel()->isRowSelected(index.row(), index.parent()))
                opt.state |= QStyle::State_Selected;
            QRect row = option.rect;
            row.setLeft(0);
            row.setRight(std::max(row.right(), header()->length() - header()->offset() - 1));
            DrawFocusFrame(painter, opt, row);
        }
    }
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
    : QStackedWidget(parent), model_(new FileListModel(this)),
      selection_(new QItemSelectionModel(model_, this)), iconView_(new IconView(this)),
      detailView_(new DetailView(this)), largeIcons_(new LargeIconDelegate(this)),
      lineItems_(new LineDelegate(this)) {
    setObjectName(QStringLiteral("ListFic"));
    iconView_->setObjectName(QStringLiteral("ListFicIcons"));
    detailView_->setObjectName(QStringLiteral("ListFicDetails"));
    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(iconView_), static_cast<QAbstractItemView*>(detailView_)}) {
        view->setModel(model_);
        view->setSelectionModel(selection_);
        CommonViewSetup(view);
        connect(view, &QAbstractItemView::doubleClicked, this, [this] { emit doubleClicked(); });
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, this,
                [this, view](const QPoint& pos) { emit contextMenuAt(view->viewport()->mapToGlobal(pos)); });
    }
    iconView_->setModelColumn(0);
    // Each item is as large as its own caption: one size for all would be the size of
    // one (the last) entry's caption, and would cut every other name to it.
    iconView_->setUniformItemSizes(false);
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
    fitColumns();

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
    // The small-icon and list styles give every column the room of the longest name, as
    // the original list did, instead of cutting names to a fixed width. Longest first by
    // characters: once no longer caption can be wider, the rest need no measuring.
    qreal longest = 0;
    if (style_ != vsIcon) {
        std::vector<const QString*> captions;
        captions.reserve(model_->items().size());
        for (const ListItem& item : model_->items())
            captions.push_back(&item.caption);
        std::sort(captions.begin(), captions.end(),
                  [](const QString* a, const QString* b) { return a->size() > b->size(); });
        const qreal widestChar = exact.maxWidth();
        for (const QString* caption : captions) {
            if (static_cast<qreal>(caption->size()) * widestChar <= longest)
                break;
            longest = std::max(longest, exact.horizontalAdvance(*caption));
        }
    }
    // Drawn text takes a fraction of a pixel more than its rounded advance, and the item
    // delegate adds its own margins: without room to spare the longest name is elided.
    const int textWidth = std::max(static_cast<int>(std::ceil(longest)) + 8, 40);
    const int lineHeight = std::max(18, fm.height() + 4);
    switch (style_) {
    case vsIcon:
        iconView_->setViewMode(QListView::IconMode);
        iconView_->setFlow(QListView::LeftToRight);
        iconView_->setWrapping(true);
        iconView_->setIconSize(QSize(32, 32));
        // No grid: rows are as tall as their tallest caption, columns one cell wide.
        static_cast<LargeIconDelegate*>(largeIcons_)->cellWidth = std::max(80, fm.averageCharWidth() * 14);
        iconView_->setGridSize(QSize());
        iconView_->setSpacing(4);
        iconView_->setWordWrap(true);
        iconView_->setItemDelegate(largeIcons_);
        break;
    case vsSmallIcon:
        iconView_->setViewMode(QListView::ListMode);
        iconView_->setFlow(QListView::LeftToRight);
        iconView_->setWrapping(true);
        iconView_->setIconSize(QSize(16, 16));
        iconView_->setGridSize(QSize(textWidth + 28, lineHeight));
        iconView_->setSpacing(0);
        iconView_->setWordWrap(false);
        iconView_->setItemDelegate(lineItems_);
        break;
    default:
        iconView_->setViewMode(QListView::ListMode);
        iconView_->setFlow(QListView::TopToBottom);
        iconView_->setWrapping(true);
        iconView_->setIconSize(QSize(16, 16));
        iconView_->setGridSize(QSize(textWidth + 28, lineHeight));
        iconView_->setSpacing(0);
        iconView_->setWordWrap(false);
        iconView_->setItemDelegate(lineItems_);
        break;
    }
    // Items are arranged by the view, never dragged around.
    iconView_->setMovement(QListView::Static);
    iconView_->setResizeMode(QListView::Adjust);
}

void TListFic::itemsChanged() {
    if (style_ != vsReport)
        applyIconViewStyle();
    fitColumns();
}

void TListFic::fitColumns() {
    // The design widths were made for a narrower font: they grow by the ratio of our
    // font's average character to the design font's (6 pixels for the 52 letters at
    // 96 dpi), and the size and date columns never cut their values: a 10-digit size
    // with its word, and the widest date of the list or of a sample date and time.
    const QFontMetricsF fm(detailView_->font());
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const qreal ratio = std::max<qreal>(1.0, fm.horizontalAdvance(letters) / 52.0 / 6.0);
    const int margin = 2 * (detailView_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1) + 8;
    QString bytesWord = model_->rowCount() > 0 ? model_->sizeText(0).section(QLatin1Char(' '), 1) : QString();
    if (bytesWord.isEmpty())
        bytesWord = QStringLiteral("bytes");
    qreal sizeWidth = fm.horizontalAdvance(QStringLiteral("4294967295 ") + bytesWord);
    // A date and time with the widest digits and the longest day and month numbers, and
    // each shape of the list's dates (its digits taken as the widest digit): a few
    // measures, whatever the number of entries.
    qreal dateWidth = fm.horizontalAdvance(QStringLiteral("12/28/2088 10:58:58 PM"));
    QChar widestDigit = QLatin1Char('0');
    for (char16_t d = u'1'; d <= u'9'; ++d)
        if (fm.horizontalAdvance(QChar(d)) > fm.horizontalAdvance(widestDigit))
            widestDigit = QChar(d);
    // A shape is known by a hash of where the digits are and what the other characters are,
    // worked out without a copy: lists of 65,535 entries have a handful of shapes.
    // Entries of one time stamp share one date text: a text already seen is not hashed again.
    QSet<size_t> shapes;
    QSet<const QChar*> seen;
    for (const ListItem& item : model_->items()) {
        if (seen.contains(item.dateText.constData()))
            continue;
        seen.insert(item.dateText.constData());
        size_t key = static_cast<size_t>(item.dateText.size());
        for (const QChar c : item.dateText)
            key = key * 1099511628211u ^ (c.isDigit() ? 0x30u : c.unicode());
        if (shapes.contains(key))
            continue;
        shapes.insert(key);
        QString shape = item.dateText;
        for (QChar& c : shape)
            if (c.isDigit())
                c = widestDigit;
        dateWidth = std::max(dateWidth, fm.horizontalAdvance(shape));
    }
    QHeaderView* header = detailView_->header();
    for (int c = 0; c < FileListModel::kColumns; ++c) {
        int width = static_cast<int>(std::ceil(kColumnWidths[c] * ratio));
        if (c == 1)
            width = std::max(width, static_cast<int>(std::ceil(sizeWidth)) + margin);
        else if (c == 3)
            width = std::max(width, static_cast<int>(std::ceil(dateWidth)) + margin);
        header->resizeSection(c, width);
    }
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

int TListFic::selectedCount() const {
    return static_cast<int>(selectedRows().size());
}

} // namespace morbek
