// The registry stand-in: REGEDIT4 text, the typed store in its files (atomic saves,
// damaged files, links, other writers), and the desktop bridge's building blocks.
#include "platform/registry/DesktopBridge.h"
#include "platform/registry/Hive.h"
#include "platform/registry/Registry.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/XdgSandbox.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace morbek::platform::registry {
namespace {

const QString kSetup = QStringLiteral("Software\\Harvex\\Morbek\\Setup");
const QString kUser = QStringLiteral("HKEY_CURRENT_USER");

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray b;
    for (int v : values)
        b.append(static_cast<char>(v));
    return b;
}

// --- REGEDIT4 text ----------------------------------------------------------------------

TEST(Regedit4, WritesTheSettingsAsRegeditDoes) {
    Hive hive(kUser);
    Key* setup = hive.create(kSetup);
    ASSERT_NE(setup, nullptr);
    setup->setValue(
        QStringLiteral("WState"),
        Value::Binary(Bytes({2, 0, 0, 0, 0x21, 0, 0, 0, 0x2C, 0, 0, 0, 0x41, 1, 0, 0, 0x49, 2, 0, 0})));
    setup->setValue(QStringLiteral("Language"), Value::Dword(255));
    setup->setValue(QStringLiteral("Version"), Value::Text(QStringLiteral("1.12")));
    setup->setValue(QString(), Value::Text(QStringLiteral("C:\\Program Files\\\"Morbek\"")));
    EXPECT_EQ(hive.toRegedit(),
              QByteArray("REGEDIT4\n"
                         "\n"
                         "[HKEY_CURRENT_USER\\Software]\n"
                         "\n"
                         "[HKEY_CURRENT_USER\\Software\\Harvex]\n"
                         "\n"
                         "[HKEY_CURRENT_USER\\Software\\Harvex\\Morbek]\n"
                         "\n"
                         "[HKEY_CURRENT_USER\\Software\\Harvex\\Morbek\\Setup]\n"
                         "\"WState\"=hex:02,00,00,00,21,00,00,00,2c,00,00,00,41,01,00,00,49,02,00,00\n"
                         "\"Language\"=dword:000000ff\n"
                         "\"Version\"=\"1.12\"\n"
                         "@=\"C:\\\\Program Files\\\\\\\"Morbek\\\"\"\n"
                         "\n"));
}

TEST(Regedit4, ReadsAFileAPersonEdited) {
    // A regedit export touched by hand: byte-order mark, CR LF, comments, folded hex
    // lines, a section repeated in another case, deletions, and ANSI-era types.
    const QByteArray text = "\xEF\xBB\xBFREGEDIT4\r\n"
                            "; my settings\r\n"
                            "\r\n"
                            "[HKEY_CURRENT_USER\\Software\\Harvex\\Morbek\\Setup]\r\n"
                            "\"WState\"=hex:00,00,00,00,10,00,00,00,20,00,00,00,\\\r\n"
                            "  40,01,00,00,\\\r\n"
                            "  50,02,00,00\r\n"
                            "\"Language\" = DWORD:2\r\n"
                            "\"Old\"=\"gone soon\"\r\n"
                            "[hkey_current_user\\SOFTWARE\\harvex\\morbek\\setup]\r\n"
                            "\"Old\"=-\r\n"
                            "\"Path\"=hex(2):25,54,45,4d,50,25,00\r\n"
                            "\"Odd\"=\"a\\b\"\r\n"
                            "@=\"default\"\r\n"
                            "[HKEY_CURRENT_USER\\Software\\Trash\\Deep]\r\n"
                            "\"x\"=dword:00000001\r\n"
                            "[-HKEY_CURRENT_USER\\Software\\Trash]\r\n"
                            "\"ignored\"=\"after a deleted key\"\r\n";
    ParseError error;
    const std::optional<Hive> hive = ParseRegedit(text, kUser, &error);
    ASSERT_TRUE(hive) << error.line << ": " << error.reason.toStdString();
    const Key* setup = hive->find(kSetup);
    ASSERT_NE(setup, nullptr);
    EXPECT_EQ(setup->name(), QStringLiteral("Setup")); // the first spelling stays
    ASSERT_NE(setup->value(QStringLiteral("wstate")), nullptr);
    EXPECT_EQ(*setup->value(QStringLiteral("WSTATE")),
              Value::Binary(Bytes({0, 0, 0, 0, 0x10, 0, 0, 0, 0x20, 0, 0, 0, 0x40, 1, 0, 0, 0x50, 2, 0, 0})));
    EXPECT_EQ(*setup->value(QStringLiteral("Language")), Value::Dword(2));
    EXPECT_EQ(setup->value(QStringLiteral("Old")), nullptr);
    EXPECT_EQ(*setup->value(QStringLiteral("Path")), (Value{REG_EXPAND_SZ, "%TEMP%"}));
    EXPECT_EQ(setup->value(QStringLiteral("Odd"))->text(), QStringLiteral("a\\b")); // a lone backslash stays
    EXPECT_EQ(setup->value(QString())->text(), QStringLiteral("default"));
    EXPECT_EQ(hive->find(QStringLiteral("Software\\Trash")), nullptr);
    EXPECT_EQ(hive->root().children().size(), 1u);
}

