#pragma once
#include <QString>

namespace morbek::platform {

// The user's own temporary folder, with a trailing '/': "morbek-<uid>" under $TMPDIR
// (else /tmp), mode 0700, checked to be a real folder owned by the user and not a
// link; when that check fails, a fresh mkdtemp folder for this run, removed at exit.
// The answer is computed once per process.
QString GetTempPathA();

} // namespace morbek::platform
