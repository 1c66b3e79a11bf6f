#pragma once
// The language dialog.
#include <QDialog>

namespace morbek {

class TLangDlg : public QDialog {
    Q_OBJECT
public:
    explicit TLangDlg(QWidget* parent = nullptr);
};

} // namespace morbek
