// Extract-all benchmark through the Extract command of the main window (offscreen): the
// cabinet is opened and listed, every entry selected, the folder browser answered with
// the target folder, and the entries extracted one by one as the command does. Beside
// "cabextract -d" and "7z x" on the same file.
//   bench_extract_command FILE TARGET [RUNS]
// Our peak memory is this process's own ru_maxrss after the first timed run: one process
// per input, holding what a user's would (Qt, the main window, the listed cabinet).
#include "BenchUtil.h"
#include "BenchWindow.h"
#include "app/ExtractionUi.h"
#include "app/FileListModel.h"
#include "app/MainWindow.h"
#include "app/Windows.h"
#include "components/DialogPat.h"
#include "components/Framework.h"
#include "components/ModalSeam.h"
#include "components/ShelBrow.h"
#include "extract/Binding.h"
#include "platform/fdi/fdi.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <cstdio>
#include <utility>
#include <vector>

int main(int argc, char** argv) {
    morbek::bench::QuietOffscreen();
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
    if (!morbek::bench::BringUp(window, argv[0]))
        return 1;

    window.PendingFileName = file;
    window.Ouvre1Click(nullptr);
    const int rows = window.ListFic->model()->rowCount();
    if (rows == 0) {
        std::fprintf(stderr, "bench_extract_command: nothing listed from %s\n", argv[1]);
        return 1;
    }
    window.ListFic->currentView()->selectAll();

    const auto fresh = [&target] {
        QDir(target).removeRecursively();
        QDir().mkpath(target);
    };
    // Every peer starts each run on an empty folder too, and counts only when it wrote as
    // many files as we listed (in their folders: peers keep the stored paths).
    std::vector<morbek::bench::Peer> peers = {
        {QStringLiteral("cabextract -d"),
         QStringLiteral("cabextract"),
         {QStringLiteral("-q"), QStringLiteral("-d"), target, file},
         {}},
        {QStringLiteral("7z x"),
         morbek::bench::SevenZip(),
         {QStringLiteral("x"), QStringLiteral("-y"), QStringLiteral("-o") + target, file},
         {}},
    };
    const QString input = QFileInfo(file).fileName();
    bool oursWroteAll = true;
    bool oursToCheck = false;
    for (morbek::bench::Peer& peer : peers)
        peer.verify = [&target, rows, &input, label = peer.label] {
            const qsizetype written = morbek::bench::CountFiles(target);
            if (written == rows)
                return true;
            std::fprintf(stderr, "bench_extract_command: %s wrote %lld of %d entries of %s\n",
                         qPrintable(label), static_cast<long long>(written), rows, qPrintable(input));
            return false;
        };
    const morbek::bench::Comparison result = morbek::bench::CompareInTurns(
        runs,
        [&] {
            window.Extrait1Click(nullptr);
            oursToCheck = true;
        },
        [&] {
            // Outside an event loop, objects left to deleteLater stay until asked for.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            fresh();
            // Each run is a first Extract after Open: nothing kept from the last one.
            morbek::fdi::FDIFlushCache();
            // The browser opens on the last folder chosen; OK takes it.
            window.RepDlg->Folder = target;
            morbek::modal::AnswerNext([](QDialog& d) {
                if (auto* ok = d.findChild<QPushButton*>(QStringLiteral("OKButton")))
                    ok->click();
            });
        },
        peers,
        [&] {
            // Our run is checked here, untimed, before the first peer's folder is emptied.
            if (std::exchange(oursToCheck, false)) {
                const qsizetype written = QDir(target).entryList(QDir::Files).size();
                if (written != rows) {
                    std::fprintf(stderr, "bench_extract_command: %lld of %d entries written\n",
                                 static_cast<long long>(written), rows);
                    oursWroteAll = false;
                }
            }
            fresh();
        });
    if (!oursWroteAll)
        return 1;
    for (size_t p = 0; p < peers.size(); ++p)
        morbek::bench::PrintResult(QStringLiteral("extract_command"), input, result.ours, result.oursMaxRssKb,
                                   peers[p].label, result.peers[p]);
    QDir(target).removeRecursively();
    morbek::SetProgressSink({});
    morbek::SetExtractionUi(nullptr);
    morbek::Windows() = {};
    return 0;
}
