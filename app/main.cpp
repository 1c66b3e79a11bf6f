// Morbek32: a viewer and extractor for cabinet files.
#include "app/ExtractionUi.h"
#include "app/MainWindow.h"
#include "app/Windows.h"
#include "components/Framework.h"
#include "extract/Binding.h"
#include "platform/files/Files.h"

#include <QApplication>

int main(int argc, char** argv) {
    morbek::platform::EnsureStandardDescriptors();
    QApplication app(argc, argv);
    // The application title identifies the program (task bar, single instance); it is
    // set before any window exists.
    morbek::framework::SetApplicationTitle(QStringLiteral("Zuvedaz ud Izedori"));

    auto& windows = morbek::Windows();
    morbek::TDezerOvu mainWindow;
    windows.DezerOvu = &mainWindow;
    morbek::TDialogPat dialogPat(&mainWindow);
    windows.DialogPat = &dialogPat;
    morbek::TAboutBox aboutBox(&mainWindow);
    windows.AboutBox = &aboutBox;
    morbek::TLangDlg langDlg(&mainWindow);
    windows.LangDlg = &langDlg;
    // Writes of the cabinet library move the progress dialog's bar.
    morbek::SetProgressSink([&dialogPat](int percent) { dialogPat.SetProgress(percent); });
    morbek::InstallExtractionUi();

    mainWindow.show();
    const int code = app.exec();
    morbek::SetProgressSink({});
    morbek::SetExtractionUi(nullptr);
    windows = {};
    return code;
}
