#include "app/MainWindow.h"

#include "app/Association.h"
#include "app/EntryRows.h"
#include "app/FileListModel.h"
#include "app/Lang.h"
#include "app/ToolBitmaps.h"
#include "app/Windows.h"
#include "components/Busy.h"
#include "components/Framework.h"
#include "components/ModalSeam.h"
#include "components/MsgDialog.h"
#include "components/OnlyOne.h"
#include "components/ShelBrow.h"
#include "platform/files/Files.h"
#include "platform/files/TempPath.h"
#include "platform/locale/Regional.h"
#include "platform/shell/ShellInfo.h"
#include "resources/MessageIds.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace morbek {

using framework::Scaled;
using framework::SetHelpContext;

namespace {

QAction* NewAction(QMenu* menu, const char* name, const QString& designCaption, int helpContext) {
    auto* action = menu->addAction(designCaption);
    action->setObjectName(QString::fromLatin1(name));
    SetHelpContext(action, helpContext);
    return action;
}

// "desc|pattern|desc|pattern" as a Qt filter list.
QStringList FilterPairs(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList result;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString desc = parts[i];
        const QString pattern = parts[i + 1];
        if (!desc.contains(pattern))
            desc += QStringLiteral(" (") + pattern + QLatin1Char(')');
        result << desc;
    }
    return result;
}

// Folder part of a host path: before the last separator; the root keeps its separator.
QString FolderOf(const QString& path) {
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return {};
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

} // namespace

// --- construction ---------------------------------------------------------------------

TDezerOvu::TDezerOvu(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("DezerOvu"));
    setFont(framework::DialogFont());
    setWindowTitle(QStringLiteral("Extraction de fichiers cabinet"));
    SetHelpContext(this, 1);
    setWindowIcon(QIcon(QStringLiteral(":/icons/morbek32.png")));
    // A cabinet dropped from a file manager opens as with Open; the list's own views
    // accept no drops, so drops over them come here too.
    setAcceptDrops(true);

    const QStringList args = QCoreApplication::arguments();
    CommandLine = args.mid(1);

    BuildMenus();
    BuildToolBar();
    BuildList();

    StatBar = new QStatusBar(this);
    StatBar->setObjectName(QStringLiteral("StatBar"));
    StatBar->setSizeGripEnabled(true);
    StatPanel0 = new QLabel(StatBar);
    StatPanel0->setObjectName(QStringLiteral("StatPanel0"));
    StatPanel0->setFixedWidth(Scaled(this, 200));
    StatPanel0->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StatPanel1 = new QLabel(StatBar);
    StatPanel1->setObjectName(QStringLiteral("StatPanel1"));
    StatPanel1->setMinimumWidth(Scaled(this, 50));
    StatPanel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StatBar->addWidget(StatPanel0, 0);
    StatBar->addWidget(StatPanel1, 1); // the last panel reaches the right edge
    setStatusBar(StatBar);

    // The animation shown while a file is read covers the client area.
    AC1 = new TAnimationControl(this);
    AC1->setObjectName(QStringLiteral("AC1"));
    AC1->setGeometry(Scaled(this, 26), Scaled(this, 62), Scaled(this, 24), Scaled(this, 24));
    AC1->hide();
    AC1->setAviFileName(QStringLiteral("100")); // centred, transparent, no autoplay

    // Outer design bounds 585 x 321, centred on the screen.
    resize(Scaled(this, 585 - 8), Scaled(this, 321 - 27));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect avail = screen->availableGeometry();
        move(avail.center() - QPoint(width() / 2, height() / 2));
    }

    RepDlg = new TShellBrowser(this);
    RepDlg->setObjectName(QStringLiteral("RepDlg"));
    RepDlg->Options = ShellBrowserOption(TShellBrowserOption::shbReturnFSAncestors) |
                      ShellBrowserOption(TShellBrowserOption::shbReturnOnlyFSDirs);
    RepDlg->HelpContext = 16;
    RepDlg->HelpBtnCaption = QStringLiteral("&Aide");
    RepDlg->CancelBtnCaption = QStringLiteral("Annule");

    OnlyOne1 = new TOnlyOne(this);
    OnlyOne1->setObjectName(QStringLiteral("OnlyOne1"));
    connect(OnlyOne1, &TOnlyOne::FileHandedOver, this, &TDezerOvu::OpenHandedOver);

    modal::SetOnModalClosed([this] { OnModalClosed(); });
    // The shell's type names consult the classes root first, as the original shell did.
    platform::SetClassTypeNameSource(&ClassTypeName);
}

