#pragma once
// Small file and environment helpers shared by the tests: one copy each, so that a fix
// to one reaches every test.
#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <utility>
#include <vector>

namespace morbek::test {

// The whole file, or "<missing>" when it cannot be read (so that a comparison that fails
// says so instead of comparing with nothing).
inline QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Writes bytes to path, making its folders; false when any of it failed.
inline bool WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// md5 as lower-case hex; of a file, "<missing>" when it cannot be read.
inline QString Md5Of(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}
inline QString Md5OfFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("<missing>");
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(&f);
    return QString::fromLatin1(hash.result().toHex());
}

// Contents that compress somewhat but not trivially, different for each seed, and made of
// a small alphabet: never a cabinet's or an executable's signature.
inline QByteArray Pattern(int bytes, int seed = 0) {
    QByteArray out(bytes, '\0');
    uint32_t x = 0x9E3779B9u * static_cast<uint32_t>(seed + 1);
    for (int i = 0; i < bytes; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = static_cast<char>("abcdefgh \n"[(x >> 16) % 10]);
    }
    return out;
}

// Every file under a folder (hidden ones too), relative to it, sorted.
inline QStringList FilesUnder(const QString& root) {
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}
// The same files with their contents.
inline QMap<QString, QByteArray> ContentsUnder(const QString& root) {
    QMap<QString, QByteArray> contents;
    for (const QString& file : FilesUnder(root))
        contents.insert(file, ReadAll(QDir(root).filePath(file)));
    return contents;
}

// The settings store of a user who answered the association question before (install 0
// or 1), in the configuration folder configHome: a program started with it shows no
// question at its first activation.
inline bool SeedAnsweredSettings(const QString& configHome, int install = 0) {
    return WriteFile(configHome + QStringLiteral("/morbek/user.reg"),
                     QByteArray("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Harvex\\Morbek\\Setup]\n"
                                "\"Install\"=dword:0000000") +
                         QByteArray::number(install) + "\n\n");
}

// A private folder for one test, and files written in it.
class ScratchDir {
public:
    ScratchDir() : dir_(QDir::tempPath() + QStringLiteral("/morbek-test-XXXXXX")) {}
    bool isValid() const { return dir_.isValid(); }
    QString path() const { return dir_.path(); }
    QString path(const QString& name) const { return dir_.filePath(name); }
    // Writes bytes to name in the folder (making its folders); returns the full path.
    QString write(const QString& name, const QByteArray& bytes) const {
        const QString full = path(name);
        WriteFile(full, bytes);
        return full;
    }

private:
    QTemporaryDir dir_;
};

// Environment variables set for one scope; each comes back as it was when it goes.
class ScopedEnv {
public:
    ScopedEnv() = default;
    ~ScopedEnv() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->wasSet)
                qputenv(it->name, it->value);
            else
                qunsetenv(it->name);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    // Sets a variable (empty text: unset).
    void set(const char* name, const QString& value) {
        saved_.push_back({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
        if (value.isEmpty())
            qunsetenv(name);
        else
            qputenv(name, QFile::encodeName(value));
    }

private:
    struct Saved {
        const char* name;
        QByteArray value;
        bool wasSet;
    };
    std::vector<Saved> saved_;
};

} // namespace morbek::test
