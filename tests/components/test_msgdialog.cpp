#include "components/Framework.h"
#include "components/ModalSeam.h"
#include "components/MsgDialog.h"
#include "platform/help/WinHelp.h"
#include "platform/sound/MessageBeep.h"
#include "tests/support/QtPrinters.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWindow>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>

using namespace morbek;

namespace {

class MsgDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        modal::ClearAnswers();
        framework::SetApplicationTitle(QStringLiteral("Zuvedaz ud Izedori"));
    }
    void TearDown() override { EXPECT_EQ(modal::PendingAnswers(), 0); }
};

std::unique_ptr<QDialog> Build(const QString& message, TMsgDlgType kind, TMsgDlgButtons buttons) {
    return std::unique_ptr<QDialog>(CreateMessageDialog(message, kind, buttons));
}

const QLabel* Label(const QDialog& d, const char* name) {
    return d.findChild<QLabel*>(QLatin1String(name));
}

// ---- What the user does, and what comes back ----

enum class Act { Enter, Esc, CloseBox, Click };

struct ResultCase {
    const char* name;
    TMsgDlgButtons buttons;
    Act act;
    const char* button; // for Click
    int expected;
};
void PrintTo(const ResultCase& c, std::ostream* os) {
    *os << c.name;
}

// At window-system level, as the keyboard and the title bar's close box deliver them.
void Perform(QDialog& d, Act act, const char* button) {
    if (act == Act::Enter || act == Act::Esc)
        QTest::keyClick(d.windowHandle(), act == Act::Enter ? Qt::Key_Return : Qt::Key_Escape);
    else if (act == Act::CloseBox)
        d.windowHandle()->close();
    else
        QTest::mouseClick(d.findChild<QPushButton*>(QLatin1String(button)), Qt::LeftButton);
}

class MsgDialogResult : public MsgDialogTest, public ::testing::WithParamInterface<ResultCase> {};

TEST_P(MsgDialogResult, IsTheButtonsCodeOrTwoForTheCloseBox) {
    const ResultCase& c = GetParam();
    modal::AnswerNext([&c](QDialog& d) { Perform(d, c.act, c.button); });
    EXPECT_EQ(MsgDialog(QStringLiteral("T"), QStringLiteral("M"), TMsgDlgType::Warning, c.buttons, 0),
              c.expected);
}

constexpr int kStaysOpen = modal::kUnanswered;
constexpr TMsgDlgButtons kAll = 0xFF;

INSTANTIATE_TEST_SUITE_P(
    Answers, MsgDialogResult,
    ::testing::Values(
        ResultCase{"YesNo_Esc", mbYes | mbNo, Act::Esc, nullptr, mrNo},
        ResultCase{"YesNo_Enter", mbYes | mbNo, Act::Enter, nullptr, mrYes},
        ResultCase{"YesNo_CloseBox", mbYes | mbNo, Act::CloseBox, nullptr, mrCancel},
        ResultCase{"Ok_Enter", mbOK, Act::Enter, nullptr, mrOk},
        ResultCase{"Ok_Esc", mbOK, Act::Esc, nullptr, mrOk},
        ResultCase{"Ok_Click", mbOK, Act::Click, "OK", mrOk},
        ResultCase{"Ok_CloseBox", mbOK, Act::CloseBox, nullptr, mrCancel},
        ResultCase{"Yes_Enter", mbYes, Act::Enter, nullptr, mrYes},
        ResultCase{"Yes_EscDoesNothing", mbYes, Act::Esc, nullptr, kStaysOpen},
        ResultCase{"Yes_CloseBox", mbYes, Act::CloseBox, nullptr, mrCancel},
        ResultCase{"OkCancel_Esc", mbOK | mbCancel, Act::Esc, nullptr, mrCancel},
        ResultCase{"YesNoCancel_Esc", mbYes | mbNo | mbCancel, Act::Esc, nullptr, mrCancel},
        ResultCase{"AbortRetryIgnore_Enter", mbAbort | mbRetry | mbIgnore, Act::Enter, nullptr, mrRetry},
        ResultCase{"AbortRetryIgnore_Esc", mbAbort | mbRetry | mbIgnore, Act::Esc, nullptr, kStaysOpen},
        ResultCase{"Click_Abort", kAll, Act::Click, "Abort", mrAbort},
        ResultCase{"Click_Ignore", kAll, Act::Click, "Ignore", mrIgnore},
        ResultCase{"Click_All", kAll, Act::Click, "All", mrAll}),
    morbek::test::CaseName());

// ---- Kinds: title, icon, beep ----

struct KindCase {
    TMsgDlgType kind;
    const char* title; // nullptr: the application title
    uint32_t beep;     // 0: no beep, and no icon
};

