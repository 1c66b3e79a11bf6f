#include "components/Busy.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <QWindow>
#include <cstdint>
#include <ctime>

namespace morbek::busy {

namespace {
int depth = 0;
constexpr int64_t kPumpIntervalMs = 30;
int64_t lastPumpMs = -1;

// Asked at every record of a long read: the coarse clock (a few milliseconds of
// resolution, well under the interval) costs a fraction of the precise one.
int64_t NowMs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}
} // namespace

void Begin() {
    ++depth;
}
void End() {
    if (depth > 0)
        --depth;
}
bool IsBusy() {
    return depth > 0;
}

void PumpBusy() {
    const int64_t now = NowMs();
    if (lastPumpMs >= 0 && now - lastPumpMs < kPumpIntervalMs)
        return;
    lastPumpMs = now;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void WaitExposed(QWidget* window) {
    if (!window)
        return;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 1000) {
        QWindow* handle = window->window()->windowHandle();
        if (handle && handle->isExposed())
            break;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    }
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    lastPumpMs = NowMs();
}

} // namespace morbek::busy
