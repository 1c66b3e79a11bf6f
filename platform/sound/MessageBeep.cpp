#include "platform/sound/MessageBeep.h"

#include <QApplication>

namespace morbek::platform {

namespace {
uint32_t lastType = 0;
int beepCount = 0;
} // namespace

void MessageBeep(uint32_t type) {
    lastType = type;
    ++beepCount;
    // One sound for every type: the desktop offers no per-type system sounds we can rely on.
    QApplication::beep();
}

uint32_t LastMessageBeep() {
    return lastType;
}
int MessageBeepCount() {
    return beepCount;
}

} // namespace morbek::platform
