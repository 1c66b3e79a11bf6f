#include "BenchUtil.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace morbek::bench {

namespace {
void QuietWarnings(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtWarningMsg && type != QtInfoMsg && type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}
} // namespace

void QuietOffscreen() {
    qInstallMessageHandler(QuietWarnings);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

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

long FirstRunPeak::kb(const QString& what) const {
    const long now = OwnMaxRssKb();
    if (kb_ > 0 && now > kb_ + kb_ / 10)
        std::fprintf(stderr, "bench: %s: our peak memory grew from %ld to %ld KiB over the later runs\n",
                     qPrintable(what), kb_, now);
    return kb_ > 0 ? kb_ : now;
}

namespace {

// One run of a peer through bench_peer_run (beside this program: see there why).
// False when it could not be run or was killed.
bool RunPeerOnce(const QString& program, const QStringList& args, double* seconds, long* maxRssKb,
                 int* exitCode) {
    const QString runner = QCoreApplication::applicationDirPath() + QStringLiteral("/bench_peer_run");
    QProcess process;
    process.start(runner, QStringList{program} + args);
    if (!process.waitForStarted() || !process.waitForFinished(-1)) {
        std::fprintf(stderr, "bench: cannot run %s\n", qPrintable(runner));
        return false;
    }
    // SECONDS MAXRSS_KB EXIT
    const QList<QByteArray> fields = process.readAllStandardOutput().simplified().split(' ');
    if (fields.size() != 3 || fields[2].toInt() < 0)
        return false;
    *seconds = fields[0].toDouble();
    *maxRssKb = fields[1].toLong();
    *exitCode = fields[2].toInt();
    return true;
}

} // namespace

PeerResult TimePeer(int runs, const QString& program, const QStringList& args,
                    const std::function<void()>& prepare) {
    const double budget = BudgetSeconds();
    PeerResult result;
    std::vector<double> times;
    double spent = 0;
    for (int i = 0; i < runs && (i == 0 || spent < budget); ++i) {
        if (prepare)
            prepare();
        double seconds = 0;
        long maxRss = -1;
        if (!RunPeerOnce(program, args, &seconds, &maxRss, &result.exitCode))
            return {};
        times.push_back(seconds);
        spent += seconds;
        result.maxRssKb = std::max(result.maxRssKb, maxRss);
    }
    NoteShortened(static_cast<int>(times.size()), runs);
    result.seconds = Median(times);
    return result;
}

Comparison CompareInTurns(int runs, const std::function<void()>& ours,
                          const std::function<void()>& prepareOurs, const std::vector<Peer>& peers,
                          const std::function<void()>& preparePeer) {
    const double budget = BudgetSeconds();
    Comparison result;
    result.peers.resize(peers.size());
    std::vector<double> oursTimes;
    std::vector<std::vector<double>> peerTimes(peers.size());
    std::vector<bool> failed(peers.size(), false);
    double spent = 0;
    int rounds = 0;
    for (; rounds < runs && (rounds == 0 || spent < budget); ++rounds) {
        if (prepareOurs)
            prepareOurs();
        QElapsedTimer timer;
        timer.start();
        ours();
        oursTimes.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        spent += oursTimes.back();
        if (result.oursMaxRssKb < 0)
            result.oursMaxRssKb = OwnMaxRssKb();
        for (size_t p = 0; p < peers.size(); ++p) {
            if (failed[p])
                continue;
            if (preparePeer)
                preparePeer();
            PeerResult& r = result.peers[p];
            double seconds = 0;
            long maxRss = -1;
            if (!RunPeerOnce(peers[p].program, peers[p].args, &seconds, &maxRss, &r.exitCode) ||
                (peers[p].verify && !peers[p].verify())) {
                failed[p] = true;
                continue;
            }
            peerTimes[p].push_back(seconds);
            spent += seconds;
            r.maxRssKb = std::max(r.maxRssKb, maxRss);
        }
    }
    NoteShortened(rounds, runs);
    result.ours = Median(oursTimes);
    for (size_t p = 0; p < peers.size(); ++p)
        result.peers[p] =
            failed[p] ? PeerResult{}
                      : PeerResult{Median(peerTimes[p]), result.peers[p].maxRssKb, result.peers[p].exitCode};
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
    const QByteArray ratio =
        peerOk ? QByteArray::number(ours / peerResult.seconds, 'f', 3) : QByteArray("n/a");
    std::printf("%s\t%s\t%.4f\t%s\t%s\t%s\t%ld\t%ld\n", qPrintable(benchmark), qPrintable(input), ours,
                qPrintable(peer), peerSeconds.constData(), ratio.constData(), oursMaxRssKb,
                peerOk ? peerResult.maxRssKb : -1L);
    std::fflush(stdout);
}

} // namespace morbek::bench
