// libFuzzer target for the registry's REGEDIT4 reader: the input is a store file as a
// person or another program may have left it. Whatever is accepted must be written
// back as a text that reads back as the same tree and the same text.
#include "platform/registry/Hive.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

using namespace morbek::platform::registry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString root = QStringLiteral("HKEY_CURRENT_USER");
    const std::optional<Hive> hive = ParseRegedit(input, root);
    if (!hive)
        return 0;
    const QByteArray text = hive->toRegedit();
    const std::optional<Hive> again = ParseRegedit(text, root);
    if (!again || !again->root().sameTree(hive->root()) || again->toRegedit() != text)
        __builtin_trap();
    return 0;
}
