// A second host for the single-instance guard, for tests with real processes: a plain
// window carrying the guard under the program's title. "--no-enforce" turns the check
// off; "--at <ms since the epoch>" holds the check until that moment, so that several
// probes check at once. Prints "first <0|1> end <0|1>" after the check, then "shown", and runs until
// stdin closes or reads "quit".
#include "components/Framework.h"
#include "components/OnlyOne.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <unistd.h>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    morbek::framework::SetApplicationTitle(QStringLiteral("Zuvedaz ud Izedori"));
    QWidget owner;
    auto* guard = new morbek::TOnlyOne(&owner);
    qint64 at = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-enforce") == 0)
            guard->EnforceOnlyOne = false;
        else if (std::strcmp(argv[i], "--at") == 0 && i + 1 < argc)
            at = QByteArray(argv[++i]).toLongLong();
    }
    if (at > 0) {
        const timespec when{static_cast<time_t>(at / 1000), static_cast<long>(at % 1000) * 1000000};
        while (::clock_nanosleep(CLOCK_REALTIME, TIMER_ABSTIME, &when, nullptr) == EINTR) {
        }
    }
    guard->Loaded();
    std::printf("first %d end %d\n", guard->IsFirstInstance ? 1 : 0, guard->MustEnd() ? 1 : 0);
    std::fflush(stdout);
    if (guard->MustEnd())
        return 0;
    QObject::connect(guard, &morbek::TOnlyOne::HandedOver, [](bool restored) {
        std::printf("handover %s\n", restored ? "restored" : "raised");
        std::fflush(stdout);
    });
    owner.show();
    std::printf("shown\n");
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0 || QByteArray(buffer, static_cast<int>(n)).contains("quit"))
            app.quit();
    });
    return app.exec();
}
