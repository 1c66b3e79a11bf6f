#pragma once
// Shared pieces of the benchmarks: medians, timing a peer program, the result line.
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace morbek::bench {

double Median(std::vector<double> values);

// Seconds taken by fn, as the median of runs.
double TimeMedian(int runs, const std::function<void()>& fn);

// Runs a program with its output discarded; the median of runs, in seconds. Negative
// when the program is missing or fails.
double TimePeer(int runs, const QString& program, const QStringList& args);

// benchmark<TAB>input<TAB>ours_s<TAB>peer<TAB>peer_s<TAB>ratio
void PrintResult(const QString& benchmark, const QString& input, double ours, const QString& peer,
                 double peerSeconds);

} // namespace morbek::bench
