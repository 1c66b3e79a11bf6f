#pragma once
// The message box of the installation programs: the platform's standard box with one
// OK button and no owner, shown and waited for. The programs around it never need a
// display otherwise, so the application object is built only here, in a child
// process: a display that is missing or refuses the connection ends that child, never
// the caller, and the text then goes to stderr.
//
// Test seam: with MORBEK_TEST_ANSWER_BOXES set, the box is built and shown as usual,
// reported on stderr as one line "box caption=<caption> text=<text> buttons=<names>"
// (line breaks in the text written as "\n") and answered with its OK button.
#include <QString>

namespace morbek::setup {

void ShowInstallMessage(const QString& text, const QString& caption);

} // namespace morbek::setup
