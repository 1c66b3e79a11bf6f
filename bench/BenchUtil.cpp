#include "BenchUtil.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace morbek::bench {

namespace {

double BudgetSeconds() {
    bool ok = false;
    const double v = qEnvironmentVariable("BENCH_BUDGET_S").toDouble(&ok);
    return ok && v > 0 ? v : 30;
}

void NoteShortened(int done, int runs) {
    if (done < runs)
        std::fprintf(stderr, "bench: time budget reached after %d of %d runs\n", done, runs);
}

} // namespace

double Median(std::vector<double> values) {
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double TimeMedian(int runs, const std::function<void()>& fn, const std::function<void()>& prepare) {
    const double budget = BudgetSeconds();
    std::vector<double> times;
    double spent = 0;
    for (int i = 0; i < runs && (i == 0 || spent < budget); ++i) {
        if (prepare)
            prepare();
        QElapsedTimer timer;
        timer.start();
        fn();
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        spent += times.back();
    }
    NoteShortened(static_cast<int>(times.size()), runs);
    return Median(times);
}

long OwnMaxRssKb() {
    rusage usage{};
    return getrusage(RUSAGE_SELF, &usage) == 0 ? usage.ru_maxrss : -1;
}

PeerResult TimePeer(int runs, const QString& program, const QStringList& args,
                    const std::function<void()>& prepare) {
    std::vector<QByteArray> storage;
    storage.push_back(QFile::encodeName(program));
    for (const QString& a : args)
        storage.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    const double budget = BudgetSeconds();
    PeerResult result;
    std::vector<double> times;
    double spent = 0;
    for (int i = 0; i < runs && (i == 0 || spent < budget); ++i) {
        if (prepare)
            prepare();
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
            return {};
        // wait4 gives this child's own peak, whatever other children ran before.
        int status = 0;
        rusage usage{};
        pid_t waited;
        do {
            waited = wait4(pid, &status, 0, &usage);
        } while (waited < 0 && errno == EINTR);
        const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
        if (waited != pid || !WIFEXITED(status))
            return {};
        times.push_back(seconds);
        spent += seconds;
        result.maxRssKb = std::max(result.maxRssKb, static_cast<long>(usage.ru_maxrss));
        result.exitCode = WEXITSTATUS(status);
    }
    NoteShortened(static_cast<int>(times.size()), runs);
    result.seconds = Median(times);
    return result;
}

QByteArray PeerOutput(const QString& program, const QStringList& args) {
    QProcess process;
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, args);
    if (!process.waitForStarted() || !process.waitForFinished(-1))
        return {};
    return process.readAllStandardOutput();
}

QString SevenZip() {
    return QStandardPaths::findExecutable(QStringLiteral("7zz")).isEmpty() ? QStringLiteral("7z")
                                                                           : QStringLiteral("7zz");
}

qsizetype CountFiles(const QString& dir) {
    qsizetype n = 0;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++n;
    }
    return n;
}

void PrintResult(const QString& benchmark, const QString& input, double ours, long oursMaxRssKb,
                 const QString& peer, const PeerResult& peerResult) {
    const bool peerOk = peerResult.seconds > 0;
    const QByteArray peerSeconds = peerOk ? QByteArray::number(peerResult.seconds, 'f', 4) : QByteArray("-1");
    const QByteArray ratio = peerOk ? QByteArray::number(ours / peerResult.seconds, 'f', 3) : QByteArray("n/a");
    std::printf("%s\t%s\t%.4f\t%s\t%s\t%s\t%ld\t%ld\n", qPrintable(benchmark), qPrintable(input), ours,
                qPrintable(peer), peerSeconds.constData(), ratio.constData(), oursMaxRssKb,
                peerOk ? peerResult.maxRssKb : -1L);
    std::fflush(stdout);
}

} // namespace morbek::bench
