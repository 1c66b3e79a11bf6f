#pragma once
// The About box: the program's icon, name and version.
#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace morbek {

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    QFrame* Panel1 = nullptr;
    QLabel* abImage = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QPushButton* BitBtn1 = nullptr;

    // Activation: the box always shows the application's icon.
    void acti();

protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
};

// The version line of the About box, the same in every language.
inline constexpr const char* kAboutVersionText = "Version 1.12 - Septembre 1998";

} // namespace morbek
