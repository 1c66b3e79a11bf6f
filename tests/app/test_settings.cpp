// The settings on the real main window: what a first start, later starts and closes read
// and write, in a private settings store.
#include "app/FileListModel.h"
#include "app/Lang.h"
#include "app/MainWindow.h"
#include "app/Settings.h"
#include "components/Framework.h"
#include "components/ModalSeam.h"
#include "platform/registry/Registry.h"
#include "tests/support/CabWriter.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/XdgSandbox.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QToolButton>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace morbek::testing {
namespace {

namespace registry = platform::registry;

struct Shown {
    QString title, text;
    bool came = false;
};

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        framework::SetApplicationTitle(QStringLiteral("Zuvedaz ud Izedori"));
        modal::ClearAnswers();
        registry::SetSaveHook({});
        // The design bounds, as a window that was never given settings has them.
        TDezerOvu reference;
        designGeometry = reference.geometry();
    }
    void TearDown() override {
        EXPECT_EQ(modal::PendingAnswers(), 0) << "a dialog that a test expected never came";
        modal::ClearAnswers();
        registry::SetSaveHook({});
        window.reset();
    }

    // Starts the program: the main window is built and shown, its first activation runs.
    void Start(const QStringList& args = {}) {
        window.reset();
        window = std::make_unique<TDezerOvu>();
        window->CommandLine = args;
        window->show();
        QCoreApplication::processEvents();
        ASSERT_EQ(window->Tag, 1);
    }
    void Close() {
        window->close();
        QCoreApplication::processEvents();
    }

    // The next dialog (message dialog or error box) is answered with a button.
    static void Answer(const char* button, Shown* shown = nullptr) {
        modal::AnswerNext([button, shown](QDialog& d) {
            if (shown)
                *shown = {d.windowTitle(), d.property("messageText").toString(), true};
            if (auto* b = d.findChild<QAbstractButton*>(QString::fromLatin1(button)))
                b->click();
        });
    }
    // A dialog that must not come: if it does, it is answered and recorded.
    static void MustNotAsk(Shown* shown) { Answer("No", shown); }

    static std::optional<registry::Value> Stored(const char* name) {
        return registry::QueryValue(registry::RootKey::CurrentUser, kSettingsKey, QString::fromLatin1(name));
    }
    static void Store(const char* name, const registry::Value& value) {
        ASSERT_EQ(registry::SetValue(registry::RootKey::CurrentUser, kSettingsKey, QString::fromLatin1(name),
                                     value),
                  registry::WriteStatus::Ok);
    }
    static registry::Value Record(int32_t state, int32_t top, int32_t left, int32_t height, int32_t width) {
        return registry::Value::Binary(WindowRecord{state, top, left, height, width}.toBytes());
    }

    // A cabinet of one-byte entries, in the sandbox.
    QString Cabinet(std::initializer_list<const char*> names) const {
        test::CabWriter writer;
        writer.addFolder();
        for (const char* name : names)
            writer.addFile(name, QByteArray(1, name[0]));
        const QString path = xdg.path(QStringLiteral("files/test.cab"));
        xdg.write(path, writer.build());
        return path;
    }

    test::XdgSandbox xdg;
    QRect designGeometry;
    std::unique_ptr<TDezerOvu> window;
};

// --- the window record ----------------------------------------------------------------------

TEST(WindowRecordLayout, TopBeforeLeftHeightBeforeWidthLittleEndian) {
    const WindowRecord r{2, 0x11223344, -2, 321, 585};
    EXPECT_EQ(r.toBytes(), QByteArray::fromHex("02000000"
                                               "44332211"
                                               "feffffff"
                                               "41010000"
                                               "49020000"));
    uint8_t bytes[WindowRecord::kSize];
    const QByteArray b = QByteArray::fromHex("02ffffff"
                                             "21000000"
                                             "2c000000"
                                             "00000000"
                                             "49020000");
    std::copy(b.begin(), b.end(), bytes);
    const WindowRecord back = WindowRecord::fromBytes(bytes);
    EXPECT_EQ(back.state, 2) << "only the lowest byte of the state counts";
    EXPECT_EQ(back.top, 0x21);
    EXPECT_EQ(back.left, 0x2c);
    EXPECT_EQ(back.height, 0);
    EXPECT_EQ(back.width, 585);
}

