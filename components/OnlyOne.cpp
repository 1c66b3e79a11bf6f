#include "components/OnlyOne.h"

#include "components/Busy.h"
#include "components/Framework.h"
#include "platform/files/Files.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QWidget>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace morbek {

namespace {

constexpr int kConnectMs = 3000; // the kernel queues the connection even when the owner is busy
constexpr int kWriteMs = 1000;
constexpr int kDeferredPollMs = 100;
constexpr int kRequestLifeMs = 5000; // a client that never finishes its line is dropped

// A real folder (not a link to one) of this user, closed to everyone else.
bool IsPrivateFolder(QByteArray path) {
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1); // with a trailing '/', lstat would follow a link
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

// The user's own cache folder: $XDG_CACHE_HOME when absolute, else ~/.cache.
QByteArray CacheHome() {
    const QByteArray xdg = qgetenv("XDG_CACHE_HOME");
    if (xdg.startsWith('/'))
        return xdg;
    QByteArray home = qgetenv("HOME");
    if (!home.startsWith('/')) {
        const struct passwd* pw = ::getpwuid(::getuid());
        home = pw && pw->pw_dir ? QByteArray(pw->pw_dir) : QByteArray();
    }
    return home.startsWith('/') ? home + "/.cache" : QByteArray();
}

// "morbek" under the user's cache folder, made closed to others. Unlike the shared
// temporary folder, nobody else can create it first; one that is not a real folder of
// this user is refused, never taken over.
QByteArray CacheMarkerFolder() {
    const QByteArray base = CacheHome();
    if (base.isEmpty())
        return {};
    ::mkdir(base.constData(), 0700); // ~/.cache may not exist yet; an existing one is kept as it is
    const QByteArray folder = base + "/morbek";
    ::mkdir(folder.constData(), 0700);
    struct stat st {};
    if (::lstat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return {};
    if ((st.st_mode & 077) != 0 && ::chmod(folder.constData(), 0700) != 0)
        return {};
    return IsPrivateFolder(folder) ? folder + '/' : QByteArray();
}

// Looking for the marker and making it are two steps; instances started at the same
// moment would both miss each other between them. This lock makes the two one step.
// (Listening alone cannot be the lock: with per-user access Qt binds the socket under a
// temporary name and renames it over the marker, replacing whatever was there.)
class CheckLock {
public:
    explicit CheckLock(const QString& path) : path_(QFile::encodeName(path)) {
        // The file may be removed by an instance that ends while this one waits for it:
        // the lock then counts only when taken on the file that is still there.
        for (int attempt = 0; attempt < 100; ++attempt) {
            fd_ = ::open(path_.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
            if (fd_ < 0)
                return; // best effort: without the lock the check still works, only unserialised
            platform::Flock(fd_, LOCK_EX);
            struct stat held {
            }, named{};
            if (::fstat(fd_, &held) == 0 && ::lstat(path_.constData(), &named) == 0 &&
                held.st_dev == named.st_dev && held.st_ino == named.st_ino)
                return;
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~CheckLock() {
        if (fd_ >= 0)
            ::close(fd_); // releases the lock
    }
    CheckLock(const CheckLock&) = delete;
    CheckLock& operator=(const CheckLock&) = delete;

    // Removes the lock file while holding it, so that no start is left checking under a
    // lock on a file nobody else can find.
    void RemoveFile() {
        if (fd_ >= 0)
            ::unlink(path_.constData());
    }

private:
    QByteArray path_;
    int fd_ = -1;
};

// The start-up token of this start, as NAME=VALUE, when the desktop gave one. Taken
// before main() runs: the platform plugin removes these variables from the environment
// when the application object is built.
const std::string g_startupToken = [] {
    for (const char* name : {"XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID"}) {
        const char* value = std::getenv(name);
        if (value && *value && std::strlen(value) < TOnlyOne::kMaxRequest / 2)
            return std::string(name) + '=' + value;
    }
    return std::string();
}();

// A token received from a later start: only the two known names, printable values.
bool IsAcceptableToken(const QByteArray& name, const QByteArray& value) {
    if (name != "XDG_ACTIVATION_TOKEN" && name != "DESKTOP_STARTUP_ID")
        return false;
    if (value.isEmpty())
        return false;
    for (char c : value)
        if (c <= ' ' || c > '~')
            return false;
    return true;
}

enum class Reach { Reached, Stale, Unknown };

} // namespace

TOnlyOne::TOnlyOne(QWidget* owner) : QObject(owner), owner_(owner) {
    deferred_ = new QTimer(this);
    deferred_->setInterval(kDeferredPollMs);
    connect(deferred_, &QTimer::timeout, this, &TOnlyOne::RunDeferredRaise);
}

TOnlyOne::~TOnlyOne() {
    // Closing the server removes the marker; a later start never made one. The lock
    // file goes with it: a normal end leaves nothing in the private folder.
    if (!server_)
        return;
    const QString path = server_->fullServerName();
    CheckLock lock(path + QStringLiteral(".lock"));
    server_->close();
    lock.RemoveFile();
}

QString TOnlyOne::MarkerName() const {
    return QStringLiteral("OnlyOne") + framework::ApplicationTitle().left(20);
}

QString TOnlyOne::PrivateFolder() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.startsWith('/') && IsPrivateFolder(runtime))
        return QFile::decodeName(runtime) + (runtime.endsWith('/') ? QString() : QStringLiteral("/"));
    // Not the shared temporary folder: another user could make its "morbek-<uid>" first,
    // and every start would then fall back to a folder of its own and run alone.
    return QFile::decodeName(CacheMarkerFolder());
}

QString TOnlyOne::MarkerPath() const {
    const QString folder = PrivateFolder();
    if (folder.isEmpty())
        return {};
    QString name = MarkerName();
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    name.remove(QChar(0));
    return folder + name;
}

void TOnlyOne::Loaded() {
    if (EnforceOnlyOne)
        Check();
}

void TOnlyOne::Check() {
    IsFirstInstance = true;
    const QString path = MarkerPath();
    if (path.isEmpty())
        return; // nowhere private to put the marker: run as the first, unguarded

    CheckLock lock(path + QStringLiteral(".lock"));
    QLocalSocket socket;
    socket.connectToServer(path, QIODevice::WriteOnly);
    Reach reach = Reach::Reached;
    if (!socket.waitForConnected(kConnectMs)) {
        const auto error = socket.error();
        reach = (error == QLocalSocket::ServerNotFoundError || error == QLocalSocket::ConnectionRefusedError)
                    ? Reach::Stale
                    : Reach::Unknown;
    }

    if (reach == Reach::Reached) {
        // Hand-over: the running instance comes to the front; this one only asks and
        // does not wait for it, since a busy instance answers late.
        IsFirstInstance = false;
        framework::SetApplicationTitle(QStringLiteral("Second One"));
        QByteArray request = "raise";
        if (!g_startupToken.empty())
            request += ' ' + QByteArray::fromStdString(g_startupToken);
        if (!HandOverFile.isEmpty()) {
            // Relative names are meant from this start's current folder, not the first's.
            const QByteArray file = QFile::encodeName(QFileInfo(HandOverFile).absoluteFilePath());
            const QByteArray field = " file=" + file.toPercentEncoding("/");
            if (request.size() + field.size() < kMaxRequest)
                request += field;
        }
        request += '\n';
        socket.write(request);
        socket.waitForBytesWritten(kWriteMs);
        socket.disconnectFromServer();
        mustEnd_ = true;
        return;
    }
    if (reach == Reach::Unknown)
        return; // someone holds the marker but cannot be reached: run, and leave it alone

    // No marker, or the marker of an instance that died: take its place.
    QLocalServer::removeServer(path);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(path)) {
        delete server_;
        server_ = nullptr;
        return; // as when the marker cannot be added: this instance runs, unguarded
    }
    connect(server_, &QLocalServer::newConnection, this, &TOnlyOne::OnNewConnection);
}

void TOnlyOne::OnNewConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnRequest(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { OnRequest(socket); });
        QTimer::singleShot(kRequestLifeMs, socket, &QObject::deleteLater);
        if (socket->bytesAvailable() > 0)
            OnRequest(socket);
    }
}

