#pragma once
// The main window: menu, tool bar, file list and status bar, and every command of the
// program. Component fields are public, named as the window's design names them, so
// that the other windows and the tests reach them as the original framework allowed.
#include "cabinet/Catalogue.h"
#include "components/animationcontrol.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <functional>

class QAction;
class QActionGroup;
class QDrag;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QMimeData;
class QButtonGroup;
class QFileDialog;
class QLabel;
class QMenu;
class QMenuBar;
class QStatusBar;
class QToolButton;
class QWidget;

namespace morbek {

class TListFic;
class TShellBrowser;
class TOnlyOne;

class TDezerOvu : public QMainWindow {
    Q_OBJECT
public:
    explicit TDezerOvu(QWidget* parent = nullptr);
    ~TDezerOvu() override;

    // --- components -------------------------------------------------------------
    QMenuBar* MainMenu1 = nullptr;
    QMenu* MenFichiers = nullptr;
    QAction* Ouvre1 = nullptr;
    QAction* Extrait1 = nullptr;
    QAction* Information1 = nullptr;
    QAction* Quitte1 = nullptr;
    QMenu* MenAffiche = nullptr;
    QAction* Grandesic1 = nullptr;
    QAction* Petitesic1 = nullptr;
    QAction* Liste1 = nullptr;
    QAction* Details1 = nullptr;
    QAction* Alpha1 = nullptr;
    QAction* Aucun1 = nullptr;
    QMenu* Options1 = nullptr;
    QAction* Install1 = nullptr;
    QAction* Uninstall1 = nullptr;
    QAction* Langue1 = nullptr;
    QMenu* N1 = nullptr;
    QAction* Aide1 = nullptr;
    QAction* Apropos1 = nullptr;

    QWidget* Panel1 = nullptr;
    QToolButton* OuvreBtn = nullptr;
    QToolButton* ExtrBtn = nullptr;
    QToolButton* InfBtn = nullptr;
    QToolButton* AboutBtn = nullptr;
    QToolButton* HelpBtn = nullptr;
    QToolButton* QuitBtn = nullptr;
    QToolButton* GrandesBtn = nullptr;
    QToolButton* PetitesBtn = nullptr;
    QToolButton* ListeBtn = nullptr;
    QToolButton* DetailBtn = nullptr;
    QToolButton* AlphaBtn = nullptr;
    QToolButton* AucunBtn = nullptr;

    TListFic* ListFic = nullptr;
    QMenu* PopMenu1 = nullptr;
    QAction* proprietes1 = nullptr;
    QStatusBar* StatBar = nullptr;
    QLabel* StatPanel0 = nullptr;
    QLabel* StatPanel1 = nullptr;
    TAnimationControl* AC1 = nullptr;
    TShellBrowser* RepDlg = nullptr;
    TOnlyOne* OnlyOne1 = nullptr; // single-instance guard; main() gives its "loaded" notification

    // --- module state ------------------------------------------------------------
    int Tag = 0; // first-activation marker
    int LocaleLang = 1;
    int LangSetting = 255; // 255: follow the locale
    int DisplayMode = 0;   // 1 large icons, 2 small icons, 3 list, 4 details; 0 before the settings
    int SortOrder = 0;     // 0 file-table order, 1 by name
    QString CabFileName, PendingFileName, OpenDir, AppDir, TempDir;
    QStringList CommandLine;   // the program's arguments, without the program itself
    QString ExeName;           // the program's full path; empty: the running program's own
    bool PopupEnabled = false; // automatic pop-up of PopMenu1

    // State of the open cabinet.
    cab::CabinetHeaderValues Header;
    cab::CabinetLocation Location;
    cab::CabinetNames Names;
    uint64_t TotalSize = 0;

    // --- commands and events ---------------------------------------------------------
    void Ouvre1Click(QObject* Sender);
    void Extrait1Click(QObject* Sender);
    void Information1Click(QObject* Sender);
    void ProprieteClick(QObject* Sender);
    void Affiche1Click(QObject* Sender);
    void Alpha1Click(QObject* Sender);
    void Install1Click(QObject* Sender);
    void Uninstall1Click(QObject* Sender);
    void Langue1Click(QObject* Sender);
    void Aide1Click(QObject* Sender);
    void Apropos1Click(QObject* Sender);
    void Quitte1Click(QObject* Sender);
    void Acti();
    void OnQuit();
    void DblClick();
    // Runs an ExtractJob on the open cabinet over the entries named in names (whole stored
    // names, '\' between folders), whose list texts are in entryTexts (size text, a blank,
    // date text), answering its questions with this window's dialogs. With a folder given,
    // the entries go there and the folder browser is not shown.
    void ExtractEntries(const QStringList& names, const QStringList& entryTexts, const QString& folder = {});
    // The selected entries dragged out of the list: a file manager that takes the drop
    // names the folder (X Direct Save), and the entries are extracted there as by Extract.
    void DragOut();
    // Runs the drag of DragOut; tests stand in for the drop target here.
    std::function<Qt::DropAction(QDrag&)> RunDrag;
    void Chnge();
    // A later start handed this file over: it is opened as the Open command would, once
    // the program is free (first activation done, not busy, no dialog open).
    void OpenHandedOver(const QString& path);

    void ApplyLanguage(int index);
    void LoadSettings();

    // Offset of the first occurrence of pattern in the open file, 0 when none.
    int64_t FindCabinetSignature(const QByteArray& pattern, int fd) const;

    // The Open dialog, built anew for each use; tests reach it through the modal seam.
    QString OpenDialogFilter() const;

    // The file a drop onto the window would open: the first local file named like the
    // Open dialog's choices (.cab or .exe, any case); empty when there is none.
    static QString DroppedCabinet(const QMimeData* data);

protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void BuildMenus();
    void BuildToolBar();
    void BuildList();
    void ConnectCommand(QObject* sender, void (TDezerOvu::*handler)(QObject*));
    void SetExtractAndInfoEnabled(bool enabled);
    void ShowListContextMenu(const QPoint& pos);
    bool ChooseFileWithDialog();
    void RunFirstActivation();
    void OnModalClosed();

    // The Extract command's folder browser is a platform dialog of this window.
    friend class WindowExtractionUi;

    bool firstActivationPosted_ = false;
    bool inPlatformDialog_ = false;
    QActionGroup* viewGroup_ = nullptr;
    QActionGroup* sortGroup_ = nullptr;
    QButtonGroup* viewButtons_ = nullptr;
    QButtonGroup* sortButtons_ = nullptr;
};

} // namespace morbek