class MsgDialogKind : public MsgDialogTest, public ::testing::WithParamInterface<KindCase> {};

TEST_P(MsgDialogKind, HasTheKindsTitleIconAndBeep) {
    const KindCase& c = GetParam();
    const QString title = c.title ? QString::fromLatin1(c.title) : framework::ApplicationTitle();
    const auto dialog = Build(QStringLiteral("Texte"), c.kind, mbOK);
    const auto warning = Build(QStringLiteral("Texte"), TMsgDlgType::Warning, mbOK);
    const int margin = Label(*warning, "Image")->x();
    EXPECT_EQ(dialog->windowTitle(), title);
    if (c.beep) {
        ASSERT_NE(Label(*dialog, "Image"), nullptr);
        EXPECT_EQ(Label(*dialog, "Image")->geometry(), Label(*warning, "Image")->geometry());
        EXPECT_EQ(Label(*dialog, "Image")->pixmap().size(), QSize(32, 32));
        EXPECT_GT(Label(*dialog, "Message")->x(), margin + 32);
    } else {
        EXPECT_EQ(Label(*dialog, "Image"), nullptr);
        EXPECT_EQ(Label(*dialog, "Message")->x(), margin);
    }

    const int before = platform::MessageBeepCount();
    modal::AnswerNext([](QDialog& d) { d.done(mrOk); });
    MsgDialog(QStringLiteral("Titre"), QStringLiteral("Texte"), c.kind, mbOK, 0);
    EXPECT_EQ(platform::MessageBeepCount(), before + (c.beep ? 1 : 0));
    if (c.beep) {
        EXPECT_EQ(platform::LastMessageBeep(), c.beep);
    }

    QString plainTitle;
    modal::AnswerNext([&plainTitle](QDialog& d) {
        plainTitle = d.windowTitle();
        d.done(mrOk);
    });
    EXPECT_EQ(PlainMsgDialog(QStringLiteral("Texte"), c.kind, mbOK, 0), mrOk);
    EXPECT_EQ(platform::MessageBeepCount(), before + (c.beep ? 1 : 0));
    EXPECT_EQ(plainTitle, title);
}

INSTANTIATE_TEST_SUITE_P(Kinds, MsgDialogKind,
                         ::testing::Values(KindCase{TMsgDlgType::Warning, "Avertissement", 0x30},
                                           KindCase{TMsgDlgType::Error, "Erreur", 0x10},
                                           KindCase{TMsgDlgType::Information, "Information", 0x40},
                                           KindCase{TMsgDlgType::Confirmation, "Confirmation", 0x20},
                                           KindCase{TMsgDlgType::Custom, nullptr, 0}));

// ---- Layout ----

QList<QPushButton*> ButtonRow(const QDialog& dialog) {
    QList<QPushButton*> row = dialog.findChildren<QPushButton*>();
    std::sort(row.begin(), row.end(), [](QPushButton* a, QPushButton* b) { return a->x() < b->x(); });
    return row;
}

TEST_F(MsgDialogTest, ButtonsStandInBitOrderInACentredRowBelowTheText) {
    const QStringList names{"Yes", "No", "OK", "Cancel", "Abort", "Retry", "Ignore", "All", "Help"};
    const QStringList captions{"&Oui",      "&Non",     "OK",    "Annuler", "&Abandon",
                               "&Retenter", "&Ignorer", "&Tout", "&Aide"};
    for (const TMsgDlgButtons set : {TMsgDlgButtons(0x1FF), TMsgDlgButtons(mbHelp | mbCancel | mbYes)}) {
        const auto dialog =
            Build(QStringLiteral("Une phrase plus large que trois boutons, mais pas que neuf"),
                  TMsgDlgType::Warning, set);
        const QList<QPushButton*> row = ButtonRow(*dialog);
        QStringList expectedNames, expectedCaptions, gotNames, gotCaptions;
        for (int bit = 0; bit < 9; ++bit) {
            if (set & (1 << bit)) {
                expectedNames << names[bit];
                expectedCaptions << captions[bit];
            }
        }
        for (QPushButton* b : row) {
            gotNames << b->objectName();
            gotCaptions << b->text();
            EXPECT_EQ(b->geometry().size(), row[0]->size());
            EXPECT_EQ(b->y(), row[0]->y());
            EXPECT_EQ(b->x() - row[0]->x(), (row[1]->x() - row[0]->x()) * row.indexOf(b)); // even spacing
        }
        EXPECT_EQ(gotNames, expectedNames);
        EXPECT_EQ(gotCaptions, expectedCaptions);
        EXPECT_GT(row[0]->y(), Label(*dialog, "Image")->geometry().bottom());
        EXPECT_LE(std::abs(row.first()->x() - (dialog->width() - 1 - row.last()->geometry().right())), 1);
        EXPECT_GE(row.first()->x(), Label(*dialog, "Image")->x());
        EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize()); // no resizing
    }
}

