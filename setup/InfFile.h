#pragma once
// Reading an installation description file (INF): sections in brackets, "key = value"
// lines and bare value lines, values split at commas, double quotes around text that
// holds commas or semicolons ("" inside quotes is one quote), ';' comments, '\' at the
// end of a line to continue it, and %name% replaced from the [Strings] section (%% is
// one percent sign). Section and key names compare without case.
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace morbek::setup {

struct InfLine {
    int number = 0;     // line number in the file, for messages
    QString key;        // empty for a bare value line
    QStringList fields; // the value split at commas, quotes removed, strings replaced
};

struct InfSection {
    QString name;
    std::vector<InfLine> lines;
};

class InfFile {
public:
    static constexpr qsizetype kMaxSize = 256 * 1024; // far above any real description file

    // nullopt and a message when the text is no INF file.
    static std::optional<InfFile> Parse(const QByteArray& text, QString* error);

    const InfSection* Section(const QString& name) const;
    // Fields of the first line with that key in the section; nullopt when there is none.
    std::optional<QStringList> Value(const InfSection& section, const QString& key) const;
    QString String(const QString& key) const { return strings_.value(key.toLower()); }

private:
    std::vector<InfSection> sections_;
    QHash<QString, QString> strings_; // lower-case key -> text
};

} // namespace morbek::setup
