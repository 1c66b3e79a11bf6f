// Morbek32: a viewer and extractor for cabinet files.
#include "app/Association.h"
#include "app/ExtractionUi.h"
#include "app/HelpKeys.h"
#include "app/MainWindow.h"
#include "app/Windows.h"
#include "components/Framework.h"
#include "components/OnlyOne.h"
#include "extract/Binding.h"
#include "platform/files/Files.h"
#include "platform/help/WinHelp.h"
#include "platform/shell/ShellInfo.h"
#ifdef MORBEK_WITH_TEST_HOOKS
#include "app/TestHooks.h"
#endif

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    morbek::platform::EnsureStandardDescriptors();
    // The uninstaller gives the cabinet files back before the program's files go; it may
    // run without a display, so no window system is loaded.
    if (argc == 2 && std::strcmp(argv[1], "--remove-association") == 0) {
        QCoreApplication app(argc, argv);
        if (morbek::RemoveAssociationQuietly())
            return 0;
        std::fprintf(stderr, "Morbek32: the association of .cab files could not be removed\n");
        return 1;
    }
    QApplication app(argc, argv);
    // The application title identifies the program (task bar, single instance); it is
    // set before any window exists.
    morbek::framework::SetApplicationTitle(QStringLiteral("Zuvedaz ud Izedori"));
    // The program's icon, which the About box shows, and F1 for help everywhere.
    app.setWindowIcon(QIcon(QStringLiteral(":/icons/morbek32.png")));
    app.setApplicationVersion(QStringLiteral("1.12"));
    // The window class names the desktop entry, so that docks match windows to the menu
    // entry and its icon; the association and the installer use the same id.
    QGuiApplication::setDesktopFileName(QStringLiteral("morbek32"));
    // One icon theme for the whole run, chosen before the first icon is made.
    morbek::platform::SetUpIconTheme();
    morbek::InstallHelpKeys();

    auto& windows = morbek::Windows();
    morbek::TDezerOvu mainWindow;
    windows.DezerOvu = &mainWindow;
#ifdef MORBEK_WITH_TEST_HOOKS
    morbek::InstallTestHooks(mainWindow);
#endif
    // The main window is loaded: its single-instance guard checks now, before anything shows.
    // A later start passes its file on to the running instance.
    mainWindow.OnlyOne1->HandOverFile = mainWindow.CommandLine.value(0);
    mainWindow.OnlyOne1->Loaded();
    morbek::TDialogPat dialogPat(&mainWindow);
    windows.DialogPat = &dialogPat;
    morbek::TAboutBox aboutBox(&mainWindow);
    windows.AboutBox = &aboutBox;
    morbek::TLangDlg langDlg(&mainWindow);
    windows.LangDlg = &langDlg;
    // Writes of the cabinet library move the progress dialog's bar.
    morbek::SetProgressSink([&dialogPat](int percent) { dialogPat.SetProgress(percent); });
    morbek::InstallExtractionUi();

    // A later start has handed over to the running instance: it ends with code 0, its
    // windows never shown and its first activation never run.
    int code = 0;
    if (!mainWindow.OnlyOne1->MustEnd()) {
        mainWindow.show();
        code = app.exec();
        // The help window belongs to the program: it closes when the program ends.
        morbek::platform::WinHelp(morbek::framework::HelpFile(), morbek::platform::HELP_QUIT, 0);
    }
    morbek::SetProgressSink({});
    morbek::SetExtractionUi(nullptr);
    windows = {};
    return code;
}
