#include "tests/support/Corpus.h"
#include "tests/support/CabWriter.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

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
            source = QStringLiteral(MORBEK_DEFAULT_SOURCE_DIR);   // a test binary run by hand
        dir = source + QStringLiteral("/../shared/corpus");
    }
    return QDir::cleanPath(dir);
}

bool CorpusAvailable() {
    const QString dir = CorpusDir();
    return !dir.isEmpty() && QFileInfo::exists(dir + QStringLiteral("/EXPECTED.tsv")) &&
           QFileInfo::exists(dir + QStringLiteral("/MANIFEST.tsv"));
}

QString CorpusPath(const QString& relative) {
    return CorpusDir() + QLatin1Char('/') + relative;
}

QStringList CorpusFiles() {
    QStringList files;
    const QString dir = CorpusDir();
    if (dir.isEmpty())
        return files;
    const QDir root(dir);
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << root.relativeFilePath(it.next());
    files.sort();
    return files;
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
    const uint32_t size = GetU32(header, 8);   // cbCabinet
    in.seek(offset);
    const QString copy = folder + QStringLiteral("/embedded-%1.cab").arg(offset);
    QFile out(copy);
    if (!out.open(QIODevice::WriteOnly) || out.write(in.read(size)) != size)
        return {};
    return copy;
}

} // namespace morbek::test
