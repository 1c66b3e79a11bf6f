// The single-instance guard: the component in this process (marker name and place,
// stale markers, requests, busy work), then the program itself in real processes.
#include "components/Busy.h"
#include "components/Framework.h"
#include "components/OnlyOne.h"
#include "platform/files/TempPath.h"
#include "tests/support/CabWriter.h"
#include "tests/support/ProcessHarness.h"
#include "tests/support/QtPrinters.h"

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
#include <vector>

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
    RuntimeFolder() {
        path = dir_.path() + QStringLiteral("/run");
        QDir().mkpath(path);
        ::chmod(QFile::encodeName(path).constData(), 0700);
        cache = dir_.path() + QStringLiteral("/cache");
        env_.set("XDG_RUNTIME_DIR", path);
        env_.set("XDG_CACHE_HOME", cache);
        env_.set("HOME", qEnvironmentVariable("HOME")); // the cases may change it
    }
    QString Root() const { return dir_.path(); }
    QString path;  // $XDG_RUNTIME_DIR
    QString cache; // $XDG_CACHE_HOME

private:
    QTemporaryDir dir_;
    test::ScopedEnv env_;
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
        return QDir(runtime.path)
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
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

INSTANTIATE_TEST_SUITE_P(Titles, MarkerName,
                         ::testing::Values(TitleCase{"program_title", kTitle, kMarker},
                                           TitleCase{"long_title_cut_at_20",
                                                     QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ"),
                                                     QStringLiteral("OnlyOneABCDEFGHIJKLMNOPQRST")},
                                           TitleCase{"empty_title", QString(), QStringLiteral("OnlyOne")}),
                         morbek::test::CaseName());

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

// Where the marker goes. Without a usable runtime folder it goes under the user's own
// cache folder, never the shared temporary folder; a folder that is not a real folder
// of this user is refused, not taken over.
enum class Place { Runtime, Cache, HomeCache, Nowhere };

struct FolderCase {
    const char* name;
    void (*arrange)(const RuntimeFolder& f);
    Place expected;
    bool needsRoot; // giving a folder to another user takes root
};

void PrintTo(const FolderCase& c, std::ostream* os) {
    *os << c.name;
}

constexpr uid_t kOtherUser = 54321;

void MakeFolder(const QString& path, mode_t mode) {
    QDir().mkpath(path);
    ::chmod(QFile::encodeName(path).constData(), mode);
}

const FolderCase kFolderCases[] = {
    {"RuntimeClosedToOthers", [](const RuntimeFolder&) {}, Place::Runtime, false},
    {"RuntimeUnset", [](const RuntimeFolder&) { qunsetenv("XDG_RUNTIME_DIR"); }, Place::Cache, false},
    {"RuntimeRelative", [](const RuntimeFolder&) { qputenv("XDG_RUNTIME_DIR", "relative/run"); },
     Place::Cache, false},
    {"RuntimeOpenToOthers",
     [](const RuntimeFolder& f) { ::chmod(QFile::encodeName(f.path).constData(), 0755); }, Place::Cache,
     false},
    {"RuntimeLinked",
     [](const RuntimeFolder& f) {
         const QString link = f.Root() + QStringLiteral("/run-link");
         ::symlink(QFile::encodeName(f.path).constData(), QFile::encodeName(link).constData());
         qputenv("XDG_RUNTIME_DIR", QFile::encodeName(link));
     },
     Place::Cache, false},
    {"RuntimeOfAnotherUser",
     [](const RuntimeFolder& f) {
         (void)::chown(QFile::encodeName(f.path).constData(), kOtherUser, kOtherUser);
     },
     Place::Cache, true},
    {"CacheHomeUnset",
     [](const RuntimeFolder& f) {
         qunsetenv("XDG_RUNTIME_DIR");
         qunsetenv("XDG_CACHE_HOME");
         MakeFolder(f.Root() + QStringLiteral("/home"), 0755); // with no .cache yet
         qputenv("HOME", QFile::encodeName(f.Root() + QStringLiteral("/home")));
     },
     Place::HomeCache, false},
    {"CacheFolderOpenToOthersIsClosed",
     [](const RuntimeFolder& f) {
         qunsetenv("XDG_RUNTIME_DIR");
         MakeFolder(f.cache + QStringLiteral("/morbek"), 0777);
     },
     Place::Cache, false},
    {"CacheFolderLinked",
     [](const RuntimeFolder& f) {
         qunsetenv("XDG_RUNTIME_DIR");
         MakeFolder(f.cache, 0700);
         ::symlink(QFile::encodeName(f.path).constData(), QFile::encodeName(f.cache + "/morbek").constData());
     },
     Place::Nowhere, false},
    {"CacheFolderOfAnotherUser",
     [](const RuntimeFolder& f) {
         qunsetenv("XDG_RUNTIME_DIR");
         MakeFolder(f.cache + QStringLiteral("/morbek"), 0700);
         (void)::chown(QFile::encodeName(f.cache + "/morbek").constData(), kOtherUser, kOtherUser);
     },
     Place::Nowhere, true},
};

