#include "BenchWindow.h"

#include "app/MainWindow.h"
#include "components/ModalSeam.h"
#include "components/MsgDialog.h"

#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <cstdio>

namespace morbek::bench {

bool BringUp(TDezerOvu& window, const char* program) {
    window.CommandLine.clear();
    // Nothing queued may outlive the first activation.
    modal::AnswerNext([](QDialog& d) { d.done(mrNo); });
    window.show();
    QElapsedTimer started;
    started.start();
    while (window.Tag < 1 && started.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    modal::ClearAnswers();
    if (window.Tag < 1) {
        std::fprintf(stderr, "%s: the main window never came up\n", program);
        return false;
    }
    return true;
}

} // namespace morbek::bench
