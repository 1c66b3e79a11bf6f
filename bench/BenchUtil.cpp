#include "BenchUtil.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace morbek::bench {

double Median(std::vector<double> values) {
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double TimeMedian(int runs, const std::function<void()>& fn) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        fn();
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e9);
    }
    return Median(times);
}

double TimePeer(int runs, const QString& program, const QStringList& args) {
    std::vector<QByteArray> storage;
    storage.push_back(QFile::encodeName(program));
    for (const QString& a : args)
        storage.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        QElapsedTimer timer;
        timer.start();
        pid_t pid = 0;
        const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0)
            return -1;
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status))
            return -1;
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e9);
    }
    return Median(times);
}

void PrintResult(const QString& benchmark, const QString& input, double ours, const QString& peer,
                 double peerSeconds) {
    const QString ratio = peerSeconds > 0 ? QString::number(ours / peerSeconds, 'f', 3) : QStringLiteral("-");
    std::printf("%s\t%s\t%.4f\t%s\t%s\t%s\n", qPrintable(benchmark), qPrintable(input), ours, qPrintable(peer),
                peerSeconds > 0 ? qPrintable(QString::number(peerSeconds, 'f', 4)) : "-", qPrintable(ratio));
    std::fflush(stdout);
}

} // namespace morbek::bench
