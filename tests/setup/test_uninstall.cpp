// The per-user uninstall as a real process, after the packaged folder's setup installed
// the program into a fresh home and the program's Association command (in process, as
// the user chooses it) made it the handler of cabinets: the home comes back as it was.
#include "app/MainWindow.h"
#include "components/Framework.h"
#include "components/ModalSeam.h"
#include "platform/registry/DesktopBridge.h"
#include "tests/setup/PackageFolder.h"
#include "tests/support/ProcessHarness.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/XdgSandbox.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <gtest/gtest.h>

#include <memory>

namespace morbek {
namespace {

namespace registry = platform::registry;
const QString kMime = QStringLiteral("application/vnd.ms-cab-compressed");

QString Listing(const QMap<QString, QByteArray>& files) {
    QString text;
    for (auto it = files.begin(); it != files.end(); ++it)
        text += it.key() + QStringLiteral(": ") + QString::fromUtf8(it.value()).left(200) + QLatin1Char('\n');
    return text;
}

// What the user had before the install.
struct Home {
    const char* name;
    QMap<QString, QByteArray> files; // relative to the sandbox: config/..., data/...
    bool associate;                  // the user makes Morbek32 the handler of cabinets
    const char* defaultAfter;        // the handler once the program is gone
};

class Uninstall : public ::testing::TestWithParam<Home> {
protected:
    void SetUp() override {
        framework::SetApplicationTitle(QStringLiteral("Zuvedaz ud Izedori"));
        modal::ClearAnswers();
        env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_DIRS"})
            env.insert(QString::fromLatin1(name), qEnvironmentVariable(name));
        env.remove(QStringLiteral("XDG_CURRENT_DESKTOP"));
        env.insert(QStringLiteral("HOME"), xdg.path(QStringLiteral("home")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("MORBEK_TEST_ANSWER_BOXES"), QStringLiteral("1"));
    }
    void TearDown() override { modal::ClearAnswers(); }

    QString Package() { return test::LayOutPackage(xdg.path(QStringLiteral("package"))); }

    int Run(const QString& program, const QStringList& args, const QString& folder = {}) {
        test::RunningProgram p(program, args, env, folder);
        EXPECT_TRUE(p.WaitForExit(120000));
        EXPECT_TRUE(p.Lines().isEmpty()) << p.Lines().join(QLatin1Char('\n')).toStdString();
        const QString errors = p.Errors();
        EXPECT_FALSE(errors.contains(QStringLiteral("box "))) << errors.toStdString();
        return p.process().exitCode();
    }

    QMap<QString, QByteArray> Snapshot() const {
        QMap<QString, QByteArray> all;
        for (const char* d : {"config", "data", "home"}) {
            const QMap<QString, QByteArray> files = test::ContentsUnder(xdg.path(QString::fromLatin1(d)));
            for (auto it = files.begin(); it != files.end(); ++it)
                all.insert(QString::fromLatin1(d) + QLatin1Char('/') + it.key(), it.value());
        }
        return all;
    }

    test::XdgSandbox xdg;
    QProcessEnvironment env;
};

TEST_P(Uninstall, GivesTheCabinetsBackAndLeavesTheHomeAsItWas) {
    const Home& h = GetParam();
    for (auto it = h.files.begin(); it != h.files.end(); ++it)
        xdg.write(xdg.path(it.key()), it.value());
    QDir().mkpath(xdg.path(QStringLiteral("home")));
    const QMap<QString, QByteArray> before = Snapshot();

    const QString package = Package();
    ASSERT_EQ(Run(package + QStringLiteral("/setup"), {}, package), 0);
    const QString installed = xdg.dataHome() + QStringLiteral("/morbek32");
    ASSERT_TRUE(QFileInfo(installed + QStringLiteral("/uninstall")).isExecutable());
    const QString entry =
        test::XdgSandbox::read(xdg.dataHome() + QStringLiteral("/applications/morbek32.desktop"));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nIcon=morbek32\n"))) << entry.toStdString();
    EXPECT_TRUE(entry.contains(QStringLiteral("\nMimeType=application/vnd.ms-cab-compressed;\n")));

    if (h.associate) {
        xdg.seedSettings(0);
        auto window = std::make_unique<TDezerOvu>();
        window->ExeName = installed + QStringLiteral("/Morbek32");
        window->show();
        QCoreApplication::processEvents();
        modal::AnswerNext([](QDialog& d) {
            if (auto* b = d.findChild<QAbstractButton*>(QStringLiteral("Yes")))
                b->click();
        });
        window->Install1->trigger();
        window.reset();
        EXPECT_EQ(registry::DefaultApplication(kMime), QStringLiteral("morbek32.desktop"));
    }

    EXPECT_EQ(Run(installed + QStringLiteral("/uninstall"), {}), 0);
    EXPECT_EQ(registry::DefaultApplication(kMime), QString::fromLatin1(h.defaultAfter));
    const QMap<QString, QByteArray> after = Snapshot();
    EXPECT_EQ(after, before) << "before:\n"
                             << Listing(before).toStdString() << "after:\n"
                             << Listing(after).toStdString();
    EXPECT_FALSE(QFileInfo::exists(installed));
    EXPECT_FALSE(QFileInfo::exists(xdg.configHome() + QStringLiteral("/morbek")));
    if (h.files.isEmpty()) {
        EXPECT_FALSE(QFileInfo::exists(xdg.dataHome() + QStringLiteral("/applications")))
            << "a folder the install made and the uninstall emptied goes";
    }
}

const QByteArray kArk = "[Desktop Entry]\nType=Application\nName=Ark\nExec=/bin/true %f\n"
                        "MimeType=application/vnd.ms-cab-compressed;\n";

INSTANTIATE_TEST_SUITE_P(
    Homes, Uninstall,
    ::testing::Values(
        Home{"fresh_without_association", {}, false, ""}, Home{"fresh_with_association", {}, true, ""},
        Home{"previous_default_comes_back",
             {{QStringLiteral("data/applications/org.kde.ark.desktop"), kArk},
              {QStringLiteral("config/mimeapps.list"),
               "[Default Applications]\napplication/vnd.ms-cab-compressed=org.kde.ark.desktop;\n"}},
             true,
             "org.kde.ark.desktop"},
        Home{"users_own_files_stay",
             {{QStringLiteral("data/applications/other.desktop"), "[Desktop Entry]\n"},
              {QStringLiteral("data/icons/hicolor/32x32/apps/other.png"), "png"},
              {QStringLiteral("config/mimeapps.list"), "[Added Associations]\ntext/plain=vim.desktop;\n"},
              {QStringLiteral("home/notes.txt"), "mine"}},
             true,
             ""},
        Home{"previous_default_without_association",
             {{QStringLiteral("data/applications/org.kde.ark.desktop"), kArk},
              {QStringLiteral("config/mimeapps.list"),
               "[Default Applications]\napplication/vnd.ms-cab-compressed=org.kde.ark.desktop;\n"}},
             false,
             "org.kde.ark.desktop"}),
    morbek::test::CaseName());

} // namespace
} // namespace morbek