class MarkerFolder : public OnlyOneComponent, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(MarkerFolder, IsTheUsersOwnAndGuardsEveryStart) {
    const FolderCase& c = GetParam();
    if (c.needsRoot && ::getuid() != 0)
        GTEST_SKIP() << "needs root to give a folder to another user";
    c.arrange(runtime);
    QString expected;
    switch (c.expected) {
    case Place::Runtime:
        expected = runtime.path + QLatin1Char('/');
        break;
    case Place::Cache:
        expected = runtime.cache + QStringLiteral("/morbek/");
        break;
    case Place::HomeCache:
        expected = runtime.Root() + QStringLiteral("/home/.cache/morbek/");
        break;
    case Place::Nowhere:
        break;
    }
    EXPECT_EQ(TOnlyOne::PrivateFolder(), expected);
    if (expected.isEmpty())
        return;
    EXPECT_EQ(ModeOf(expected) & 077, 0u);
    EXPECT_FALSE(expected.startsWith(platform::GetTempPathA())) << "never the shared temporary folder";
    auto first = Start();
    auto second = Start();
    EXPECT_TRUE(GuardOf(first)->IsFirstInstance);
    EXPECT_TRUE(GuardOf(second)->MustEnd()) << "the later start finds the first";
    EXPECT_TRUE(IsSocket(expected + kMarker));
}

INSTANTIATE_TEST_SUITE_P(Folders, MarkerFolder, ::testing::ValuesIn(kFolderCases), morbek::test::CaseName());

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
                         morbek::test::CaseName());

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
    send("raise file=/" + QByteArray(TOnlyOne::kMaxRequest, 'x') + '\n');
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
            QDir(runtime.path)
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
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

// A later start, with or without a file: it ends without showing its window, leaves the
// first's marker alone, and the first comes forward and opens the file as Open would.
struct HandOverCase {
    const char* name;
    const char* argument; // empty: started without a file
    bool fromItsFolder;   // the later start runs in the cabinet's folder
    int rows;             // entries listed by the first afterwards
};

void PrintTo(const HandOverCase& c, std::ostream* os) {
    *os << c.name;
}

class LaterStartsFile : public OnlyOneProcess, public ::testing::WithParamInterface<HandOverCase> {};

