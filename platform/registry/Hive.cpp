#include "platform/registry/Hive.h"

#include "platform/text/AnsiText.h"

#include <QStringDecoder>

#include <algorithm>

namespace morbek::platform::registry {

namespace {

// Names fold ASCII letters only, as the store's contract says; other letters keep their case.
QString Folded(const QString& name) {
    QString folded = name;
    for (QChar& c : folded)
        if (c.unicode() >= 'A' && c.unicode() <= 'Z')
            c = QChar(c.unicode() + ('a' - 'A'));
    return folded;
}

bool HasControl(const QString& text) {
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return true;
    return false;
}

} // namespace

// --- values ---------------------------------------------------------------------------

Value Value::Text(const QString& text) {
    return {REG_SZ, text.toUtf8()};
}

Value Value::Dword(uint32_t number) {
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
    return {REG_DWORD, bytes};
}

Value Value::Binary(const QByteArray& bytes) {
    return {REG_BINARY, bytes};
}

// --- keys -------------------------------------------------------------------------------

Key::Key(const Key& other)
    : name_(other.name_), values_(other.values_), childIndex_(other.childIndex_),
      valueIndex_(other.valueIndex_) {
    children_.reserve(other.children_.size());
    for (const auto& c : other.children_)
        children_.push_back(std::make_unique<Key>(*c));
}

Key* Key::child(const QString& name) const {
    const auto found = childIndex_.constFind(Folded(name));
    return found == childIndex_.cend() ? nullptr : children_[*found].get();
}

Key& Key::addChild(const QString& name) {
    if (Key* existing = child(name))
        return *existing;
    childIndex_.insert(Folded(name), children_.size());
    children_.push_back(std::make_unique<Key>(name));
    return *children_.back();
}

bool Key::removeChild(const QString& name) {
    const auto found = childIndex_.constFind(Folded(name));
    if (found == childIndex_.cend())
        return false;
    children_.erase(children_.begin() + static_cast<std::ptrdiff_t>(*found));
    childIndex_.clear();
    for (size_t i = 0; i < children_.size(); ++i)
        childIndex_.insert(Folded(children_[i]->name()), i);
    return true;
}

const Value* Key::value(const QString& name) const {
    const auto found = valueIndex_.constFind(Folded(name));
    return found == valueIndex_.cend() ? nullptr : &values_[*found].value;
}

void Key::setValue(const QString& name, Value value) {
    const auto found = valueIndex_.constFind(Folded(name));
    if (found != valueIndex_.cend()) {
        values_[*found].value = std::move(value); // the first spelling stays
        return;
    }
    valueIndex_.insert(Folded(name), values_.size());
    values_.push_back({name, std::move(value)});
}

bool Key::removeValue(const QString& name) {
    const auto found = valueIndex_.constFind(Folded(name));
    if (found == valueIndex_.cend())
        return false;
    values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(*found));
    valueIndex_.clear();
    for (size_t i = 0; i < values_.size(); ++i)
        valueIndex_.insert(Folded(values_[i].name), i);
    return true;
}

bool Key::sameTree(const Key& other) const {
    if (values_.size() != other.values_.size() || children_.size() != other.children_.size())
        return false;
    for (const NamedValue& v : values_) {
        const Value* theirs = other.value(v.name);
        if (!theirs || !(*theirs == v.value))
            return false;
    }
    for (const auto& c : children_) {
        const Key* theirs = other.child(c->name());
        if (!theirs || !c->sameTree(*theirs))
            return false;
    }
    return true;
}

// --- paths ------------------------------------------------------------------------------

bool SplitKeyPath(const QString& path, QStringList* parts) {
    QString trimmed = path;
    while (trimmed.startsWith(QLatin1Char('\\')))
        trimmed.remove(0, 1);
    while (trimmed.endsWith(QLatin1Char('\\')))
        trimmed.chop(1);
    parts->clear();
    if (trimmed.isEmpty())
        return true;
    *parts = trimmed.split(QLatin1Char('\\'));
    for (const QString& p : *parts)
        if (p.isEmpty() || HasControl(p))
            return false;
    return true;
}

