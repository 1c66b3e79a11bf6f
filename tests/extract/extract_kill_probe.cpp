// A process that extracts one entry through the driver, for tests that kill it while the
// entry is being written.
//
//   extract_kill_probe CABINET TARGET_FOLDER ENTRY ENTRY_TEXT pause|run
//
// Writes "confirm" when asked whether to replace (and answers Yes), "writing" at the
// first write and, with pause, "halfway" once half the entry has been handed to the
// library's write; it then waits on stdin for ever, so that the test kills it in the
// middle of the entry. With run it goes on and ends with "result N".
#include "extract/Binding.h"
#include "extract/Driver.h"

#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

struct ScriptedUi : morbek::ExtractionUi {
    int ConfirmReplace(const QString&, const QString&) override {
        std::puts("confirm");
        std::fflush(stdout);
        return morbek::kIdYes;
    }
    void Warn(const QString&, const QString& text) override {
        std::printf("warn %s\n", text.toUtf8().constData());
        std::fflush(stdout);
    }
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 6)
        return 2;
    const bool pause = std::strcmp(argv[5], "pause") == 0;
    ScriptedUi ui;
    morbek::SetExtractionUi(&ui);
    bool started = false, halfway = false;
    morbek::SetProgressSink([&](int) {
        if (!started) {
            started = true;
            std::puts("writing");
            std::fflush(stdout);
        }
        if (pause && !halfway && morbek::ProgressDone * 2 >= morbek::ProgressTotal) {
            halfway = true;
            std::puts("halfway");
            std::fflush(stdout);
            // Waits for the kill; end of input means the test has gone away.
            char c;
            ssize_t n;
            do
                n = ::read(STDIN_FILENO, &c, 1);
            while (n > 0 || (n < 0 && errno == EINTR));
        }
    });
    const morbek::ExtractResult result =
        morbek::ExtractEntry(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]),
                             QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4]), 0);
    std::printf("result %d\n", static_cast<int>(result));
    return 0;
}
