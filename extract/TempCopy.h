#pragma once
// The temporary copy of a cabinet that lies inside an executable: the cabinet library
// reads cabinet files, so the bytes of the embedded cabinet are copied out first.
//
// The copy lives in the user's private temporary folder under the executable's name with
// ".TMP" as its extension. While a run uses it, the run holds a shared lock on it, so
// that a second instance of the program never replaces or deletes a copy in use: it
// writes its own copy under another name instead. A file of that name that no running
// instance holds is a leftover of an earlier run and is replaced.
#include <QString>
#include <cstdint>
#include <functional>

namespace morbek {

// tempFolder (with its trailing '/') followed by the file name of cabFileName with its
// extension (from the last dot of the file name) replaced by ".TMP", or ".TMP" appended.
QString TemporaryCopyPath(const QString& cabFileName, const QString& tempFolder);

class TemporaryCopy {
public:
    enum class Result { Ok, CannotRead, CannotWrite };

    TemporaryCopy() = default;
    ~TemporaryCopy();
    TemporaryCopy(const TemporaryCopy&) = delete;
    TemporaryCopy& operator=(const TemporaryCopy&) = delete;

    static constexpr int64_t kBlockSize = 8192;

    // Copies size bytes found at offset in source, in blocks of kBlockSize through one
    // buffer; progress gets the percentage copied after each full block. A source that is
    // locked, unreadable or shorter than offset + size gives CannotRead, a failed write
    // CannotWrite; in both cases no copy is left.
    Result Make(const QString& source, int64_t offset, int64_t size, const QString& path,
                const std::function<void(int percent)>& progress);

    // The file written by Make (path, or a name beside it when path is in use).
    QString Path() const { return path_; }

    // Deletes this run's copy, if any, and a leftover at path that no running instance
    // holds. Failures are ignored.
    void Remove(const QString& path);

private:
    int claim(const QString& path);
    QString path_;
    int fd_ = -1;
};

} // namespace morbek
