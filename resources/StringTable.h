#pragma once
#include <QString>

namespace morbek {

// The program's string table: entry language * 1000 + message number (French 0,
// English 1000, German 2000). An entry that does not exist gives the empty text.
QString LoadStringEntry(int id);

// Registers the compiled-in resources (strings, bitmaps, icons). The resources live in
// a static library, so nothing would pull them in otherwise. Safe to call repeatedly.
void EnsureResources();

} // namespace morbek
