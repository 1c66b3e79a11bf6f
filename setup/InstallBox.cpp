#include "setup/InstallBox.h"

#include "components/MessageBox.h"
#include "components/ModalSeam.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>

#include <cerrno>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

namespace morbek::setup {

namespace {

void WriteToStderr(const QString& text, const QString& caption) {
    std::fprintf(stderr, "%s: %s\n", caption.toLocal8Bit().constData(), text.toLocal8Bit().constData());
    std::fflush(stderr);
}

bool HasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

[[noreturn]] void ShowInChild(const QString& text, const QString& caption) {
    int argc = 1;
    char name[] = "setup";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    if (!qEnvironmentVariableIsEmpty("MORBEK_TEST_ANSWER_BOXES")) {
        modal::AnswerNext([](QDialog& box) {
            QStringList buttons;
            for (const QAbstractButton* b : box.findChildren<QAbstractButton*>())
                if (!b->objectName().isEmpty())
                    buttons << b->objectName();
            QString shown = box.property("messageText").toString();
            shown.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
            std::fprintf(stderr, "box caption=%s text=%s buttons=%s\n",
                         box.windowTitle().toUtf8().constData(), shown.toUtf8().constData(),
                         buttons.join(QLatin1Char(',')).toUtf8().constData());
            std::fflush(stderr);
            if (auto* ok = box.findChild<QAbstractButton*>(QStringLiteral("OK")))
                ok->click();
        });
    }
    MessageBoxA(nullptr, text, caption, MB_OK);
    std::fflush(stderr);
    ::_exit(0);
}

} // namespace

void ShowInstallMessage(const QString& text, const QString& caption) {
    if (!HasDisplay()) {
        WriteToStderr(text, caption);
        return;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = ::fork();
    if (child == 0)
        ShowInChild(text, caption);
    int status = 0;
    pid_t r = -1;
    if (child > 0)
        while ((r = ::waitpid(child, &status, 0)) < 0 && errno == EINTR) {
        }
    if (child < 0 || r != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        WriteToStderr(text, caption);
}

} // namespace morbek::setup
