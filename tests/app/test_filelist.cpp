// The list control on its own: every item of the icon styles has the room of its own
// caption whatever the order of the entries, and the item with the keyboard focus shows it.
#include "app/FileListModel.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QImage>
#include <QListView>
#include <QPixmap>
#include <QTreeView>
#include <gtest/gtest.h>

#include <cmath>

namespace morbek {
namespace {

// Names of very different lengths: short, a real one, blanks, one word longer than a line.
const QStringList kShortFirst = {
    QStringLiteral("a.c"),
    QStringLiteral("x"),
    QStringLiteral("msorcl32.dll"),
    QStringLiteral("a name with several blanks between its words.txt"),
    QStringLiteral("averyveryverylongnamewithoutanyblank_0123456789_abcdefghijklmnop.dll"),
};

QStringList Reversed(QStringList names) {
    std::reverse(names.begin(), names.end());
    return names;
}

struct CaptionCase {
    const char* name;
    int style;
    QStringList captions;
};

// One plain icon per item in both image lists, as a fill leaves them.
void GiveIcons(FileListModel* model, int count) {
    QPixmap small(16, 16), large(32, 32);
    small.fill(Qt::darkBlue);
    large.fill(Qt::darkBlue);
    model->Small.assign(static_cast<size_t>(count), QIcon(small));
    model->Large.assign(static_cast<size_t>(count), QIcon(large));
}

class IconCaptions : public ::testing::TestWithParam<CaptionCase> {};

TEST_P(IconCaptions, EveryItemHasTheRoomOfItsOwnCaption) {
    const CaptionCase& c = GetParam();
    TListFic list;
    list.resize(640, 420);
    std::vector<ListItem> items;
    for (int i = 0; i < c.captions.size(); ++i)
        items.push_back({c.captions[i], 10u, {}, {}, {}, c.captions[i], i});
    GiveIcons(list.model(), static_cast<int>(c.captions.size()));
    list.model()->setItems(std::move(items), QStringLiteral("bytes"));
    list.setViewStyle(c.style);
    list.itemsChanged();
    list.show();
    QApplication::processEvents();

    QListView* view = list.iconView();
    const QFont font = view->font();
    const QFontMetricsF fm(font);
    std::vector<QRect> rects;
    for (int row = 0; row < c.captions.size(); ++row) {
        const QString& caption = c.captions[row];
        const QRect r = view->visualRect(list.model()->index(row, 0));
        SCOPED_TRACE(caption.toStdString());
        ASSERT_TRUE(r.isValid());
        if (c.style == TListFic::vsIcon) {
            // Wrapped whole under the 32-pixel icon: nothing cut, every line within the item.
            const QStringList lines = WrapCaption(caption, font, r.width() - 8);
            EXPECT_EQ(lines.join(QString()), caption);
            for (const QString& line : lines)
                EXPECT_LE(fm.horizontalAdvance(line.trimmed()), r.width() - 8) << line.toStdString();
            EXPECT_GE(r.height(), 32 + lines.size() * QFontMetrics(font).lineSpacing());
        } else {
            // On one line: the 16-pixel icon, the whole name and the item's margins.
            EXPECT_GE(r.width(), 16 + std::ceil(fm.horizontalAdvance(caption)) + 8);
        }
        for (const QRect& other : rects)
            EXPECT_FALSE(r.intersects(other)) << "items drawn over each other";
        rects.push_back(r);
    }
}

INSTANTIATE_TEST_SUITE_P(
    FileList, IconCaptions,
    ::testing::Values(CaptionCase{"LargeShortFirst", TListFic::vsIcon, kShortFirst},
                      CaptionCase{"LargeLongFirst", TListFic::vsIcon, Reversed(kShortFirst)},
                      CaptionCase{"SmallShortFirst", TListFic::vsSmallIcon, kShortFirst},
                      CaptionCase{"SmallLongFirst", TListFic::vsSmallIcon, Reversed(kShortFirst)},
                      CaptionCase{"ListShortFirst", TListFic::vsList, kShortFirst},
                      CaptionCase{"ListLongFirst", TListFic::vsList, Reversed(kShortFirst)}),
    [](const ::testing::TestParamInfo<CaptionCase>& p) { return std::string(p.param.name); });

struct WrapCase {
    const char* name;
    QString caption;
    int widthInChars; // the line width, in widths of "n"
    int minLines;
};

class CaptionWrap : public ::testing::TestWithParam<WrapCase> {};

TEST_P(CaptionWrap, BreaksAtBlanksOrInsideTooLongWordsAndKeepsEverything) {
    const WrapCase& c = GetParam();
    QFont font = QApplication::font();
    const QFontMetricsF fm(font);
    const int width = static_cast<int>(fm.horizontalAdvance(QStringLiteral("n")) * c.widthInChars);
    const QStringList lines = WrapCaption(c.caption, font, width);
    EXPECT_EQ(lines.join(QString()), c.caption);
    EXPECT_GE(lines.size(), c.minLines);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        // Only a single character may stand wider than the line.
        if (lines[i].trimmed().size() > 1) {
            EXPECT_LE(fm.horizontalAdvance(lines[i].trimmed()), width) << lines[i].toStdString();
        }
        EXPECT_FALSE(lines[i].isEmpty());
        // A break at a blank keeps the word after it whole.
        if (i + 1 < lines.size() && lines[i].endsWith(QLatin1Char(' '))) {
            EXPECT_NE(lines[i + 1].at(0), QLatin1Char(' '));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    FileList, CaptionWrap,
    ::testing::Values(WrapCase{"FitsOnOneLine", QStringLiteral("a.c"), 12, 1},
                      WrapCase{"Empty", QString(), 12, 0},
                      WrapCase{"AtBlanks", QStringLiteral("read me first.txt"), 8, 2},
                      WrapCase{"InsideALongWord", QStringLiteral("msorcl32msorcl32msorcl32.dll"), 8, 3},
                      WrapCase{"NarrowerThanOneCharacter", QStringLiteral("WWW"), 0, 3}),
    [](const ::testing::TestParamInfo<WrapCase>& p) { return std::string(p.param.name); });

// The current item of a focused list shows a frame in every style (Fusion draws its own
// focus frame only after a Tab, and not on a selected item).
std::string StyleName(const ::testing::TestParamInfo<int>& p) {
    switch (p.param) {
    case TListFic::vsIcon:
        return "Large";
    case TListFic::vsSmallIcon:
        return "Small";
    case TListFic::vsList:
        return "List";
    default:
        return "Details";
    }
}

class FocusFrame : public ::testing::TestWithParam<int> {};

TEST_P(FocusFrame, CurrentItemOfTheFocusedListShowsIt) {
    TListFic list;
    list.resize(640, 420);
    std::vector<ListItem> items;
    for (int i = 0; i < 3; ++i)
        items.push_back({kShortFirst[i + 2],
                         10u,
                         QStringLiteral("Type"),
                         QStringLiteral("1/2/2001 3:04:05 AM"),
                         {},
                         kShortFirst[i + 2],
                         i});
    GiveIcons(list.model(), 3);
    list.model()->setItems(std::move(items), QStringLiteral("bytes"));
    list.setViewStyle(GetParam());
    list.itemsChanged();
    list.show();
    QApplication::setActiveWindow(&list);
    QAbstractItemView* view = list.currentView();
    const QModelIndex first = list.model()->index(0, 0);
    list.selectionModel()->setCurrentIndex(first,
                                           QItemSelectionModel::SelectCurrent | QItemSelectionModel::Rows);
    view->clearFocus();
    QApplication::processEvents();
    const QRect r = view->visualRect(first);
    const QImage without = view->viewport()->grab(r).toImage();
    view->setFocus(Qt::OtherFocusReason);
    QApplication::processEvents();
    ASSERT_TRUE(view->hasFocus());
    const QImage with = view->viewport()->grab(r).toImage();
    EXPECT_NE(with, without) << "no sign of the keyboard focus on the current item";
}

INSTANTIATE_TEST_SUITE_P(FileList, FocusFrame,
                         ::testing::Values(TListFic::vsIcon, TListFic::vsSmallIcon, TListFic::vsList,
                                           TListFic::vsReport),
                         StyleName);

} // namespace
} // namespace morbek

namespace morbek {
namespace {

// The details columns show whole sizes and dates, whatever the font is.
struct ColumnCase {
    const char* name;
    uint32_t size;
    const char* date;
    const char* bytesWord;
};

class DetailColumns : public ::testing::TestWithParam<ColumnCase> {};

TEST_P(DetailColumns, SizeAndDateAreNeverCut) {
    const ColumnCase& c = GetParam();
    TListFic list;
    list.resize(900, 300);
    std::vector<ListItem> items;
    items.push_back({QStringLiteral("big.bin"),
                     c.size,
                     QStringLiteral("Type"),
                     QString::fromUtf8(c.date),
                     {},
                     QStringLiteral("big.bin"),
                     0});
    list.model()->setItems(std::move(items), QString::fromUtf8(c.bytesWord));
    list.setViewStyle(TListFic::vsReport);
    list.itemsChanged();
    list.show();
    QApplication::processEvents();
    const QTreeView* view = list.detailView();
    const QFontMetricsF fm(view->font());
    for (int column : {1, 3}) {
        const QString text = list.model()->index(0, column).data().toString();
        EXPECT_GE(view->columnWidth(column), std::ceil(fm.horizontalAdvance(text)) + 6)
            << "column " << column << " cuts " << text.toStdString();
        EXPECT_GE(view->columnWidth(column), view->visualRect(list.model()->index(0, column)).width());
    }
}

INSTANTIATE_TEST_SUITE_P(
    FileList, DetailColumns,
    ::testing::Values(ColumnCase{"TenDigits", 4294967295u, "3/12/1997 11:17:52 AM", "bytes"},
                      ColumnCase{"ThreeHundredMegabytes", 314572800u, "12/28/2088 10:58:58 PM", "bytes"},
                      ColumnCase{"GermanWord", 1318560000u, "28.12.2088 22:58:58", "Bytes"},
                      ColumnCase{"FrenchWord", 999999999u, "28/12/2088 22:58:58", "octets"},
                      ColumnCase{"DateErr", 0u, "Date Err.", "bytes"}),
    [](const ::testing::TestParamInfo<ColumnCase>& p) { return std::string(p.param.name); });

} // namespace
} // namespace morbek
