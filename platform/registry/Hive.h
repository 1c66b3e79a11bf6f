#pragma once
// One root key of the registry (HKEY_CURRENT_USER, HKEY_CLASSES_ROOT) held in memory as
// a typed tree, and its text form: a REGEDIT4 file a person can read and edit.
//
// Key and value names compare without regard to ASCII case and keep the spelling they
// were first created with, as the original registry does. The empty value name is a
// key's default value ("@" in the file).
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace morbek::platform::registry {

// Value types, numbered as the original registry (and REGEDIT4's hex(n)) numbers them.
inline constexpr uint32_t REG_NONE = 0;
inline constexpr uint32_t REG_SZ = 1;
inline constexpr uint32_t REG_EXPAND_SZ = 2;
inline constexpr uint32_t REG_BINARY = 3;
inline constexpr uint32_t REG_DWORD = 4;
inline constexpr uint32_t REG_MULTI_SZ = 7;
inline constexpr uint32_t REG_QWORD = 11;

struct Value {
    uint32_t type = REG_NONE;
    QByteArray data; // REG_SZ: UTF-8 without the terminating zero; REG_DWORD: 4 bytes little-endian

    static Value Text(const QString& text);
    static Value Dword(uint32_t number);
    static Value Binary(const QByteArray& bytes);

    QString text() const { return QString::fromUtf8(data); }
    // The size the original platform reports for the data: a text counts its zero.
    qsizetype dataSize() const {
        return type == REG_SZ || type == REG_EXPAND_SZ ? data.size() + 1 : data.size();
    }
    bool operator==(const Value&) const = default;
};

class Key {
public:
    struct NamedValue {
        QString name;
        Value value;
    };

    explicit Key(QString name) : name_(std::move(name)) {}
    Key(const Key& other);
    Key(Key&&) noexcept = default;
    Key& operator=(const Key&) = delete;

    const QString& name() const { return name_; }
    const std::vector<std::unique_ptr<Key>>& children() const { return children_; }
    const std::vector<NamedValue>& values() const { return values_; }

    Key* child(const QString& name) const;
    Key& addChild(const QString& name); // the existing child of that name, or a new one
    bool removeChild(const QString& name);

    const Value* value(const QString& name) const;
    void setValue(const QString& name, Value value);
    bool removeValue(const QString& name);

    bool sameTree(const Key& other) const;

private:
    QString name_;
    std::vector<std::unique_ptr<Key>> children_;
    std::vector<NamedValue> values_;
    // Folded name -> position, so that a large hand-made file still loads in linear time.
    QHash<QString, size_t> childIndex_, valueIndex_;
};

// Splits "A\B\C" into its parts. Leading and trailing backslashes are ignored; an empty
// part or a control character makes the path invalid.
bool SplitKeyPath(const QString& path, QStringList* parts);

class Hive {
public:
    explicit Hive(QString rootName) : rootName_(std::move(rootName)), root_(QString()) {}
    Hive(const Hive&) = default;
    Hive(Hive&&) noexcept = default;

    const QString& rootName() const { return rootName_; }
    Key& root() { return root_; }
    const Key& root() const { return root_; }

    // Paths are relative to the root; the empty path is the root itself.
    const Key* find(const QString& path) const;
    Key* find(const QString& path);
    // Creates the key and every missing key on its path; nullptr for an invalid path.
    Key* create(const QString& path);
    // Removes the key with everything below it; false when it was absent. The root
    // itself is never removed.
    bool remove(const QString& path);

    QByteArray toRegedit() const;

private:
    QString rootName_;
    Key root_;
};

struct ParseError {
    int line = 0;
    QString reason;
};

// Largest store file read; anything bigger is not a settings file.
inline constexpr qsizetype kMaxRegeditSize = 16 * 1024 * 1024;

// Reads a REGEDIT4 text whose keys all lie under rootName, applying its lines in order
// as regedit imports them ([-key] and "name"=- delete). nullopt for a text that cannot
// be understood, with where and why in *error.
std::optional<Hive> ParseRegedit(const QByteArray& text, const QString& rootName,
                                 ParseError* error = nullptr);

} // namespace morbek::platform::registry