TEST(Regedit4, AnsiFileFromWindowsIsRead) {
    const std::optional<Hive> hive =
        ParseRegedit("REGEDIT4\n[HKEY_CLASSES_ROOT\\cabfile]\n@=\"Fichier cabinet \xE9t\xE9\"\n",
                     QStringLiteral("HKEY_CLASSES_ROOT"));
    ASSERT_TRUE(hive);
    EXPECT_EQ(hive->find(QStringLiteral("cabfile"))->value(QString())->text(),
              QStringLiteral("Fichier cabinet \u00e9t\u00e9"));
}

TEST(Regedit4, WhatTheStoreWritesReadsBackUnchanged) {
    Hive hive(kUser);
    Key* k = hive.create(QStringLiteral("A\\B c\\D]"));
    k->setValue(QStringLiteral("line breaks"), Value::Text(QStringLiteral("one\r\ntwo")));
    k->setValue(QStringLiteral("nul inside"),
                Value::Text(QString(QStringLiteral("a")) + QChar(0) + QStringLiteral("b")));
    k->setValue(QStringLiteral("not utf-8"), Value{REG_SZ, QByteArray("\xff\xfe")});
    k->setValue(QStringLiteral("empty"), Value::Binary({}));
    k->setValue(QStringLiteral("long"), Value::Binary(QByteArray(200, '\x5a')));
    k->setValue(QStringLiteral("qword"), Value{REG_QWORD, Bytes({1, 2, 3, 4, 5, 6, 7, 8})});
    k->setValue(QStringLiteral("short dword"), Value{REG_DWORD, Bytes({7})});
    k->setValue(QStringLiteral("quote \" and \\"), Value::Text(QStringLiteral("\u00e9\u4e2d")));
    hive.root().setValue(QStringLiteral("at root"), Value::Dword(1));

    const QByteArray text = hive.toRegedit();
    for (const QByteArray& line : text.split('\n'))
        EXPECT_LE(line.size(), 80) << line.toStdString();
    ParseError error;
    const std::optional<Hive> back = ParseRegedit(text, kUser, &error);
    ASSERT_TRUE(back) << error.line << ": " << error.reason.toStdString() << "\n" << text.toStdString();
    EXPECT_TRUE(back->root().sameTree(hive.root())) << text.toStdString();
    EXPECT_EQ(back->toRegedit(), text);
}

struct DamagedCase {
    const char* name;
    QByteArray text;
    int line;
};

class Regedit4Damaged : public ::testing::TestWithParam<DamagedCase> {};

