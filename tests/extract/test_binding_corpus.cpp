// Every entry that cabextract extracts from the shared corpus is written through the
// cabinet library and the program's own seven functions, with the expected contents.
#include "extract/Binding.h"
#include "platform/fdi/fdi.h"
#include "platform/files/OpenFlags.h"
#include "platform/text/AnsiText.h"
#include "tests/support/Corpus.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>

namespace morbek {
namespace {

using namespace fdi;

// One run writes one wanted entry, as the extraction driver does: every other file is
// skipped. What it wrote: file name -> md5 of the bytes on disk.
struct CopyRun {
    QString targetDir;
    QByteArray wanted;
    QMap<QByteArray, QString> written;
    QList<QByteArray> open; // names of files being written, by handle order
    int nextCabinetCalls = 0;
};

INT_PTR Notify(FDINOTIFICATIONTYPE type, FDINOTIFICATION* n) {
    auto* run = static_cast<CopyRun*>(n->pv);
    switch (type) {
    case fdintCOPY_FILE: {
        if (QByteArray(n->psz1) != run->wanted || !run->open.isEmpty())
            return 0;
        // Targets are numbered: corpus names may hold separators or be hostile.
        const QByteArray target =
            QFile::encodeName(run->targetDir + QStringLiteral("/%1").arg(run->open.size()));
        run->open.push_back(QByteArray(n->psz1));
        QByteArray path = target;
        return CabOpen(
            path.data(),
            platform::_O_BINARY | platform::_O_CREAT | platform::_O_SEQUENTIAL | platform::_O_WRONLY, 0);
    }
    case fdintCLOSE_FILE_INFO: {
        CabClose(n->hf);
        const int index = static_cast<int>(run->open.size()) - 1;
        QFile f(run->targetDir + QStringLiteral("/%1").arg(index));
        if (f.open(QIODevice::ReadOnly))
            run->written.insert(
                run->open.back(),
                QString::fromLatin1(QCryptographicHash::hash(f.readAll(), QCryptographicHash::Md5).toHex()));
        return TRUE;
    }
    case fdintNEXT_CABINET:
        // The next parts lie beside the first; a second request means it is not there.
        return ++run->nextCabinetCalls > 8 ? -1 : 0;
    default:
        return 0;
    }
}

TEST(BindingCorpus, EveryExtractableEntryIsWrittenWithItsContents) {
    if (!test::CorpusAvailable())
        GTEST_SKIP() << "corpus folder absent";
    // Rows cabextract extracted, grouped by cabinet (and offset, for executables).
    QMap<QPair<QString, int64_t>, std::vector<test::ExpectedRow>> cabinets;
    for (const test::ExpectedRow& row : test::LoadExpected())
        if (row.cabextractStatus == QLatin1String("OK"))
            cabinets[{row.cabinet, std::max<int64_t>(0, row.mscfOffset)}].push_back(row);
    ASSERT_FALSE(cabinets.isEmpty());

    int checked = 0;
    for (auto it = cabinets.cbegin(); it != cabinets.cend(); ++it) {
        SCOPED_TRACE(it.key().first.toStdString());
        QTemporaryDir temp;
        ASSERT_TRUE(temp.isValid());
        const QString file = test::CabinetPartFile(test::CorpusPath(it.key().first), it.key().second, temp.path());
        ASSERT_FALSE(file.isEmpty());
        const QFileInfo info(file);

        for (const test::ExpectedRow& row : it.value()) {
            // Files that begin in an earlier cabinet are written from that one.
            if (row.folder == QLatin1String("cont-from-prev") || row.folder == QLatin1String("cont-both"))
                continue;
            SCOPED_TRACE(row.entryName.toStdString());
            ERF erf{};
            HFDI context =
                FDICreate(CabAlloc, CabFree, CabOpen, CabRead, CabWrite, CabClose, CabSeek, cpu80386, &erf);
            ASSERT_NE(context, nullptr);
            QByteArray name = QFile::encodeName(info.fileName());
            QByteArray folder = QFile::encodeName(info.absolutePath() + QLatin1Char('/'));
            QByteArray cabPath = QFile::encodeName(file);
            const int test = CabOpen(cabPath.data(), platform::_O_BINARY | platform::_O_SEQUENTIAL, 0);
            ASSERT_GE(test, 0);
            FDICABINETINFO ci{};
            EXPECT_TRUE(FDIIsCabinet(context, test, &ci));
            CabClose(test);

            CopyRun run;
            run.targetDir = temp.path();
            run.wanted =
                platform::DecodeCabinetName(row.nameBytes, static_cast<uint16_t>(row.attribs)).toUtf8();
            ProgressTotal = 1;
            ProgressDone = 0;
            FDICopy(context, name.data(), folder.data(), 0, Notify, nullptr, &run);
            FDIDestroy(context);
            ASSERT_TRUE(run.written.contains(run.wanted));
            EXPECT_EQ(run.written.value(run.wanted).toStdString(), row.md5.toStdString());
            ++checked;
        }
    }
    EXPECT_GT(checked, 40);
}

} // namespace
} // namespace morbek
