#include "platform/help/HelpViewer.h"

#include "platform/help/HelpChannel.h"
#include "platform/help/WinHelp.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLocale>
#include <QLockFile>
#include <QScreen>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

namespace morbek::platform::help {

namespace {

// The viewer's own texts, in the languages of our help files.
struct ViewerTexts {
    const char* help;
    const char* contents;
    const char* back;
    const char* previous;
    const char* next;
    const char* previousTip;
    const char* nextTip;
    const char* missingTitle;
    const char* missingText; // %1: the file's path
    const char* unreadableTitle;
    const char* unreadableText; // %1: the file's path
    const char* noTopicTitle;
    const char* noTopicText; // %1: the context number
};

constexpr ViewerTexts kEnglish = {
    "Help",
    "&Contents",
    "&Back",
    "<<",
    ">>",
    "Previous topic",
    "Next topic",
    "Help file not found",
    "The help file <b>%1</b> cannot be found.<br><br>The help files are installed in the "
    "program's folder; installing the program again puts them back.",
    "Help file cannot be read",
    "The file <b>%1</b> cannot be read, or it is not a help file.",
    "No help for this item",
    "This help file has no topic for this item (help context %1).",
};
constexpr ViewerTexts kFrench = {
    "Aide",
    "&Sommaire",
    "&Précédent",
    "<<",
    ">>",
    "Rubrique précédente",
    "Rubrique suivante",
    "Fichier d'aide introuvable",
    "Le fichier d'aide <b>%1</b> est introuvable.<br><br>Les fichiers d'aide sont installés dans "
    "le dossier du programme ; une nouvelle installation du programme les remet en place.",
    "Fichier d'aide illisible",
    "Le fichier <b>%1</b> ne peut pas être lu, ou ce n'est pas un fichier d'aide.",
    "Pas d'aide pour cet élément",
    "Ce fichier d'aide n'a pas de rubrique pour cet élément (contexte d'aide %1).",
};
constexpr ViewerTexts kGerman = {
    "Hilfe",
    "&Inhalt",
    "&Zurück",
    "<<",
    ">>",
    "Voriges Thema",
    "Nächstes Thema",
    "Hilfedatei nicht gefunden",
    "Die Hilfedatei <b>%1</b> wurde nicht gefunden.<br><br>Die Hilfedateien liegen im Ordner des "
    "Programms; eine erneute Installation des Programms stellt sie wieder her.",
    "Hilfedatei nicht lesbar",
    "Die Datei <b>%1</b> kann nicht gelesen werden oder ist keine Hilfedatei.",
    "Keine Hilfe zu diesem Element",
    "Diese Hilfedatei hat kein Thema zu diesem Element (Hilfekontext %1).",
};

const ViewerTexts& TextsFor(const QString& language) {
    QLocale::Language lang = QLocale::system().language();
    if (language == QLatin1String("fr"))
        lang = QLocale::French;
    else if (language == QLatin1String("de"))
        lang = QLocale::German;
    else if (language == QLatin1String("en"))
        lang = QLocale::English;
    if (lang == QLocale::French)
        return kFrench;
    if (lang == QLocale::German)
        return kGerman;
    return kEnglish;
}

QString Tr(const char* text) {
    return QString::fromUtf8(text);
}

constexpr const char* kStyleSheet = "body { font-size: 10pt; }"
                                    "h3 { color: #1f3f7f; margin-top: 14px; margin-bottom: 4px; }"
                                    "p { margin-top: 0px; margin-bottom: 8px; }"
                                    "li { margin-bottom: 3px; }"
                                    "a { color: #0b5c1e; font-weight: bold; text-decoration: none; }";

} // namespace

HelpViewer::HelpViewer(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("HelpViewer"));