TDezerOvu::~TDezerOvu() {
    modal::SetOnModalClosed({});
    platform::SetClassTypeNameSource({});
}

void TDezerOvu::BuildMenus() {
    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));

    MenFichiers = MainMenu1->addMenu(QStringLiteral("&Fichiers"));
    MenFichiers->setObjectName(QStringLiteral("MenFichiers"));
    SetHelpContext(MenFichiers->menuAction(), 10);
    Ouvre1 = NewAction(MenFichiers, "Ouvre1", QStringLiteral("&Ouvre"), 11);
    Extrait1 = NewAction(MenFichiers, "Extrait1", QStringLiteral("&Extrait"), 15);
    Information1 = NewAction(MenFichiers, "Information1", QStringLiteral("&Information"), 17);
    MenFichiers->addSeparator();
    Quitte1 = NewAction(MenFichiers, "Quitte1", QStringLiteral("&Quitte"), 19);

    MenAffiche = MainMenu1->addMenu(QStringLiteral("&Affichage"));
    MenAffiche->setObjectName(QStringLiteral("MenAffiche"));
    SetHelpContext(MenAffiche->menuAction(), 20);
    Grandesic1 = NewAction(MenAffiche, "Grandesic1", QStringLiteral("&Grandes icones"), 21);
    Petitesic1 = NewAction(MenAffiche, "Petitesic1", QStringLiteral("&Petites icones"), 21);
    Liste1 = NewAction(MenAffiche, "Liste1", QStringLiteral("&Liste"), 21);
    Details1 = NewAction(MenAffiche, "Details1", QStringLiteral("&Détails"), 21);
    MenAffiche->addSeparator()->setObjectName(QStringLiteral("N2"));
    Alpha1 = NewAction(MenAffiche, "Alpha1", QStringLiteral("Tri par &nom"), 25);
    Aucun1 = NewAction(MenAffiche, "Aucun1", QStringLiteral("Pas de &tri"), 25);
    MenAffiche->addSeparator()->setObjectName(QStringLiteral("N3"));
    Options1 = MenAffiche->addMenu(QStringLiteral("&Options"));
    Options1->setObjectName(QStringLiteral("Options1"));
    SetHelpContext(Options1->menuAction(), 22);
    Install1 = NewAction(Options1, "Install1", QStringLiteral("&Association"), 28);
    Uninstall1 = NewAction(Options1, "Uninstall1", QStringLiteral("&Supprime association"), 29);
    Uninstall1->setEnabled(false);
    Langue1 = NewAction(Options1, "Langue1", QStringLiteral("&Langue"), 30);

    N1 = MainMenu1->addMenu(QStringLiteral("&?"));
    N1->setObjectName(QStringLiteral("N1"));
    Aide1 = NewAction(N1, "Aide1", QStringLiteral("&Aide"), 90);
    Apropos1 = NewAction(N1, "Apropos1", QStringLiteral("A &propos..."), 0);

    viewGroup_ = new QActionGroup(this);
    for (QAction* a : {Grandesic1, Petitesic1, Liste1, Details1}) {
        a->setCheckable(true);
        viewGroup_->addAction(a);
    }
    Grandesic1->setChecked(true);
    sortGroup_ = new QActionGroup(this);
    for (QAction* a : {Alpha1, Aucun1}) {
        a->setCheckable(true);
        sortGroup_->addAction(a);
    }

    // triggered, not toggled: choosing the item that is already checked still runs the
    // command (and re-reads the file).
    ConnectCommand(Ouvre1, &TDezerOvu::Ouvre1Click);
    ConnectCommand(Extrait1, &TDezerOvu::Extrait1Click);
    ConnectCommand(Information1, &TDezerOvu::Information1Click);
    ConnectCommand(Quitte1, &TDezerOvu::Quitte1Click);
    for (QAction* a : {Grandesic1, Petitesic1, Liste1, Details1})
        ConnectCommand(a, &TDezerOvu::Affiche1Click);
    for (QAction* a : {Alpha1, Aucun1})
        ConnectCommand(a, &TDezerOvu::Alpha1Click);
    ConnectCommand(Install1, &TDezerOvu::Install1Click);
    ConnectCommand(Uninstall1, &TDezerOvu::Uninstall1Click);
    ConnectCommand(Langue1, &TDezerOvu::Langue1Click);
    ConnectCommand(Aide1, &TDezerOvu::Aide1Click);
    ConnectCommand(Apropos1, &TDezerOvu::Apropos1Click);
}

