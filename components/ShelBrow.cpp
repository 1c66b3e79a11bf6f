#include "components/ShelBrow.h"

#include "components/FolderTreeModel.h"
#include "components/Framework.h"
#include "components/ModalSeam.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QScreen>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <memory>
#include <utility>

namespace morbek {

namespace {

constexpr std::array<uint32_t, 6> kOptionFlags = {
    BIF_BROWSEFORCOMPUTER, BIF_BROWSEFORPRINTER, BIF_DONTGOBELOWDOMAIN,
    BIF_RETURNFSANCESTORS, BIF_RETURNONLYFSDIRS, BIF_STATUSTEXT,
};

bool Has(TShellBrowserOptions options, TShellBrowserOption option) {
    return (options & ShellBrowserOption(option)) != 0;
}

// Design size of the dialog in 96-dpi units, close to the platform's own folder dialog.
constexpr int kDesignWidth = 320, kDesignHeight = 380;

// Root of the tree: the whole file system, the machine's mounted roots below a computer
// item, or one existing folder (anything else falls back to the whole file system).
std::pair<std::vector<FolderRoot>, bool> TreeRoots(const QString& rootPath) {
    if (rootPath.compare(QLatin1String("mycomputer"), Qt::CaseInsensitive) == 0)
        return {MountedRoots(), true};
    if (!rootPath.isEmpty()) {
        const QString path = QDir::cleanPath(QFileInfo(rootPath).absoluteFilePath());
        if (QFileInfo(path).isDir())
            return {{{path, path == QLatin1String("/") ? path : QFileInfo(path).fileName()}}, false};
    }
    return {{{QStringLiteral("/"), QStringLiteral("/")}}, false};
}

// Unfolds the folders above index, outermost first.
void ExpandParents(QTreeView* tree, const QModelIndex& index) {
    std::vector<QModelIndex> chain;
    for (QModelIndex p = index.parent(); p.isValid(); p = p.parent())
        chain.push_back(p);
    std::for_each(chain.rbegin(), chain.rend(), [tree](const QModelIndex& p) { tree->expand(p); });
}

// Whether a typed path names a folder the tree shows: absolute, an existing folder, and
// no hidden folder on the way down from the tree's root (the tree leaves those out, and
// looking one up would make it appear).
bool ShownFolder(const QString& path, const QString& treeRoot) {
    if (!QDir::isAbsolutePath(path) || !QFileInfo(path).isDir())
        return false;
    QString below = QDir::cleanPath(path);
    if (!treeRoot.isEmpty() && (below == treeRoot || below.startsWith(treeRoot + QLatin1Char('/'))))
        below = below.mid(treeRoot.size());
    const QStringList parts = below.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return std::none_of(parts.begin(), parts.end(),
                        [](const QString& part) { return part.startsWith(QLatin1Char('.')); });
}

} // namespace

uint32_t BrowseFlags(TShellBrowserOptions options) {
    uint32_t flags = 0;
    for (size_t bit = 0; bit < kOptionFlags.size(); ++bit)
        if (options & (1u << bit))
            flags |= kOptionFlags[bit];
    return flags;
}

TMyButton::TMyButton(QWidget* parent) : QPushButton(parent) {}

// Help opens the moment the button goes down, before it is released.
void TMyButton::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && hitButton(e->position().toPoint()))
        framework::HelpContext(HelpContext);
    QPushButton::mousePressEvent(e);
}

void TMyButton::keyPressEvent(QKeyEvent* e) {
    if ((e->key() == Qt::Key_Space || e->key() == Qt::Key_Select) && !e->isAutoRepeat() && !isDown())
        framework::HelpContext(HelpContext);
    QPushButton::keyPressEvent(e);
}

TShellBrowser::TShellBrowser(QObject* owner)
    : QObject(owner), Options(ShellBrowserOption(TShellBrowserOption::shbReturnFSAncestors) |
                              ShellBrowserOption(TShellBrowserOption::shbReturnOnlyFSDirs)) {}

TShellBrowser::~TShellBrowser() {
    // Windows cannot outlive the application object; after it has gone the host is left alone.
    if (QCoreApplication::instance())
        delete host_.data();
}

void TShellBrowser::SetCaption(const QString& caption) {
    caption_ = caption;
    if (dialog_)
        dialog_->setWindowTitle(caption);
}

void TShellBrowser::SetStatusText(const QString& text) {
    statusText_ = text;
    if (dialog_)
        if (auto* status = dialog_->findChild<QLabel*>(QStringLiteral("StatusLabel")))
            status->setText(text);
}