TEST_F(MsgDialogTest, LongMessageWrapsWithinHalfTheScreenAndTheDialogHoldsTheRow) {
    const int halfScreen = QGuiApplication::primaryScreen()->geometry().width() / 2;
    const QString longText = QStringLiteral("extraction ").repeated(80).trimmed();
    for (const QString& text : {longText, QStringLiteral("Oui")}) {
        const auto dialog = Build(text, TMsgDlgType::Warning, mbYes | mbNo | mbCancel | mbHelp);
        const QLabel* message = Label(*dialog, "Message");
        const QList<QPushButton*> row = ButtonRow(*dialog);
        EXPECT_LE(message->width(), halfScreen);
        EXPECT_LT(message->geometry().right(), dialog->width());
        EXPECT_GE(row.first()->x(), Label(*dialog, "Image")->x());
        // The label draws the lines that its size was measured for.
        const QRect drawn = QFontMetrics(message->font())
                                .boundingRect(QRect(0, 0, message->width(), 0), Qt::TextWordWrap, text);
        EXPECT_EQ(drawn.size(), message->size());
    }
    const auto dialog = Build(longText, TMsgDlgType::Warning, mbOK);
    const QLabel* wrapped = Label(*dialog, "Message");
    EXPECT_GE(wrapped->height(), 3 * QFontMetrics(wrapped->font()).height());
}

TEST_F(MsgDialogTest, ShowsLineBreaksAsLinesAndNeverAsMarkupButKeepsTheExactText) {
    const QString text = QStringLiteral("ligne 1\n\rligne 2\r\n\n<b>fichier</b>");
    const auto dialog = Build(text, TMsgDlgType::Information, mbOK);
    EXPECT_EQ(Label(*dialog, "Message")->text(), QStringLiteral("ligne 1\nligne 2\n\n<b>fichier</b>"));
    EXPECT_EQ(Label(*dialog, "Message")->textFormat(), Qt::PlainText);
    EXPECT_EQ(dialog->property(kMessageTextProperty).toString(), text);
}

TEST(DisplayLineBreaks, MapsEachBreakToOneLineFeed) {
    const std::pair<const char*, const char*> cases[] = {
        {"a\r\nb", "a\nb"},       {"a\n\rb\n\rc", "a\nb\nc"}, {"a\rb", "a\nb"}, {"a\r\n\nb", "a\n\nb"},
        {"a\n\r\n\rb", "a\n\nb"}, {"a\n\nb", "a\n\nb"},       {"\r\r", "\n\n"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(DisplayLineBreaks(QLatin1String(in)), QLatin1String(out)) << in;
}

// ---- MsgDialog as called ----

TEST_F(MsgDialogTest, EmptyCaptionGivesAnEmptyTitleAndTheDialogIsDestroyed) {
    QString title = QStringLiteral("unset");
    QPointer<QDialog> shown;
    modal::AnswerNext([&](QDialog& d) {
        title = d.windowTitle();
        shown = &d;
        d.done(mrYes);
    });
    EXPECT_EQ(MsgDialog(QString(), QStringLiteral("Texte"), TMsgDlgType::Warning, mbYes | mbNo, 0), mrYes);
    EXPECT_EQ(title, QString());
    EXPECT_TRUE(shown.isNull());
}

TEST_F(MsgDialogTest, HelpButtonOpensTheDialogsContextAndLeavesItOpen) {
    framework::SetHelpFile(QStringLiteral("/opt/morbek/morbek.hlp"));
    const int before = platform::HelpRequestCount();
    bool openAfterHelp = false;
    modal::AnswerNext([&](QDialog& d) {
        QTest::mouseClick(d.findChild<QPushButton*>(QStringLiteral("Help")), Qt::LeftButton);
        QCoreApplication::processEvents();
        openAfterHelp = d.isVisible();
        QTest::mouseClick(d.findChild<QPushButton*>(QStringLiteral("OK")), Qt::LeftButton);
    });
    EXPECT_EQ(
        MsgDialog(QStringLiteral("T"), QStringLiteral("M"), TMsgDlgType::Information, mbOK | mbHelp, 33),
        mrOk);
    EXPECT_TRUE(openAfterHelp);
    EXPECT_EQ(platform::HelpRequestCount(), before + 1);
    EXPECT_EQ(platform::LastHelpRequest().file, QStringLiteral("/opt/morbek/morbek.hlp"));
    EXPECT_EQ(platform::LastHelpRequest().command, platform::HELP_CONTEXT);
    EXPECT_EQ(platform::LastHelpRequest().data, 33u);
}

} // namespace
