#include "components/Busy.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <QWindow>

namespace morbek::busy {

namespace {
int depth = 0;
QElapsedTimer sinceLastPump;
constexpr qint64 kPumpIntervalMs = 30;
} // namespace

void Begin() { ++depth; }
void End() {
    if (depth > 0)
        --depth;
}
bool IsBusy() { return depth > 0; }

void PumpBusy() {
    if (sinceLastPump.isValid() && sinceLastPump.elapsed() < kPumpIntervalMs)
        return;
    sinceLastPump.start();
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
    sinceLastPump.start();
}

} // namespace morbek::busy