const Key* Hive::find(const QString& path) const {
    QStringList parts;
    if (!SplitKeyPath(path, &parts))
        return nullptr;
    const Key* key = &root_;
    for (const QString& p : parts)
        if (!(key = key->child(p)))
            return nullptr;
    return key;
}

Key* Hive::find(const QString& path) {
    return const_cast<Key*>(std::as_const(*this).find(path));
}

Key* Hive::create(const QString& path) {
    QStringList parts;
    if (!SplitKeyPath(path, &parts))
        return nullptr;
    Key* key = &root_;
    for (const QString& p : parts)
        key = &key->addChild(p);
    return key;
}

bool Hive::remove(const QString& path) {
    QStringList parts;
    if (!SplitKeyPath(path, &parts) || parts.isEmpty())
        return false;
    const QString last = parts.takeLast();
    Key* parent = find(parts.join(QLatin1Char('\\')));
    return parent && parent->removeChild(last);
}

// --- writing ----------------------------------------------------------------------------

namespace {

QString Quoted(const QString& text) {
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('"');
    for (QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"'))
            out += QLatin1Char('\\');
        out += c;
    }
    out += QLatin1Char('"');
    return out;
}

// A text goes between quotes when it reads back unchanged: valid UTF-8, nothing that
// would break the line. Anything else is written as its bytes, hex(1).
bool QuotableText(const Value& v) {
    const QString text = v.text();
    return text.toUtf8() == v.data && !HasControl(text);
}

// regedit's layout: bytes separated by commas, lines broken after a comma with a
// backslash and continued with two blanks, none longer than 80 columns.
void AppendHex(QString& out, QString line, const QByteArray& bytes) {
    static const char digits[] = "0123456789abcdef";
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        QString token;
        token += QLatin1Char(digits[b >> 4]);
        token += QLatin1Char(digits[b & 15]);
        if (i + 1 < bytes.size())
            token += QLatin1Char(',');
        if (line.size() + token.size() > 77 && line.trimmed().size() > 0 && line.endsWith(QLatin1Char(','))) {
            out += line + QStringLiteral("\\\n");
            line = QStringLiteral("  ");
        }
        line += token;
    }
    out += line + QLatin1Char('\n');
}

void AppendValue(QString& out, const Key::NamedValue& nv) {
    const QString name = nv.name.isEmpty() ? QStringLiteral("@") : Quoted(nv.name);
    const Value& v = nv.value;
    if (v.type == REG_SZ && QuotableText(v)) {
        out += name + QLatin1Char('=') + Quoted(v.text()) + QLatin1Char('\n');
        return;
    }
    if (v.type == REG_DWORD && v.data.size() == 4) {
        uint32_t n = 0;
        for (int i = 3; i >= 0; --i)
            n = (n << 8) | static_cast<unsigned char>(v.data[i]);
        out += name + QStringLiteral("=dword:") + QStringLiteral("%1").arg(n, 8, 16, QLatin1Char('0')) +
               QLatin1Char('\n');
        return;
    }
    QByteArray bytes = v.data;
    if (v.type == REG_SZ || v.type == REG_EXPAND_SZ)
        bytes.append('\0');
    const QString prefix =
        v.type == REG_BINARY ? QStringLiteral("=hex:") : QStringLiteral("=hex(%1):").arg(v.type, 0, 16);
    AppendHex(out, name + prefix, bytes);
}

void AppendKey(QString& out, const QString& path, const Key& key, bool isRoot) {
    if (!isRoot || !key.values().empty()) {
        out += QLatin1Char('[') + path + QStringLiteral("]\n");
        for (const Key::NamedValue& nv : key.values())
            AppendValue(out, nv);
        out += QLatin1Char('\n');
    }
    for (const auto& c : key.children())
        AppendKey(out, path + QLatin1Char('\\') + c->name(), *c, false);
}

} // namespace

QByteArray Hive::toRegedit() const {
    QString out = QStringLiteral("REGEDIT4\n\n");
    AppendKey(out, rootName_, root_, true);
    return out.toUtf8();
}

// --- reading ----------------------------------------------------------------------------

namespace {

class Parser {
public:
    Parser(const QString& rootName, ParseError* error) : hive_(rootName), error_(error) {}

