// The INF reader and the installer's planning and carrying out, in process: syntax,
// each rule that keeps a description file inside the user's data folder (with its
// positive case), and the files it leaves behind.
#include "setup/InfFile.h"
#include "setup/InfInstall.h"
#include "tests/support/Files.h"
#include "tests/support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace morbek::setup {
namespace {

InfFile ParseOk(const QByteArray& text) {
    QString error;
    auto inf = InfFile::Parse(text, &error);
    EXPECT_TRUE(inf.has_value()) << error.toStdString();
    return inf ? *inf : InfFile();
}

TEST(InfFile, ReadsQuotesCommentsContinuationsAndStrings) {
    const InfFile inf = ParseOk("\xEF\xBB\xBF; leading comment\r\n"
                                "[Files] ; section comment\n"
                                "a.txt,b.txt,,0x2\n"
                                "Key = \"one;two, three\" , \"say \"\"hi\"\"\" ; trailing\n"
                                "Long = first,\\\n"
                                "       second\n"
                                "Name = %App% %% %unknown%\n"
                                "[strings]\n"
                                "App = \"Morbek32\"\n"
                                "[FILES]\n"
                                "c.txt\n");
    const InfSection* files = inf.Section(QStringLiteral("files"));
    ASSERT_NE(files, nullptr);
    ASSERT_EQ(files->lines.size(), 5u) << "a section written twice is one section";
    EXPECT_EQ(files->lines[0].key, QString());
    EXPECT_EQ(files->lines[0].fields, (QStringList{"a.txt", "b.txt", "", "0x2"}));
    EXPECT_EQ(files->lines[0].number, 3);
    EXPECT_EQ(inf.Value(*files, QStringLiteral("KEY")), (QStringList{"one;two, three", "say \"hi\""}));
    EXPECT_EQ(inf.Value(*files, QStringLiteral("Long")), (QStringList{"first", "second"}));
    EXPECT_EQ(inf.Value(*files, QStringLiteral("Name")), (QStringList{"Morbek32 % %unknown%"}));
    EXPECT_EQ(files->lines[4].fields, QStringList{"c.txt"});
    EXPECT_EQ(inf.Value(*files, QStringLiteral("Missing")), std::nullopt);
    EXPECT_EQ(inf.String(QStringLiteral("APP")), QStringLiteral("Morbek32"));
}

struct BadText {
    const char* name;
    QByteArray text;
    const char* message;
};

class InfFileRefuses : public ::testing::TestWithParam<BadText> {};

TEST_P(InfFileRefuses, TextThatIsNoDescriptionFile) {
    QString error;
    EXPECT_FALSE(InfFile::Parse(GetParam().text, &error).has_value());
    EXPECT_TRUE(error.contains(QLatin1String(GetParam().message))) << error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Texts, InfFileRefuses,
    ::testing::Values(BadText{"text_before_any_section", "a=b\n[S]\n", "line 1: text outside any section"},
                      BadText{"unclosed_section_name", "[Version\n", "line 1: a section name is malformed"},
                      BadText{"empty_section_name", "[ ]\n", "line 1: a section name is malformed"},
                      BadText{"binary_data", QByteArray("[S]\na\0b\n", 8), "binary"},
                      BadText{"not_utf8", "[S]\nname=\xFF\xFE\n", "UTF-8"},
                      BadText{"too_large", "[S]\n" + QByteArray(InfFile::kMaxSize, 'x'), "too large"}),
    morbek::test::CaseName());

// --- planning -------------------------------------------------------------------------------

class InstallPlanning : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(package.isValid());
        ASSERT_TRUE(home.isValid());
        folders.dataHome = home.path() + QStringLiteral("/data");
        Put(QStringLiteral("prog"), "#!/bin/sh\n", 0755);
        Put(QStringLiteral("readme.txt"), "hello", 0644);
    }
    void Put(const QString& name, const QByteArray& bytes, int mode) {
        ASSERT_TRUE(test::WriteFile(package.filePath(name), bytes));
        ::chmod(QFile::encodeName(package.filePath(name)).constData(), static_cast<mode_t>(mode));
    }
    std::optional<InstallPlan> Plan(const QByteArray& body,
                                    const QString& section = QStringLiteral("DefaultInstall")) {
        const auto inf = InfFile::Parse("[Version]\nSignature=\"$Windows NT$\"\n" + body, &error);
        EXPECT_TRUE(inf.has_value()) << error.toStdString();
        if (!inf)
            return std::nullopt;
        return PlanSection(*inf, section, package.path(), folders, &error);
    }
    QStringList Targets(const InstallPlan& plan) const {
        QStringList targets;
        for (const InstallStep& s : plan.steps)
            targets << QString(s.target).remove(folders.dataHome);
        return targets;
    }

    QTemporaryDir package, home;
    UserFolders folders;
    QString error;
};

