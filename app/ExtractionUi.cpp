#include "app/ExtractionUi.h"

#include "app/Lang.h"
#include "app/MainWindow.h"
#include "app/Windows.h"
#include "components/Busy.h"
#include "components/DialogPat.h"
#include "components/MessageBox.h"
#include "components/MsgDialog.h"
#include "components/ShelBrow.h"

namespace morbek {

int WindowExtractionUi::ConfirmReplace(const QString& title, const QString& text) {
    return MessageBoxA(Windows().DezerOvu, text, title, MB_YESNOCANCEL | platform::MB_ICONEXCLAMATION);
}

void WindowExtractionUi::Warn(const QString& title, const QString& text) {
    MsgDialog(title, text, TMsgDlgType::Warning, mbOK, 0);
}

QString WindowExtractionUi::ChooseFolder() {
    TShellBrowser& browser = *window_.RepDlg;
    browser.InitialPath = browser.Folder;
    // The folder browser stands for the platform's own dialog: closing it is not an
    // activation of the window.
    window_.inPlatformDialog_ = true;
    const bool chosen = browser.Execute();
    window_.inPlatformDialog_ = false;
    return chosen ? browser.Folder : QString();
}

void WindowExtractionUi::ShowTitle(const QString& title) {
    window_.setWindowTitle(title);
}

void WindowExtractionUi::ShowProgress(const QString& title, const QString& status) {
    if (TDialogPat* pat = Windows().DialogPat)
        pat->Begin(title, status);
}

void WindowExtractionUi::SetProgress(int percent) {
    if (TDialogPat* pat = Windows().DialogPat)
        pat->SetProgress(percent);
}

void WindowExtractionUi::HideProgress() {
    if (TDialogPat* pat = Windows().DialogPat)
        pat->Finish();
}

void WindowExtractionUi::SetBusy(bool busy) {
    if (busy)
        busy::Begin();
    else
        busy::End();
}

void WindowExtractionUi::Report(const QString& text) {
    PlainMsgDialog(text, TMsgDlgType::Warning, mbOK, 0);
}

void InstallExtractionUi() {
    SetMessageText([](int n) { return MsgText(n); });
}

} // namespace morbek
