#include "platform/locale/Regional.h"

#include <QCollator>
#include <QLocale>

#include <utility>
#include <vector>

namespace morbek::platform {

namespace {

// Calls fn(start, length) for every run of the unquoted format letter `letter`.
template <typename Fn> void ForEachRun(const QString& format, QChar letter, Fn fn) {
    bool quoted = false;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\'')) {
            quoted = !quoted; // '' inside or outside quotes toggles twice: a literal quote
            ++i;
            continue;
        }
        if (!quoted && c == letter) {
            qsizetype end = i;
            while (end < format.size() && format.at(end) == letter)
                ++end;
            fn(i, end - i);
            i = end;
            continue;
        }
        ++i;
    }
}

// The collation locale as POSIX resolves LC_COLLATE: LC_ALL, then LC_COLLATE, then LANG.
QLocale CollationLocale() {
    QByteArray name;
    for (const char* var : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        name = qgetenv(var);
        if (!name.isEmpty())
            break;
    }
    // "de_DE.UTF-8@euro" -> "de_DE"
    const qsizetype cut = name.indexOf('.') >= 0 ? name.indexOf('.') : name.indexOf('@');
    if (cut >= 0)
        name.truncate(cut);
    if (name.isEmpty() || name == "C" || name == "POSIX")
        name = "en_US";
    return QLocale(QString::fromLatin1(name));
}

struct Collation {
    QCollator collator;
    Collation() : collator(CollationLocale()) {
        collator.setCaseSensitivity(Qt::CaseSensitive);
        collator.setNumericMode(false);
        collator.setIgnorePunctuation(false);
        collator.compare(QStringLiteral("a"), QStringLiteral("b")); // build it now, not on first use
    }
};

} // namespace

int GetUserDefaultLangID() {
    // Primary language ids of the original platform for the languages it knew; C, POSIX
    // and languages it had no id for count as English.
    static constexpr std::pair<QLocale::Language, int> kIds[] = {
        {QLocale::Arabic, 0x01},   {QLocale::Bulgarian, 0x02},       {QLocale::Catalan, 0x03},
        {QLocale::Chinese, 0x04},  {QLocale::Czech, 0x05},           {QLocale::Danish, 0x06},
        {QLocale::German, 0x07},   {QLocale::Greek, 0x08},           {QLocale::English, 0x09},
        {QLocale::Spanish, 0x0A},  {QLocale::Finnish, 0x0B},         {QLocale::French, 0x0C},
        {QLocale::Hebrew, 0x0D},   {QLocale::Hungarian, 0x0E},       {QLocale::Icelandic, 0x0F},
        {QLocale::Italian, 0x10},  {QLocale::Japanese, 0x11},        {QLocale::Korean, 0x12},
        {QLocale::Dutch, 0x13},    {QLocale::NorwegianBokmal, 0x14}, {QLocale::NorwegianNynorsk, 0x14},
        {QLocale::Polish, 0x15},   {QLocale::Portuguese, 0x16},      {QLocale::Romanian, 0x18},
        {QLocale::Russian, 0x19},  {QLocale::Croatian, 0x1A},        {QLocale::Slovak, 0x1B},
        {QLocale::Albanian, 0x1C}, {QLocale::Swedish, 0x1D},         {QLocale::Thai, 0x1E},
        {QLocale::Turkish, 0x1F},
    };
    const QLocale::Language language = QLocale::system().language();
    for (const auto& [lang, id] : kIds)
        if (lang == language)
            return id;
    return 0x09;
}

QString ShortDate(const QDate& date) {
    const QLocale system = QLocale::system();
    return system.toString(date, WidenShortYear(system.dateFormat(QLocale::ShortFormat)));
}

QString LongTime(const QTime& time) {
    const QLocale system = QLocale::system();
    return system.toString(time, WithoutTimeZone(system.timeFormat(QLocale::LongFormat)));
}

QString WidenShortYear(const QString& format) {
    QString out = format;
    // Right to left, so that earlier positions stay valid.
    std::vector<qsizetype> twoDigit;
    ForEachRun(format, QLatin1Char('y'), [&](qsizetype start, qsizetype length) {
        if (length == 2)
            twoDigit.push_back(start);
    });
    for (auto it = twoDigit.rbegin(); it != twoDigit.rend(); ++it)
        out.insert(*it, QStringLiteral("yy"));
    return out;
}

QString WithoutTimeZone(const QString& format) {
    std::vector<std::pair<qsizetype, qsizetype>> cuts;
    ForEachRun(format, QLatin1Char('t'), [&](qsizetype start, qsizetype length) {
        // A token in brackets, as in "H:mm:ss (t)", goes with its brackets.
        if (start > 0 && start + length < format.size() && format.at(start - 1) == QLatin1Char('(') &&
            format.at(start + length) == QLatin1Char(')')) {
            --start;
            length += 2;
        }
        // Take one adjoining blank with the token: the one before it, else the one after.
        if (start > 0 && format.at(start - 1).isSpace())
            cuts.emplace_back(start - 1, length + 1);
        else if (start + length < format.size() && format.at(start + length).isSpace())
            cuts.emplace_back(start, length + 1);
        else
            cuts.emplace_back(start, length);
    });
    QString out = format;
    for (auto it = cuts.rbegin(); it != cuts.rend(); ++it)
        out.remove(it->first, it->second);
    return out.trimmed();
}

int CompareLocale(const QString& a, const QString& b) {
    // The collator is built once for the process, like the platform's own comparison.
    static const Collation collation;
    const int byCollation = collation.collator.compare(a, b);
    if (byCollation != 0)
        return byCollation;
    // Tie rule: texts the collation calls equal (canonically equivalent forms, ignorable
    // characters) are ordered by code points, so that the order is total and a sort of
    // such names comes out the same on every run.
    return QString::compare(a, b, Qt::CaseSensitive);
}

} // namespace morbek::platform
