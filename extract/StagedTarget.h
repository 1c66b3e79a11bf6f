#pragma once
// An extracted file is written under a hidden name beside its final one and renamed into
// place only once the library has closed it whole. A run that is killed, or that a
// damaged cabinet stops half way, then never leaves a truncated file under the entry's
// name, and a file the user agreed to replace keeps its old contents until the new ones
// are complete. Leftovers of a killed run are hidden files named ".<name>.morbek-XXXXXX"
// (or ".morbek-XXXXXX" when the name is too long to carry), never an entry's name.
#include <QByteArray>
#include <QString>
#include <sys/types.h>

namespace morbek {

class StagedTarget {
public:
    // Creates the hidden file for target in target's folder (exclusively, without
    // following links) and returns its descriptor (> 0, locked, close-on-exec). When
    // target exists it must be a regular file that its owner may write and that no one
    // holds; it is then locked until Commit or Discard, and the new file takes its
    // permission bits and, where allowed, its owner. Returns -1 when the file cannot be
    // staged here; the caller then writes target in place as before. knownMissing: the
    // caller has just found no file at target, so it is not looked up again.
    int Begin(const QString& target, bool knownMissing = false);

    bool Active() const { return !staging_.isEmpty(); }
    // The hidden file, as raw bytes (the name may be cut from a longer one).
    const QByteArray& StagingPath() const { return staging_; }

    // The library has closed the descriptor: the hidden file takes the target's name.
    // False (and the hidden file removed) when the rename fails.
    bool Commit();
    // Removes the hidden file and releases the existing target. Nothing when not active.
    void Discard();

private:
    void Release();

    QByteArray target_;
    QByteArray staging_;
    int guard_ = -1; // the existing target, locked while its replacement is written
};

// True for the names Begin gives its hidden files.
bool IsStagingName(const QString& fileName);

} // namespace morbek
