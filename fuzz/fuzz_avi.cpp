// libFuzzer target for the AVI reader that the animation control uses: the input is the
// clip file.
#include "platform/avi/AviReader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace morbek::platform::avi;
    if (size > static_cast<size_t>(kMaxFileSize))
        return 0;
    Clip clip;
    const bool ok = ReadClip(QByteArrayView(data, static_cast<qsizetype>(size)), clip);
    // A clip that was read is whole: frames of its size, each with a full palette.
    if (ok != !clip.isEmpty())
        __builtin_trap();
    for (const QImage& frame : clip.frames) {
        if (frame.size() != clip.size || frame.format() != QImage::Format_Indexed8 ||
            frame.colorCount() != 256)
            __builtin_trap();
    }
    return 0;
}