void TDezerOvu::BuildToolBar() {
    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1 = panel;
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(Scaled(this, 34));

    struct ButtonDesign {
        QToolButton** field;
        const char* name;
        int left, top;
        const char* bitmap;
        const char* designHint;
    };
    const ButtonDesign designs[] = {
        {&OuvreBtn, "OuvreBtn", 4, 4, "open", "Ouvre"},
        {&ExtrBtn, "ExtrBtn", 32, 4, "extract", "Extrait le fichier sélectionné"},
        {&InfBtn, "InfBtn", 59, 4, "info", "Information sur le fichier cabinet"},
        {&AboutBtn, "AboutBtn", 87, 4, "about", "A propos..."},
        {&HelpBtn, "HelpBtn", 114, 4, "help", "Aide"},
        {&QuitBtn, "QuitBtn", 141, 4, "quit", "Quitte"},
        {&GrandesBtn, "GrandesBtn", 210, 5, "large", "Affichage Grandes icônes"},
        {&PetitesBtn, "PetitesBtn", 238, 5, "small", "Affichage Petites icônes"},
        {&ListeBtn, "ListeBtn", 266, 5, "list", "Affichage Liste"},
        {&DetailBtn, "DetailBtn", 294, 5, "details", "Affichage Détails"},
        {&AlphaBtn, "AlphaBtn", 331, 5, "alpha", "Affcihage dans l'ordre alphabétique"},
        {&AucunBtn, "AucunBtn", 360, 5, "natural", "Affichage dans l'ordre naturel"},
    };
    for (const ButtonDesign& d : designs) {
        auto* button = new QToolButton(Panel1);
        button->setObjectName(QString::fromLatin1(d.name));
        button->setGeometry(Scaled(this, d.left), Scaled(this, d.top), Scaled(this, 25), Scaled(this, 25));
        button->setIcon(LoadToolBitmap(QStringLiteral(":/bitmaps/%1.bmp").arg(QLatin1String(d.bitmap))));
        button->setIconSize(QSize(16, 16));
        button->setToolTip(QString::fromUtf8(d.designHint));
        button->setFocusPolicy(Qt::NoFocus); // speed buttons never take the focus
        *d.field = button;
    }
    SetHelpContext(Panel1, 1);

    viewButtons_ = new QButtonGroup(this);
    for (QToolButton* b : {GrandesBtn, PetitesBtn, ListeBtn, DetailBtn}) {
        b->setCheckable(true);
        viewButtons_->addButton(b);
    }
    sortButtons_ = new QButtonGroup(this);
    for (QToolButton* b : {AlphaBtn, AucunBtn}) {
        b->setCheckable(true);
        sortButtons_->addButton(b);
    }
    ExtrBtn->setEnabled(false);
    InfBtn->setEnabled(false);

    ConnectCommand(OuvreBtn, &TDezerOvu::Ouvre1Click);
    ConnectCommand(ExtrBtn, &TDezerOvu::Extrait1Click);
    ConnectCommand(InfBtn, &TDezerOvu::Information1Click);
    ConnectCommand(AboutBtn, &TDezerOvu::Apropos1Click);
    ConnectCommand(HelpBtn, &TDezerOvu::Aide1Click);
    ConnectCommand(QuitBtn, &TDezerOvu::Quitte1Click);
    for (QToolButton* b : {GrandesBtn, PetitesBtn, ListeBtn, DetailBtn})
        ConnectCommand(b, &TDezerOvu::Affiche1Click);
    for (QToolButton* b : {AlphaBtn, AucunBtn})
        ConnectCommand(b, &TDezerOvu::Alpha1Click);
}

