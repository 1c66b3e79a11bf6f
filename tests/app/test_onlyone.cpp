// The single-instance guard: the component in this process (marker name and place,
// stale markers, requests, busy work), then the program itself in real processes.
#include "components/Busy.h"
#include "components/Framework.h"
#include "components/OnlyOne.h"
#include "platform/files/TempPath.h"
#include "tests/support/ProcessHarness.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace morbek {
namespace {

const QString kTitle = QStringLiteral("Zuvedaz ud Izedori");
const QString kMarker = QStringLiteral("OnlyOneZuvedaz ud Izedori");

bool IsSocket(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISSOCK(st.st_mode);
}

mode_t ModeOf(const QString& path) {
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 0777;
}

bool CanConnect(const QString& path) {
    QLocalSocket socket;
    socket.connectToServer(path);
    const bool connected = socket.waitForConnected(2000);
    socket.abort();
    return connected;
}

// A marker as a killed instance leaves it: a socket file that nobody listens on.
void MakeDeadSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray encoded = QFile::encodeName(path);
    ASSERT_LT(static_cast<size_t>(encoded.size()), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, encoded.constData(), static_cast<size_t>(encoded.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
}

// Every test gets its own private folder for the marker, so that nothing reaches a
// program the user runs meanwhile, nor a test running beside this one.
class RuntimeFolder {
public:
    RuntimeFolder()
        : saved_(qgetenv("XDG_RUNTIME_DIR")), hadValue_(qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) {
        path = dir_.path() + QStringLiteral("/run");
        QDir().mkpath(path);
        ::chmod(QFile::encodeName(path).constData(), 0700);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(path));
    }
    ~RuntimeFolder() {
        if (hadValue_)
            qputenv("XDG_RUNTIME_DIR", saved_);
        else
            qunsetenv("XDG_RUNTIME_DIR");
    }
    QString path;

private:
    QTemporaryDir dir_;
    QByteArray saved_;
    bool hadValue_;
};

// --- the component in this process --------------------------------------------------------

class OnlyOneComponent : public ::testing::Test {
protected:
    void SetUp() override { framework::SetApplicationTitle(kTitle); }
    void TearDown() override {
        while (busy::IsBusy())
            busy::End();
    }
    QString Marker() const { return runtime.path + QLatin1Char('/') + kMarker; }
    QStringList Leftovers() const {
        return QDir(runtime.path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }

    // A guard on its own window, loaded as the program loads its main window.
    std::unique_ptr<QWidget> Start(bool enforce = true) {
        auto owner = std::make_unique<QWidget>();
        auto* guard = new TOnlyOne(owner.get());
        guard->setObjectName(QStringLiteral("OnlyOne1"));
        guard->EnforceOnlyOne = enforce;
        guard->Loaded();
        return owner;
    }
    static TOnlyOne* GuardOf(const std::unique_ptr<QWidget>& owner) {
        return owner->findChild<TOnlyOne*>(QStringLiteral("OnlyOne1"));
    }

    RuntimeFolder runtime;
};

struct TitleCase {
    const char* name;
    QString title;
    QString marker;
};

class MarkerName : public ::testing::TestWithParam<TitleCase> {};

TEST_P(MarkerName, IsOnlyOneFollowedByTheFirst20CharactersOfTheTitle) {
    framework::SetApplicationTitle(GetParam().title);
    QWidget owner;
    TOnlyOne guard(&owner);
    EXPECT_EQ(guard.MarkerName(), GetParam().marker);
    EXPECT_LE(guard.MarkerName().size(), 27);
    framework::SetApplicationTitle(kTitle);
}

INSTANTIATE_TEST_SUITE_P(
    Titles, MarkerName,
    ::testing::Values(TitleCase{"program_title", kTitle, kMarker},
                      TitleCase{"long_title_cut_at_20", QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ"),
                                QStringLiteral("OnlyOneABCDEFGHIJKLMNOPQRST")},
                      TitleCase{"empty_title", QString(), QStringLiteral("OnlyOne")}),
    [](const ::testing::TestParamInfo<TitleCase>& p) { return std::string(p.param.name); });

TEST_F(OnlyOneComponent, FirstGuardListensOnAMarkerClosedToOthersAndRemovesItWhenDestroyed) {
    auto first = Start();
    EXPECT_TRUE(GuardOf(first)->IsFirstInstance);
    EXPECT_FALSE(GuardOf(first)->MustEnd());
    EXPECT_EQ(GuardOf(first)->MarkerPath(), Marker());
    ASSERT_TRUE(IsSocket(Marker()));
    EXPECT_EQ(ModeOf(Marker()) & 077, 0u) << "other users must not reach the marker";
    first.reset();
    EXPECT_FALSE(QFile::exists(Marker()));
    EXPECT_EQ(Leftovers(), QStringList()) << "the check's lock file goes with the marker";
}

TEST_F(OnlyOneComponent, RuntimeFolderOpenToOthersIsNotUsed) {
    ::chmod(QFile::encodeName(runtime.path).constData(), 0755);
    EXPECT_EQ(TOnlyOne::PrivateFolder(), platform::GetTempPathA());
    qputenv("XDG_RUNTIME_DIR", "relative/run");
    EXPECT_EQ(TOnlyOne::PrivateFolder(), platform::GetTempPathA());
    // The positive case: the folder closed to others is the one used.
    ::chmod(QFile::encodeName(runtime.path).constData(), 0700);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path));
    EXPECT_EQ(TOnlyOne::PrivateFolder(), runtime.path + QLatin1Char('/'));
}

