#pragma once
// The language dialog: the locale's language (the default) or one of the three
// languages, each with its flag.
#include <QDialog>

class QPushButton;
class QTreeWidget;

namespace morbek {

class TLangDlg : public QDialog {
    Q_OBJECT
public:
    explicit TLangDlg(QWidget* parent = nullptr);

    QTreeWidget* LstLang = nullptr;
    QPushButton* OKbtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    QPushButton* HlpBtn = nullptr;

    void Acti();
    void OKbtnClick();
    void HlpBtnClick();
    // Escape pressed in the list closes the dialog with Cancel.
    void keyDn(QKeyEvent* key);

protected:
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
};

// The flag of language i (0 French, 1 English, 2 German), 16 x 16.
QIcon LanguageIcon(int language);

} // namespace morbek
