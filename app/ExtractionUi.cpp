#include "app/ExtractionUi.h"

#include "app/Lang.h"
#include "app/MainWindow.h"
#include "app/Windows.h"
#include "components/MessageBox.h"
#include "components/MsgDialog.h"

namespace morbek {

int AppExtractionUi::ConfirmReplace(const QString& title, const QString& text) {
    return MessageBoxA(Windows().DezerOvu, text, title, MB_YESNOCANCEL | platform::MB_ICONEXCLAMATION);
}

void AppExtractionUi::Warn(const QString& title, const QString& text) {
    MsgDialog(title, text, TMsgDlgType::Warning, mbOK, 0);
}

void InstallExtractionUi() {
    static AppExtractionUi ui;
    SetExtractionUi(&ui);
    SetMessageText([](int n) { return MsgText(n); });
}

} // namespace morbek