    auto* toolBar = addToolBar(QString());
    toolBar->setObjectName(QStringLiteral("HelpButtons"));
    toolBar->setMovable(false);
    toolBar->setFloatable(false);
    toolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    toolBar->toggleViewAction()->setVisible(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    ContentsAction = toolBar->addAction(QString(), this, [this] { ShowContext(kContentsContext); });
    BackAction = toolBar->addAction(QString(), this, &HelpViewer::Back);
    PreviousAction = toolBar->addAction(QString(), this, [this] { Step(-1); });
    NextAction = toolBar->addAction(QString(), this, [this] { Step(1); });
    ContentsAction->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Home));
    BackAction->setShortcuts({QKeySequence(QKeySequence::Back), QKeySequence(Qt::Key_Backspace)});

    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // The topic's title stays in place while its text scrolls.
    TopicTitle = new QLabel(page);
    TopicTitle->setObjectName(QStringLiteral("TopicTitle"));
    TopicTitle->setTextFormat(Qt::PlainText);
    TopicTitle->setWordWrap(true);
    TopicTitle->setMargin(8);
    QFont titleFont = TopicTitle->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.35);
    TopicTitle->setFont(titleFont);
    TopicTitle->setStyleSheet(
        QStringLiteral("QLabel { background: #fffbe6; color: #1f3f7f; border-bottom: 1px solid #c8c0a0; }"));
    Browser = new QTextBrowser(page);
    Browser->setObjectName(QStringLiteral("HelpText"));
    Browser->setFrameShape(QFrame::NoFrame);
    // Links lead to topics of this file only; nothing is opened outside the viewer.
    Browser->setOpenLinks(false);
    Browser->setOpenExternalLinks(false);
    Browser->document()->setDefaultStyleSheet(QString::fromLatin1(kStyleSheet));
    Browser->document()->setDocumentMargin(12);
    connect(Browser, &QTextBrowser::anchorClicked, this, &HelpViewer::OpenLink);
    layout->addWidget(TopicTitle);
    layout->addWidget(Browser, 1);
    setCentralWidget(page);

    resize(560, 520);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        // Beside the program's windows rather than over them, as help windows sit.
        const QRect avail = screen->availableGeometry();
        move(qMax(avail.left(), avail.right() - width() - 40),
             avail.top() + qMax(0, (avail.height() - height()) / 3));
    }
    ApplyTexts();
    UpdateActions();
}

void HelpViewer::ApplyTexts() {
    const ViewerTexts& t = TextsFor(file_.Language());
    ContentsAction->setText(Tr(t.contents));
    BackAction->setText(Tr(t.back));
    PreviousAction->setText(Tr(t.previous));
    NextAction->setText(Tr(t.next));
    PreviousAction->setToolTip(Tr(t.previousTip));
    NextAction->setToolTip(Tr(t.nextTip));
    const QString name = path_.isEmpty() ? QString() : QFileInfo(path_).fileName();
    if (state_ != State::FileError && !file_.Title().isEmpty())
        setWindowTitle(file_.Title());
    else
        setWindowTitle(name.isEmpty() ? Tr(t.help) : Tr(t.help) + QStringLiteral(" - ") + name);
}

bool HelpViewer::Execute(const QString& helpFile, uint32_t command, uint32_t value) {
    if (command == HELP_QUIT) {
        close();
        return false;
    }
    Reload(helpFile);
    if (file_.Error() != LoadError::None) {
        ShowFileError();
    } else if (command == HELP_CONTEXT) {
        ShowContext(static_cast<int>(qMin<uint32_t>(value, 0x7fffffffu)));
    } else {
        // HELP_FINDER, and any other command we do not know, opens the contents.
        ShowContext(kContentsContext);
    }
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
    return true;
}

void HelpViewer::Reload(const QString& helpFile) {
    const QFileInfo info(helpFile);
    const QString path = info.absoluteFilePath();
    // Reread when the file changed since it was read (a reinstall, an edit); a file
    // that could not be read is tried again at each request.
    if (path == path_ && file_.Error() == LoadError::None && info.exists() &&
        info.lastModified() == loadedTime_ && info.size() == loadedSize_)
        return;
    path_ = path;
    loadedTime_ = info.lastModified();
    loadedSize_ = info.exists() ? info.size() : -1;
    file_.Load(path_);
    history_.clear();
    state_ = State::Empty;
    context_ = -1;
    ApplyTexts();
}

void HelpViewer::ShowFileError() {
    const ViewerTexts& t = TextsFor(QString());
    state_ = State::FileError;
    context_ = -1;
    history_.clear();
    const bool missing = file_.Error() == LoadError::Missing;
    TopicTitle->setText(Tr(missing ? t.missingTitle : t.unreadableTitle));
    Browser->setHtml(QStringLiteral("<p>") +
                     Tr(missing ? t.missingText : t.unreadableText).arg(path_.toHtmlEscaped()) +
                     QStringLiteral("</p>"));
    ApplyTexts();
    UpdateActions();
}

void HelpViewer::ShowContext(int context) {
    if (file_.Error() != LoadError::None) {
        ShowFileError();
        return;
    }
    if (state_ == State::Topic && context == context_)
        return;
    if (state_ == State::Topic)
        history_ << context_;
    Render(context);
}

void HelpViewer::Back() {
    if (history_.isEmpty())
        return;
    Render(history_.takeLast());
}

void HelpViewer::Render(int context) {
    const ViewerTexts& t = TextsFor(file_.Language());
    if (const HelpTopic* topic = file_.Find(context)) {
        state_ = State::Topic;
        context_ = context;
        TopicTitle->setText(topic->title);
        Browser->setHtml(file_.BodyHtml(*topic));
    } else {
        state_ = State::NoTopic;
        context_ = context;
        TopicTitle->setText(Tr(t.noTopicTitle));
        QString html = QStringLiteral("<p>") + Tr(t.noTopicText).arg(context) + QStringLiteral("</p>");
        if (const HelpTopic* contents = file_.Find(kContentsContext))
            html += QStringLiteral("<p><a href=\"topic:%1\">%2</a></p>")
                        .arg(kContentsContext)
                        .arg(contents->title.toHtmlEscaped());
        Browser->setHtml(html);
    }
    UpdateActions();
}