const QByteArray kGoodBody = "[DefaultInstall]\n"
                             "CopyFiles=Prog.Files, Doc.Files\n"
                             "ProfileItems=Entry\n"
                             "[DestinationDirs]\n"
                             "Prog.Files=32768\n"
                             "DefaultDestDir=32769,hicolor\\32x32\\apps\n"
                             "[Prog.Files]\n"
                             "prog,,,0x2\n"
                             "optional.hlp\n"
                             "[Doc.Files]\n"
                             "doc.txt,readme.txt\n"
                             "[Entry]\n"
                             "Name=My App\n"
                             "CmdLine=32768,,prog\n"
                             "IconPath=32769,hicolor\\32x32\\apps,doc.txt\n"
                             "Categories=\"Utility;<bad>;\"\n";

TEST_F(InstallPlanning, GoodSectionListsItsCopiesAndMenuEntryAndSkipsOptionalFiles) {
    const auto plan = Plan(kGoodBody);
    ASSERT_TRUE(plan.has_value()) << error.toStdString();
    EXPECT_EQ(Targets(*plan), (QStringList{"/morbek32/prog", "/icons/hicolor/32x32/apps/doc.txt",
                                           "/applications/my-app.desktop"}));
    EXPECT_EQ(plan->skipped, QStringList{"optional.hlp"});
    EXPECT_EQ(plan->steps[0].mode, 0755);
    EXPECT_EQ(plan->steps[1].mode, 0644);
    const QString entry = QString::fromUtf8(plan->steps[2].contents);
    EXPECT_TRUE(
        entry.contains(QStringLiteral("\nExec=") + folders.dataHome + QStringLiteral("/morbek32/prog %f\n")))
        << entry.toStdString();
    EXPECT_TRUE(entry.contains(QStringLiteral("\nCategories=Utility;bad;\n")));
    EXPECT_TRUE(entry.contains(QLatin1String(kMenuEntryMark)));
}

struct Refusal {
    const char* name;
    QByteArray body;
    const char* message;
};

class InstallRefuses : public InstallPlanning, public ::testing::WithParamInterface<Refusal> {};

