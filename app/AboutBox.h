#pragma once
// The About box.
#include <QDialog>

namespace morbek {

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);
};

} // namespace morbek