void HelpViewer::Step(int delta) {
    const std::vector<HelpTopic>& topics = file_.Topics();
    if (state_ != State::Topic || topics.empty())
        return;
    for (size_t i = 0; i < topics.size(); ++i) {
        if (topics[i].context != context_)
            continue;
        const auto target = static_cast<qsizetype>(i) + delta;
        if (target >= 0 && target < static_cast<qsizetype>(topics.size()))
            ShowContext(topics[static_cast<size_t>(target)].context);
        return;
    }
}

void HelpViewer::OpenLink(const QUrl& url) {
    if (url.scheme() != QLatin1String("topic"))
        return;
    bool ok = false;
    const int context = url.path().toInt(&ok);
    if (ok && context >= 0)
        ShowContext(context);
}

void HelpViewer::UpdateActions() {
    const bool readable = file_.Error() == LoadError::None && state_ != State::FileError;
    const std::vector<HelpTopic>& topics = file_.Topics();
    const bool first = state_ == State::Topic && !topics.empty() && topics.front().context == context_;
    const bool last = state_ == State::Topic && !topics.empty() && topics.back().context == context_;
    ContentsAction->setEnabled(readable && file_.Find(kContentsContext) != nullptr);
    BackAction->setEnabled(readable && !history_.isEmpty());
    PreviousAction->setEnabled(readable && state_ == State::Topic && !first);
    NextAction->setEnabled(readable && state_ == State::Topic && !last);
}

// --- the viewer process --------------------------------------------------------------------

namespace {

// Longest request line a client may send; anything longer is not one of ours.
constexpr qint64 kMaxRequestLine = 256;

QByteArray StateName(HelpViewer::State state) {
    switch (state) {
    case HelpViewer::State::Empty:
        return "empty";
    case HelpViewer::State::Topic:
        return "topic";
    case HelpViewer::State::NoTopic:
        return "notopic";
    case HelpViewer::State::FileError:
        return "fileerror";
    }
    return "empty";
}

bool Forward(const QString& server, uint32_t command, uint32_t data) {
    QLocalSocket socket;
    socket.connectToServer(server);
    if (!socket.waitForConnected(1000))
        return false;
    socket.write(EncodeRequest(command, data));
    return socket.waitForBytesWritten(2000) && socket.waitForReadyRead(5000);
}

} // namespace

int RunViewer(const QString& helpFile, uint32_t command, uint32_t data) {
    const QString file = QFileInfo(helpFile).absoluteFilePath();
    const QString serverName = ServerName(file);

    QLockFile startLock(StartLockName(file));
    startLock.setStaleLockTime(10000);
    startLock.tryLock(10000);
    if (Forward(serverName, command, data))
        return 0;
    if (command == HELP_QUIT)
        return 0;

    // Nobody answers: a socket left behind by a viewer that died is ours to replace.
    QLocalServer::removeServer(serverName);
    QLocalServer server;
    server.setSocketOptions(QLocalServer::UserAccessOption);
    const bool listening = server.listen(serverName);

    HelpViewer viewer;
    viewer.setAttribute(Qt::WA_QuitOnClose, true);
    viewer.Execute(file, command, data);
    startLock.unlock();
    if (!listening)
        qWarning("help viewer: cannot listen on %s: %s", qPrintable(serverName),
                 qPrintable(server.errorString()));

    QObject::connect(&server, &QLocalServer::newConnection, &viewer, [&server, &viewer, file] {
        while (QLocalSocket* socket = server.nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, &viewer, [socket, &viewer, file] {
                while (socket->canReadLine()) {
                    const QByteArray line = socket->readLine(kMaxRequestLine).trimmed();
                    if (line == "STATUS") {
                        socket->write("pid=" + QByteArray::number(QCoreApplication::applicationPid()) +
                                      " context=" + QByteArray::number(viewer.CurrentContext()) +
                                      " state=" + StateName(viewer.CurrentState()) + '\n');
                        continue;
                    }
                    uint32_t requestCommand = 0;
                    uint32_t requestData = 0;
                    if (!DecodeRequest(line, &requestCommand, &requestData)) {
                        socket->write("ERR\n");
                        continue;
                    }
                    socket->write("OK\n");
                    socket->flush();
                    if (requestCommand == HELP_QUIT) {
                        // Answer first, then leave the event loop.
                        QTimer::singleShot(0, &viewer, [&viewer] { viewer.close(); });
                        return;
                    }
                    viewer.Execute(file, requestCommand, requestData);
                }
                if (socket->bytesAvailable() > kMaxRequestLine)
                    socket->abort();
            });
        }
    });
    if (!viewer.isVisible())
        return 0;
    return QApplication::exec();
}

} // namespace morbek::platform::help
