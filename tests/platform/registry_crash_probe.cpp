// Helper process of the registry tests: stores one integer in the settings key and is
// killed with half of the new file written, as a crash or a power cut would stop it.
//   registry_crash_probe NAME NUMBER
#include "platform/registry/Registry.h"

#include <QCoreApplication>
#include <csignal>

using namespace morbek::platform::registry;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    SetSaveHook([](SavePoint point) {
        if (point == SavePoint::HalfWritten)
            std::raise(SIGKILL);
        return true;
    });
    SetValue(RootKey::CurrentUser, QStringLiteral("Software\\Harvex\\Morbek\\Setup"),
             QString::fromLocal8Bit(argv[1]), Value::Dword(QByteArray(argv[2]).toUInt()));
    return 1; // not reached when the save ran
}