TEST_P(Regedit4Damaged, IsRefusedWithItsLine) {
    ParseError error;
    EXPECT_FALSE(ParseRegedit(GetParam().text, kUser, &error));
    EXPECT_EQ(error.line, GetParam().line);
    EXPECT_FALSE(error.reason.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Regedit4Damaged,
    ::testing::Values(
        DamagedCase{"empty", "", 1}, DamagedCase{"no_header", "[HKEY_CURRENT_USER\\A]\n", 1},
        DamagedCase{"other_root", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n", 2},
        DamagedCase{"value_before_key", "REGEDIT4\n\"a\"=dword:1\n", 2},
        DamagedCase{"unterminated_text", "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"a\"=\"open\n", 3},
        DamagedCase{"text_then_junk", "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"a\"=\"x\" y\n", 3},
        DamagedCase{"dword_too_long", "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"a\"=dword:123456789\n", 3},
        DamagedCase{"dword_not_hex", "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"a\"=dword:12g\n", 3},
        DamagedCase{"hex_byte_too_big", "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"a\"=hex:100\n", 3},
        DamagedCase{"hex_gap", "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"a\"=hex:01,,02\n", 3},
        DamagedCase{"unknown_data", "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"a\"=12\n", 3},
        DamagedCase{"empty_key_part", "REGEDIT4\n[HKEY_CURRENT_USER\\A\\\\B]\n", 2},
        DamagedCase{"unclosed_key", "REGEDIT4\n[HKEY_CURRENT_USER\\A\n", 2},
        DamagedCase{"stray_line", "REGEDIT4\n[HKEY_CURRENT_USER\\A]\nhello\n", 3},
        DamagedCase{"nul_byte",
                    QByteArray("REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"a\"=\"x") + QByteArray(1, '\0') + "\"\n",
                    0}),
    morbek::test::CaseName());

TEST(Regedit4, NamesCompareWithoutCaseAndKeepTheirFirstSpelling) {
    Hive hive(kUser);
    hive.create(QStringLiteral("Software\\Harvex"))->setValue(QStringLiteral("WState"), Value::Dword(1));
    Key* again = hive.create(QStringLiteral("SOFTWARE\\harvex\\Morbek"));
    ASSERT_NE(again, nullptr);
    Key* harvex = hive.find(QStringLiteral("software\\HARVEX"));
    harvex->setValue(QStringLiteral("wstate"), Value::Dword(2));
    EXPECT_EQ(hive.root().children().size(), 1u);
    EXPECT_EQ(hive.root().children().front()->name(), QStringLiteral("Software"));
    ASSERT_EQ(harvex->values().size(), 1u);
    EXPECT_EQ(harvex->values().front().name, QStringLiteral("WState"));
    EXPECT_EQ(harvex->values().front().value, Value::Dword(2));
    // Only ASCII letters fold.
    hive.create(QStringLiteral("\u00c9t\u00e9"));
    EXPECT_EQ(hive.find(QStringLiteral("\u00e9t\u00e9")), nullptr);
    EXPECT_NE(hive.find(QStringLiteral("\u00c9T\u00e9")), nullptr);
}

// --- the store in its files -----------------------------------------------------------------

class Store : public ::testing::Test {
protected:
    void SetUp() override {
        SetClassesBridge(nullptr);
        SetSaveHook({});
        TakeDamageNotices();
    }
    void TearDown() override {
        SetSaveHook({});
        TakeDamageNotices();
    }
    QByteArray userReg() const { return test::XdgSandbox::read(xdg.userReg()); }
    QStringList morbekFolder() const {
        return QDir(xdg.configHome() + QStringLiteral("/morbek"))
            .entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    test::XdgSandbox xdg;
};

TEST_F(Store, LivesInTheConfigHomeAndStartsEmpty) {
    EXPECT_EQ(StoreFile(RootKey::CurrentUser), xdg.userReg());
    EXPECT_EQ(StoreFile(RootKey::ClassesRoot), xdg.classesReg());
    EXPECT_FALSE(QueryValue(RootKey::CurrentUser, kSetup, QStringLiteral("WState")));
    EXPECT_FALSE(KeyExists(RootKey::CurrentUser, kSetup));
    EXPECT_EQ(DeleteKey(RootKey::CurrentUser, kSetup), WriteStatus::Ok);
    EXPECT_FALSE(QFileInfo::exists(xdg.userReg())) << "nothing to save: no file";

    ASSERT_EQ(SetValue(RootKey::CurrentUser, kSetup, QStringLiteral("Order"), Value::Dword(1)),
              WriteStatus::Ok);
    EXPECT_EQ(QueryValue(RootKey::CurrentUser, kSetup, QStringLiteral("order")), Value::Dword(1));
    EXPECT_TRUE(userReg().startsWith("REGEDIT4\n"));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(xdg.userReg()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(morbekFolder(), QStringList({QStringLiteral("user.reg"), QStringLiteral("user.reg.lock")}));
}

TEST_F(Store, ARelativeConfigHomeMeansTheDotConfigFolder) {
    xdg.set("HOME", xdg.path(QStringLiteral("home")));
    xdg.set("XDG_CONFIG_HOME", QStringLiteral("relative/config"));
    EXPECT_EQ(StoreFile(RootKey::CurrentUser),
              xdg.path(QStringLiteral("home")) + QStringLiteral("/.config/morbek/user.reg"));
    xdg.set("XDG_CONFIG_HOME", {});
    EXPECT_EQ(StoreFile(RootKey::CurrentUser),
              xdg.path(QStringLiteral("home")) + QStringLiteral("/.config/morbek/user.reg"));
}

TEST_F(Store, WritesCreateKeysAndDeletesTakeTrees) {
    ASSERT_EQ(SetValue(RootKey::ClassesRoot, QStringLiteral("cabfile\\Shell\\Open\\command"), QString(),
                       Value::Text(QStringLiteral("x %1"))),
              WriteStatus::Ok);
    EXPECT_TRUE(KeyExists(RootKey::ClassesRoot, QStringLiteral("CABFILE\\shell")));
    EXPECT_EQ(DeleteKey(RootKey::ClassesRoot, QStringLiteral("cabfile")), WriteStatus::Ok);
    EXPECT_FALSE(KeyExists(RootKey::ClassesRoot, QStringLiteral("cabfile\\Shell\\Open\\command")));
    EXPECT_FALSE(KeyExists(RootKey::ClassesRoot, QStringLiteral("cabfile")));
    EXPECT_EQ(DeleteKey(RootKey::ClassesRoot, QString()), WriteStatus::DeleteKeyFailed) << "not the root";
    EXPECT_EQ(SetValue(RootKey::ClassesRoot, QStringLiteral("a\\\\b"), QString(), Value::Dword(1)),
              WriteStatus::CreateKeyFailed);
}

TEST_F(Store, EveryOperationSeesWhatOthersWroteMeanwhile) {
    ASSERT_EQ(SetValue(RootKey::CurrentUser, kSetup, QStringLiteral("Display"), Value::Dword(3)),
              WriteStatus::Ok);
    // The installer, or a person with an editor, adds a value between two operations.
    QByteArray text = userReg();
    text.replace("\"Display\"", "\"Install\"=dword:00000001\n\"Display\"");
    xdg.write(xdg.userReg(), text);
    EXPECT_EQ(QueryValue(RootKey::CurrentUser, kSetup, QStringLiteral("Install")), Value::Dword(1));
    ASSERT_EQ(SetValue(RootKey::CurrentUser, kSetup, QStringLiteral("Order"), Value::Dword(0)),
              WriteStatus::Ok);
    EXPECT_EQ(QueryValue(RootKey::CurrentUser, kSetup, QStringLiteral("Install")), Value::Dword(1));
    EXPECT_EQ(QueryValue(RootKey::CurrentUser, kSetup, QStringLiteral("Display")), Value::Dword(3));
}

TEST_F(Store, ALinkedFileStaysALink) {
    const QString real = xdg.path(QStringLiteral("dotfiles/user.reg"));
    xdg.write(real, "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n\"Kept\"=dword:00000007\n\n");
    QDir().mkpath(xdg.configHome() + QStringLiteral("/morbek"));
    ASSERT_TRUE(QFile::link(real, xdg.userReg()));
    ASSERT_EQ(SetValue(RootKey::CurrentUser, kSetup, QStringLiteral("Order"), Value::Dword(1)),
              WriteStatus::Ok);
    EXPECT_TRUE(QFileInfo(xdg.userReg()).isSymLink());
    EXPECT_TRUE(test::XdgSandbox::read(real).contains("\"Order\"=dword:00000001"));
    EXPECT_TRUE(test::XdgSandbox::read(real).contains("\"Kept\"=dword:00000007"));
}

TEST_F(Store, AFailedSaveLeavesThePreviousFileAndNoLitter) {
    ASSERT_EQ(SetValue(RootKey::CurrentUser, kSetup, QStringLiteral("Display"), Value::Dword(2)),
              WriteStatus::Ok);
    const QByteArray before = userReg();
    for (SavePoint failAt : {SavePoint::Begin, SavePoint::HalfWritten, SavePoint::BeforeRename}) {
        SetSaveHook([failAt](SavePoint p) { return p != failAt; });
        EXPECT_EQ(SetValue(RootKey::CurrentUser, kSetup, QStringLiteral("Display"), Value::Dword(4)),
                  WriteStatus::SetValueFailed);
        EXPECT_EQ(SetValue(RootKey::CurrentUser, QStringLiteral("Software\\New"), QStringLiteral("x"),
                           Value::Dword(4)),
                  WriteStatus::CreateKeyFailed);
        EXPECT_EQ(userReg(), before);
        EXPECT_EQ(morbekFolder(), QStringList({QStringLiteral("user.reg"), QStringLiteral("user.reg.lock")}));
    }
}

TEST_F(Store, ACrashInTheMiddleOfASaveLeavesThePreviousFileReadable) {
    ASSERT_EQ(SetValue(RootKey::CurrentUser, kSetup, QStringLiteral("Display"), Value::Dword(2)),
              WriteStatus::Ok);
    ASSERT_EQ(SetValue(RootKey::CurrentUser, kSetup, QStringLiteral("Version"),
                       Value::Text(QStringLiteral("1.12"))),
              WriteStatus::Ok);
    // A program killed with half of the new file written.
    QProcess probe;
    probe.start(QStringLiteral(REGISTRY_CRASH_PROBE), {QStringLiteral("Display"), QStringLiteral("4")});
    ASSERT_TRUE(probe.waitForFinished(30000));
    EXPECT_EQ(probe.exitStatus(), QProcess::CrashExit) << probe.readAllStandardError().toStdString();

    EXPECT_EQ(QueryValue(RootKey::CurrentUser, kSetup, QStringLiteral("Display")), Value::Dword(2));
    EXPECT_EQ(QueryValue(RootKey::CurrentUser, kSetup, QStringLiteral("Version")),
              Value::Text(QStringLiteral("1.12")));
    EXPECT_TRUE(TakeDamageNotices().empty());
    EXPECT_EQ(morbekFolder().size(), 3)
        << "the half-written temporary file is left: " << morbekFolder().join(' ').toStdString();
    // The next save clears it away.
    ASSERT_EQ(SetValue(RootKey::CurrentUser, kSetup, QStringLiteral("Display"), Value::Dword(4)),
              WriteStatus::Ok);
    EXPECT_EQ(morbekFolder(), QStringList({QStringLiteral("user.reg"), QStringLiteral("user.reg.lock")}));
}

TEST_F(Store, ADamagedFileIsKeptAsideReportedAndNeverOverwritten) {
    const QByteArray damaged = "REGEDIT4\n[HKEY_CURRENT_USER\\Software]\n\"Display\"=dword:zz\n";
    xdg.write(xdg.userReg(), damaged);
    EXPECT_FALSE(QueryValue(RootKey::CurrentUser, kSetup, QStringLiteral("Display")));
    std::vector<DamageNotice> notices = TakeDamageNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].file, xdg.userReg());
    EXPECT_EQ(notices[0].keptAs, xdg.userReg() + QStringLiteral(".damaged"));
    EXPECT_EQ(notices[0].error.line, 3);
    EXPECT_EQ(test::XdgSandbox::read(notices[0].keptAs), damaged);

    // A second damaged file does not push the first one out.
    xdg.write(xdg.userReg(), "garbage");
    ASSERT_EQ(SetValue(RootKey::CurrentUser, kSetup, QStringLiteral("Display"), Value::Dword(3)),
              WriteStatus::Ok);
    notices = TakeDamageNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].keptAs, xdg.userReg() + QStringLiteral(".damaged-1"));
    EXPECT_EQ(test::XdgSandbox::read(xdg.userReg() + QStringLiteral(".damaged")), damaged);
    EXPECT_EQ(test::XdgSandbox::read(xdg.userReg() + QStringLiteral(".damaged-1")), QByteArray("garbage"));
    EXPECT_EQ(QueryValue(RootKey::CurrentUser, kSetup, QStringLiteral("Display")), Value::Dword(3));
    EXPECT_TRUE(TakeDamageNotices().empty());
}