// --- first start and the values written on close ------------------------------------------

TEST_F(SettingsTest, FirstStartGivesTheDefaultsAndAsksTheQuestionOnce) {
    Shown question;
    Answer("No", &question);
    Start();
    ASSERT_TRUE(question.came);
    EXPECT_EQ(question.text, QStringLiteral("Do you want install Morbek as your defaut extractor ?"));
    EXPECT_EQ(question.title, QStringLiteral("Dazeduv Uvoro"));

    // Design size, and where the design put it (the frame's corner, as move() places it).
    EXPECT_EQ(window->geometry().size(), designGeometry.size());
    EXPECT_EQ(window->frameGeometry().topLeft(), designGeometry.topLeft());
    EXPECT_FALSE(window->isMaximized());
    EXPECT_EQ(LangIndex, 1);
    EXPECT_EQ(window->LangSetting, 255);
    EXPECT_EQ(window->DisplayMode, 1);
    EXPECT_TRUE(window->Grandesic1->isChecked());
    EXPECT_EQ(window->SortOrder, 0);
    EXPECT_TRUE(window->Aucun1->isChecked());
    EXPECT_TRUE(window->AucunBtn->isChecked());
    EXPECT_TRUE(window->Install1->isEnabled());
    EXPECT_FALSE(window->Uninstall1->isEnabled());
    EXPECT_EQ(Stored("Install"), registry::Value::Dword(0));

    Close();
    EXPECT_FALSE(window->isVisible());
    const QRect outer = window->frameGeometry();
    EXPECT_EQ(Stored("WState"), Record(0, outer.top(), outer.left(), outer.height(), outer.width()));
    EXPECT_EQ(Stored("Language"), registry::Value::Dword(255));
    EXPECT_EQ(Stored("Version"), registry::Value::Text(QStringLiteral("1.12")));
    EXPECT_EQ(Stored("Display"), registry::Value::Dword(1));
    EXPECT_EQ(Stored("Order"), registry::Value::Dword(0));
    // Written in the order of the save, after "Install" of the question.
    const QByteArray text = test::XdgSandbox::read(xdg.userReg());
    qsizetype at = 0;
    for (const char* name :
         {"\"Install\"=", "\"WState\"=", "\"Language\"=", "\"Version\"=", "\"Display\"=", "\"Order\"="}) {
        const qsizetype found = text.indexOf(name, at);
        EXPECT_GE(found, at) << name << " in\n" << text.toStdString();
        at = std::max(at, found);
    }

    Shown again;
    MustNotAsk(&again);
    Start();
    EXPECT_FALSE(again.came);
    modal::ClearAnswers();
}

TEST_F(SettingsTest, InstallIsNotWrittenOnClose) {
    xdg.seedSettings(1);
    Start();
    EXPECT_FALSE(window->Install1->isEnabled());
    EXPECT_TRUE(window->Uninstall1->isEnabled());
    ASSERT_EQ(registry::SetValue(registry::RootKey::CurrentUser, kSettingsKey, QStringLiteral("Install"),
                                 registry::Value::Text(QStringLiteral("changed meanwhile"))),
              registry::WriteStatus::Ok);
    Close();
    EXPECT_EQ(Stored("Install"), registry::Value::Text(QStringLiteral("changed meanwhile")));
}

// --- window state and bounds -----------------------------------------------------------------

TEST_F(SettingsTest, ClosingMaximisedStartsMaximised) {
    xdg.seedSettings();
    Start();
    window->showMaximized();
    QCoreApplication::processEvents();
    ASSERT_TRUE(window->isMaximized());
    const QRect maximised = window->frameGeometry();
    Close();
    EXPECT_EQ(Stored("WState"),
              Record(2, maximised.top(), maximised.left(), maximised.height(), maximised.width()));
    Start();
    EXPECT_TRUE(window->isMaximized());
}

