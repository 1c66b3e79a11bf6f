// Help file format (UTF-8 text, one directive or text line per line):
//
//   # comment                    ignored anywhere
//   @title <text>                header: the viewer's window title
//   @language <fr|en|de>         header: language of the viewer's own buttons
//   @topic <context> <title>     starts a topic; the following lines are its text
//
// Topic text: a blank line ends a paragraph; "## " starts a sub-heading; "- " starts a
// list item and "1. " a numbered one, continued by indented lines. Inline: **bold**,
// [[12]] links to the topic of context 12 under its title, [[12|words]] under other
// words. Context 0 is the contents. There is no other markup and no way to link out of
// the file: everything else is shown as text.
#include "platform/help/HelpFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace morbek::platform::help {

namespace {

// Our help files are a few dozen KiB; anything far larger is not one of them and is
// refused rather than read into memory.
constexpr qint64 kMaxFileSize = 4 * 1024 * 1024;

bool ParseContext(QStringView text, int* context) {
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value > 0x7fffffffu)
        return false;
    *context = static_cast<int>(value);
    return true;
}

// One "[[...]]" at position i of text: its context, shown words (empty: the topic's
// title) and the position after it. False when what starts there is no link.
bool ParseLink(const QString& text, qsizetype i, int* context, QString* words, qsizetype* end) {
    if (!QStringView(text).sliced(i).startsWith(u"[["))
        return false;
    const qsizetype close = text.indexOf(QStringLiteral("]]"), i + 2);
    if (close < 0)
        return false;
    const QStringView inner = QStringView(text).sliced(i + 2, close - i - 2);
    const qsizetype bar = inner.indexOf(u'|');
    if (!ParseContext((bar < 0 ? inner : inner.first(bar)).trimmed(), context))
        return false;
    *words = bar < 0 ? QString() : inner.sliced(bar + 1).trimmed().toString();
    *end = close + 2;
    return true;
}

const QRegularExpression& NumberedItem() {
    static const QRegularExpression re(QStringLiteral("^\\d+\\.\\s+"));
    return re;
}

} // namespace

bool HelpFile::Load(const QString& path) {
    topics_.clear();
    title_.clear();
    language_.clear();
    const QFileInfo info(path);
    if (!info.exists()) {
        error_ = LoadError::Missing;
        return false;
    }
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        error_ = LoadError::Unreadable;
        return false;
    }
    if (file.size() > kMaxFileSize) {
        error_ = LoadError::TooLarge;
        return false;
    }
    Parse(QString::fromUtf8(file.read(kMaxFileSize + 1)));
    return error_ == LoadError::None;
}

void HelpFile::Parse(const QString& text) {
    topics_.clear();
    title_.clear();
    language_.clear();
    const QStringList lines = text.split(QLatin1Char('\n'));
    HelpTopic* current = nullptr;
    bool skipping = false; // inside a topic whose context was already taken
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.startsWith(QLatin1Char('#')) && !line.startsWith(QStringLiteral("##")))
            continue;
        if (line.startsWith(QLatin1Char('@'))) {
            const qsizetype blank = line.indexOf(QLatin1Char(' '));
            const QString directive = line.left(blank < 0 ? line.size() : blank);
            const QString rest = blank < 0 ? QString() : line.mid(blank + 1).trimmed();
            if (directive == QLatin1String("@topic")) {
                const qsizetype split = rest.indexOf(QLatin1Char(' '));
                int context = 0;
                if (!ParseContext(QStringView(rest).first(split < 0 ? rest.size() : split), &context)) {
                    // A malformed topic line must not spill its text into the previous topic.
                    skipping = true;
                    current = nullptr;
                    continue;
                }
                skipping = Find(context) != nullptr;
                if (skipping) {
                    current = nullptr;
                    continue;
                }
                topics_.push_back(
                    HelpTopic{context, split < 0 ? QString() : rest.mid(split + 1).trimmed(), {}});
                current = &topics_.back();
                continue;
            }
            if (!current && !skipping) {
                if (directive == QLatin1String("@title"))
                    title_ = rest;
                else if (directive == QLatin1String("@language"))
                    language_ = rest.toLower();
                continue;
            }
        }
        if (current)
            current->lines << line;
    }
    // Trailing blank lines are layout of the file, not of the topic.
    for (HelpTopic& topic : topics_) {
        while (!topic.lines.isEmpty() && topic.lines.last().trimmed().isEmpty())
            topic.lines.removeLast();
    }
    error_ = topics_.empty() ? LoadError::NoTopics : LoadError::None;
}

