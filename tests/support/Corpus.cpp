#include "tests/support/Corpus.h"
#include "tests/support/CabWriter.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

namespace morbek::test {

namespace {

// Rows of a tab-separated table with a header line, as lists of fields.
std::vector<QStringList> ReadTable(const QString& name) {
    std::vector<QStringList> rows;
    QFile file(CorpusPath(name));
    if (!file.open(QIODevice::ReadOnly))
        return rows;
    bool header = true;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        if (header) {
            header = false;
            continue;
        }
        if (line.isEmpty())
            continue;
        rows.push_back(QString::fromUtf8(line).split(QLatin1Char('\t')));
    }
    return rows;
}

QString Field(const QStringList& row, int index) {
    return index < row.size() ? row.at(index) : QString();
}

} // namespace

QString CorpusDir() {
    QString dir = qEnvironmentVariable("MORBEK_CORPUS");
    if (dir.isEmpty()) {
        QString source = qEnvironmentVariable("MORBEK_SOURCE_DIR");
        if (source.isEmpty())
            source = QStringLiteral(MORBEK_DEFAULT_SOURCE_DIR); // a test binary run by hand
        dir = source + QStringLiteral("/../shared/corpus");
    }
    return QDir::cleanPath(dir);
}

bool CorpusAvailable() {
    const QString dir = CorpusDir();
    return !dir.isEmpty() && QFileInfo::exists(dir + QStringLiteral("/EXPECTED.tsv")) &&
           QFileInfo::exists(dir + QStringLiteral("/MANIFEST.tsv"));
}

bool CorpusRequired() {
    const QByteArray value = qgetenv("MORBEK_REQUIRE_CORPUS");
    return !value.isEmpty() && value != "0";
}

QString CorpusPath(const QString& relative) {
    return CorpusDir() + QLatin1Char('/') + relative;
}

QStringList CorpusFiles() {
    QStringList files;
    const QString dir = CorpusDir();
    if (dir.isEmpty())
        return files;
    return FilesUnder(dir);
}

std::vector<ExpectedRow> LoadExpected() {
    std::vector<ExpectedRow> rows;
    for (const QStringList& f : ReadTable(QStringLiteral("EXPECTED.tsv"))) {
        ExpectedRow r;
        r.cabinet = Field(f, 0);
        r.entryName = Field(f, 1);
        r.size = Field(f, 2).toULongLong();
        r.md5 = Field(f, 3);
        r.datetime = Field(f, 4);
        // DD.MM.YYYY HH:MM:SS
        const QStringList dt = r.datetime.split(QLatin1Char(' '));
        if (dt.size() == 2) {
            const QStringList d = dt[0].split(QLatin1Char('.')), t = dt[1].split(QLatin1Char(':'));
            if (d.size() == 3 && t.size() == 3) {
                r.day = d[0].toInt();
                r.month = d[1].toInt();
                r.year = d[2].toInt();
                r.hour = t[0].toInt();
                r.minute = t[1].toInt();
                r.second = t[2].toInt();
            }
        }
        bool ok = false;
        const int attribs = Field(f, 5).toInt(&ok, 16);
        r.attribs = ok ? attribs : -1;
        r.folder = Field(f, 6);
        r.utf8Name = Field(f, 7);
        const qlonglong offset = Field(f, 8).toLongLong(&ok);
        r.mscfOffset = ok ? offset : -1;
        r.cabextractStatus = Field(f, 9);
        r.nameBytes = QByteArray::fromHex(Field(f, 10).toLatin1());
        r.cabextractName = Field(f, 11);
        rows.push_back(std::move(r));
    }
    return rows;
}

std::vector<ManifestRow> LoadManifest() {
    std::vector<ManifestRow> rows;
    for (const QStringList& f : ReadTable(QStringLiteral("MANIFEST.tsv"))) {
        ManifestRow r;
        r.path = Field(f, 0);
        r.bytes = Field(f, 1).toLongLong();
        r.sourceRepo = Field(f, 2);
        r.sourcePath = Field(f, 3);
        r.methods = Field(f, 4);
        r.files = Field(f, 5).toInt();
        r.totalUncompressed = Field(f, 6).toULongLong();
        r.setRole = Field(f, 7);
        r.cabextractOk = Field(f, 8);
        r.sevenzipOk = Field(f, 9);
        r.notes = Field(f, 10);
        r.sourceCommit = Field(f, 11);
        rows.push_back(std::move(r));
    }
    return rows;
}

