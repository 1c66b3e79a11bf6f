// Association and Remove association on the real main window, in private XDG folders:
// the classes root's keys, the desktop's default application and our desktop entry,
// checked with the desktop's own tools where they are installed.
#include "app/Association.h"
#include "app/FileListModel.h"
#include "app/MainWindow.h"
#include "app/Settings.h"
#include "components/Framework.h"
#include "components/ModalSeam.h"
#include "platform/registry/DesktopBridge.h"
#include "platform/registry/Registry.h"
#include "tests/support/CabWriter.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/XdgSandbox.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace morbek::testing {
namespace {

namespace registry = platform::registry;

const QString kMime = QStringLiteral("application/vnd.ms-cab-compressed");
const QString kOurs = QStringLiteral("morbek32.desktop");

struct Shown {
    QString text;
    bool came = false;
};

class AssociationTest : public ::testing::Test {
protected:
    void SetUp() override {
        framework::SetApplicationTitle(QStringLiteral("Zuvedaz ud Izedori"));
        modal::ClearAnswers();
        registry::SetSaveHook({});
        program = MakeProgram(xdg.path(QStringLiteral("bin/Morbek32")));
    }
    void TearDown() override {
        EXPECT_EQ(modal::PendingAnswers(), 0) << "a dialog that a test expected never came";
        modal::ClearAnswers();
        registry::SetSaveHook({});
        window.reset();
    }

    // A stand-in for the installed program: it writes the arguments it was started with
    // into args.txt beside itself.
    QString MakeProgram(const QString& path) const {
        xdg.write(path, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/args.txt\"\n");
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        return path;
    }
    static QByteArray ArgsOf(const QString& program, int waitMs = 0) {
        const QString args = QFileInfo(program).absolutePath() + QStringLiteral("/args.txt");
        QDeadlineTimer deadline(waitMs);
        while (!QFileInfo::exists(args) && !deadline.hasExpired())
            QThread::msleep(20);
        QThread::msleep(50); // the program may still be writing
        return test::XdgSandbox::read(args);
    }

    void Start() {
        window.reset();
        window = std::make_unique<TDezerOvu>();
        window->ExeName = program;
        window->show();
        QCoreApplication::processEvents();
        ASSERT_EQ(window->Tag, 1);
    }

    static void Answer(const char* button, Shown* shown = nullptr) {
        modal::AnswerNext([button, shown](QDialog& d) {
            if (shown)
                *shown = {d.property("messageText").toString(), true};
            if (auto* b = d.findChild<QAbstractButton*>(QString::fromLatin1(button)))
                b->click();
        });
    }
    // The menu commands, as the user chooses them (a failure shows the error box).
    void Associate(const char* answer, Shown* shown = nullptr) {
        Answer(answer, shown);
        ASSERT_TRUE(window->Install1->isEnabled());
        window->Install1->trigger();
    }
    void RemoveAssociation(const char* answer, Shown* shown = nullptr) {
        Answer(answer, shown);
        ASSERT_TRUE(window->Uninstall1->isEnabled());
        window->Uninstall1->trigger();
    }