TEST_P(InstallRefuses, SectionThatReachesOutsideTheUsersDataFolder) {
    const auto plan = Plan(GetParam().body);
    EXPECT_FALSE(plan.has_value());
    EXPECT_TRUE(error.contains(QLatin1String(GetParam().message))) << error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Rules, InstallRefuses,
    ::testing::Values(
        Refusal{"missing_section", "[Other]\n", "the section [DefaultInstall] is missing"},
        Refusal{"unknown_directive", "[DefaultInstall]\nAddReg=Keys\n[Keys]\n",
                "\"AddReg\" is not a directive"},
        Refusal{"missing_file_section", "[DefaultInstall]\nCopyFiles=Nothing\n",
                "the section [Nothing] is missing"},
        Refusal{"single_file_copy", "[DefaultInstall]\nCopyFiles=@prog\n", "single-file copies"},
        Refusal{"no_destination", "[DefaultInstall]\nCopyFiles=F\n[F]\nprog\n",
                "no destination is given for [F]"},
        Refusal{"windows_folder_id", "[DefaultInstall]\nCopyFiles=F\n[DestinationDirs]\nF=10\n[F]\nprog\n",
                "the destination \"10\" is not one this installer knows"},
        Refusal{"parent_folder",
                "[DefaultInstall]\nCopyFiles=F\n[DestinationDirs]\nF=32768,..\\..\\.config\n[F]\nprog\n",
                "leaves its destination"},
        Refusal{"absolute_folder",
                "[DefaultInstall]\nCopyFiles=F\n[DestinationDirs]\nF=32769,/etc\n[F]\nprog\n",
                "leaves its destination"},
        Refusal{"source_outside_the_package",
                "[DefaultInstall]\nCopyFiles=F\n[DestinationDirs]\nF=32768\n[F]\nkey,..\\..\\.ssh\\id_rsa\n",
                "plain name"},
        Refusal{"target_with_folder",
                "[DefaultInstall]\nCopyFiles=F\n[DestinationDirs]\nF=32768\n[F]\n../x,prog\n", "plain name"},
        Refusal{"required_file_missing",
                "[DefaultInstall]\nCopyFiles=F\n[DestinationDirs]\nF=32768\n[F]\nnone,,,0x2\n",
                "the file none is missing"},
        Refusal{"flags_not_a_number",
                "[DefaultInstall]\nCopyFiles=F\n[DestinationDirs]\nF=32768\n[F]\nprog,,,many\n",
                "not a number"},
        Refusal{"delete_outside", "[DefaultInstall]\nDelFiles=F\n[DestinationDirs]\nF=32768,..\n[F]\nprog\n",
                "leaves its destination"},
        Refusal{"menu_entry_runs_from_icons",
                "[DefaultInstall]\nProfileItems=E\n[E]\nName=X\nCmdLine=32769,,prog\n",
                "from the program's folder only"},
        Refusal{"menu_entry_without_name", "[DefaultInstall]\nProfileItems=E\n[E]\nCmdLine=32768,,prog\n",
                "has no usable Name"}),
    morbek::test::CaseName());

TEST_F(InstallPlanning, FileWithoutTheVersionSignatureIsRefused) {
    const auto inf = InfFile::Parse("[DefaultInstall]\nCopyFiles=F\n", &error);
    ASSERT_TRUE(inf.has_value());
    EXPECT_FALSE(
        PlanSection(*inf, QStringLiteral("DefaultInstall"), package.path(), folders, &error).has_value());
    EXPECT_TRUE(error.contains(QLatin1String("[Version] signature")));
}

TEST_F(InstallPlanning, SourceThatIsALinkIsRefusedAndAPlainFileIsTaken) {
    ASSERT_EQ(
        ::symlink("/etc/passwd", QFile::encodeName(package.filePath(QStringLiteral("link"))).constData()), 0);
    const QByteArray body = "[DefaultInstall]\nCopyFiles=F\n[DestinationDirs]\nF=32768\n[F]\npasswd,link\n";
    EXPECT_FALSE(Plan(body).has_value());
    EXPECT_TRUE(error.contains(QLatin1String("link is not a plain file"))) << error.toStdString();
    QByteArray plain = body;
    plain.replace("passwd,link", "copy,readme.txt");
    EXPECT_TRUE(Plan(plain).has_value()) << error.toStdString();
}

TEST_F(InstallPlanning, MenuEntryOfAnotherProgramIsNeitherReplacedNorRemoved) {
    const QString other = folders.dataHome + QStringLiteral("/applications/my-app.desktop");
    ASSERT_TRUE(test::WriteFile(other, "[Desktop Entry]\nName=Theirs\n"));
    EXPECT_FALSE(Plan(kGoodBody).has_value());
    EXPECT_TRUE(error.contains(QLatin1String("belongs to another program"))) << error.toStdString();

    const auto removal = Plan("[DefaultUninstall]\nProfileItems=E\n[E]\nName=My App\nFlags=0x2\n",
                              QStringLiteral("DefaultUninstall"));
    ASSERT_TRUE(removal.has_value()) << error.toStdString();
    ASSERT_TRUE(CarryOut(*removal, &error)) << error.toStdString();
    EXPECT_TRUE(QFile::exists(other));
}

