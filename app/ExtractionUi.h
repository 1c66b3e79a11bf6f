#pragma once
// The extraction driver's and the Extract command's questions, answered with the
// program's dialogs.
#include "extract/Driver.h"
#include "extract/ExtractJob.h"

namespace morbek {

class TDezerOvu;

// The Extract command of a main window: its folder browser, title and progress window.
class WindowExtractionUi final : public ExtractJobUi {
public:
    explicit WindowExtractionUi(TDezerOvu& window) : window_(window) {}

    int ConfirmReplace(const QString& title, const QString& text) override;
    void Warn(const QString& title, const QString& text) override;
    QString ChooseFolder() override;
    void ShowTitle(const QString& title) override;
    void ShowProgress(const QString& title, const QString& status) override;
    void SetProgress(int percent) override;
    void HideProgress() override;
    void SetBusy(bool busy) override;
    void Report(const QString& text) override;

private:
    TDezerOvu& window_;
};

// Installs the current language's texts for the driver. Its questions are answered by the
// WindowExtractionUi of the command that runs it.
void InstallExtractionUi();

} // namespace morbek
