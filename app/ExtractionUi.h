#pragma once
// The extraction driver's questions, answered with the program's dialogs.
#include "extract/Driver.h"

namespace morbek {

class AppExtractionUi final : public ExtractionUi {
public:
    int ConfirmReplace(const QString& title, const QString& text) override;
    void Warn(const QString& title, const QString& text) override;
};

// Installs the dialogs and the current language's texts for the driver.
void InstallExtractionUi();

} // namespace morbek
