#pragma once
// Replacing a small text file so that a crash at any moment leaves either the old or
// the new file whole, never a mixture.
#include <QByteArray>
#include <QString>

#include <functional>

namespace morbek::platform::registry {

// The file a write of path must replace: path itself, or for a link (a dotfile manager's)
// the file it points to, so the link stays a link.
QString WriteTarget(const QString& path);

// Creates the folder and any missing parents; the last one is made private (0700).
bool MakeFolder(const QString& folder);

// Writes data to a temporary file beside target, flushes it, renames it over target and
// flushes the folder. The file keeps target's permissions (0600 for a new one). progress,
// when given, is asked at the three points of the save (0 begin, 1 half written,
// 2 before the rename); false stops the save there.
bool WriteFileAtomically(const QString& target, const QByteArray& data,
                         const std::function<bool(int point)>& progress = {});

// Reads at most limit bytes; false when the file cannot be read (absent: *absent set).
bool ReadWholeFile(const QString& path, qsizetype limit, QByteArray* data, bool* absent);

} // namespace morbek::platform::registry