QString CabinetPartFile(const QString& path, int64_t offset, const QString& folder) {
    if (offset <= 0)
        return path;
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly) || !in.seek(offset))
        return {};
    const QByteArray header = in.read(36);
    if (header.size() < 36)
        return {};
    const uint32_t size = GetU32(header, 8); // cbCabinet
    in.seek(offset);
    const QString copy = folder + QStringLiteral("/embedded-%1.cab").arg(offset);
    QFile out(copy);
    if (!out.open(QIODevice::WriteOnly) || out.write(in.read(size)) != size)
        return {};
    return copy;
}

bool ExtractedByCabextract(const ExpectedRow& row) {
    return row.cabextractStatus == QLatin1String("OK");
}

bool HasContent(const ExpectedRow& row) {
    return ExtractedByCabextract(row) && row.md5 != QLatin1String("-") && !row.md5.isEmpty();
}

bool BeginsInEarlierCabinet(const ExpectedRow& row) {
    return row.folder == QLatin1String("cont-from-prev") || row.folder == QLatin1String("cont-both");
}

bool CabextractExtracts(const ManifestRow& file) {
    return file.cabextractOk.startsWith(QLatin1String("yes"));
}

bool SetMember(const ManifestRow& file) {
    return !file.setRole.isEmpty() && file.setRole != QLatin1String("single");
}

std::map<CabinetKey, std::vector<ExpectedRow>> RowsByCabinet(const std::vector<ExpectedRow>& rows) {
    std::map<CabinetKey, std::vector<ExpectedRow>> grouped;
    for (const ExpectedRow& row : rows)
        grouped[{row.cabinet, std::max<int64_t>(0, row.mscfOffset)}].push_back(row);
    return grouped;
}

std::map<QString, std::vector<ExpectedRow>> RowsByFile(const std::vector<ExpectedRow>& rows) {
    std::map<QString, std::vector<ExpectedRow>> grouped;
    for (const ExpectedRow& row : rows)
        grouped[row.cabinet].push_back(row);
    return grouped;
}

std::vector<QString> FilesWithExtractedRows() {
    std::vector<QString> files;
    if (!CorpusAvailable())
        return files;
    const std::map<QString, std::vector<ExpectedRow>> byFile = RowsByFile(LoadExpected());
    for (const ManifestRow& m : LoadManifest()) {
        const auto it = byFile.find(m.path);
        if (it != byFile.end() && std::any_of(it->second.begin(), it->second.end(), ExtractedByCabextract))
            files.push_back(m.path);
    }
    return files;
}

void Mismatches::Add(const QString& cabinet, const QString& entry, const QString& expected,
                     const QString& got) {
    lines_ << QStringLiteral("MISMATCH %1 | %2 | expected %3 | got %4").arg(cabinet, entry, expected, got);
}

void Mismatches::Skip(const QString& cabinet, const QString& entry, const QString& why) {
    skipped_ << QStringLiteral("not compared: %1 | %2 | %3").arg(cabinet, entry, why);
}

void Mismatches::Report(const char* what) const {
    // On stdout, one line each, so that a run's log can be compared with the last.
    for (const QString& line : skipped_)
        std::printf("%s\n", line.toUtf8().constData());
    for (const QString& line : lines_)
        std::printf("%s\n", line.toUtf8().constData());
    std::printf("%s: %d compared, %lld mismatches, %lld not compared\n", what, compared_,
                static_cast<long long>(lines_.size()), static_cast<long long>(skipped_.size()));
    std::fflush(stdout);
    EXPECT_GT(compared_, 0) << what << ": nothing was compared";
    EXPECT_TRUE(lines_.isEmpty()) << what << ": " << lines_.size() << " mismatches (listed above)";
}

} // namespace morbek::test
