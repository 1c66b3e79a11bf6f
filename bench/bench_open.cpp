// Open-and-list benchmark: the real Open command of the main window (offscreen), on a
// given cabinet, beside "cabextract -l" and "7z l" on the same file.
//   bench_open FILE [RUNS]
// Our peak memory is this process's own ru_maxrss after the first timed run: one process
// per input, holding what a user's would (Qt, the main window, the listed cabinet).
#include "BenchUtil.h"
#include "BenchWindow.h"
#include "app/FileListModel.h"
#include "app/MainWindow.h"
#include "components/Framework.h"

#include <QApplication>
#include <QFileInfo>
#include <cstdio>

int main(int argc, char** argv) {
    morbek::bench::QuietOffscreen();
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_open FILE [RUNS]\n");
        return 2;
    }
    QApplication app(argc, argv);
    morbek::framework::SetApplicationTitle(QStringLiteral("Zuvedaz ud Izedori"));
    const QString file = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    morbek::TDezerOvu window;
    if (!morbek::bench::BringUp(window, argv[0]))
        return 1;
    // Outside an event loop, objects left to deleteLater stay until asked for: a user's
    // would have gone by the next command, and must not count in our peak memory.
    const auto settle = [] { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); };
    morbek::bench::FirstRunPeak peak;
    const double ours = morbek::bench::TimeMedian(
        runs,
        [&] {
            window.PendingFileName = file;
            window.Ouvre1Click(nullptr);
            QCoreApplication::processEvents(); // the list lays out its items
            peak.mark();
        },
        settle);
    settle();
    const QString input = QFileInfo(file).fileName();
    const long oursMaxRss = peak.kb(QStringLiteral("open_list ") + input);
    const int rows = window.ListFic->model()->rowCount();
    if (rows == 0) {
        std::fprintf(stderr, "bench_open: nothing listed from %s\n", argv[1]);
        return 1;
    }
    // A peer that lists something else (a self-extractor's executable part, say) is not
    // timed: its listing must name one of our entries.
    const QByteArray needle = window.ListFic->model()->item(rows - 1).caption.toUtf8();
    const struct {
        QString label, program;
        QStringList args;
    } peers[] = {
        {QStringLiteral("cabextract -l"), QStringLiteral("cabextract"), {QStringLiteral("-l"), file}},
        {QStringLiteral("7z l"), morbek::bench::SevenZip(), {QStringLiteral("l"), file}},
    };
    for (const auto& peer : peers) {
        morbek::bench::PeerResult result;
        if (morbek::bench::PeerOutput(peer.program, peer.args).contains(needle))
            result = morbek::bench::TimePeer(runs, peer.program, peer.args);
        else
            std::fprintf(stderr, "bench_open: %s does not list %s\n", qPrintable(peer.label),
                         qPrintable(input));
        morbek::bench::PrintResult(QStringLiteral("open_list"), input, ours, oursMaxRss, peer.label, result);
    }
    return 0;
}