TEST_F(Store, ADamagedFileThatCannotBeMovedIsLeftAloneAndReportedOnce) {
    xdg.write(xdg.userReg(), "garbage");
    for (int n = 0; n < 1000; ++n) // every name it could be kept under is taken
        xdg.write(xdg.userReg() + QStringLiteral(".damaged") + (n ? QStringLiteral("-%1").arg(n) : QString()),
                  "x");
    EXPECT_FALSE(QueryValue(RootKey::CurrentUser, kSetup, QStringLiteral("Display")));
    EXPECT_EQ(SetValue(RootKey::CurrentUser, kSetup, QStringLiteral("Display"), Value::Dword(3)),
              WriteStatus::CreateKeyFailed);
    EXPECT_EQ(DeleteKey(RootKey::CurrentUser, kSetup), WriteStatus::DeleteKeyFailed);
    EXPECT_EQ(userReg(), QByteArray("garbage"));
    const std::vector<DamageNotice> notices = TakeDamageNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_TRUE(notices[0].keptAs.isEmpty());
}

TEST_F(Store, SomethingElseInThePlaceOfTheFileIsNeitherReadNorReplaced) {
    QDir().mkpath(xdg.userReg()); // a folder named user.reg
    EXPECT_FALSE(QueryValue(RootKey::CurrentUser, kSetup, QStringLiteral("Display")));
    EXPECT_EQ(SetValue(RootKey::CurrentUser, kSetup, QStringLiteral("Display"), Value::Dword(3)),
              WriteStatus::CreateKeyFailed);
    EXPECT_TRUE(QFileInfo(xdg.userReg()).isDir());
    EXPECT_TRUE(TakeDamageNotices().empty());
}

