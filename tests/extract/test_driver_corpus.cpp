// Every entry that cabextract extracts from the shared corpus is written by the
// extraction driver with the expected contents.
#include "extract/Driver.h"
#include "platform/fdi/fdi.h"
#include "platform/text/AnsiText.h"
#include "tests/extract/FakeUi.h"
#include "tests/support/Corpus.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace morbek {
namespace {

using testing::FakeUi;

// ---------------------------------------------------------------------------------------
// The shared corpus


TEST(DriverCorpus, EveryExtractableEntryIsWrittenWithItsContents) {
    if (!test::CorpusAvailable())
        GTEST_SKIP() << "corpus folder absent";
    FakeUi ui;
    SetExtractionUi(&ui);
    SetMessageText({});
    int checked = 0;
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const std::vector<test::ExpectedRow> rows = test::LoadExpected();
    const auto namePartOf = [](const test::ExpectedRow& row) {
        const QString stored = platform::DecodeCabinetName(row.nameBytes, static_cast<uint16_t>(row.attribs));
        return stored.mid(stored.lastIndexOf(QLatin1Char('\\')) + 1);
    };
    // A name part met twice in one cabinet is written twice to one target: the last wins.
    QMap<QPair<QString, int64_t>, QMap<QString, int>> namesPerCabinet;
    for (const test::ExpectedRow& row : rows)
        ++namesPerCabinet[{row.cabinet, row.mscfOffset}][namePartOf(row)];
    QMap<QPair<QString, int64_t>, QString> copies;
    for (const test::ExpectedRow& row : rows) {
        if (row.cabextractStatus != QLatin1String("OK") || row.folder == QLatin1String("cont-from-prev") ||
            row.folder == QLatin1String("cont-both"))
            continue;
        const QString namePart = namePartOf(row);
        // Unsafe names are refused on purpose (covered above).
        if (namesPerCabinet[{row.cabinet, row.mscfOffset}][namePart] > 1 || namePart.isEmpty() ||
            namePart == QLatin1String(".") || namePart == QLatin1String("..") || namePart.contains(QLatin1Char('/')))
            continue;
        SCOPED_TRACE((row.cabinet + QLatin1Char(' ') + row.entryName).toStdString());
        const QPair<QString, int64_t> key{row.cabinet, row.mscfOffset};
        if (!copies.contains(key)) {
            const QString folder = temp.path() + QStringLiteral("/cab%1").arg(copies.size());
            ASSERT_TRUE(QDir().mkpath(folder));
            copies.insert(key, test::CabinetPartFile(test::CorpusPath(row.cabinet), row.mscfOffset, folder));
        }
        const QString cabinet = copies.value(key);
        ASSERT_FALSE(cabinet.isEmpty());
        const QString target = temp.path() + QStringLiteral("/out%1/").arg(checked);
        ASSERT_TRUE(QDir().mkpath(target));
        ui.answers.assign(64, kIdYes);
        ui.calls.clear();
        EXPECT_EQ(ExtractEntry(cabinet, target, namePart, QString::number(row.size), 0), 0);
        EXPECT_EQ(ui.Count(false), 0);
        QFile f(target + namePart);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(QString::fromLatin1(QCryptographicHash::hash(f.readAll(), QCryptographicHash::Md5).toHex()), row.md5);
        ::chmod(QFile::encodeName(target + namePart).constData(), 0644);
        ++checked;
    }
    SetExtractionUi(nullptr);
    fdi::FDIFlushCache();
    EXPECT_GT(checked, 40);
}

} // namespace
} // namespace morbek
