// The list's rows built from a catalogue, without a window: names, sizes, dates, type
// names and icons per extension, the image list, and the two orders.
#include "app/EntryRows.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace morbek {
namespace {

cab::CatalogueEntry Entry(const QString& stored, uint32_t size = 1,
                          const QString& date = QStringLiteral("d")) {
    cab::CatalogueEntry e;
    e.name = stored;
    cab::SplitStoredName(stored, e.fileName, e.path, e.extension);
    e.size = size;
    e.dateText = date;
    return e;
}

struct Fill {
    QTemporaryDir probes;
    EntryRows Build(const QStringList& stored, bool byName = false, bool large = true) {
        std::vector<cab::CatalogueEntry> entries;
        for (qsizetype i = 0; i < stored.size(); ++i)
            entries.push_back(
                Entry(stored[i], static_cast<uint32_t>(10 * (i + 1)), QStringLiteral("date %1").arg(i)));
        EntryRowsOptions options;
        options.probeFolder = probes.path() + QLatin1Char('/');
        options.largeIcons = large;
        options.byName = byName;
        return BuildEntryRows(std::move(entries), options);
    }
};

QStringList Captions(const EntryRows& rows) {
    QStringList out;
    for (const ListItem& item : rows.items)
        out << item.caption;
    return out;
}

// Each entry's columns and whole name; the row keeps its file-table place as its image.
struct NameCase {
    const char* stored;
    const char* caption;
    const char* path;
};

TEST(EntryRows, NamesSizesDatesAndImagesFollowTheirEntry) {
    const NameCase cases[] = {
        {"readme.txt", "readme.txt", ""},
        {"docs\\Manual.doc", "Manual.doc", "docs\\"},
        {"docs\\sub\\a.b.c", "a.b.c", "docs\\sub\\"},
        {"docs\\sub\\noext", "noext", "docs\\sub\\"},
        {"dir.d\\file", "file", "dir.d\\"},
        {"trailing\\", "", "trailing\\"},
    };
    QStringList stored;
    for (const NameCase& c : cases)
        stored << QString::fromUtf8(c.stored);
    Fill fill;
    const EntryRows rows = fill.Build(stored);
    ASSERT_EQ(rows.items.size(), std::size(cases));
    ASSERT_EQ(rows.images.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].stored);
        const ListItem& item = rows.items[i];
        EXPECT_EQ(item.caption, QString::fromUtf8(cases[i].caption));
        EXPECT_EQ(item.path, QString::fromUtf8(cases[i].path));
        EXPECT_EQ(item.storedName, stored[static_cast<qsizetype>(i)]);
        EXPECT_EQ(item.size, 10u * (i + 1));
        EXPECT_EQ(item.dateText, QStringLiteral("date %1").arg(i));
        EXPECT_EQ(item.imageIndex, static_cast<int>(i));
        EXPECT_FALSE(rows.images[i].isNull());
    }
}

// The sort by name follows the locale's collation, not byte order, and is stable; the
// rows keep their images.
struct OrderCase {
    const char* name;
    bool byName;
    QStringList stored;
    QStringList shown;
};

TEST(EntryRows, FileTableOrderOrLocaleCollation) {
    const QStringList names = {"b.txt", "B.txt", "a.txt", "Zebra.txt", "apple.txt"};
    const OrderCase cases[] = {
        {"FileTable", false, names, names},
        {"ByName", true, names, {"a.txt", "apple.txt", "b.txt", "B.txt", "Zebra.txt"}},
        {"SameNameInTwoFoldersKeepsTableOrder",
         true,
         {"z\\same.txt", "a\\same.txt", "m.txt"},
         {"m.txt", "same.txt", "same.txt"}},
        {"Empty", true, {}, {}},
    };
    for (const OrderCase& c : cases) {
        SCOPED_TRACE(c.name);
        Fill fill;
        const EntryRows rows = fill.Build(c.stored, c.byName);
        EXPECT_EQ(Captions(rows), c.shown);
        for (const ListItem& item : rows.items)
            EXPECT_EQ(item.storedName, c.stored.value(item.imageIndex)) << "a row lost its image";
    }
    Fill fill;
    const EntryRows rows = fill.Build({"z\\same.txt", "a\\same.txt"}, true);
    EXPECT_EQ(rows.items[0].path, QStringLiteral("z\\"));
}

// The shell answers per extension: entries of one extension share its type name and
// icon, whatever their case or place in the table; a name the shell cannot probe gets
// the generic answer; no probe file is left behind.
TEST(EntryRows, TypeNameAndIconPerExtension) {
    Fill fill;
    const EntryRows rows =
        fill.Build({"a.txt", "b.zzqx", "dir\\c.txt", "d.TXT", "folder.x\\noext", "e.zzqx", "f.txt"});
    const auto& items = rows.items;
    EXPECT_FALSE(items[0].typeName.isEmpty()) << "a .txt file has a type name";
    for (size_t i : {2u, 6u}) {
        EXPECT_EQ(items[i].typeName, items[0].typeName);
        EXPECT_EQ(rows.images[i].cacheKey(), rows.images[0].cacheKey());
    }
    EXPECT_EQ(items[3].typeName, items[0].typeName) << "extensions match without case";
    EXPECT_EQ(items[5].typeName, items[1].typeName);
    EXPECT_TRUE(items[1].typeName.isEmpty()) << "an unknown extension has no type name";
    EXPECT_TRUE(items[4].typeName.isEmpty()) << "a folder's dot names no type";
    EXPECT_FALSE(rows.images[4].isNull());
    EXPECT_LE(items[0].typeName.size(), 80);
    EXPECT_TRUE(QDir(fill.probes.path()).isEmpty());
}

// Icons of the style the fill runs in; a probe folder that cannot take files still gives
// every entry an icon.
struct IconCase {
    const char* name;
    bool large;
    bool probeFolderExists;
    int side;
};

TEST(EntryRows, IconsOfTheFillsStyle) {
    const IconCase cases[] = {
        {"Large", true, true, 32},
        {"Small", false, true, 16},
        {"NoProbeFolder", true, false, 32},
    };
    for (const IconCase& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        std::vector<cab::CatalogueEntry> entries;
        entries.push_back(Entry(QStringLiteral("a.txt")));
        entries.push_back(Entry(QStringLiteral("b.zzqx")));
        EntryRowsOptions options;
        options.probeFolder = dir.path() + (c.probeFolderExists ? "/" : "/absent/");
        options.largeIcons = c.large;
        int progress = 0;
        options.progress = [&progress] { ++progress; };
        const EntryRows rows = BuildEntryRows(std::move(entries), options);
        EXPECT_EQ(progress, 2) << "progress once per entry";
        EXPECT_EQ(rows.items[0].typeName.isEmpty(), !c.probeFolderExists);
        for (const QIcon& icon : rows.images) {
            ASSERT_FALSE(icon.isNull());
            EXPECT_EQ(icon.actualSize(QSize(64, 64)), QSize(c.side, c.side));
        }
    }
}

} // namespace
} // namespace morbek