bool TShellBrowser::Execute() {
    if (!host_) {
        // Kept for the component's lifetime but never shown: Qt gives a zero-sized window at
        // least one pixel, and a frameless one would reach the task bar and take the focus.
        host_ = new QWidget(nullptr, Qt::FramelessWindowHint);
        host_->setObjectName(QStringLiteral("Bidon"));
        host_->setAttribute(Qt::WA_DontShowOnScreen);
    }

    QWidget* owner =
        parent() && parent()->isWidgetType() ? static_cast<QWidget*>(parent())->window() : nullptr;
    // On the heap: should the owner window go while the dialog is open, it takes the dialog along.
    QPointer<QDialog> dialog = new QDialog(owner);
    const auto cleanup = qScopeGuard([this, &dialog]() {
        dialog_ = nullptr;
        delete dialog.data();
    });
    dialog->setObjectName(QStringLiteral("ShellBrowserDialog"));
    dialog->setWindowTitle(QCoreApplication::translate("QFileDialog", "Find Directory"));

    auto* layout = new QVBoxLayout(dialog);
    if (!Prompt.isEmpty()) {
        auto* prompt = new QLabel(dialog);
        prompt->setObjectName(QStringLiteral("PromptLabel"));
        prompt->setTextFormat(Qt::PlainText);
        prompt->setWordWrap(true);
        prompt->setText(Prompt);
        layout->addWidget(prompt);
    }

    auto [roots, computerItem] = TreeRoots(RootPath);
    const QString treeRoot = !computerItem && roots.size() == 1 ? roots.front().path : QString();
    auto* model = new FolderTreeModel(std::move(roots), computerItem, dialog);
    auto* tree = new QTreeView(dialog);
    tree->setObjectName(QStringLiteral("FolderTree"));
    tree->setHeaderHidden(true);
    tree->setUniformRowHeights(true);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setModel(model);
    layout->addWidget(tree, 1);

    // The chosen folder as a path, kept in step with the tree: a folder deep in the tree
    // is reached by typing its path (or pasting it) instead of unfolding level by level.
    auto* folderRow = new QHBoxLayout;
    auto* folderLabel = new QLabel(QCoreApplication::translate("QFileDialog", "Directory:"), dialog);
    folderLabel->setObjectName(QStringLiteral("FolderLabel"));
    auto* folderEdit = new QLineEdit(dialog);
    folderEdit->setObjectName(QStringLiteral("FolderEdit"));
    folderLabel->setBuddy(folderEdit);
    folderRow->addWidget(folderLabel);
    folderRow->addWidget(folderEdit, 1);
    layout->addLayout(folderRow);

    if (Has(Options, TShellBrowserOption::shbStatusText)) {
        auto* status = new QLabel(dialog);
        status->setObjectName(QStringLiteral("StatusLabel"));
        status->setTextFormat(Qt::PlainText);
        layout->addWidget(status);
    }

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* ok = new QPushButton(QCoreApplication::translate("QPlatformTheme", "OK"), dialog);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QCoreApplication::translate("QPlatformTheme", "Cancel"), dialog);
    cancel->setObjectName(QStringLiteral("CancelButton"));
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);

    // Items without a file-system path (the computer item) cannot be chosen when only
    // folders may be returned.
    const bool onlyFolders = Has(Options, TShellBrowserOption::shbReturnOnlyFSDirs);
    const auto updateOk = [ok, model, onlyFolders](const QModelIndex& current) {
        ok->setEnabled(current.isValid() && (!onlyFolders || !model->FilePath(current).isEmpty()));
    };
    // Set while a typed path moves the tree, so that the text being typed is not rewritten.
    const auto typing = std::make_shared<bool>(false);
    QObject::connect(tree->selectionModel(), &QItemSelectionModel::currentChanged, dialog,
                     [this, model, updateOk, folderEdit, typing](const QModelIndex& current) {
                         if (!*typing)
                             folderEdit->setText(model->FilePath(current));
                         updateOk(current);
                         if (!dialog_ || !OnSelChange || !current.isValid())
                             return;
                         const TSelChangeEvent handler = OnSelChange;
                         const QString path = model->FilePath(current);
                         framework::RunHandler([&]() {
                             if (!path.isEmpty())
                                 handler(this, path, false);
                             else
                                 handler(this, current.data(Qt::DisplayRole).toString(), true);
                         });
                     });

    // A typed path selects its folder; while the text names no folder of the tree (a
    // relative path, a file, a hidden or missing folder), OK stays off, so that OK never
    // returns a folder other than the one the line shows.
    QObject::connect(folderEdit, &QLineEdit::textEdited, dialog,
                     [tree, model, ok, updateOk, typing, treeRoot](const QString& text) {
                         const QString path = text.trimmed();
                         QModelIndex wanted;
                         if (ShownFolder(path, treeRoot))
                             wanted = model->IndexOf(path);
                         if (!wanted.isValid()) {
                             ok->setEnabled(false);
                             return;
                         }
                         ExpandParents(tree, wanted);
                         *typing = true;
                         tree->setCurrentIndex(wanted);
                         *typing = false;
                         tree->scrollTo(wanted);
                         updateOk(wanted);
                     });

    // The dialog opens on its root, unfolded, with nothing chosen: OK (the default
    // button) stays off until a folder is picked, so that a reflexive Enter cannot send
    // files to the root of the file system. Setting the empty index also stops the tree
    // from making its first row current when it takes the focus.
    tree->expand(model->index(0, 0));
    tree->setCurrentIndex(QModelIndex());
    updateOk(tree->currentIndex());

    dialog->resize(QSize(framework::Scaled(dialog, kDesignWidth), framework::Scaled(dialog, kDesignHeight))
                       .expandedTo(dialog->minimumSizeHint()));

    // Set-up of the open dialog, in this order: position, help button, then the dialog is
    // ours to act on (selection, status, title, owner's handler).
    if (Center) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->geometry();
            // The whole window is centred, frame included, as far as the platform knows
            // the frame before the window is shown.
            dialog->winId();
            const QSize size = dialog->frameGeometry().size();
            dialog->move(area.x() + (area.width() - size.width()) / 2,
                         area.y() + (area.height() - size.height()) / 2);
        }
    }
    if (HelpContext > 0) {
        cancel->setText(CancelBtnCaption);
        auto* help = new TMyButton(dialog);
        help->setObjectName(QStringLiteral("HelpButton"));
        help->setFocusPolicy(Qt::ClickFocus);
        help->setText(HelpBtnCaption);
        help->setFont(ok->font());
        help->HelpContext = HelpContext;
        buttons->insertWidget(buttons->indexOf(cancel) + 1, help);
        // One row of equal buttons: OK, Cancel, help.
        QSize size = ok->sizeHint();
        size.setWidth(std::max({size.width(), cancel->sizeHint().width(), help->sizeHint().width()}));
        for (QPushButton* button : {static_cast<QPushButton*>(ok), cancel, static_cast<QPushButton*>(help)})
            button->setFixedSize(size);
        helpButton_ = help;
    }
    dialog_ = dialog;
    if (!InitialPath.isEmpty()) {
        const QModelIndex start = model->IndexOf(InitialPath);
        if (start.isValid()) {
            ExpandParents(tree, start);
            tree->setCurrentIndex(start);
            tree->scrollTo(start);
            // The folder's siblings are read in the background and sorted afterwards;
            // once they are in, bring the chosen folder back into view.
            const QString parentFolder = model->FilePath(start.parent());
            auto loaded = std::make_shared<bool>(false);
            QObject::connect(model, &FolderTreeModel::directoryLoaded, tree,
                             [tree, parentFolder, loaded](const QString& folder) {
                                 if (QDir::cleanPath(folder) != parentFolder)
                                     return;
                                 *loaded = true;
                                 tree->scrollTo(tree->currentIndex());
                             });
            QObject::connect(model, &QAbstractItemModel::layoutChanged, tree, [tree, loaded]() {
                if (*loaded) {
                    *loaded = false;
                    tree->scrollTo(tree->currentIndex());
                }
            });
        }
    }
    if (!statusText_.isEmpty())
        SetStatusText(statusText_);
    if (!caption_.isEmpty())
        SetCaption(caption_);
    if (OnInitialize) {
        const TNotifyEvent handler = OnInitialize;
        framework::RunHandler([&]() { handler(this); });
    }

    const int result = modal::Exec(*dialog);
    dialog_ = nullptr;

    Folder.clear();
    DisplayName.clear();
    if (!dialog || result != QDialog::Accepted)
        return false;
    const QModelIndex chosen = tree->currentIndex();
    if (!chosen.isValid())
        return false;
    Folder = model->FilePath(chosen);
    DisplayName = chosen.data(Qt::DisplayRole).toString();
    return true;
}

} // namespace morbek
