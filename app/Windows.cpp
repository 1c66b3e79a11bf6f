#include "app/Windows.h"

namespace morbek {

ProgramWindows& Windows() {
    static ProgramWindows windows;
    return windows;
}

} // namespace morbek