TEST_F(OnlyOneComponent, SecondGuardHandsOverAndNeverRemovesTheFirstsMarker) {
    auto first = Start();
    first->show();
    QSignalSpy handedOver(GuardOf(first), &TOnlyOne::HandedOver);
    auto second = Start();
    EXPECT_FALSE(GuardOf(second)->IsFirstInstance);
    EXPECT_TRUE(GuardOf(second)->MustEnd());
    ASSERT_TRUE(QTest::qWaitFor([&] { return handedOver.count() == 1; }, 5000));
    EXPECT_FALSE(handedOver.at(0).at(0).toBool()) << "a window that is not minimised is raised";
    second.reset();
    EXPECT_TRUE(CanConnect(Marker()));
}

TEST_F(OnlyOneComponent, NotEnforcedMakesNoCheckAndNoMarker) {
    auto first = Start(false);
    auto second = Start(false);
    for (const auto* owner : {&first, &second}) {
        EXPECT_FALSE(GuardOf(*owner)->IsFirstInstance);
        EXPECT_FALSE(GuardOf(*owner)->MustEnd());
    }
    EXPECT_FALSE(QFile::exists(Marker()));
}

struct StaleCase {
    const char* name;
    bool socketFile;
};

class StaleMarker : public OnlyOneComponent, public ::testing::WithParamInterface<StaleCase> {};

TEST_P(StaleMarker, IsReplacedAndTheNewGuardRunsAsFirst) {
    if (GetParam().socketFile) {
        MakeDeadSocket(Marker());
    } else {
        QFile f(Marker());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QFile::exists(Marker()));
    ASSERT_FALSE(CanConnect(Marker()));
    auto guard = Start();
    EXPECT_TRUE(GuardOf(guard)->IsFirstInstance);
    EXPECT_FALSE(GuardOf(guard)->MustEnd());
    EXPECT_TRUE(CanConnect(Marker())) << "the new instance listens on the marker";
    guard.reset();
    EXPECT_FALSE(QFile::exists(Marker()));
}

INSTANTIATE_TEST_SUITE_P(Markers, StaleMarker,
                         ::testing::Values(StaleCase{"dead_socket", true}, StaleCase{"plain_file", false}),
                         [](const ::testing::TestParamInfo<StaleCase>& p) {
                             return std::string(p.param.name);
                         });

