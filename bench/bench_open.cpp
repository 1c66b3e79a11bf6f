// Open-and-list benchmark: the real Open command of the main window (offscreen), on a
// given cabinet, beside "cabextract -l" on the same file.
//   bench_open FILE [RUNS]
#include "BenchUtil.h"
#include "app/MainWindow.h"
#include "app/FileListModel.h"
#include "components/Framework.h"

#include <QApplication>
#include <QFileInfo>
#include <cstdio>

// Offscreen platform chatter would be mixed into the results.
static void QuietWarnings(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtWarningMsg && type != QtInfoMsg && type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

int main(int argc, char** argv) {
    qInstallMessageHandler(QuietWarnings);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_open FILE [RUNS]\n");
        return 2;
    }
    QApplication app(argc, argv);
    morbek::framework::SetApplicationTitle(QStringLiteral("Zuvedaz ud Izedori"));
    const QString file = QString::fromLocal8Bit(argv[1]);
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    morbek::TDezerOvu window;
    window.CommandLine.clear();
    window.show();
    QCoreApplication::processEvents();   // first activation
    const double ours = morbek::bench::TimeMedian(runs, [&] {
        window.PendingFileName = file;
        window.Ouvre1Click(nullptr);
        QCoreApplication::processEvents();   // the list lays out its items
    });
    if (window.ListFic->model()->rowCount() == 0) {
        std::fprintf(stderr, "bench_open: nothing listed from %s\n", argv[1]);
        return 1;
    }
    const double peer = morbek::bench::TimePeer(runs, QStringLiteral("cabextract"), {QStringLiteral("-l"), file});
    morbek::bench::PrintResult(QStringLiteral("open_list"), QFileInfo(file).fileName(), ours,
                               QStringLiteral("cabextract -l"), peer);
    return 0;
}