void TDezerOvu::BuildList() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("Client"));
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);
    ListFic = new TListFic(client);
    SetHelpContext(ListFic, 1);
    layout->addWidget(ListFic, 1);
    setCentralWidget(client);

    PopMenu1 = new QMenu(this);
    PopMenu1->setObjectName(QStringLiteral("PopMenu1"));
    proprietes1 = NewAction(PopMenu1, "proprietes1", QStringLiteral("&Propriétés"), 0);
    ConnectCommand(proprietes1, &TDezerOvu::ProprieteClick);

    connect(ListFic, &TListFic::changed, this, [this] { framework::RunHandler([this] { Chnge(); }); });
    connect(ListFic, &TListFic::doubleClicked, this,
            [this] { framework::RunHandler([this] { DblClick(); }); });
    connect(ListFic, &TListFic::contextMenuAt, this, &TDezerOvu::ShowListContextMenu);
    connect(ListFic, &TListFic::dragOutRequested, this,
            [this] { framework::RunHandler([this] { DragOut(); }); });
}

void TDezerOvu::ConnectCommand(QObject* sender, void (TDezerOvu::*handler)(QObject*)) {
    auto run = [this, sender, handler] { framework::RunHandler([&] { (this->*handler)(sender); }); };
    if (auto* action = qobject_cast<QAction*>(sender))
        connect(action, &QAction::triggered, this, run);
    else if (auto* button = qobject_cast<QAbstractButton*>(sender))
        connect(button, &QAbstractButton::clicked, this, run);
}

void TDezerOvu::ShowListContextMenu(const QPoint& globalPos) {
    if (PopupEnabled)
        PopMenu1->popup(globalPos);
}

void TDezerOvu::SetExtractAndInfoEnabled(bool enabled) {
    ExtrBtn->setEnabled(enabled);
    Extrait1->setEnabled(enabled);
    Information1->setEnabled(enabled);
    InfBtn->setEnabled(enabled);
}

// --- activation and closing ------------------------------------------------------------

bool TDezerOvu::event(QEvent* e) {
    // Only the first activation comes from the window system; later ones are raised
    // when one of the program's own windows closes (see OnModalClosed), so that
    // switching between applications does not count.
    if (e->type() == QEvent::WindowActivate && Tag < 1)
        RunFirstActivation();
    return QMainWindow::event(e);
}

void TDezerOvu::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    // Some window managers never activate a new window (focus-stealing prevention, or
    // no window manager at all): the first activation then runs from here.
    if (!firstActivationPosted_) {
        firstActivationPosted_ = true;
        QTimer::singleShot(0, this, [this] {
            if (Tag < 1)
                RunFirstActivation();
        });
    }
}

void TDezerOvu::RunFirstActivation() {
    if (Tag >= 1)
        return;
    framework::RunHandler([this] { Acti(); });
}

void TDezerOvu::OnModalClosed() {
    if (inPlatformDialog_ || !isVisible())
        return;
    if (Windows().DialogPat && Windows().DialogPat->isVisible())
        return;
    framework::RunHandler([this] { Acti(); });
}

void TDezerOvu::Acti() {
    // Aligned to the client area: what the tool bar and the status bar leave, the list's place.
    AC1->setGeometry(QRect(ListFic->mapTo(this, QPoint(0, 0)), ListFic->size()));
    AC1->hide();
    OpenDir.clear();
    if (Tag >= 1)
        return;
    Tag = 1;

    SetExtractAndInfoEnabled(false);
    PopupEnabled = false;
    AppDir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    LocaleLang = LanguageOfLangId(platform::GetUserDefaultLangID());
    LangIndex = LocaleLang;
    ApplyLanguage(LangIndex);
    LoadSettings();

    PendingFileName.clear();
    if (!CommandLine.isEmpty()) {
        PendingFileName = CommandLine.first();
        if (platform::FileExists(PendingFileName))
            Ouvre1Click(this);
        else
            PendingFileName.clear();
    }
}

void TDezerOvu::closeEvent(QCloseEvent* e) {
    framework::RunHandler([this] { OnQuit(); });
    e->accept(); // closing is never refused
}

void TDezerOvu::Quitte1Click(QObject*) {
    close();
}