TEST_F(OnlyOneComponent, MinimisedWindowIsRestoredToItsFormerState) {
    auto first = Start();
    first->showMaximized();
    first->setWindowState(first->windowState() | Qt::WindowMinimized);
    ASSERT_TRUE(first->isMinimized());
    QSignalSpy handedOver(GuardOf(first), &TOnlyOne::HandedOver);
    auto second = Start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return handedOver.count() == 1; }, 5000));
    EXPECT_TRUE(handedOver.at(0).at(0).toBool());
    EXPECT_FALSE(first->isMinimized());
    EXPECT_TRUE(first->isMaximized()) << "restoring keeps the maximised state";
}

TEST_F(OnlyOneComponent, RequestWhileBusyIsServedOnceTheWorkHasEnded) {
    auto first = Start();
    first->show();
    QSignalSpy handedOver(GuardOf(first), &TOnlyOne::HandedOver);
    busy::Begin();
    auto second = Start();
    EXPECT_TRUE(GuardOf(second)->MustEnd()) << "a busy instance is alive, not stale";
    // The work pumps events meanwhile: the request arrives, the window stays put.
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QTest::qSleep(20);
    }
    EXPECT_EQ(handedOver.count(), 0);
    busy::End();
    ASSERT_TRUE(QTest::qWaitFor([&] { return handedOver.count() == 1; }, 5000));
}

