#include "resources/StringTable.h"

#include <QFile>
#include <QHash>

static void InitMorbekResources() {
    Q_INIT_RESOURCE(resources);
}

namespace morbek {

namespace {

// Parsed once from the compiled-in table; three languages side by side per line.
QHash<int, QString> LoadTable() {
    EnsureResources();
    QHash<int, QString> table;
    QFile file(QStringLiteral(":/strings.tsv"));
    if (!file.open(QIODevice::ReadOnly))
        return table;
    const QString text = QString::fromUtf8(file.readAll());
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = line.split(QLatin1Char('\t'));
        bool ok = false;
        const int number = fields.value(0).toInt(&ok);
        if (!ok || fields.size() != 4)
            continue;
        for (int language = 0; language < 3; ++language)
            table.insert(language * 1000 + number, fields[language + 1]);
    }
    return table;
}

} // namespace

void EnsureResources() {
    static const bool done = (InitMorbekResources(), true);
    (void)done;
}

QString LoadStringEntry(int id) {
    static const QHash<int, QString> table = LoadTable();
    // The original buffer held at most 1023 characters.
    return table.value(id).left(1023);
}

} // namespace morbek
