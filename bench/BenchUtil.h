#pragma once
// Shared pieces of the benchmarks: medians under a time budget, timing a peer program with
// its peak memory, checking what a peer did, the result line.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace morbek::bench {

// Before QApplication: the offscreen platform unless another is asked for, and its
// warnings kept out of the results (errors still go to stderr).
void QuietOffscreen();

double Median(std::vector<double> values);

// Seconds taken by fn, as the median of up to runs runs; prepare (untimed) comes before
// each. Repeats stop early, after at least one run, once the timed runs have taken
// BENCH_BUDGET_S seconds (30 by default), so that slow inputs keep the suite short.
double TimeMedian(int runs, const std::function<void()>& fn, const std::function<void()>& prepare = {});

// Peak resident set of this process so far, in KiB (getrusage RUSAGE_SELF).
long OwnMaxRssKb();

// Our peak memory as one run leaves it, as a peer's comes from one process per run: the
// process's ru_maxrss taken at the end of the first timed run (mark() at the end of every
// run; only the first counts). Growth over the later runs is reported on stderr.
class FirstRunPeak {
public:
    void mark() {
        if (kb_ < 0)
            kb_ = OwnMaxRssKb();
    }
    // kb() after the runs; notes growth on stderr, naming what was measured.
    long kb(const QString& what) const;

private:
    long kb_ = -1;
};

struct PeerResult {
    double seconds = -1; // median; negative when the program is missing or was killed
    long maxRssKb = -1;  // the largest ru_maxrss of its runs, from wait4 in bench_peer_run
    int exitCode = -1;   // of the last run
};

// Runs a program with its output discarded, as TimeMedian does (prepare before each run),
// each run started by bench_peer_run from this program's folder.
PeerResult TimePeer(int runs, const QString& program, const QStringList& args,
                    const std::function<void()>& prepare = {});

// A peer program of a comparison in turns; verify (optional) runs after each of its runs
// and says whether it did the work (a peer that did not is reported as failed).
struct Peer {
    QString label, program;
    QStringList args;
    std::function<bool()> verify;
};

struct Comparison {
    double ours = -1;
    long oursMaxRssKb = -1;        // ru_maxrss at the end of our first run
    std::vector<PeerResult> peers; // in the order given
};

// Ours and the peers measured in turns: each round runs ours (after prepareOurs), then
// every peer (each after preparePeer), so that a machine that speeds up or slows down
// during the measurement weighs on all of them alike. Medians of up to runs rounds; the
// rounds stop early, after the first, once BENCH_BUDGET_S seconds have been spent.
Comparison CompareInTurns(int runs, const std::function<void()>& ours,
                          const std::function<void()>& prepareOurs, const std::vector<Peer>& peers,
                          const std::function<void()>& preparePeer);

// Runs a program once and hands back its standard output (empty when it cannot run).
QByteArray PeerOutput(const QString& program, const QStringList& args);

// 7-Zip's command: 7zz where installed (Debian's 7zip), else 7z.
QString SevenZip();

// Regular files under dir, at any depth.
qsizetype CountFiles(const QString& dir);

// benchmark<TAB>input<TAB>ours_s<TAB>peer<TAB>peer_s<TAB>ratio<TAB>ours_maxrss_kb<TAB>peer_maxrss_kb
// ratio = ours / peer. A peer that failed or could not read the input shows peer_s -1,
// ratio n/a and peer_maxrss_kb -1.
void PrintResult(const QString& benchmark, const QString& input, double ours, long oursMaxRssKb,
                 const QString& peer, const PeerResult& peerResult);

} // namespace morbek::bench