// --- files dropped onto the window -------------------------------------------------------------

QString TDezerOvu::DroppedCabinet(const QMimeData* data) {
    if (!data || !data->hasUrls())
        return {};
    const QList<QUrl> urls = data->urls();
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        const QString suffix = QFileInfo(path).suffix();
        if (suffix.compare(QLatin1String("cab"), Qt::CaseInsensitive) == 0 ||
            suffix.compare(QLatin1String("exe"), Qt::CaseInsensitive) == 0)
            return path;
    }
    return {};
}

void TDezerOvu::dragEnterEvent(QDragEnterEvent* e) {
    // Nothing is taken while a file is read or a dialog of ours is open.
    if (!busy::IsBusy() && !QApplication::activeModalWidget() && !DroppedCabinet(e->mimeData()).isEmpty())
        e->acceptProposedAction();
    else
        e->ignore();
}

void TDezerOvu::dragMoveEvent(QDragMoveEvent* e) {
    if (!busy::IsBusy() && !QApplication::activeModalWidget() && !DroppedCabinet(e->mimeData()).isEmpty())
        e->acceptProposedAction();
    else
        e->ignore();
}

void TDezerOvu::dropEvent(QDropEvent* e) {
    const QString path = DroppedCabinet(e->mimeData());
    if (path.isEmpty() || busy::IsBusy() || QApplication::activeModalWidget() || Tag < 1) {
        e->ignore();
        return;
    }
    e->acceptProposedAction();
    // Opened once the drop is over, so that the file manager is not kept waiting for the
    // end of the drag while the file is read.
    QTimer::singleShot(0, this, [this, path] {
        if (busy::IsBusy() || QApplication::activeModalWidget())
            return;
        PendingFileName = path;
        framework::RunHandler([this] { Ouvre1Click(this); });
    });
}

// --- languages ----------------------------------------------------------------------------

void TDezerOvu::ApplyLanguage(int index) {
    LangIndex = index;
    ApplyQtTranslations(index);
    setWindowTitle(MsgText(msg::ProgramName));
    framework::SetHelpFile(AppDir + MsgText(msg::HelpFileName));

    const std::pair<QAction*, int> captions[] = {
        {MenFichiers->menuAction(), msg::MenuFiles},
        {Ouvre1, msg::MenuOpen},
        {Extrait1, msg::MenuExtract},
        {Information1, msg::MenuInformation},
        {Quitte1, msg::MenuQuit},
        {MenAffiche->menuAction(), msg::MenuDisplay},
        {Grandesic1, msg::MenuLargeIcons},
        {Petitesic1, msg::MenuSmallIcons},
        {Liste1, msg::MenuList},
        {Details1, msg::MenuDetails},
        {Alpha1, msg::MenuSortOnName},
        {Aucun1, msg::MenuNoSort},
        {Install1, msg::MenuAssociation},
        {Uninstall1, msg::MenuRemoveAssociation},
        {Options1->menuAction(), msg::MenuOptions},
        {Aide1, msg::MenuHelp},
        {Apropos1, msg::MenuAbout},
        {proprietes1, msg::MenuProperties},
        {Langue1, msg::MenuLanguage},
    };
    for (const auto& [action, message] : captions)
        action->setText(MsgText(message));

    const std::pair<QToolButton*, int> hints[] = {
        {OuvreBtn, msg::HintOpen},         {QuitBtn, msg::HintQuit},          {InfBtn, msg::HintInformation},
        {ExtrBtn, msg::HintExtract},       {HelpBtn, msg::HintHelp},          {AboutBtn, msg::HintAbout},
        {GrandesBtn, msg::HintLargeIcons}, {PetitesBtn, msg::HintSmallIcons}, {ListeBtn, msg::HintList},
        {DetailBtn, msg::HintDetails},     {AlphaBtn, msg::HintSorted},       {AucunBtn, msg::HintNotSorted},
    };
    for (const auto& [button, message] : hints)
        button->setToolTip(MsgText(message));

    RepDlg->SetCaption(MsgText(msg::BrowseFolder));
    RepDlg->HelpBtnCaption = MsgText(msg::HelpButton);
    RepDlg->CancelBtnCaption = MsgText(msg::Cancel);
    RepDlg->Prompt = MsgText(msg::SelectTargetFolder);

    ListFic->model()->setColumnTitles({MsgText(msg::ColumnName),
                                       MsgText(msg::ColumnSize),
                                       MsgText(msg::ColumnType),
                                       MsgText(msg::ColumnDate),
                                       MsgText(msg::ColumnDirectory),
                                       {}});

    SetExtractAndInfoEnabled(false);
    StatPanel0->clear();
    StatPanel1->clear();
}

