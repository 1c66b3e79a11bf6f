#pragma once
// TOnlyOne keeps the program to one running instance per user. The marker that tells
// a later start "an instance already runs" is a local socket in the user's private
// folder, named after the application title; the running instance listens on it, and
// a later start that reaches it asks it to come to the front and then ends without
// ever showing its own windows. A later start given a file hands that file over too,
// and the running instance opens it.
//
// Request protocol (one line, at most kMaxRequest bytes): "raise", then optionally
// fields each preceded by a space: the desktop's start-up token as NAME=VALUE, where
// NAME is XDG_ACTIVATION_TOKEN or DESKTOP_STARTUP_ID (it lets the window manager accept
// the activation of an instance that the user did not just start), and "file=" with
// the absolute path of the file to open, percent-encoded.
#include <QByteArray>
#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;
class QTimer;
class QWidget;

namespace morbek {

class TOnlyOne : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxRequest = 16384; // a path of PATH_MAX bytes, percent-encoded, and a token

    // The owner is the window the guard sits on; the guard lives as long as it does.
    explicit TOnlyOne(QWidget* owner);
    ~TOnlyOne() override;

    bool EnforceOnlyOne = true;   // perform the check when loaded
    bool IsFirstInstance = false; // this instance holds the marker (or could not make one)
    QString HandOverFile;         // the file a later start passes on; relative to the current folder

    // The "loaded" notification, given once the owner has been built and before it is
    // shown: runs the check and, for a later start, the hand-over.
    void Loaded();

    // True after the hand-over: another instance runs and was asked to the front. The
    // program must then end with exit code 0 without showing its windows.
    bool MustEnd() const { return mustEnd_; }

    // "OnlyOne" followed by the first 20 characters of the application title.
    QString MarkerName() const;
    // Full path of the marker socket; empty when the user has no private folder.
    QString MarkerPath() const;
    // $XDG_RUNTIME_DIR when it is a real folder of ours closed to others, else "morbek"
    // under the user's cache folder ($XDG_CACHE_HOME, else ~/.cache), made so; empty when
    // neither passes that check. Ends with '/'.
    static QString PrivateFolder();

signals:
    // A later start asked this instance to the front, and it came: restored is true
    // when its window had been minimised, false when it was only raised.
    void HandedOver(bool restored);
    // The later start was given this file (absolute); sent after HandedOver.
    void FileHandedOver(const QString& path);

private:
    void Check();
    bool SendRaise(const QString& path);
    bool Listen(const QString& path);
    void OnNewConnection();
    void OnRequest(QLocalSocket* socket);
    void BringToFront();
    void RunDeferredRaise();

    QWidget* owner_;
    QLocalServer* server_ = nullptr;
    QTimer* deferred_ = nullptr; // retries a request that arrived while the program was busy
    QByteArray pendingToken_;
    QString pendingFile_;
    bool mustEnd_ = false;
};

} // namespace morbek
