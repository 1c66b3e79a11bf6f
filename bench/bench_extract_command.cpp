// Extract-all benchmark through the Extract command of the main window (offscreen): the
// cabinet is opened and listed, every entry selected, the folder browser answered with
// the target folder, and the entries extracted one by one as the command does. Beside
// "cabextract -d" on the same file.
//   bench_extract_command FILE TARGET [RUNS]
#include "BenchUtil.h"
#include "app/ExtractionUi.h"
#include "app/FileListModel.h"
#include "app/MainWindow.h"
#include "app/Windows.h"
#include "components/DialogPat.h"
#include "components/Framework.h"
#include "components/ModalSeam.h"
#include "components/ShelBrow.h"
#include "extract/Binding.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QAbstractItemView>
#include <QPushButton>
#include <cstdio>

static void QuietWarnings(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtWarningMsg && type != QtInfoMsg && type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

int main(int argc, char** argv) {
    qInstallMessageHandler(QuietWarnings);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_extract_command FILE TARGET [RUNS]\n");
        return 2;
    }
    QApplication app(argc, argv);
    morbek::framework::SetApplicationTitle(QStringLiteral("Zuvedaz ud Izedori"));
    const QString file = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const QString target = QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath();
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;

    morbek::TDezerOvu window;
    morbek::TDialogPat dialogPat(&window);
    morbek::Windows().DezerOvu = &window;
    morbek::Windows().DialogPat = &dialogPat;
    morbek::SetProgressSink([&dialogPat](int percent) { dialogPat.SetProgress(percent); });
    morbek::InstallExtractionUi();
    window.CommandLine.clear();
    window.show();
    QCoreApplication::processEvents();   // first activation

    window.PendingFileName = file;
    window.Ouvre1Click(nullptr);
    const int rows = window.ListFic->model()->rowCount();
    if (rows == 0) {
        std::fprintf(stderr, "bench_extract_command: nothing listed from %s\n", argv[1]);
        return 1;
    }
    window.ListFic->currentView()->selectAll();

    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        QDir(target).removeRecursively();
        QDir().mkpath(target);
        // The browser opens on the last folder chosen; OK takes it.
        window.RepDlg->Folder = target;
        morbek::modal::AnswerNext([](QDialog& d) {
            if (auto* ok = d.findChild<QPushButton*>(QStringLiteral("OKButton")))
                ok->click();
        });
        QElapsedTimer timer;
        timer.start();
        window.Extrait1Click(nullptr);
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e9);
    }
    const qsizetype written = QDir(target).entryList(QDir::Files).size();
    if (written != rows) {
        std::fprintf(stderr, "bench_extract_command: %lld of %d entries written\n", static_cast<long long>(written),
                     rows);
        return 1;
    }
    QDir(target).removeRecursively();
    QDir().mkpath(target);
    const double peer = morbek::bench::TimePeer(runs, QStringLiteral("cabextract"),
                                                {QStringLiteral("-q"), QStringLiteral("-d"), target, file});
    QDir(target).removeRecursively();
    morbek::bench::PrintResult(QStringLiteral("extract_command"), QFileInfo(file).fileName(),
                               morbek::bench::Median(times), QStringLiteral("cabextract"), peer);
    morbek::SetProgressSink({});
    morbek::SetExtractionUi(nullptr);
    morbek::Windows() = {};
    return 0;
}
