// Every dialog of the program, in each language, as the program titles it: wide enough
// for a window manager to show its whole title, its controls inside it, and its focused
// control drawn with a focus frame from the start.
#include "app/AboutBox.h"
#include "app/Lang.h"
#include "app/LangDlg.h"
#include "app/Windows.h"
#include "components/DialogPat.h"
#include "components/Framework.h"
#include "components/MessageBox.h"
#include "components/ModalSeam.h"
#include "components/MsgDialog.h"
#include "tests/support/QtPrinters.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyleOption>
#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace morbek;

namespace {

const QString kCabinet = QStringLiteral("/home/user/Downloads/setup.cab");

// What a dialog was like while it was up.
struct Seen {
    QString title;
    int width = 0;
    QRect controls; // the union of its direct child widgets
    bool focusFrame = false;
    bool shown = false;
    QString focus; // object name of the focused control
};

void Look(QWidget& dialog, Seen* seen) {
    seen->shown = dialog.isVisible();
    seen->title = dialog.windowTitle();
    seen->width = dialog.width();
    const QList<QWidget*> children = dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (const QWidget* child : children)
        if (!child->isWindow() && child->isVisible())
            seen->controls |= child->geometry();
    if (QWidget* focus = dialog.focusWidget()) {
        seen->focus = focus->objectName();
        QStyleOption option;
        option.initFrom(focus);
        seen->focusFrame = option.state & QStyle::State_KeyboardFocusChange;
    }
}

// Shown modally through the seam, looked at, closed.
void LookThroughSeam(Seen* seen) {
    modal::AnswerNext([seen](QDialog& dialog) {
        Look(dialog, seen);
        dialog.done(QDialog::Rejected);
    });
}

struct DialogCase {
    const char* name;
    bool focusable; // has a control that takes the focus
    int overhang;   // pixels its controls reach past its right edge at design size
    std::function<void(Seen*)> open;
};

const DialogCase kDialogs[] = {
    {"MessageWithAppTitle", true, 0,
     [](Seen* seen) {
         LookThroughSeam(seen);
         MsgDialog(MsgText(2), MsgText(150), TMsgDlgType::Warning, mbYes | mbNo, 0);
     }},
    {"MessageOkOnly", true, 0,
     [](Seen* seen) {
         LookThroughSeam(seen);
         MsgDialog(MsgText(2), QStringLiteral("x"), TMsgDlgType::Warning, mbOK, 0);
     }},
    {"InformationWithFileTitle", true, 0,
     [](Seen* seen) {
         LookThroughSeam(seen);
         MsgDialog(MsgText(112) + QLatin1Char(' ') + kCabinet, QStringLiteral("1"), TMsgDlgType::Information,
                   mbYes, 0);
     }},
    {"PlainWarning", true, 0,
     [](Seen* seen) {
         LookThroughSeam(seen);
         PlainMsgDialog(MsgText(171), TMsgDlgType::Warning, mbOK, 0);
     }},
    {"ReplaceQuestion", true, 0,
     [](Seen* seen) {
         LookThroughSeam(seen);
         MessageBoxA(nullptr, QStringLiteral("?"), MsgText(174),
                     MB_YESNOCANCEL | platform::MB_ICONEXCLAMATION);
     }},
    {"ErrorBox", true, 0,
     [](Seen* seen) {
         framework::SetApplicationTitle(MsgText(2));
         LookThroughSeam(seen);
         framework::ShowErrorBox(QStringLiteral("!"));
     }},
    {"AboutBox", true, 0,
     [](Seen* seen) {
         TAboutBox box;
         box.setWindowTitle(MsgText(14) + MsgText(2));
         box.ProductName->setText(MsgText(2));
         LookThroughSeam(seen);
         modal::Exec(box);
     }},
    {"LanguageDialog", true, 0,
     [](Seen* seen) {
         TLangDlg dialog;
         LookThroughSeam(seen);
         modal::Exec(dialog);
     }},
    // The status line is drawn 425 wide from 3 in a window 427 wide.
    {"ProgressDialog", false, 1,
     [](Seen* seen) {
         TDialogPat pat;
         pat.Begin(MsgText(112) + QLatin1Char(' ') + kCabinet, MsgText(133) + QStringLiteral(" a.txt"));
         Look(pat, seen);
         pat.Finish();
     }},
};

const char* const kLanguages[] = {"French", "English", "German"};

class DialogFrames : public ::testing::TestWithParam<std::tuple<size_t, int>> {
protected:
    void SetUp() override {
        modal::ClearAnswers();
        saved_ = LangIndex;
        LangIndex = std::get<1>(GetParam());
    }
    void TearDown() override {
        LangIndex = saved_;
        modal::ClearAnswers();
    }
    const DialogCase& Dialog() const { return kDialogs[std::get<0>(GetParam())]; }

private:
    int saved_ = 0;
};

TEST_P(DialogFrames, WideEnoughForItsWholeTitle) {
    Seen seen;
    Dialog().open(&seen);
    ASSERT_TRUE(seen.shown);
    ASSERT_FALSE(seen.title.isEmpty());
    EXPECT_GE(seen.width, framework::TitleBarWidth(seen.title)) << seen.title.toStdString();
}

TEST_P(DialogFrames, ControlsStayInsideTheWidenedDialog) {
    Seen seen;
    Dialog().open(&seen);
    ASSERT_TRUE(seen.shown);
    EXPECT_GE(seen.controls.left(), 0);
    EXPECT_LE(seen.controls.right(), seen.width - 1 + Dialog().overhang) << seen.title.toStdString();
}

TEST_P(DialogFrames, FocusedControlShowsItsFocusFrameFromTheStart) {
    if (!Dialog().focusable)
        GTEST_SKIP() << "nothing in it takes the focus";
    Seen seen;
    Dialog().open(&seen);
    ASSERT_TRUE(seen.shown);
    EXPECT_TRUE(seen.focusFrame) << "focus on " << seen.focus.toStdString();
}

INSTANTIATE_TEST_SUITE_P(AllDialogs, DialogFrames,
                         ::testing::Combine(::testing::Range<size_t>(0, std::size(kDialogs)),
                                            ::testing::Values(0, 1, 2)),
                         [](const ::testing::TestParamInfo<std::tuple<size_t, int>>& row) {
                             return std::string(kDialogs[std::get<0>(row.param)].name) + "_" +
                                    kLanguages[std::get<1>(row.param)];
                         });

// The title width itself: longer titles need more room, and a title longer than the
// screen never asks for more than the screen.
struct TitleCase {
    const char* name;
    QString shorter;
    QString longer;
};

class TitleBarWidths : public ::testing::TestWithParam<TitleCase> {};

TEST_P(TitleBarWidths, GrowWithTheTitleUpToTheScreen) {
    const TitleCase& c = GetParam();
    EXPECT_LE(framework::TitleBarWidth(c.shorter), framework::TitleBarWidth(c.longer));
    EXPECT_GT(framework::TitleBarWidth(QString()), 0); // the frame's buttons alone
}

TEST(TitleBarWidth, NeverWiderThanTheScreen) {
    const QString huge(2000, QLatin1Char('W'));
    const QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(framework::TitleBarWidth(huge), screen->availableGeometry().width());
}

INSTANTIATE_TEST_SUITE_P(
    Titles, TitleBarWidths,
    ::testing::Values(TitleCase{"empty_vs_word", QString(), QStringLiteral("Langue")},
                      TitleCase{"app_title", QStringLiteral("Dazeduv"), QStringLiteral("Dazeduv Uvoro")},
                      TitleCase{"accented", QStringLiteral("Uber"), QStringLiteral("Über Dazeduv Uvoro")}),
    morbek::test::CaseName());

// A dialog whose title changes while it is up grows with it and keeps its controls centred.
TEST(DialogFrames, TitleChangeWhileShownWidensAndRecentres) {
    TDialogPat pat;
    pat.Begin(QStringLiteral("a"), QStringLiteral("b"));
    const int designWidth = pat.width();
    const QRect bar = pat.PBPat->geometry();
    const QRect status = pat.LPat->geometry();
    pat.setWindowTitle(QString(120, QLatin1Char('m')));
    EXPECT_GT(pat.width(), designWidth);
    EXPECT_EQ(pat.minimumWidth(), pat.maximumWidth()); // still a fixed border
    const int shift = (pat.width() - designWidth) / 2;
    EXPECT_EQ(pat.PBPat->geometry(), bar.translated(shift, 0));
    EXPECT_EQ(pat.LPat->geometry(), status.translated(shift, 0));
    pat.setWindowTitle(QStringLiteral("a")); // back to its design width
    EXPECT_EQ(pat.width(), designWidth);
    EXPECT_EQ(pat.PBPat->geometry(), bar);
    EXPECT_EQ(pat.LPat->geometry(), status);
    pat.Finish();
}

} // namespace