TEST_F(OnlyOneComponent, MalformedRequestsAreIgnoredAndForeignTokensNeverReachTheEnvironment) {
    auto first = Start();
    first->show();
    QSignalSpy handedOver(GuardOf(first), &TOnlyOne::HandedOver);
    auto send = [&](const QByteArray& bytes) {
        QLocalSocket socket;
        socket.connectToServer(Marker());
        ASSERT_TRUE(socket.waitForConnected(2000));
        socket.write(bytes);
        socket.waitForBytesWritten(2000);
        socket.disconnectFromServer();
    };
    send("hello\n");
    send(QByteArray(5000, 'r'));
    send("raise LD_PRELOAD=/tmp/evil.so\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return handedOver.count() == 1; }, 5000));
    EXPECT_FALSE(qEnvironmentVariableIsSet("LD_PRELOAD"));
    QTest::qWait(200);
    EXPECT_EQ(handedOver.count(), 1) << "junk and over-long lines raise nothing";
    // The positive case: a known token name is taken.
    qunsetenv("XDG_ACTIVATION_TOKEN");
    send("raise XDG_ACTIVATION_TOKEN=abc-123\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return handedOver.count() == 2; }, 5000));
    EXPECT_EQ(qgetenv("XDG_ACTIVATION_TOKEN"), QByteArray("abc-123"));
    qunsetenv("XDG_ACTIVATION_TOKEN");
}

// --- the program in real processes -------------------------------------------------------

class OnlyOneProcess : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path);
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/.local/share"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("MORBEK_TEST_HOOKS"), QStringLiteral("1"));
        env.remove(QStringLiteral("XDG_ACTIVATION_TOKEN"));
        env.remove(QStringLiteral("DESKTOP_STARTUP_ID"));
        ASSERT_TRUE(test::SeedAnsweredSettings(home.path() + QStringLiteral("/.config")));
    }
    QString Marker() const { return runtime.path + QLatin1Char('/') + kMarker; }
    // What is left in the runtime folder, the help viewer's sockets aside.
    QStringList Leftovers() const {
        QStringList left =
            QDir(runtime.path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        left.removeIf([](const QString& name) { return name.startsWith(QLatin1String("morbek-help-")); });
        return left;
    }

    std::unique_ptr<test::RunningProgram> Run(const QStringList& args = {}) {
        return std::make_unique<test::RunningProgram>(QStringLiteral(MORBEK32_PATH), args, env);
    }
    std::unique_ptr<test::RunningProgram> RunFirst() {
        auto first = Run();
        EXPECT_TRUE(first->WaitForLine(QStringLiteral("shown"))) << first->Errors().toStdString();
        return first;
    }
    // A later start: it must end by itself, with code 0, never showing its window.
    void ExpectHandsOver(test::RunningProgram& later) {
        ASSERT_TRUE(later.WaitForExit()) << "a later start must end by itself";
        EXPECT_EQ(later.process().exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(later.process().exitCode(), 0);
        EXPECT_FALSE(later.Lines().contains(QStringLiteral("shown")));
    }
    void Quit(test::RunningProgram& program) {
        program.Send(QStringLiteral("quit"));
        ASSERT_TRUE(program.WaitForExit());
        EXPECT_EQ(program.process().exitCode(), 0);
    }

    RuntimeFolder runtime;
    QTemporaryDir home;
    QProcessEnvironment env;
};

TEST_F(OnlyOneProcess, FirstStartMakesTheMarkerAndANormalEndRemovesIt) {
    auto first = RunFirst();
    EXPECT_TRUE(IsSocket(Marker()));
    Quit(*first);
    EXPECT_FALSE(QFile::exists(Marker()));
    EXPECT_EQ(Leftovers(), QStringList()) << "nothing of the guard stays in the runtime folder";
}

TEST_F(OnlyOneProcess, SecondStartEndsWithoutShowingAndRaisesTheFirst) {
    auto first = RunFirst();
    // The later start's file argument is not passed on.
    auto second = Run({QStringLiteral("/nonexistent/other.cab")});
    ExpectHandsOver(*second);
    EXPECT_TRUE(first->WaitForLine(QStringLiteral("handover raised")));
    EXPECT_TRUE(first->running());
    EXPECT_TRUE(CanConnect(Marker())) << "the later start leaves the first's marker alone";
    Quit(*first);
}

TEST_F(OnlyOneProcess, SecondStartRestoresAMinimisedFirst) {
    auto first = RunFirst();
    first->Send(QStringLiteral("minimise"));
    ASSERT_TRUE(first->WaitForLine(QStringLiteral("state minimised")));
    auto second = Run();
    ExpectHandsOver(*second);
    ASSERT_TRUE(first->WaitForLine(QStringLiteral("handover restored")));
    const int from = static_cast<int>(first->Lines().size());
    first->Send(QStringLiteral("state"));
    EXPECT_EQ(first->WaitForPrefix(QStringLiteral("state "), from), QStringLiteral("state normal"));
    Quit(*first);
}

TEST_F(OnlyOneProcess, TheLaterStartsActivationTokenReachesTheFirst) {
    auto first = RunFirst();
    QProcessEnvironment withToken = env;
    withToken.insert(QStringLiteral("XDG_ACTIVATION_TOKEN"), QStringLiteral("token-77"));
    test::RunningProgram second(QStringLiteral(MORBEK32_PATH), {}, withToken);
    ExpectHandsOver(second);
    ASSERT_TRUE(first->WaitForLine(QStringLiteral("handover raised")));
    first->Send(QStringLiteral("env XDG_ACTIVATION_TOKEN"));
    EXPECT_TRUE(first->WaitForLine(QStringLiteral("env XDG_ACTIVATION_TOKEN=token-77")));
    Quit(*first);
}

TEST_F(OnlyOneProcess, BusyFirstIsNotTakenForDeadAndComesForwardAfterItsWork) {
    auto first = RunFirst();
    first->Send(QStringLiteral("busy 2500"));
    ASSERT_TRUE(first->WaitForLine(QStringLiteral("busy-begin")));
    auto second = Run();
    ExpectHandsOver(*second);
    EXPECT_TRUE(first->running());
    ASSERT_TRUE(first->WaitForLine(QStringLiteral("handover raised")));
    const QStringList lines = first->Lines();
    EXPECT_LT(lines.indexOf(QStringLiteral("busy-end")), lines.indexOf(QStringLiteral("handover raised")))
        << "the window comes forward only once the work has ended";
    EXPECT_GE(lines.indexOf(QStringLiteral("busy-end")), 0);
    Quit(*first);
}

TEST_F(OnlyOneProcess, KilledFirstLeavesItsMarkerAndTheNextStartRunsAsFirst) {
    auto killed = RunFirst();
    ::kill(static_cast<pid_t>(killed->pid()), SIGKILL);
    ASSERT_TRUE(killed->WaitForExit());
    ASSERT_TRUE(IsSocket(Marker())) << "a killed instance cannot remove its marker";

    auto next = RunFirst();
    ASSERT_TRUE(next->running());
    // It holds the marker now: a later start hands over to it.
    auto later = Run();
    ExpectHandsOver(*later);
    EXPECT_TRUE(next->WaitForLine(QStringLiteral("handover raised")));
    Quit(*next);
    EXPECT_FALSE(QFile::exists(Marker()));
}

TEST_F(OnlyOneProcess, GuardsCheckingAtTheSameInstantLeaveExactlyOneFirst) {
    // The probes sleep until one shared instant, then check; a few rounds, since a race
    // shows only now and then.
    constexpr int kRounds = 3, kProbes = 8;
    for (int round = 0; round < kRounds; ++round) {
        const QString at = QString::number(QDateTime::currentMSecsSinceEpoch() + 1000);
        std::vector<std::unique_ptr<test::RunningProgram>> probes;
        for (int i = 0; i < kProbes; ++i)
            probes.push_back(std::make_unique<test::RunningProgram>(
                QStringLiteral(ONLYONE_PROBE_PATH), QStringList{QStringLiteral("--at"), at}, env));
        int first = 0;
        for (auto& p : probes) {
            const QString verdict = p->WaitForPrefix(QStringLiteral("first "));
            ASSERT_FALSE(verdict.isEmpty()) << p->Errors().toStdString();
            first += verdict == QLatin1String("first 1 end 0") ? 1 : 0;
        }
        EXPECT_EQ(first, 1) << "round " << round;
        for (auto& p : probes)
            if (p->running())
                p->Send(QStringLiteral("quit"));
        for (auto& p : probes)
            EXPECT_TRUE(p->WaitForExit());
        ASSERT_FALSE(QFile::exists(Marker()));
        EXPECT_EQ(Leftovers(), QStringList()) << "round " << round;
    }
}

TEST_F(OnlyOneProcess, GuardsNotEnforcedAllRunBesideTheProgram) {
    auto program = RunFirst();
    std::vector<std::unique_ptr<test::RunningProgram>> probes;
    for (int i = 0; i < 3; ++i) {
        probes.push_back(std::make_unique<test::RunningProgram>(
            QStringLiteral(ONLYONE_PROBE_PATH), QStringList{QStringLiteral("--no-enforce")}, env));
        ASSERT_TRUE(probes.back()->WaitForLine(QStringLiteral("shown")));
        EXPECT_TRUE(probes.back()->Lines().contains(QStringLiteral("first 0 end 0")));
    }
    for (auto& p : probes)
        EXPECT_TRUE(p->running());
    QTest::qWait(200);
    EXPECT_FALSE(program->Lines().contains(QStringLiteral("handover raised")));
    // The positive case: an enforcing guard in another process hands over to the program.
    test::RunningProgram enforcing(QStringLiteral(ONLYONE_PROBE_PATH), {}, env);
    ASSERT_TRUE(enforcing.WaitForExit());
    EXPECT_TRUE(enforcing.Lines().contains(QStringLiteral("first 0 end 1")));
    EXPECT_TRUE(program->WaitForLine(QStringLiteral("handover raised")));
    for (auto& p : probes)
        p->Send(QStringLiteral("quit"));
    for (auto& p : probes)
        EXPECT_TRUE(p->WaitForExit());
    EXPECT_TRUE(CanConnect(Marker())) << "unguarded instances leave the marker alone";
    Quit(*program);
}

} // namespace
} // namespace morbek