// --- the desktop's lists and entries ---------------------------------------------------------

const QString kCab = QStringLiteral("application/vnd.ms-cab-compressed");

TEST(ExecLine, QuotesAndEscapesOnlyWhereTheDesktopEntryRulesAsk) {
    EXPECT_EQ(ExecLine(QStringLiteral("\"/usr/bin/Morbek32\" %1")), QStringLiteral("/usr/bin/Morbek32 %f"));
    EXPECT_EQ(ExecLine(QStringLiteral("\"/opt/my apps/Morbek32\" %1")),
              QStringLiteral("\"/opt/my apps/Morbek32\" %f"));
    // $, `, " and \ are escaped inside quotes, and every backslash once more for the
    // string value; % is doubled.
    EXPECT_EQ(ExecLine(QStringLiteral("\"/o$t/a`b\\c 100%/M\" %1")),
              QStringLiteral("\"/o\\\\$t/a\\\\`b\\\\\\\\c 100%%/M\" %f"));
    EXPECT_EQ(ExecLine(QStringLiteral("\"/odd\nname/M\" %1")), QStringLiteral("\"/odd\\nname/M\" %f"));
    EXPECT_EQ(ExecLine(QStringLiteral("/bin/x -a \"%1\" %*")), QStringLiteral("/bin/x -a %f %F"));
}

