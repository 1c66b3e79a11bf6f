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
    // Creates the hidden file for name in the folder open as folder (exclusively, never
    // following a link) and returns its descriptor (> 0, locked, close-on-exec). Everything
    // is done relative to that descriptor, so a folder swapped for a link meanwhile cannot
    // redirect the file. When name exists it must be a regular file (not a link) that its
    // owner may write and that no one holds; it is then locked until Commit or Discard,
    // and the new file takes its permission bits and, where allowed, its owner. Returns -1
    // with errno saying why when the file cannot be staged here. knownMissing: the caller
    // has just found nothing at name, so it is not looked up again.
    int Begin(int folder, const QByteArray& name, bool knownMissing = false);

    bool Active() const { return !staging_.isEmpty(); }
    // The hidden file's name in its folder, as raw bytes (cut when the name is long).
    const QByteArray& StagingPath() const { return staging_; }

    // The library has closed the descriptor: the hidden file takes the target's name
    // (whatever now stands there is replaced, a link included, never followed). False,
    // errno set and the hidden file removed, when the rename fails.
    bool Commit();
    // Removes the hidden file and releases the existing target. Nothing when not active.
    void Discard();

private:
    void Release();

    int folder_ = -1; // our own descriptor of the folder
    QByteArray target_;
    QByteArray staging_;
    int guard_ = -1; // the existing target, locked while its replacement is written
};

// True for the names Begin gives its hidden files.
bool IsStagingName(const QString& fileName);

// Removes the hidden files a killed run left in the folder open as folder: names that
// IsStagingName accepts, regular files (not links) owned by the current user that no
// live run holds locked. Returns how many were removed.
int RemoveStagingLeftovers(int folder);

} // namespace morbek