    std::optional<Hive> run(const QString& text) {
        const QStringList lines = text.split(QLatin1Char('\n'));
        qsizetype i = 0;
        // The header: the first line that is not blank.
        while (i < lines.size() && Trimmed(lines[i]).isEmpty())
            ++i;
        if (i >= lines.size() || (Trimmed(lines[i]) != QLatin1String("REGEDIT4") &&
                                  Trimmed(lines[i]) != QLatin1String("Windows Registry Editor Version 5.00")))
            return fail(static_cast<int>(std::min<qsizetype>(i + 1, lines.size())),
                        QStringLiteral("no REGEDIT4 header"));
        for (++i; i < lines.size(); ++i) {
            const int lineNo = static_cast<int>(i + 1);
            QString line = Trimmed(lines[i]);
            if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
                continue;
            if (line.startsWith(QLatin1Char('['))) {
                if (!section(line, lineNo))
                    return std::nullopt;
                continue;
            }
            if (!line.startsWith(QLatin1Char('"')) && !line.startsWith(QLatin1Char('@')))
                return fail(lineNo, QStringLiteral("not a key, value or comment"));
            // A value's data may go on over several lines, each but the last ending in '\'.
            while (line.endsWith(QLatin1Char('\\')) && i + 1 < lines.size()) {
                line.chop(1);
                line += Trimmed(lines[++i]);
            }
            if (!value(line, lineNo))
                return std::nullopt;
        }
        return std::move(hive_);
    }

private:
    static QString Trimmed(const QString& line) { return line.trimmed(); }

    std::nullopt_t fail(int line, const QString& reason) {
        bad(line, reason);
        return std::nullopt;
    }

    bool bad(int line, const QString& reason) {
        if (error_)
            *error_ = {line, reason};
        return false;
    }

    bool section(const QString& line, int lineNo) {
        if (!line.endsWith(QLatin1Char(']')))
            return bad(lineNo, QStringLiteral("unterminated key"));
        QString inner = line.mid(1, line.size() - 2);
        const bool deletion = inner.startsWith(QLatin1Char('-'));
        if (deletion)
            inner.remove(0, 1);
        const QString& root = hive_.rootName();
        QString path;
        if (inner.compare(root, Qt::CaseInsensitive) == 0) {
            path.clear();
        } else if (inner.size() > root.size() && inner.at(root.size()) == QLatin1Char('\\') &&
                   inner.left(root.size()).compare(root, Qt::CaseInsensitive) == 0) {
            path = inner.mid(root.size() + 1);
        } else {
            return bad(lineNo, QStringLiteral("key outside %1").arg(root));
        }
        QStringList parts;
        if (!SplitKeyPath(path, &parts) || path.startsWith(QLatin1Char('\\')) ||
            path.endsWith(QLatin1Char('\\')))
            return bad(lineNo, QStringLiteral("invalid key path"));
        if (deletion) {
            // Values that follow a deleted key are ignored, as regedit ignores them.
            if (!parts.isEmpty())
                hive_.remove(path);
            current_ = nullptr;
            skipping_ = true;
            return true;
        }
        current_ = hive_.create(path);
        skipping_ = false;
        return true;
    }

    // A quoted text starting at pos; pos ends after the closing quote.
    static bool QuotedText(const QString& line, qsizetype& pos, QString* out) {
        ++pos;
        while (pos < line.size()) {
            const QChar c = line[pos++];
            if (c == QLatin1Char('"'))
                return true;
            if (c == QLatin1Char('\\')) {
                if (pos >= line.size())
                    return false;
                const QChar next = line[pos++];
                // Only \\ and \" are escapes; a lone backslash typed by hand stays.
                if (next != QLatin1Char('\\') && next != QLatin1Char('"'))
                    *out += c;
                *out += next;
                continue;
            }
            *out += c;
        }
        return false;
    }

