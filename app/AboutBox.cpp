// The About box, and the help commands of the main window.
#include "app/AboutBox.h"

#include "app/Lang.h"
#include "app/MainWindow.h"
#include "app/Windows.h"
#include "components/Framework.h"
#include "components/ModalSeam.h"
#include "resources/MessageIds.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <qdrawutil.h>

#include <memory>

namespace morbek {

using framework::Scaled;

namespace {

// A panel with a lowered outer and a raised inner bevel, in its parent's colour.
class BevelPanel : public QFrame {
public:
    using QFrame::QFrame;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QRect outer = rect();
        qDrawShadePanel(&p, outer, palette(), true, 1);
        qDrawShadePanel(&p, outer.adjusted(1, 1, -1, -1), palette(), false, 1);
    }
};

// The OK picture of the button: a green check mark.
QIcon CheckMarkIcon() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.moveTo(2.5, 8.5);
    path.lineTo(6.0, 12.0);
    path.lineTo(13.5, 3.5);
    p.setPen(QPen(QColor(0, 128, 0), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
    return QIcon(pixmap);
}

// The layout was drawn for a narrower font than most Linux desktops use: a text that
// does not fit its label takes the room left in the panel, then a smaller size, rather
// than being cut off.
void FitIntoPanel(QLabel* label, const QWidget* panel, int designWidth) {
    // Back to the design width and the inherited font before measuring the new text.
    label->setFont(QFont());
    label->resize(designWidth, label->height());
    const int room = panel->width() - label->x() - 3;
    auto needed = [label] { return label->fontMetrics().horizontalAdvance(label->text()) + 1; };
    if (needed() > label->width())
        label->resize(qMin(room, needed()), label->height());
    QFont font = label->font();
    while (needed() > label->width() && font.pixelSize() > 8) {
        font.setPixelSize(font.pixelSize() - 1);
        label->setFont(font);
    }
}

QIcon ApplicationIcon() {
    const QIcon icon = QApplication::windowIcon();
    return icon.isNull() ? QIcon(QStringLiteral(":/icons/morbek32.png")) : icon;
}

} // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setFont(framework::DialogFont());
    // A dialog frame: a title and a close box, no resizing.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(Scaled(this, 243), Scaled(this, 174));

    Panel1 = new BevelPanel(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(Scaled(this, 9), Scaled(this, 9), Scaled(this, 224), Scaled(this, 131));

    abImage = new QLabel(Panel1);
    abImage->setObjectName(QStringLiteral("abImage"));
    abImage->setGeometry(Scaled(this, 8), Scaled(this, 8), Scaled(this, 32), Scaled(this, 32));
    abImage->setAlignment(Qt::AlignCenter);

    ProductName = new QLabel(Panel1);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    ProductName->setTextFormat(Qt::PlainText);
    ProductName->setGeometry(Scaled(this, 49), Scaled(this, 11), Scaled(this, 144), Scaled(this, 13));

    Version = new QLabel(Panel1);
    Version->setObjectName(QStringLiteral("Version"));
    Version->setTextFormat(Qt::PlainText);
    Version->setGeometry(Scaled(this, 50), Scaled(this, 30), Scaled(this, 167), Scaled(this, 13));

    BitBtn1 = new QPushButton(CheckMarkIcon(), QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(Scaled(this, 84), Scaled(this, 145), Scaled(this, 75), Scaled(this, 25));
    BitBtn1->setDefault(true);
    // Nothing else takes the focus: without this the box opens with no focused control.
    BitBtn1->setFocus();
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::acti() {
    abImage->setPixmap(ApplicationIcon().pixmap(QSize(32, 32)));
}

bool TAboutBox::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate)
        framework::RunHandler([this] { acti(); });
    return QDialog::event(e);
}

void TAboutBox::showEvent(QShowEvent* e) {
    FitIntoPanel(ProductName, Panel1, Scaled(this, 144));
    FitIntoPanel(Version, Panel1, Scaled(this, 167));
    // Centred on the screen at every showing.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect avail = screen->availableGeometry();
        move(avail.center() - QPoint(width() / 2, height() / 2));
    }
    QDialog::showEvent(e);
}

void TDezerOvu::Aide1Click(QObject*) {
    framework::HelpContext(0);
}

void TDezerOvu::Apropos1Click(QObject*) {
    std::unique_ptr<TAboutBox> ownBox;
    TAboutBox* box = Windows().AboutBox;
    if (!box) {
        ownBox = std::make_unique<TAboutBox>(this);
        box = ownBox.get();
    }
    box->abImage->setPixmap(windowIcon().pixmap(QSize(32, 32)));
    // The product name follows the language; the version line never does.
    box->setWindowTitle(MsgText(msg::AboutTitlePrefix) + MsgText(msg::ProgramName));
    box->ProductName->setText(MsgText(msg::ProgramName));
    box->Version->setText(QString::fromLatin1(kAboutVersionText));
    modal::Exec(*box);
}

} // namespace morbek
