#include "setup/InfFile.h"

#include <QStringDecoder>

namespace morbek::setup {

namespace {

QString StripComment(const QString& line) {
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == QLatin1Char('"'))
            quoted = !quoted;
        else if (line[i] == QLatin1Char(';') && !quoted)
            return line.left(i);
    }
    return line;
}

// Position of the first `c` outside quotes, or -1.
qsizetype IndexOutsideQuotes(const QString& text, QChar c, qsizetype from = 0) {
    bool quoted = false;
    for (qsizetype i = from; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('"'))
            quoted = !quoted;
        else if (text[i] == c && !quoted)
            return i;
    }
    return -1;
}

// Quotes delimit text; "" inside quotes is one quote character.
QString Unquote(const QString& field) {
    const QString text = field.trimmed();
    QString result;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('"')) {
            result += c;
        } else if (quoted && i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
            result += c;
            ++i;
        } else {
            quoted = !quoted;
        }
    }
    return result;
}

QStringList SplitFields(const QString& value) {
    QStringList fields;
    qsizetype start = 0;
    for (;;) {
        const qsizetype comma = IndexOutsideQuotes(value, QLatin1Char(','), start);
        fields << Unquote(value.mid(start, comma < 0 ? -1 : comma - start));
        if (comma < 0)
            break;
        start = comma + 1;
    }
    return fields;
}

QString Substitute(const QString& text, const QHash<QString, QString>& strings) {
    QString result;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype open = text.indexOf(QLatin1Char('%'), i);
        const qsizetype close = open < 0 ? -1 : text.indexOf(QLatin1Char('%'), open + 1);
        if (close < 0) {
            result += text.mid(i);
            break;
        }
        result += text.mid(i, open - i);
        const QString name = text.mid(open + 1, close - open - 1);
        if (name.isEmpty())
            result += QLatin1Char('%');
        else if (const auto found = strings.find(name.toLower()); found != strings.end())
            result += *found;
        else
            result += text.mid(open, close - open + 1); // unknown names stay as written
        i = close + 1;
    }
    return result;
}

} // namespace

std::optional<InfFile> InfFile::Parse(const QByteArray& bytes, QString* error) {
    auto fail = [error](const QString& message) -> std::optional<InfFile> {
        if (error)
            *error = message;
        return std::nullopt;
    };
    if (bytes.size() > kMaxSize)
        return fail(QStringLiteral("the file is too large to be an installation description"));
    if (bytes.contains('\0'))
        return fail(QStringLiteral("the file holds binary data"));
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return fail(QStringLiteral("the file is not valid UTF-8 text"));
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);

    InfFile inf;
    qsizetype current = -1; // index: the vector grows while lines are read
    const QStringList rawLines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < rawLines.size(); ++i) {
        const int number = static_cast<int>(i + 1);
        QString line = StripComment(rawLines[i]).trimmed();
        while (line.endsWith(QLatin1Char('\\')) && i + 1 < rawLines.size()) {
            line.chop(1);
            line += StripComment(rawLines[++i]).trimmed();
        }
        if (line.isEmpty())
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            const qsizetype close = line.indexOf(QLatin1Char(']'));
            const QString name = close < 0 ? QString() : line.mid(1, close - 1).trimmed();
            if (name.isEmpty())
                return fail(QStringLiteral("line %1: a section name is malformed").arg(number));
            current = -1;
            for (size_t s = 0; s < inf.sections_.size(); ++s)
                if (inf.sections_[s].name.compare(name, Qt::CaseInsensitive) == 0)
                    current = static_cast<qsizetype>(s); // a section written twice is one section
            if (current < 0) {
                inf.sections_.push_back({name, {}});
                current = static_cast<qsizetype>(inf.sections_.size()) - 1;
            }
            continue;
        }
        if (current < 0)
            return fail(QStringLiteral("line %1: text outside any section").arg(number));
        InfLine entry;
        entry.number = number;
        const qsizetype eq = IndexOutsideQuotes(line, QLatin1Char('='));
        if (eq >= 0) {
            entry.key = Unquote(line.left(eq));
            entry.fields = SplitFields(line.mid(eq + 1));
        } else {
            entry.fields = SplitFields(line);
        }
        inf.sections_[static_cast<size_t>(current)].lines.push_back(std::move(entry));
    }

    if (const InfSection* strings = inf.Section(QStringLiteral("Strings")))
        for (const InfLine& l : strings->lines)
            if (!l.key.isEmpty())
                inf.strings_.insert(l.key.toLower(), l.fields.join(QLatin1Char(',')));
    for (InfSection& s : inf.sections_) {
        if (s.name.compare(QLatin1String("Strings"), Qt::CaseInsensitive) == 0)
            continue;
        for (InfLine& l : s.lines)
            for (QString& f : l.fields)
                f = Substitute(f, inf.strings_);
    }
    return inf;
}

const InfSection* InfFile::Section(const QString& name) const {
    for (const InfSection& s : sections_)
        if (s.name.compare(name, Qt::CaseInsensitive) == 0)
            return &s;
    return nullptr;
}

std::optional<QStringList> InfFile::Value(const InfSection& section, const QString& key) const {
    for (const InfLine& l : section.lines)
        if (l.key.compare(key, Qt::CaseInsensitive) == 0)
            return l.fields;
    return std::nullopt;
}

} // namespace morbek::setup
