// libFuzzer target for the catalogue reader: the input is the file being opened, as a
// cabinet or as an executable that may carry one.
#include "cabinet/Catalogue.h"
#include "platform/files/Files.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An in-memory file, reached by path as the reader wants it.
    const int fd = memfd_create("catalogue", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    morbek::platform::WriteAll(fd, data, size);
    const QString path = QStringLiteral("/proc/self/fd/%1").arg(fd);
    const morbek::cab::Catalogue catalogue = morbek::cab::ReadCatalogue(path);
    // Whatever was listed must be consistent with the header that was accepted.
    if (catalogue.outcome == morbek::cab::OpenOutcome::Ok &&
        catalogue.entries.size() != static_cast<size_t>(catalogue.header.FileCount))
        __builtin_trap();
    close(fd);
    return 0;
}