void TOnlyOne::OnRequest(QLocalSocket* socket) {
    const bool ended = socket->state() != QLocalSocket::ConnectedState;
    QByteArray line;
    if (socket->canReadLine())
        line = socket->readLine(kMaxRequest + 2); // reads at most one byte past the limit, so too long shows
    else if (socket->bytesAvailable() > kMaxRequest || ended)
        line = socket->readAll(); // too long, or cut short: read out and judged below
    else
        return; // the rest of the line is still on its way
    socket->disconnect(this);
    socket->deleteLater();
    if (line.size() > kMaxRequest)
        return;
    line = line.trimmed();
    if (line != "raise" && !line.startsWith("raise "))
        return;

    pendingToken_.clear();
    pendingFile_.clear();
    const QList<QByteArray> fields = line.mid(6).split(' ');
    for (const QByteArray& field : fields) {
        if (field.startsWith("file=")) {
            const QByteArray file = QByteArray::fromPercentEncoding(field.mid(5));
            if (file.startsWith('/') && !file.contains('\0'))
                pendingFile_ = QFile::decodeName(file);
            continue;
        }
        const int eq = field.indexOf('=');
        if (eq > 0 && IsAcceptableToken(field.left(eq), field.mid(eq + 1)))
            pendingToken_ = field;
    }

    // While the program reads or extracts, events are pumped for painting only; the
    // window is brought forward once that work has ended.
    if (busy::IsBusy()) {
        deferred_->start();
        return;
    }
    BringToFront();
}

void TOnlyOne::RunDeferredRaise() {
    if (busy::IsBusy())
        return;
    deferred_->stop();
    BringToFront();
}

void TOnlyOne::BringToFront() {
    if (!pendingToken_.isEmpty()) {
        const int eq = pendingToken_.indexOf('=');
        qputenv(pendingToken_.left(eq).constData(), pendingToken_.mid(eq + 1));
        pendingToken_.clear();
    }
    QWidget* main = owner_->window();
    bool restored = false;
    if (main->isMinimized()) {
        // As the platform's restore: back to the state before minimising (maximised stays so).
        main->setWindowState(main->windowState() & ~Qt::WindowMinimized);
        restored = true;
    }
    // An open dialog of ours stays in front of the main window.
    QWidget* target = QApplication::activeModalWidget();
    if (!target)
        target = main;
    if (target->isVisible()) {
        target->raise();
        target->activateWindow();
    }
    emit HandedOver(restored);
    if (!pendingFile_.isEmpty())
        emit FileHandedOver(std::exchange(pendingFile_, QString()));
}

} // namespace morbek
