#pragma once
// A help file of ours: UTF-8 text, one topic per help context. The format is described
// at the top of HelpFile.cpp.
#include <QString>
#include <QStringList>

#include <vector>

namespace morbek::platform::help {

// Context of the contents topic, the one HELP_FINDER shows.
constexpr int kContentsContext = 0;

struct HelpTopic {
    int context = 0;
    QString title;
    QStringList lines; // the topic's text lines as written, markup included
};

// Why a file could not be read.
enum class LoadError { None, Missing, Unreadable, TooLarge, NoTopics };

class HelpFile {
public:
    // Reads and parses a file; on failure the topics are empty and Error() says why.
    bool Load(const QString& path);
    // Parses text already in memory (used by Load).
    void Parse(const QString& text);

    LoadError Error() const { return error_; }
    const QString& Title() const { return title_; }       // "@title", may be empty
    const QString& Language() const { return language_; } // "@language", may be empty
    const std::vector<HelpTopic>& Topics() const { return topics_; }

    // The topic of a context, or nullptr.
    const HelpTopic* Find(int context) const;
    // Contexts of every link of a topic, in order of appearance.
    QList<int> Links(const HelpTopic& topic) const;
    // The topic's body as HTML for a rich-text view; links read "topic:<context>", links
    // to a context the file does not have are shown as plain text.
    QString BodyHtml(const HelpTopic& topic) const;

private:
    QString InlineHtml(const QString& text) const;

    std::vector<HelpTopic> topics_;
    QString title_;
    QString language_;
    LoadError error_ = LoadError::None;
};

} // namespace morbek::platform::help