class DesktopLists : public ::testing::Test {
protected:
    void app(const QString& id, const QString& base = {}) {
        xdg.write((base.isEmpty() ? xdg.dataHome() : base) + QStringLiteral("/applications/") + id,
                  "[Desktop Entry]\nType=Application\nName=x\nExec=true\n");
    }
    test::XdgSandbox xdg;
};

TEST_F(DesktopLists, OnlyOurLineChangesAndEverythingElseStays) {
    const QByteArray original = "# kept comment\n"
                                "[Added Associations]\n"
                                "application/vnd.ms-cab-compressed=ark.desktop;\n"
                                "\n"
                                "[Default Applications]\n"
                                "text/plain=vim.desktop\n"
                                "application/vnd.ms-cab-compressed = ark.desktop;file-roller.desktop;\n"
                                "application/vnd.ms-cab-compressed=stale.desktop;\n"
                                "\n"
                                "[Removed Associations]\n"
                                "image/png=gimp.desktop;\n";
    xdg.write(xdg.mimeappsList(), original);
    EXPECT_EQ(DefaultLine(xdg.mimeappsList(), kCab), QStringLiteral("ark.desktop;file-roller.desktop;"));

    ASSERT_TRUE(SetDefaultLine(xdg.mimeappsList(), kCab, QStringLiteral("ours.desktop;")));
    EXPECT_EQ(test::XdgSandbox::read(xdg.mimeappsList()),
              QByteArray("# kept comment\n"
                         "[Added Associations]\n"
                         "application/vnd.ms-cab-compressed=ark.desktop;\n"
                         "\n"
                         "[Default Applications]\n"
                         "text/plain=vim.desktop\n"
                         "application/vnd.ms-cab-compressed=ours.desktop;\n"
                         "\n"
                         "[Removed Associations]\n"
                         "image/png=gimp.desktop;\n"));
    ASSERT_TRUE(SetDefaultLine(xdg.mimeappsList(), kCab, std::nullopt));
    EXPECT_FALSE(DefaultLine(xdg.mimeappsList(), kCab));
    EXPECT_TRUE(test::XdgSandbox::read(xdg.mimeappsList()).contains("text/plain=vim.desktop\n\n[Removed"));
    ASSERT_TRUE(SetDefaultLine(xdg.mimeappsList(), kCab, QStringLiteral("ark.desktop;")));
    EXPECT_TRUE(
        test::XdgSandbox::read(xdg.mimeappsList())
            .contains("text/plain=vim.desktop\napplication/vnd.ms-cab-compressed=ark.desktop;\n\n[Removed"));
}