// --- view style and sort order ------------------------------------------------------------

void TDezerOvu::Affiche1Click(QObject* Sender) {
    PendingFileName = CabFileName;
    const QString name = Sender ? Sender->objectName() : QString();
    struct Choice {
        const char* item;
        const char* button;
        int mode;
        QAction* TDezerOvu::*menu;
        QToolButton* TDezerOvu::*tool;
    };
    static const Choice choices[] = {
        {"Grandesic1", "GrandesBtn", 1, &TDezerOvu::Grandesic1, &TDezerOvu::GrandesBtn},
        {"Petitesic1", "PetitesBtn", 2, &TDezerOvu::Petitesic1, &TDezerOvu::PetitesBtn},
        {"Liste1", "ListeBtn", 3, &TDezerOvu::Liste1, &TDezerOvu::ListeBtn},
        {"Details1", "DetailBtn", 4, &TDezerOvu::Details1, &TDezerOvu::DetailBtn},
    };
    for (const Choice& c : choices) {
        if (name != QLatin1String(c.item) && name != QLatin1String(c.button))
            continue;
        DisplayMode = c.mode;
        (this->*c.menu)->setChecked(true);
        (this->*c.tool)->setChecked(true);
        ListFic->setViewStyle(c.mode);
    }
    if (!CabFileName.isEmpty())
        Ouvre1Click(Sender);
}

void TDezerOvu::Alpha1Click(QObject* Sender) {
    PendingFileName = CabFileName;
    const QString name = Sender ? Sender->objectName() : QString();
    if (name == QLatin1String("Alpha1") || name == QLatin1String("AlphaBtn")) {
        SortOrder = 1;
        Alpha1->setChecked(true);
        AlphaBtn->setChecked(true);
    } else if (name == QLatin1String("Aucun1") || name == QLatin1String("AucunBtn")) {
        SortOrder = 0;
        Aucun1->setChecked(true);
        AucunBtn->setChecked(true);
    }
    if (!CabFileName.isEmpty())
        Ouvre1Click(Sender);
}

// --- opening a cabinet ----------------------------------------------------------------------

QString TDezerOvu::OpenDialogFilter() const {
    return FilterPairs(MsgText(msg::OpenFilter)).join(QStringLiteral(";;"));
}