    static bool HexNumber(const QString& digits, uint32_t* number) {
        if (digits.isEmpty() || digits.size() > 8)
            return false;
        for (QChar c : digits) {
            const char16_t u = c.unicode();
            if (!((u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F')))
                return false;
        }
        bool ok = false;
        *number = digits.toUInt(&ok, 16);
        return ok;
    }

    static bool HexBytes(const QString& list, QByteArray* out) {
        const QStringList tokens = list.split(QLatin1Char(','));
        for (qsizetype i = 0; i < tokens.size(); ++i) {
            const QString t = tokens[i].trimmed();
            if (t.isEmpty()) {
                if (i + 1 == tokens.size()) // a trailing comma, or no bytes at all
                    break;
                return false;
            }
            uint32_t b = 0;
            if (t.size() > 2 || !HexNumber(t, &b))
                return false;
            out->append(static_cast<char>(b));
        }
        return true;
    }

    bool value(const QString& line, int lineNo) {
        qsizetype pos = 0;
        QString name;
        if (line.startsWith(QLatin1Char('@'))) {
            pos = 1;
        } else if (!QuotedText(line, pos, &name)) {
            return bad(lineNo, QStringLiteral("unterminated value name"));
        }
        while (pos < line.size() && line[pos].isSpace())
            ++pos;
        if (pos >= line.size() || line[pos] != QLatin1Char('='))
            return bad(lineNo, QStringLiteral("'=' expected"));
        ++pos;
        while (pos < line.size() && line[pos].isSpace())
            ++pos;
        const QString data = line.mid(pos);
        if (!skipping_ && !current_)
            return bad(lineNo, QStringLiteral("value before any key"));

        std::optional<Value> parsed;
        bool remove = false;
        if (data.startsWith(QLatin1Char('"'))) {
            qsizetype p = 0;
            QString text;
            if (!QuotedText(data, p, &text) || !data.mid(p).trimmed().isEmpty())
                return bad(lineNo, QStringLiteral("bad text"));
            parsed = Value::Text(text);
        } else if (data == QLatin1String("-")) {
            remove = true;
        } else if (data.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
            uint32_t n = 0;
            if (!HexNumber(data.mid(6).trimmed(), &n))
                return bad(lineNo, QStringLiteral("bad dword"));
            parsed = Value::Dword(n);
        } else if (data.startsWith(QLatin1String("hex"), Qt::CaseInsensitive)) {
            uint32_t type = REG_BINARY;
            qsizetype p = 3;
            if (p < data.size() && data[p] == QLatin1Char('(')) {
                const qsizetype close = data.indexOf(QLatin1Char(')'), p);
                if (close < 0 || !HexNumber(data.mid(p + 1, close - p - 1), &type))
                    return bad(lineNo, QStringLiteral("bad hex type"));
                p = close + 1;
            }
            if (p >= data.size() || data[p] != QLatin1Char(':'))
                return bad(lineNo, QStringLiteral("':' expected"));
            QByteArray bytes;
            if (!HexBytes(data.mid(p + 1), &bytes))
                return bad(lineNo, QStringLiteral("bad hex bytes"));
            // Texts are written with their terminating zero; the store keeps them without.
            if ((type == REG_SZ || type == REG_EXPAND_SZ) && bytes.endsWith('\0'))
                bytes.chop(1);
            parsed = Value{type, bytes};
        } else {
            return bad(lineNo, QStringLiteral("unknown data"));
        }
        if (skipping_)
            return true;
        if (remove)
            current_->removeValue(name);
        else
            current_->setValue(name, std::move(*parsed));
        return true;
    }

    Hive hive_;
    ParseError* error_;
    Key* current_ = nullptr;
    bool skipping_ = false;
};

} // namespace

std::optional<Hive> ParseRegedit(const QByteArray& bytes, const QString& rootName, ParseError* error) {
    if (bytes.size() > kMaxRegeditSize) {
        if (error)
            *error = {0, QStringLiteral("file too large")};
        return std::nullopt;
    }
    QByteArray body = bytes;
    if (body.startsWith("\xEF\xBB\xBF"))
        body.remove(0, 3);
    // Our files are UTF-8; a REGEDIT4 file made on Windows is in its ANSI code page.
    auto decoder = QStringDecoder(QStringDecoder::Utf8);
    QString text = decoder(body);
    if (decoder.hasError())
        text = FromWindows1252(body);
    if (text.contains(QChar(0))) {
        if (error)
            *error = {0, QStringLiteral("binary content")};
        return std::nullopt;
    }
    return Parser(rootName, error).run(text);
}

} // namespace morbek::platform::registry