// The menu entry's lines, by the keys of its section and what was at its place before.
struct MenuEntryCase {
    const char* name;
    QByteArray keys;     // after Name and CmdLine
    QByteArray existing; // the file at the entry's place; empty: none
    const char* wanted;  // a line the entry holds; empty: the section is refused
    const char* unwanted;
};

class MenuEntryLines : public InstallPlanning, public ::testing::WithParamInterface<MenuEntryCase> {};

TEST_P(MenuEntryLines, FollowTheSectionAndReplaceOnlyTheProgramsOwnEntries) {
    const MenuEntryCase& c = GetParam();
    if (!c.existing.isEmpty()) {
        QDir().mkpath(folders.dataHome + QStringLiteral("/applications"));
        ASSERT_TRUE(
            test::WriteFile(folders.dataHome + QStringLiteral("/applications/my-app.desktop"), c.existing));
    }
    const auto plan =
        Plan("[DefaultInstall]\nProfileItems=E\n[E]\nName=My App\nCmdLine=32768,,prog\n" + c.keys);
    if (QByteArray(c.wanted).isEmpty()) {
        EXPECT_FALSE(plan.has_value());
        return;
    }
    ASSERT_TRUE(plan.has_value()) << error.toStdString();
    ASSERT_EQ(plan->steps.size(), 1u);
    const QByteArray entry = plan->steps[0].contents;
    EXPECT_TRUE(entry.contains(c.wanted)) << entry.toStdString();
    if (!QByteArray(c.unwanted).isEmpty()) {
        EXPECT_FALSE(entry.contains(c.unwanted)) << entry.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, MenuEntryLines,
    ::testing::Values(
        MenuEntryCase{"theme_icon_by_name", "IconPath=32769,hicolor\\32x32\\apps,morbek32.png\n", "",
                      "\nIcon=morbek32\n", "/icons/"},
        MenuEntryCase{"theme_icon_without_suffix", "IconPath=32769,hicolor\\scalable\\apps,logo\n", "",
                      "\nIcon=logo\n", "/icons/"},
        MenuEntryCase{"program_folder_icon_by_path", "IconPath=32768,,readme.txt\n", "",
                      "/morbek32/readme.txt\n", "\nIcon=readme\n"},
        MenuEntryCase{"mime_types", "MimeType=\"application/vnd.ms-cab-compressed;\"\n", "",
                      "\nMimeType=application/vnd.ms-cab-compressed;\n", ""},
        MenuEntryCase{"mime_types_lose_line_breaks", "MimeType=\"a/b;\\nExec=evil\"\n", "",
                      "\nMimeType=a/b;nExecevil\n", "Exec=evil"},
        MenuEntryCase{"no_mime_types_no_line", "", "", "\nTerminal=false\n", "MimeType="},
        MenuEntryCase{"replaces_the_associations_hidden_entry", "",
                      "[Desktop Entry]\nNoDisplay=true\nX-Morbek-Association=true\n", "\nName=My App\n",
                      "NoDisplay"},
        MenuEntryCase{"replaces_its_own_entry", "", "[Desktop Entry]\nX-Morbek-Installer=infinstall\n",
                      "\nName=My App\n", ""},
        MenuEntryCase{"refuses_another_programs_entry", "", "[Desktop Entry]\nName=Theirs\n", "", ""}),
    morbek::test::CaseName());

// --- carrying out ---------------------------------------------------------------------------

TEST_F(InstallPlanning, InstallWritesFilesWithTheirModesAndUninstallTakesThemAway) {
    // A link already at a target is replaced, never written through.
    const QString victim = home.filePath(QStringLiteral("victim"));
    QFile(victim).open(QIODevice::WriteOnly);
    QDir().mkpath(folders.dataHome + QStringLiteral("/morbek32"));
    ASSERT_EQ(::symlink(QFile::encodeName(victim).constData(),
                        QFile::encodeName(folders.dataHome + QStringLiteral("/morbek32/prog")).constData()),
              0);
    const auto plan = Plan(kGoodBody);
    ASSERT_TRUE(plan.has_value()) << error.toStdString();
    ASSERT_TRUE(CarryOut(*plan, &error)) << error.toStdString();

    struct stat st {};
    ASSERT_EQ(
        ::lstat(QFile::encodeName(folders.dataHome + QStringLiteral("/morbek32/prog")).constData(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    EXPECT_EQ(QFileInfo(victim).size(), 0) << "the link's target is untouched";
    QFile doc(folders.dataHome + QStringLiteral("/icons/hicolor/32x32/apps/doc.txt"));
    ASSERT_TRUE(doc.open(QIODevice::ReadOnly));
    EXPECT_EQ(doc.readAll(), QByteArray("hello"));
    EXPECT_TRUE(QFile::exists(folders.dataHome + QStringLiteral("/applications/my-app.desktop")));
    EXPECT_TRUE(
        QDir(folders.dataHome + QStringLiteral("/morbek32")).entryList(QDir::Hidden | QDir::Files).size() ==
        1)
        << "no temporary file is left";

    // Installing again replaces what is there.
    ASSERT_TRUE(CarryOut(*plan, &error)) << error.toStdString();

    const auto removal = Plan("[DefaultUninstall]\nDelFiles=Prog.Files, Doc.Files\nProfileItems=E\n"
                              "[DestinationDirs]\nProg.Files=32768\nDoc.Files=32769,hicolor\\32x32\\apps\n"
                              "[Prog.Files]\nprog\n[Doc.Files]\ndoc.txt\n[E]\nName=My App\nFlags=0x2\n",
                              QStringLiteral("DefaultUninstall"));
    ASSERT_TRUE(removal.has_value()) << error.toStdString();
    ASSERT_TRUE(CarryOut(*removal, &error)) << error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(folders.dataHome + QStringLiteral("/morbek32")));
    EXPECT_FALSE(QFileInfo::exists(folders.dataHome + QStringLiteral("/icons/hicolor")));
    EXPECT_TRUE(QFileInfo::exists(folders.dataHome + QStringLiteral("/icons"))) << "the themes' root stays";
    EXPECT_FALSE(QFileInfo::exists(folders.dataHome + QStringLiteral("/applications/my-app.desktop")));
}

struct ExecCase {
    const char* name;
    QString path;
    QString argument;
};

class DesktopExec : public ::testing::TestWithParam<ExecCase> {};

TEST_P(DesktopExec, QuotesAndEscapesAsTheDesktopEntryFormatAsks) {
    EXPECT_EQ(DesktopExecArgument(GetParam().path), GetParam().argument);
}

INSTANTIATE_TEST_SUITE_P(Paths, DesktopExec,
                         ::testing::Values(ExecCase{"plain", "/home/u/.local/share/morbek32/Morbek32",
                                                    "/home/u/.local/share/morbek32/Morbek32"},
                                           ExecCase{"blank", "/home/a b/M", "\"/home/a b/M\""},
                                           ExecCase{"dollar_and_quote", "/h/$x\"y/M", "\"/h/\\$x\\\"y/M\""},
                                           ExecCase{"percent", "/h/50%/M", "/h/50%%/M"}),
                         morbek::test::CaseName());

TEST(UserFolders, DataHomeFollowsXdgDataHomeAndIgnoresARelativeOne) {
    const QByteArray savedData = qgetenv("XDG_DATA_HOME"), savedHome = qgetenv("HOME");
    qputenv("HOME", "/home/tester");
    qputenv("XDG_DATA_HOME", "/srv/data/");
    EXPECT_EQ(UserFoldersFromEnvironment()->dataHome, QStringLiteral("/srv/data"));
    qputenv("XDG_DATA_HOME", "relative/data");
    EXPECT_EQ(UserFoldersFromEnvironment()->dataHome, QStringLiteral("/home/tester/.local/share"));
    qputenv("XDG_DATA_HOME", savedData);
    qputenv("HOME", savedHome);
}

} // namespace
} // namespace morbek::setup