TEST_F(SettingsTest, BoundsComeBackAsTheyWereLeft) {
    xdg.seedSettings();
    Start();
    window->setGeometry(37, 41, 500, 300);
    QCoreApplication::processEvents();
    const QRect outer = window->frameGeometry();
    Close();
    EXPECT_EQ(Stored("WState"), Record(0, outer.top(), outer.left(), outer.height(), outer.width()));
    Start();
    EXPECT_EQ(window->frameGeometry(), outer);
    EXPECT_FALSE(window->isMaximized());
}

struct PartialRecord {
    const char* name;
    int32_t state, height, width;
};

class SettingsRecord : public SettingsTest, public ::testing::WithParamInterface<PartialRecord> {};

TEST_P(SettingsRecord, ASizeOfZeroOrLessKeepsTheDesignSizeButNotTheRest) {
    const PartialRecord& p = GetParam();
    xdg.seedSettings();
    Store("WState", Record(p.state, 33, 44, p.height, p.width));
    Start();
    const QRect outer = window->frameGeometry();
    if (p.state == 2) {
        EXPECT_TRUE(window->isMaximized());
        return;
    }
    EXPECT_FALSE(window->isMaximized());
    EXPECT_EQ(outer.topLeft(), QPoint(44, 33));
    if (p.height > 0)
        EXPECT_EQ(outer.height(), p.height);
    else
        EXPECT_EQ(window->geometry().height(), designGeometry.height());
    if (p.width > 0)
        EXPECT_EQ(outer.width(), p.width);
    else
        EXPECT_EQ(window->geometry().width(), designGeometry.width());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SettingsRecord,
    ::testing::Values(PartialRecord{"both_zero", 0, 0, 0}, PartialRecord{"height_zero", 0, 0, 640},
                      PartialRecord{"width_negative", 0, 400, -1}, PartialRecord{"height_negative", 0, -5, 0},
                      PartialRecord{"full", 0, 250, 450}, PartialRecord{"maximised_zero", 2, 0, 0}),
    morbek::test::CaseName());

// Bounds stored on another screen or at another scale factor: mostly outside the
// available area, they come back inside it; mostly inside, exactly as stored.
struct StoredBounds {
    const char* name;
    int left, top, width, height; // relative to the available area's top left corner, or
    bool fromRight, fromBottom;   // to its right or bottom edge
    bool movedInside;
};

class SettingsBounds : public SettingsTest, public ::testing::WithParamInterface<StoredBounds> {};