TEST_F(DesktopLists, AMissingGroupOrFileIsCreated) {
    ASSERT_TRUE(SetDefaultLine(xdg.mimeappsList(), kCab, QStringLiteral("ours.desktop;")));
    EXPECT_EQ(test::XdgSandbox::read(xdg.mimeappsList()),
              QByteArray("[Default Applications]\napplication/vnd.ms-cab-compressed=ours.desktop;\n"));
    xdg.write(xdg.mimeappsList(), "[Added Associations]\ntext/plain=vim.desktop;");
    ASSERT_TRUE(SetDefaultLine(xdg.mimeappsList(), kCab, QStringLiteral("ours.desktop;")));
    EXPECT_EQ(test::XdgSandbox::read(xdg.mimeappsList()),
              QByteArray("[Added Associations]\ntext/plain=vim.desktop;\n\n"
                         "[Default Applications]\napplication/vnd.ms-cab-compressed=ours.desktop;\n"));
}

// Removing the last default: the group it empties goes, and a file left with nothing.
struct EmptiedList {
    const char* name;
    QByteArray before;
    QByteArray after; // "-": the file is gone
};

class DesktopListsEmptied : public DesktopLists, public ::testing::WithParamInterface<EmptiedList> {};

TEST_P(DesktopListsEmptied, RemovalLeavesNoEmptyGroup) {
    xdg.write(xdg.mimeappsList(), GetParam().before);
    ASSERT_TRUE(SetDefaultLine(xdg.mimeappsList(), kCab, std::nullopt));
    if (GetParam().after == "-")
        EXPECT_FALSE(QFileInfo::exists(xdg.mimeappsList()))
            << test::XdgSandbox::read(xdg.mimeappsList()).toStdString();
    else
        EXPECT_EQ(test::XdgSandbox::read(xdg.mimeappsList()), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, DesktopListsEmptied,
    ::testing::Values(
        EmptiedList{"only_our_line",
                    "[Default Applications]\napplication/vnd.ms-cab-compressed=ours.desktop;\n", "-"},
        EmptiedList{
            "two_lines_for_the_type",
            "[Default "
            "Applications]\napplication/vnd.ms-cab-compressed=a;\napplication/vnd.ms-cab-compressed=b;\n\n",
            "-"},
        EmptiedList{"group_last",
                    "[Added Associations]\ntext/plain=vim.desktop;\n\n[Default Applications]\n"
                    "application/vnd.ms-cab-compressed=ours.desktop;\n",
                    "[Added Associations]\ntext/plain=vim.desktop;\n"},
        EmptiedList{"group_first",
                    "[Default Applications]\napplication/vnd.ms-cab-compressed=ours.desktop;\n\n"
                    "[Added Associations]\ntext/plain=vim.desktop;\n",
                    "[Added Associations]\ntext/plain=vim.desktop;\n"},
        EmptiedList{"group_between",
                    "[A]\nx=1\n\n[Default Applications]\napplication/vnd.ms-cab-compressed=o;\n\n[B]\ny=2\n",
                    "[A]\nx=1\n\n[B]\ny=2\n"},
        EmptiedList{"other_default_stays",
                    "[Default Applications]\ntext/plain=vim.desktop\n"
                    "application/vnd.ms-cab-compressed=o;\n",
                    "[Default Applications]\ntext/plain=vim.desktop\n"},
        EmptiedList{"comment_in_group_stays",
                    "[Default Applications]\n# mine\napplication/vnd.ms-cab-compressed=o;\n",
                    "[Default Applications]\n# mine\n"},
        EmptiedList{"already_empty_group_is_not_ours", "[Default Applications]\n",
                    "[Default Applications]\n"}),
    morbek::test::CaseName());

TEST_F(DesktopLists, TheDefaultIsFoundAsXdgMimeFindsIt) {
    EXPECT_EQ(DefaultApplication(kCab), QString());
    app(QStringLiteral("ark.desktop"));
    app(QStringLiteral("system.desktop"), xdg.path(QStringLiteral("share")));
    app(QStringLiteral("kde-vendor.desktop")
            .replace(QLatin1Char('-'), QLatin1Char('/'))); // kde/vendor.desktop

    xdg.write(xdg.path(QStringLiteral("share/applications/mimeapps.list")),
              "[Default Applications]\napplication/vnd.ms-cab-compressed=system.desktop\n");
    EXPECT_EQ(DefaultApplication(kCab), QStringLiteral("system.desktop"));
    // Config folders come before data folders; ids with no desktop file are passed over.
    xdg.write(
        xdg.path(QStringLiteral("etc-xdg/mimeapps.list")),
        "[Default Applications]\napplication/vnd.ms-cab-compressed=missing.desktop;kde-vendor.desktop;\n");
    EXPECT_EQ(DefaultApplication(kCab), QStringLiteral("kde-vendor.desktop"));
    xdg.write(xdg.mimeappsList(), "[Default Applications]\napplication/vnd.ms-cab-compressed=ark.desktop\n");
    EXPECT_EQ(DefaultApplication(kCab), QStringLiteral("ark.desktop"));
    // The current desktop's own list wins within its folder.
    xdg.write(xdg.configHome() + QStringLiteral("/gnome-mimeapps.list"),
              "[Default Applications]\napplication/vnd.ms-cab-compressed=system.desktop\n");
    EXPECT_EQ(DefaultApplication(kCab), QStringLiteral("ark.desktop"));
    xdg.set("XDG_CURRENT_DESKTOP", QStringLiteral("ubuntu:GNOME"));
    EXPECT_EQ(DefaultApplication(kCab), QStringLiteral("system.desktop"));
}

} // namespace
} // namespace morbek::platform::registry