    // What the classes root's file holds (not the desktop's view of it).
    std::optional<registry::Value> InFile(const QString& key, const QString& name = {}) const {
        const std::optional<registry::Hive> hive = registry::ParseRegedit(
            test::XdgSandbox::read(xdg.classesReg()), QStringLiteral("HKEY_CLASSES_ROOT"));
        const registry::Key* k = hive ? hive->find(key) : nullptr;
        const registry::Value* v = k ? k->value(name) : nullptr;
        return v ? std::optional(*v) : std::nullopt;
    }
    bool KeyInFile(const QString& key) const {
        const std::optional<registry::Hive> hive = registry::ParseRegedit(
            test::XdgSandbox::read(xdg.classesReg()), QStringLiteral("HKEY_CLASSES_ROOT"));
        return hive && hive->find(key);
    }
    static std::optional<registry::Value> Install() {
        return registry::QueryValue(registry::RootKey::CurrentUser, kSettingsKey, QStringLiteral("Install"));
    }
    std::optional<QString> MainDefault() const { return registry::DefaultLine(xdg.mimeappsList(), kMime); }
    QString Entry() const {
        return test::XdgSandbox::read(xdg.dataHome() + QStringLiteral("/applications/") + kOurs);
    }
    void App(const QString& id) const {
        xdg.write(xdg.dataHome() + QStringLiteral("/applications/") + id,
                  "[Desktop Entry]\nType=Application\nName=Other\nExec=/bin/true %f\nMimeType=" +
                      kMime.toUtf8() + ";\n");
    }
    QString Cabinet() const {
        test::CabWriter writer;
        writer.addFolder();
        writer.addFile("readme.txt", "hello");
        const QString path = xdg.path(QStringLiteral("files/disk1.cab"));
        xdg.write(path, writer.build());
        return path;
    }

