#pragma once
// The main window of the window benchmarks, brought up as a user's first start would.
namespace morbek {
class TDezerOvu;
}

namespace morbek::bench {

// Shows the window without a command-line file and waits for its first activation
// (bench/run gives a private home, where the first start asks about the file association:
// the question is declined). False, with a note naming program on stderr, when the window
// never comes up.
bool BringUp(TDezerOvu& window, const char* program);

} // namespace morbek::bench