TEST_P(LaterStartsFile, IsOpenedByTheFirst) {
    const HandOverCase& c = GetParam();
    const QString folder = home.path() + QStringLiteral("/cabs");
    QDir().mkpath(folder);
    test::CabWriter writer;
    writer.addFolder();
    writer.addFile("one.txt", "1");
    writer.addFile("two.txt", "22");
    for (const char* name : {"set.cab", "my 100% set.cab"}) {
        ASSERT_TRUE(test::WriteFile(folder + QLatin1Char('/') + QLatin1String(name), writer.build()));
    }

    auto first = RunFirst();
    QStringList args;
    if (*c.argument)
        args << (c.fromItsFolder || c.argument[0] == '/'
                     ? QString::fromUtf8(c.argument)
                     : folder + QLatin1Char('/') + QString::fromUtf8(c.argument));
    test::RunningProgram later(QStringLiteral(MORBEK32_PATH), args, env,
                               c.fromItsFolder ? folder : QString());
    ExpectHandsOver(later);
    ASSERT_TRUE(first->WaitForLine(QStringLiteral("handover raised")));
    EXPECT_TRUE(CanConnect(Marker()));

    // The open runs once the program is free: ask until the expected count shows.
    QString rows;
    for (int attempt = 0; attempt < 20; ++attempt) {
        const int from = static_cast<int>(first->Lines().size());
        first->Send(QStringLiteral("list"));
        rows = first->WaitForPrefix(QStringLiteral("rows "), from);
        if (rows == QStringLiteral("rows %1").arg(c.rows))
            break;
        QTest::qWait(100);
    }
    EXPECT_EQ(rows, QStringLiteral("rows %1").arg(c.rows));
    if (c.rows > 0) {
        EXPECT_TRUE(first->Lines().contains(QStringLiteral("row one.txt")));
        const int from = static_cast<int>(first->Lines().size());
        first->Send(QStringLiteral("caption"));
        EXPECT_TRUE(first->WaitForPrefix(QStringLiteral("caption "), from).endsWith(QStringLiteral(".cab")));
    }
    EXPECT_TRUE(first->running());
    Quit(*first);
}

INSTANTIATE_TEST_SUITE_P(
    Files, LaterStartsFile,
    ::testing::Values(HandOverCase{"AbsolutePath", "set.cab", false, 2},
                      HandOverCase{"RelativeToTheLaterStartsFolder", "set.cab", true, 2},
                      HandOverCase{"BlanksAndPercentInTheName", "my 100% set.cab", false, 2},
                      HandOverCase{"MissingFileIsDropped", "/nonexistent/other.cab", false, 0},
                      HandOverCase{"NoFile", "", false, 0}),
    morbek::test::CaseName());

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

TEST_F(OnlyOneProcess, AnotherUserHoldingTheTemporaryFolderNameCannotBlindTheGuard) {
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to make a folder of another user";
    // No runtime folder; another user made our "morbek-<uid>" in the shared temporary
    // folder first, so each start would get a fresh temporary folder of its own.
    QTemporaryDir shared;
    const QString taken = shared.path() + QStringLiteral("/morbek-%1").arg(::getuid());
    MakeFolder(taken, 0700);
    ASSERT_EQ(::chown(QFile::encodeName(taken).constData(), kOtherUser, kOtherUser), 0);
    QProcessEnvironment noRuntime = env;
    noRuntime.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    noRuntime.insert(QStringLiteral("TMPDIR"), shared.path());
    noRuntime.insert(QStringLiteral("XDG_CACHE_HOME"), runtime.cache);

    test::RunningProgram first(QStringLiteral(ONLYONE_PROBE_PATH), {}, noRuntime);
    ASSERT_TRUE(first.WaitForLine(QStringLiteral("shown"))) << first.Errors().toStdString();
    EXPECT_TRUE(first.Lines().contains(QStringLiteral("first 1 end 0")));
    test::RunningProgram later(QStringLiteral(ONLYONE_PROBE_PATH), {}, noRuntime);
    ASSERT_TRUE(later.WaitForExit());
    EXPECT_TRUE(later.Lines().contains(QStringLiteral("first 0 end 1"))) << "the later start runs alone";
    EXPECT_TRUE(first.WaitForLine(QStringLiteral("handover raised")));
    first.Send(QStringLiteral("quit"));
    EXPECT_TRUE(first.WaitForExit());
    EXPECT_EQ(QDir(taken).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
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