    test::XdgSandbox xdg;
    QString program;
    std::unique_ptr<TDezerOvu> window;
};

// --- the two commands ------------------------------------------------------------------------

TEST_F(AssociationTest, AnotherDefaultIsSavedAndRemovalGivesItBack) {
    App(QStringLiteral("org.kde.ark.desktop"));
    const QByteArray list = "[Added Associations]\ntext/plain=vim.desktop;\n\n"
                            "[Default Applications]\napplication/vnd.ms-cab-compressed=org.kde.ark.desktop;\n"
                            "text/plain=vim.desktop;\n";
    xdg.write(xdg.mimeappsList(), list);
    xdg.seedSettings(0);
    Start();

    Shown question;
    Associate("Yes", &question);
    EXPECT_EQ(question.text, QStringLiteral("Do you want install Morbek as your defaut extractor ?"));
    EXPECT_EQ(InFile(QStringLiteral(".cab")), registry::Value::Text(QStringLiteral("cabfile")));
    EXPECT_EQ(InFile(QStringLiteral(".cab\\OldCab")),
              registry::Value::Text(QStringLiteral("org.kde.ark.desktop")));
    EXPECT_EQ(InFile(QStringLiteral("cabfile")), registry::Value::Text(QStringLiteral("Cabinet file")));
    EXPECT_EQ(InFile(QStringLiteral("cabfile"), QStringLiteral("EditFlags")),
              registry::Value::Binary(QByteArray(4, '\0')));
    EXPECT_EQ(InFile(QStringLiteral("cabfile\\DefaultIcon")),
              registry::Value::Text(program + QStringLiteral(",0")));
    EXPECT_EQ(InFile(QStringLiteral("cabfile\\Shell\\Open\\command")),
              registry::Value::Text(QLatin1Char('"') + program + QStringLiteral("\" %1")));
    EXPECT_EQ(MainDefault(), kOurs + QLatin1Char(';'));
    EXPECT_EQ(registry::DefaultApplication(kMime), kOurs);
    EXPECT_TRUE(test::XdgSandbox::read(xdg.mimeappsList())
                    .startsWith("[Added Associations]\ntext/plain=vim.desktop;\n"));
    const QString entry = Entry();
    EXPECT_TRUE(entry.contains(QStringLiteral("\nExec=") + program + QStringLiteral(" %f\n")))
        << entry.toStdString();
    EXPECT_TRUE(entry.contains(QStringLiteral("\nMimeType=application/vnd.ms-cab-compressed;\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nIcon=morbek32\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nComment=Cabinet file\n")));
    EXPECT_EQ(Install(), registry::Value::Dword(1));
    EXPECT_FALSE(window->Install1->isEnabled());
    EXPECT_TRUE(window->Uninstall1->isEnabled());

    Shown removal;
    RemoveAssociation("Yes", &removal);
    EXPECT_EQ(removal.text, QStringLiteral("Do you want unistall Morbek as your default extractor ?"));
    EXPECT_EQ(test::XdgSandbox::read(xdg.mimeappsList()), list) << "the list is as it was";
    EXPECT_EQ(registry::DefaultApplication(kMime), QStringLiteral("org.kde.ark.desktop"));
    EXPECT_EQ(InFile(QStringLiteral(".cab")), registry::Value::Text(QStringLiteral("org.kde.ark.desktop")));
    EXPECT_FALSE(KeyInFile(QStringLiteral(".cab\\OldCab")));
    EXPECT_FALSE(KeyInFile(QStringLiteral("cabfile")));
    EXPECT_FALSE(QFileInfo::exists(xdg.dataHome() + QStringLiteral("/applications/") + kOurs));
    EXPECT_EQ(Install(), registry::Value::Dword(0));
    EXPECT_TRUE(window->Install1->isEnabled());
    EXPECT_FALSE(window->Uninstall1->isEnabled());
}

// One desktop id for the menu entry and the association: an entry of that id already
// installed serves, and only the hidden one the association writes is taken away again.
struct EntryCase {
    const char* name;
    const char* where;    // "", "home" (the user's installer), "system" (a distribution's package)
    QByteArray installed; // that entry's text
    bool hiddenWritten;   // the association writes its own hidden entry in the user's folder
};

class AssociationEntries : public AssociationTest, public ::testing::WithParamInterface<EntryCase> {};

TEST_P(AssociationEntries, TheInstalledEntryServesAndTheHomeIsLeftAsItWas) {
    const EntryCase& c = GetParam();
    const QString home = xdg.dataHome() + QStringLiteral("/applications/") + kOurs;
    const QString where = QByteArray(c.where) == "home" ? home
                          : QByteArray(c.where) == "system"
                              ? xdg.path(QStringLiteral("share/applications/")) + kOurs
                              : QString();
    if (!where.isEmpty())
        xdg.write(where, c.installed);
    xdg.seedSettings(0);
    Start();

    Associate("Yes");
    EXPECT_EQ(registry::DefaultApplication(kMime), kOurs);
    EXPECT_EQ(MainDefault(), kOurs + QLatin1Char(';'));
    const QByteArray entry = test::XdgSandbox::read(home);
    EXPECT_EQ(entry.contains(registry::kAssociationMark), c.hiddenWritten) << entry.toStdString();
    if (!where.isEmpty()) {
        EXPECT_EQ(test::XdgSandbox::read(where), c.installed) << "an installed entry is never rewritten";
    }

    RemoveAssociation("Yes");
    EXPECT_EQ(registry::DefaultApplication(kMime), QString());
    EXPECT_FALSE(QFileInfo::exists(xdg.mimeappsList())) << "no list is left with an empty group";
    const QString cache = xdg.dataHome() + QStringLiteral("/applications/mimeinfo.cache");
    EXPECT_TRUE(!QFileInfo::exists(cache) || test::XdgSandbox::read(cache).contains('='))
        << "no cache that lists nothing";
    if (!where.isEmpty()) {
        EXPECT_EQ(test::XdgSandbox::read(where), c.installed);
    } else {
        EXPECT_FALSE(QFileInfo::exists(home));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ids, AssociationEntries,
    ::testing::Values(EntryCase{"none_installed", "", "", true},
                      EntryCase{
                          "users_menu_entry", "home",
                          "[Desktop Entry]\nType=Application\nName=Morbek32\nExec=/bin/true %f\n"
                          "MimeType=application/vnd.ms-cab-compressed;\nX-Morbek-Installer=infinstall\n",
                          false},
                      EntryCase{"distribution_package", "system",
                                "[Desktop Entry]\nType=Application\nName=Morbek\nExec=Morbek32 %f\n"
                                "MimeType=application/vnd.ms-cab-compressed;\n",
                                false}),
    morbek::test::CaseName());

// --- the shell's type names ---------------------------------------------------------------------

// Type names of the listed entries, by name: the classes root first, the MIME database
// after. Each stage is one state of the classes root.
TEST_F(AssociationTest, ListedTypeNamesComeFromTheClassesRootFirst) {
    test::CabWriter writer;
    writer.addFolder();
    for (const char* name : {"inner.cab", "LOUD.CAB", "readme.txt", "notes.zzqqxx"})
        writer.addFile(name, "x");
    const QString cabinet = xdg.path(QStringLiteral("files/types.cab"));
    xdg.write(cabinet, writer.build());
    const QString mimeCab = QMimeDatabase().mimeTypeForName(kMime).comment();
    const QString mimeTxt = QMimeDatabase().mimeTypeForName(QStringLiteral("text/plain")).comment();

    xdg.seedSettings(0);
    Start();
    const auto typesNow = [&] {
        window->PendingFileName = cabinet;
        window->Ouvre1Click(nullptr);
        QMap<QString, QString> types;
        const FileListModel* m = window->ListFic->model();
        for (int r = 0; r < m->rowCount(); ++r)
            types[m->data(m->index(r, 0), Qt::DisplayRole).toString()] =
                m->data(m->index(r, 2), Qt::DisplayRole).toString();
        return types;
    };
    struct Stage {
        const char* name;
        std::function<void()> change;
        QString cab, txt, unknown;
    };
    const Stage stages[] = {
        {"NotAssociated", [] {}, mimeCab, mimeTxt, QString()},
        {"Associated", [&] { Associate("Yes"); }, QStringLiteral("Cabinet file"), mimeTxt, QString()},
        {"ClassOfAnotherExtension",
         [] {
             registry::SetValue(registry::RootKey::ClassesRoot, QStringLiteral(".TXT"), {},
                                registry::Value::Text(QStringLiteral("txtfile")));
             registry::SetValue(registry::RootKey::ClassesRoot, QStringLiteral("txtfile"), {},
                                registry::Value::Text(QStringLiteral("Plain words")));
             registry::SetValue(registry::RootKey::ClassesRoot, QStringLiteral(".zzqqxx"), {},
                                registry::Value::Text(QStringLiteral("nameless")));
         },
         QStringLiteral("Cabinet file"), QStringLiteral("Plain words"), QString()},
        {"Removed", [&] { RemoveAssociation("Yes"); }, mimeCab, QStringLiteral("Plain words"), QString()},
    };
    for (const Stage& stage : stages) {
        SCOPED_TRACE(stage.name);
        stage.change();
        const QMap<QString, QString> types = typesNow();
        EXPECT_EQ(types.value(QStringLiteral("inner.cab")), stage.cab);
        EXPECT_EQ(types.value(QStringLiteral("LOUD.CAB")), stage.cab) << "extensions match without case";
        EXPECT_EQ(types.value(QStringLiteral("readme.txt")), stage.txt);
        EXPECT_EQ(types.value(QStringLiteral("notes.zzqqxx")), stage.unknown)
            << "a class without a name gives no type";
    }
}

TEST_F(AssociationTest, WithNoDefaultBeforeRemovalLeavesNone) {
    xdg.seedSettings(0);
    Start();
    Associate("Yes");
    EXPECT_FALSE(KeyInFile(QStringLiteral(".cab\\OldCab")));
    EXPECT_EQ(registry::DefaultApplication(kMime), kOurs);
    RemoveAssociation("Yes");
    EXPECT_FALSE(MainDefault());
    EXPECT_EQ(registry::DefaultApplication(kMime), QString());
    EXPECT_FALSE(KeyInFile(QStringLiteral(".cab")));
    EXPECT_FALSE(KeyInFile(QStringLiteral("cabfile")));
}

TEST_F(AssociationTest, WhenOursIsAlreadyTheDefaultNothingIsSavedAsOldCab) {
    // Associated before; the classes root was lost since, the desktop still knows.
    App(kOurs);
    xdg.write(xdg.mimeappsList(),
              "[Default Applications]\napplication/vnd.ms-cab-compressed=" + kOurs.toUtf8() + ";\n");
    xdg.seedSettings(0);
    Start();
    Associate("Yes");
    EXPECT_FALSE(KeyInFile(QStringLiteral(".cab\\OldCab")));
    EXPECT_EQ(registry::DefaultApplication(kMime), kOurs);
    RemoveAssociation("Yes");
    EXPECT_FALSE(MainDefault());
    EXPECT_FALSE(KeyInFile(QStringLiteral(".cab")));
}

TEST_F(AssociationTest, ADefaultOfTheCurrentDesktopIsTakenOutAndPutBack) {
    xdg.set("XDG_CURRENT_DESKTOP", QStringLiteral("KDE"));
    App(QStringLiteral("org.kde.ark.desktop"));
    const QString kdeList = xdg.configHome() + QStringLiteral("/kde-mimeapps.list");
    const QByteArray kde = "[Default Applications]\napplication/vnd.ms-cab-compressed=org.kde.ark.desktop;\n";
    xdg.write(kdeList, kde);
    xdg.seedSettings(0);
    Start();
    Associate("Yes");
    EXPECT_EQ(registry::DefaultApplication(kMime), kOurs) << "the desktop's own list no longer hides ours";
    EXPECT_FALSE(registry::DefaultLine(kdeList, kMime));
    EXPECT_EQ(InFile(QStringLiteral(".cab\\OldCab")),
              registry::Value::Text(QStringLiteral("org.kde.ark.desktop")));
    RemoveAssociation("Yes");
    EXPECT_EQ(test::XdgSandbox::read(kdeList), kde);
    EXPECT_FALSE(MainDefault());
    EXPECT_EQ(registry::DefaultApplication(kMime), QStringLiteral("org.kde.ark.desktop"));
}

TEST_F(AssociationTest, AProgramPathWithBlanksIsQuotedTheFileNameIsNot) {
    program = MakeProgram(xdg.path(QStringLiteral("my apps/Morbek 32")));
    xdg.seedSettings(0);
    Start();
    Associate("Yes");
    EXPECT_EQ(InFile(QStringLiteral("cabfile\\Shell\\Open\\command")),
              registry::Value::Text(QLatin1Char('"') + program + QStringLiteral("\" %1")));
    EXPECT_TRUE(Entry().contains(QStringLiteral("\nExec=\"") + program + QStringLiteral("\" %f\n")));

    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (gio.isEmpty())
        GTEST_SKIP() << "gio is not installed";
    // The desktop's own reading of the Exec line starts the program with the file.
    const QString cab = Cabinet();
    QProcess launch;
    launch.start(gio,
                 {QStringLiteral("launch"), xdg.dataHome() + QStringLiteral("/applications/") + kOurs, cab});
    ASSERT_TRUE(launch.waitForFinished(20000));
    EXPECT_EQ(ArgsOf(program, 10000), cab.toUtf8() + '\n');
}

TEST_F(AssociationTest, RefusingAssociationStoresZeroAndChangesNothingElse) {
    xdg.seedSettings(1); // a flag that says otherwise, to see it overwritten
    Start();
    window->Install1->setEnabled(true);
    window->Uninstall1->setEnabled(false);
    Associate("No");
    EXPECT_EQ(Install(), registry::Value::Dword(0));
    EXPECT_TRUE(window->Install1->isEnabled());
    EXPECT_FALSE(window->Uninstall1->isEnabled());
    EXPECT_FALSE(QFileInfo::exists(xdg.classesReg()));
    EXPECT_FALSE(QFileInfo::exists(xdg.mimeappsList()));
}

TEST_F(AssociationTest, RefusingTheFirstStartQuestionStoresZeroAndItIsNotAskedAgain) {
    Shown question;
    Answer("No", &question);
    Start();
    ASSERT_TRUE(question.came);
    EXPECT_EQ(Install(), registry::Value::Dword(0));
    EXPECT_TRUE(window->Install1->isEnabled());
    EXPECT_FALSE(window->Uninstall1->isEnabled());
    EXPECT_FALSE(QFileInfo::exists(xdg.classesReg()));

    Shown again;
    Answer("No", &again);
    Start();
    EXPECT_FALSE(again.came);
    modal::ClearAnswers();
}

TEST_F(AssociationTest, AcceptingTheFirstStartQuestionAssociates) {
    Answer("Yes");
    Start();
    EXPECT_EQ(Install(), registry::Value::Dword(1));
    EXPECT_FALSE(window->Install1->isEnabled());
    EXPECT_TRUE(window->Uninstall1->isEnabled());
    EXPECT_EQ(registry::DefaultApplication(kMime), kOurs);
}

TEST_F(AssociationTest, ARegistryErrorStopsTheCommandAtItsStep) {
    xdg.seedSettings(0);
    Start();
    int saves = 0;
    // The second save of the classes root (the type name of "cabfile") fails.
    registry::SetSaveHook(
        [&saves](registry::SavePoint p) { return p != registry::SavePoint::Begin || ++saves != 2; });
    Shown box;
    Answer("Yes");
    Answer("OK", &box); // the standard error box
    window->Install1->trigger();
    ASSERT_TRUE(box.came);
    EXPECT_EQ(box.text, QStringLiteral("Erreur de création de la clé cabfile"));
    EXPECT_EQ(InFile(QStringLiteral(".cab")), registry::Value::Text(QStringLiteral("cabfile")))
        << "done stays done";
    EXPECT_FALSE(KeyInFile(QStringLiteral("cabfile")));
    EXPECT_EQ(Install(), registry::Value::Dword(0)) << "not written";
    EXPECT_TRUE(window->Install1->isEnabled());
    EXPECT_FALSE(window->Uninstall1->isEnabled());
}

// --- the desktop's own tools -------------------------------------------------------------

TEST_F(AssociationTest, XdgMimeNamesOurEntryAndThenThePreviousOne) {
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty())
        GTEST_SKIP() << "xdg-mime (xdg-utils) is not installed";
    auto query = [&xdgMime] {
        QProcess p;
        p.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), kMime});
        p.waitForFinished(20000);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    };
    App(QStringLiteral("org.kde.ark.desktop"));
    xdg.write(xdg.mimeappsList(),
              "[Default Applications]\napplication/vnd.ms-cab-compressed=org.kde.ark.desktop;\n");
    xdg.seedSettings(0);
    Start();
    ASSERT_EQ(query(), QStringLiteral("org.kde.ark.desktop"));
    Associate("Yes");
    EXPECT_EQ(query(), kOurs);
    RemoveAssociation("Yes");
    EXPECT_EQ(query(), QStringLiteral("org.kde.ark.desktop"));
}

TEST_F(AssociationTest, GioOpenStartsTheProgramWithTheCabinet) {
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (gio.isEmpty() || !QFileInfo::exists(QStringLiteral("/usr/share/mime/mime.cache")))
        GTEST_SKIP() << "gio or the shared MIME database is not installed";
    // The MIME database comes from the system; applications only from our folders.
    xdg.set("XDG_DATA_DIRS", xdg.path(QStringLiteral("share")) + QStringLiteral(":/usr/share"));
    xdg.write(xdg.path(QStringLiteral("share/applications/mimeapps.list")), "[Default Applications]\n");
    xdg.seedSettings(0);
    Start();
    Associate("Yes");
    const QString cab = Cabinet();
    QProcess open;
    open.start(gio, {QStringLiteral("open"), cab});
    ASSERT_TRUE(open.waitForFinished(20000));
    EXPECT_EQ(open.exitCode(), 0) << open.readAllStandardError().toStdString();
    EXPECT_EQ(ArgsOf(program, 10000), cab.toUtf8() + '\n');
}

} // namespace
} // namespace morbek::testing
