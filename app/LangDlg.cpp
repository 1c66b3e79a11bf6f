// The language dialog, and the Language command of the main window.
#include "app/LangDlg.h"

#include "app/Lang.h"
#include "app/MainWindow.h"
#include "app/Windows.h"
#include "components/Framework.h"
#include "components/ModalSeam.h"
#include "resources/MessageIds.h"
#include "resources/StringTable.h"

#include <QBitmap>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>

namespace morbek {

using framework::Scaled;
using framework::SetHelpContext;

QIcon LanguageIcon(int language) {
    EnsureResources();
    QPixmap pixmap(QStringLiteral(":/icons/flag%1.bmp").arg(10 + language));
    // The bottom-left pixel's colour is transparent, as for every 16-colour icon here.
    if (!pixmap.isNull()) {
        const QColor key = pixmap.toImage().pixelColor(0, pixmap.height() - 1);
        pixmap.setMask(pixmap.createMaskFromColor(key));
    }
    return QIcon(pixmap);
}

TLangDlg::TLangDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("LangDlg"));
    setFont(framework::DialogFont());
    // A dialog frame with the system menu only: no minimise, maximise or resizing.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    SetHelpContext(this, 31);
    setFixedSize(Scaled(this, 266), Scaled(this, 135));

    LstLang = new QTreeWidget(this);
    LstLang->setObjectName(QStringLiteral("LstLang"));
    LstLang->setGeometry(Scaled(this, 14), Scaled(this, 7), Scaled(this, 237), Scaled(this, 87));
    LstLang->setHeaderHidden(true);
    LstLang->setRootIsDecorated(false);
    LstLang->setColumnCount(1);
    LstLang->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    LstLang->setIconSize(QSize(16, 16));
    LstLang->setSelectionMode(QAbstractItemView::SingleSelection);
    SetHelpContext(LstLang, 31);
    LstLang->installEventFilter(this);

    auto button = [this](const char* name, const QString& caption, int left) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(Scaled(this, left), Scaled(this, 103), Scaled(this, 75), Scaled(this, 25));
        return b;
    };
    OKbtn = button("OKbtn", QStringLiteral("OK"), 16);
    OKbtn->setDefault(true);
    CancelBtn = button("CancelBtn", QString(), 97);
    HlpBtn = button("HlpBtn", QString(), 177);
    SetHelpContext(HlpBtn, 31);

    connect(OKbtn, &QPushButton::clicked, this, [this] { framework::RunHandler([this] { OKbtnClick(); }); });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(HlpBtn, &QPushButton::clicked, this,
            [this] { framework::RunHandler([this] { HlpBtnClick(); }); });
}

void TLangDlg::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    framework::RunHandler([this] { Acti(); });
}

void TLangDlg::Acti() {
    TDezerOvu* main = Windows().DezerOvu;
    const int localeLang = main ? main->LocaleLang : 1;
    const int langSetting = main ? main->LangSetting : 255;

    setWindowTitle(MsgText(msg::LanguageTitle));
    HlpBtn->setText(MsgText(msg::HelpButton));
    CancelBtn->setText(MsgText(msg::Cancel));

    LstLang->clear();
    auto* byDefault = new QTreeWidgetItem(LstLang, {MsgText(msg::LanguageDefault) + QStringLiteral(" (") +
                                                    LoadStringEntry(localeLang * 1000 + msg::LanguageName) +
                                                    QLatin1Char(')')});
    byDefault->setIcon(0, LanguageIcon(localeLang));
    for (int language = 0; language < 3; ++language) {
        auto* item = new QTreeWidgetItem(LstLang, {LoadStringEntry(language * 1000 + msg::LanguageName)});
        item->setIcon(0, LanguageIcon(language));
    }
    const int selected = langSetting == 255 ? 0 : langSetting + 1;
    if (QTreeWidgetItem* item = LstLang->topLevelItem(selected)) {
        LstLang->setCurrentItem(item);
        item->setSelected(true);
    }
    LstLang->setFocus();
}

void TLangDlg::OKbtnClick() {
    TDezerOvu* main = Windows().DezerOvu;
    const QList<QTreeWidgetItem*> selected = LstLang->selectedItems();
    if (main && !selected.isEmpty()) {
        const int entry = LstLang->indexOfTopLevelItem(selected.front());
        if (entry == 0) {
            LangIndex = main->LocaleLang;
            main->LangSetting = 255;
        } else if (entry >= 1 && entry <= 3) {
            LangIndex = entry - 1;
            main->LangSetting = entry - 1;
        }
    }
    done(QDialog::Accepted);
}

void TLangDlg::HlpBtnClick() {
    framework::HelpContext(31);
}

void TLangDlg::keyDn(QKeyEvent* key) {
    if (key->key() == Qt::Key_Escape)
        done(QDialog::Rejected);
}

bool TLangDlg::eventFilter(QObject* watched, QEvent* e) {
    if (watched == LstLang && e->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(e);
        framework::RunHandler([this, key] { keyDn(key); });
        if (key->key() == Qt::Key_Escape)
            return true;
    }
    return QDialog::eventFilter(watched, e);
}

void TDezerOvu::Langue1Click(QObject*) {
    TLangDlg* dialog = Windows().LangDlg;
    if (!dialog || modal::Exec(*dialog) != QDialog::Accepted)
        return;
    ApplyLanguage(LangIndex);
    if (!CabFileName.isEmpty()) {
        // Opened again so that caption, sizes, types and status bar speak the new language.
        PendingFileName = CabFileName;
        Ouvre1Click(this);
    }
}

} // namespace morbek