bool TDezerOvu::ChooseFileWithDialog() {
    QFileDialog dialog(this, MsgText(msg::OpenTitle));
    dialog.setObjectName(QStringLiteral("OuvreDlg"));
    // Qt's own dialog: it takes a Help button, honours the initial folder and can be
    // driven by tests; it must not fall back on Qt's remembered "last folder".
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(FilterPairs(MsgText(msg::OpenFilter)));
    dialog.setDefaultSuffix(QStringLiteral("cab"));
    dialog.setDirectory(OpenDir.isEmpty() ? QDir::currentPath() : OpenDir);
    SetHelpContext(&dialog, 12);
    if (auto* box = dialog.findChild<QDialogButtonBox*>()) {
        QPushButton* help = box->addButton(QDialogButtonBox::Help);
        help->setObjectName(QStringLiteral("HelpButton"));
        connect(help, &QPushButton::clicked, &dialog, [] { framework::HelpContext(12); });
    }
    inPlatformDialog_ = true;
    const int result = modal::Exec(dialog);
    inPlatformDialog_ = false;
    if (result != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    CabFileName = dialog.selectedFiles().first();
    OpenDir = FolderOf(CabFileName);
    return true;
}

void TDezerOvu::Ouvre1Click(QObject*) {
    const bool large = ListFic->viewStyle() == TListFic::vsIcon;
    TempDir = platform::GetTempPathA();

    if (!PendingFileName.isEmpty())
        CabFileName = PendingFileName;
    else if (!ChooseFileWithDialog())
        return;

    busy::Scope busyScope;
    AC1->setGeometry(QRect(ListFic->mapTo(this, QPoint(0, 0)), ListFic->size()));
    AC1->PlayForever();
    AC1->show();
    AC1->raise();
    busy::WaitExposed(AC1);

    PendingFileName.clear();
    Location = {};
    TotalSize = 0;
    Names = {};

    cab::Catalogue catalogue = cab::ReadCatalogue(CabFileName, [] { busy::PumpBusy(); });
    Location = catalogue.location;
    if (catalogue.outcome == cab::OpenOutcome::CannotOpen) {
        CabFileName.clear();
        AC1->Stop(); // not left playing, hidden, until the next open
        AC1->hide();
        MsgDialog(MsgText(msg::ProgramName), MsgText(msg::FileOpenError), TMsgDlgType::Warning, mbOK, 0);
        return;
    }
    if (catalogue.outcome == cab::OpenOutcome::NotCabinet) {
        AC1->Stop();
        AC1->hide();
        MsgDialog(MsgText(msg::ProgramName),
                  CabFileName + QStringLiteral("\r\n") + MsgText(msg::NotValidCabinet), TMsgDlgType::Warning,
                  mbOK, 0);
        return;
    }

    setWindowTitle(MsgText(msg::FileWord) + QLatin1Char(' ') + CabFileName);
    SetExtractAndInfoEnabled(true);
    Header = catalogue.header;
    Names = catalogue.names;
    TotalSize = catalogue.TotalSize;

    // Fill: the image list of this fill is replaced, one item and one image per record.
    EntryRowsOptions options;
    options.probeFolder = TempDir;
    options.largeIcons = large;
    options.byName = SortOrder == 1;
    options.progress = [] { busy::PumpBusy(); };
    EntryRows rows = BuildEntryRows(std::move(catalogue.entries), options);
    AC1->Stop();
    AC1->hide();

    FileListModel* model = ListFic->model();
    (large ? model->Large : model->Small) = std::move(rows.images);
    const QString bytes = MsgText(msg::BytesWord);
    model->setItems(std::move(rows.items), bytes);
    ListFic->itemsChanged();
    StatPanel0->setText(QString::number(Header.FileCount) + QLatin1Char(' ') +
                        (Header.FileCount <= 1 ? MsgText(msg::StatusFile) : MsgText(msg::StatusFiles)) +
                        QStringLiteral(", ") + QString::number(TotalSize) + QLatin1Char(' ') + bytes);
    PopupEnabled = true;
}

int64_t TDezerOvu::FindCabinetSignature(const QByteArray& pattern, int fd) const {
    return cab::FindCabinetSignature(pattern, fd);
}

void TDezerOvu::OpenHandedOver(const QString& path) {
    constexpr int kRetryMs = 100;
    if (Tag < 1 || busy::IsBusy() || inPlatformDialog_ || QApplication::activeModalWidget()) {
        QTimer::singleShot(kRetryMs, this, [this, path] { OpenHandedOver(path); });
        return;
    }
    // As a file named on the command line: one that does not exist is dropped.
    if (!platform::FileExists(path))
        return;
    PendingFileName = path;
    framework::RunHandler([this] { Ouvre1Click(this); });
}

// --- the list's selection ---------------------------------------------------------------

void TDezerOvu::Chnge() {
    const std::vector<int> rows = ListFic->selectedRows();
    if (rows.empty()) {
        StatPanel1->clear();
        return;
    }
    const FileListModel* model = ListFic->model();
    if (rows.size() == 1) {
        StatPanel1->setText(QStringLiteral("1 ") + MsgText(msg::StatusSelectedFile) + QStringLiteral(", ") +
                            model->sizeText(rows.front()));
        return;
    }
    uint64_t sum = 0;
    // The sizes are summed as the unsigned values they are.
    for (int row : rows)
        sum += model->item(row).size;
    StatPanel1->setText(QString::number(rows.size()) + QLatin1Char(' ') + MsgText(msg::StatusSelectedFiles) +
                        QStringLiteral(", ") + QString::number(sum) + QLatin1Char(' ') +
                        MsgText(msg::BytesWord));
}

} // namespace morbek
