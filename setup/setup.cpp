// setup: installs the main program. It asks the shell to carry out the "Install"
// action of "Morbek.inf" in the current folder, waits for the installation to end and
// ends itself. It has no window and reads no command line; its exit code is always 0.
#include "setup/InstallBox.h"
#include "setup/ShellExecute.h"

int main() {
    using namespace morbek::shell;
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = nullptr;
    info.lpVerb = "Install";
    info.lpFile = "Morbek.inf";
    info.nShow = SW_SHOWNORMAL;

    if (ShellExecuteExA(&info))
        WaitForSingleObject(info.hProcess, INFINITE);
    else
        morbek::setup::ShowInstallMessage(QStringLiteral("Installation Error"),
                                          QStringLiteral("Morbek32 Installation"));
    return 0;
}