const HelpTopic* HelpFile::Find(int context) const {
    for (const HelpTopic& topic : topics_) {
        if (topic.context == context)
            return &topic;
    }
    return nullptr;
}

QList<int> HelpFile::Links(const HelpTopic& topic) const {
    QList<int> links;
    for (const QString& line : topic.lines) {
        for (qsizetype i = 0; i < line.size(); ++i) {
            int context = 0;
            QString words;
            qsizetype end = 0;
            if (ParseLink(line, i, &context, &words, &end)) {
                links << context;
                i = end - 1;
            }
        }
    }
    return links;
}

QString HelpFile::InlineHtml(const QString& text) const {
    QString html;
    bool bold = false;
    qsizetype plainStart = 0;
    auto flushPlain = [&](qsizetype upTo) {
        html += text.mid(plainStart, upTo - plainStart).toHtmlEscaped();
    };
    for (qsizetype i = 0; i < text.size();) {
        int context = 0;
        QString words;
        qsizetype end = 0;
        if (ParseLink(text, i, &context, &words, &end)) {
            flushPlain(i);
            const HelpTopic* target = Find(context);
            const QString shown =
                words.isEmpty() ? (target ? target->title : QString::number(context)) : words;
            if (target)
                html += QStringLiteral("<a href=\"topic:%1\">%2</a>").arg(context).arg(shown.toHtmlEscaped());
            else
                html += shown.toHtmlEscaped();
            i = plainStart = end;
            continue;
        }
        if (QStringView(text).sliced(i).startsWith(u"**")) {
            flushPlain(i);
            html += bold ? QStringLiteral("</b>") : QStringLiteral("<b>");
            bold = !bold;
            i = plainStart = i + 2;
            continue;
        }
        ++i;
    }
    flushPlain(text.size());
    if (bold)
        html += QStringLiteral("</b>");
    return html;
}

QString HelpFile::BodyHtml(const HelpTopic& topic) const {
    QString html;
    QStringList paragraph;
    enum class List { None, Bullets, Numbers } list = List::None;
    QString item;
    bool itemOpen = false;

    auto flushParagraph = [&] {
        if (!paragraph.isEmpty())
            html += QStringLiteral("<p>") + InlineHtml(paragraph.join(QLatin1Char(' '))) +
                    QStringLiteral("</p>\n");
        paragraph.clear();
    };
    auto flushItem = [&] {
        if (itemOpen)
            html += QStringLiteral("<li>") + InlineHtml(item) + QStringLiteral("</li>\n");
        item.clear();
        itemOpen = false;
    };
    auto closeList = [&] {
        flushItem();
        if (list == List::Bullets)
            html += QStringLiteral("</ul>\n");
        else if (list == List::Numbers)
            html += QStringLiteral("</ol>\n");
        list = List::None;
    };
    auto startItem = [&](List kind, const QString& text) {
        flushParagraph();
        flushItem();
        if (list != kind) {
            closeList();
            html += kind == List::Bullets ? QStringLiteral("<ul>\n") : QStringLiteral("<ol>\n");
            list = kind;
        }
        item = text;
        itemOpen = true;
    };

    for (const QString& line : topic.lines) {
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty()) {
            flushParagraph();
            closeList();
            continue;
        }
        if (line.startsWith(QStringLiteral("## "))) {
            flushParagraph();
            closeList();
            html += QStringLiteral("<h3>") + InlineHtml(line.mid(3).trimmed()) + QStringLiteral("</h3>\n");
            continue;
        }
        if (line.startsWith(QStringLiteral("- "))) {
            startItem(List::Bullets, line.mid(2).trimmed());
            continue;
        }
        if (const QRegularExpressionMatch m = NumberedItem().match(line); m.hasMatch()) {
            startItem(List::Numbers, line.mid(m.capturedLength()).trimmed());
            continue;
        }
        if (itemOpen && line.front().isSpace()) {
            item += QLatin1Char(' ') + trimmed;
            continue;
        }
        closeList();
        paragraph << trimmed;
    }
    flushParagraph();
    closeList();
    return html;
}

} // namespace morbek::platform::help