TEST_P(SettingsBounds, MostlyOffScreenComesBackInsideTheAvailableArea) {
    const StoredBounds& p = GetParam();
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect stored((p.fromRight ? avail.right() + 1 : avail.left()) + p.left,
                       (p.fromBottom ? avail.bottom() + 1 : avail.top()) + p.top, p.width, p.height);
    xdg.seedSettings();
    Store("WState", Record(0, stored.top(), stored.left(), stored.height(), stored.width()));
    Start();
    const QRect outer = window->frameGeometry();
    if (!p.movedInside) {
        EXPECT_EQ(outer, stored);
        return;
    }
    EXPECT_TRUE(avail.contains(outer))
        << "at " << outer.x() << "," << outer.y() << " " << outer.width() << "x" << outer.height();
    EXPECT_EQ(outer.size(), stored.size().boundedTo(avail.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SettingsBounds,
    ::testing::Values(StoredBounds{"far_right", 5000, 100, 500, 300, false, false, true},
                      StoredBounds{"above_left", -3000, -2000, 500, 300, false, false, true},
                      StoredBounds{"mostly_below", 10, -60, 500, 300, false, true, true},
                      StoredBounds{"twice_the_scale", -150, -80, 585, 321, true, true, true},
                      StoredBounds{"larger_than_the_screen", 3000, 3000, 9000, 7000, false, false, true},
                      StoredBounds{"partly_right_kept", -400, 50, 500, 300, true, false, false},
                      StoredBounds{"partly_below_kept", 20, -200, 500, 300, false, true, false},
                      StoredBounds{"inside_kept", 30, 40, 400, 250, false, false, false}),
    morbek::test::CaseName());

TEST_F(SettingsTest, AShortWindowRecordIsIgnored) {
    xdg.seedSettings();
    Store("WState", registry::Value::Binary(QByteArray(19, '\x05')));
    Start();
    EXPECT_EQ(window->geometry().size(), designGeometry.size());
    EXPECT_EQ(window->frameGeometry().topLeft(), designGeometry.topLeft());
    EXPECT_EQ(window->DisplayMode, 1) << "the loading went on";
}

// --- language, display mode and sort order -------------------------------------------------

struct LanguageRow {
    const char* name;
    std::optional<int32_t> stored;
    int langIndex;
    int written;
};

class SettingsLanguage : public SettingsTest, public ::testing::WithParamInterface<LanguageRow> {};

TEST_P(SettingsLanguage, IsAppliedOrFollowsTheUsersLanguage) {
    const LanguageRow& row = GetParam();
    xdg.seedSettings();
    if (row.stored)
        Store("Language", registry::Value::Dword(static_cast<uint32_t>(*row.stored)));
    Start();
    EXPECT_EQ(LangIndex, row.langIndex);
    EXPECT_EQ(window->Ouvre1->text(), MsgText(22)) << "the captions are in that language";
    Close();
    EXPECT_EQ(Stored("Language"), registry::Value::Dword(static_cast<uint32_t>(row.written)));
}

INSTANTIATE_TEST_SUITE_P(Rows, SettingsLanguage,
                         ::testing::Values(LanguageRow{"absent", std::nullopt, 1, 255},
                                           LanguageRow{"follow_user", 255, 1, 255},
                                           LanguageRow{"french", 0, 0, 0}, LanguageRow{"english", 1, 1, 1},
                                           LanguageRow{"german", 2, 2, 2}, LanguageRow{"three", 3, 1, 255},
                                           LanguageRow{"two_five_four", 254, 1, 255},
                                           LanguageRow{"minus_two", -2, 1, 255}),
                         morbek::test::CaseName());

class SettingsBadDisplay : public SettingsTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(SettingsBadDisplay, LeavesLargeIconsAndWritesZeroBack) {
    xdg.seedSettings();
    Store("Display", registry::Value::Dword(static_cast<uint32_t>(GetParam())));
    Start();
    EXPECT_EQ(window->DisplayMode, 0);
    EXPECT_TRUE(window->Grandesic1->isChecked());
    EXPECT_EQ(window->ListFic->viewStyle(), TListFic::vsIcon);
    Close();
    EXPECT_EQ(Stored("Display"), registry::Value::Dword(0));
}

INSTANTIATE_TEST_SUITE_P(Values, SettingsBadDisplay, ::testing::Values(0, 5, -1));

TEST_F(SettingsTest, AFileGivenAtStartIsListedInTheStoredViewAndOrder) {
    xdg.seedSettings();
    Store("Display", registry::Value::Dword(4));
    Store("Order", registry::Value::Dword(7)); // anything but 0 sorts by name
    Start({Cabinet({"zeta.txt", "alpha.txt"})});
    EXPECT_EQ(window->DisplayMode, 4);
    EXPECT_TRUE(window->Details1->isChecked());
    EXPECT_TRUE(window->DetailBtn->isChecked());
    EXPECT_EQ(window->ListFic->viewStyle(), TListFic::vsReport);
    EXPECT_EQ(window->SortOrder, 1);
    EXPECT_TRUE(window->Alpha1->isChecked());
    EXPECT_TRUE(window->AlphaBtn->isChecked());
    const FileListModel* m = window->ListFic->model();
    ASSERT_EQ(m->rowCount(), 2);
    EXPECT_EQ(m->data(m->index(0, 0), Qt::DisplayRole).toString(), QStringLiteral("alpha.txt"));
    Close();
    EXPECT_EQ(Stored("Order"), registry::Value::Dword(1));
}

// --- failures ------------------------------------------------------------------------------

struct WrongValue {
    const char* name;
    const char* value;
    registry::Value stored;
    const char* error;
};

class SettingsWrongValue : public SettingsTest, public ::testing::WithParamInterface<WrongValue> {};

TEST_P(SettingsWrongValue, ShowsTheFrameworkErrorAndEndsTheFirstActivation) {
    const WrongValue& row = GetParam();
    xdg.seedSettings();
    Store(row.value, row.stored);
    Shown box;
    Answer("OK", &box);
    Start({Cabinet({"one.txt"})});
    ASSERT_TRUE(box.came);
    EXPECT_EQ(box.title, QStringLiteral("Zuvedaz ud Izedori"));
    EXPECT_EQ(box.text, QString::fromUtf8(row.error));
    EXPECT_TRUE(window->CabFileName.isEmpty()) << "the command-line file is not opened";
    EXPECT_EQ(window->ListFic->model()->rowCount(), 0);
    // Later activations do not try again.
    window->Acti();
    EXPECT_EQ(window->Tag, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SettingsWrongValue,
    ::testing::Values(WrongValue{"language_text", "Language", registry::Value::Text(QStringLiteral("1")),
                                 "Type de données incorrect pour 'Language'"},
                      WrongValue{"display_long_text", "Display",
                                 registry::Value::Text(QStringLiteral("12345")),
                                 "Erreur à l'obtention des données pour 'Display'"},
                      WrongValue{"order_binary", "Order", registry::Value::Binary(QByteArray(4, '\0')),
                                 "Type de données incorrect pour 'Order'"},
                      WrongValue{"order_qword", "Order",
                                 registry::Value{registry::REG_QWORD, QByteArray(8, '\0')},
                                 "Erreur à l'obtention des données pour 'Order'"},
                      WrongValue{"wstate_dword", "WState", registry::Value::Dword(2),
                                 "Type de données incorrect pour 'WState'"},
                      WrongValue{"wstate_too_long", "WState", registry::Value::Binary(QByteArray(21, '\0')),
                                 "Type de données incorrect pour 'WState'"}),
    morbek::test::CaseName());

TEST_F(SettingsTest, AFailedSaveOnCloseIsShownAndTheWindowStillCloses) {
    xdg.seedSettings();
    Start();
    int saves = 0;
    registry::SetSaveHook([&saves](registry::SavePoint p) {
        if (p == registry::SavePoint::Begin)
            ++saves;
        return false;
    });
    Shown box;
    Answer("OK", &box);
    Close();
    ASSERT_TRUE(box.came);
    EXPECT_EQ(box.text, QStringLiteral("Erreur à définition des données pour 'WState'"));
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(saves, 1) << "the rest of the save is skipped";
    EXPECT_FALSE(Stored("WState"));
}

TEST_F(SettingsTest, TheWritesAfterTheFailingOneAreSkipped) {
    xdg.seedSettings();
    Start();
    int saves = 0;
    registry::SetSaveHook(
        [&saves](registry::SavePoint p) { return p != registry::SavePoint::Begin || ++saves != 2; });
    Shown box;
    Answer("OK", &box);
    Close();
    EXPECT_EQ(box.text, QStringLiteral("Erreur à définition des données pour 'Language'"));
    EXPECT_TRUE(Stored("WState"));
    EXPECT_FALSE(Stored("Language"));
    EXPECT_FALSE(Stored("Version"));
    EXPECT_FALSE(Stored("Order"));
}

TEST_F(SettingsTest, ADamagedStoreIsReportedKeptAsideAndTheDefaultsUsed) {
    const QByteArray damaged =
        "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Harvex\\Morbek\\Setup]\n\"Display\"=dword:4\n"
        "\"Install\"=dword:0000000Q\n";
    xdg.write(xdg.userReg(), damaged);
    Shown report, question;
    Answer("OK", &report);
    Answer("No", &question);
    Start();
    ASSERT_TRUE(report.came);
    EXPECT_EQ(report.title, QStringLiteral("Zuvedaz ud Izedori"));
    EXPECT_TRUE(report.text.contains(xdg.userReg() + QStringLiteral(".damaged")))
        << report.text.toStdString();
    EXPECT_TRUE(report.text.contains(QStringLiteral("endommagé")));
    EXPECT_TRUE(question.came) << "with the file set aside, this is a first start";
    EXPECT_EQ(window->DisplayMode, 1);
    EXPECT_EQ(test::XdgSandbox::read(xdg.userReg() + QStringLiteral(".damaged")), damaged);
    EXPECT_EQ(Stored("Install"), registry::Value::Dword(0));
}

} // namespace
} // namespace morbek::testing
