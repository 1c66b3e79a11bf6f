#include "components/ModalSeam.h"

#include <QDialog>
#include <QTimer>
#include <gtest/gtest.h>

using namespace morbek;

namespace {

class ModalSeam : public ::testing::Test {
protected:
    void SetUp() override { modal::ClearAnswers(); }
    void TearDown() override {
        modal::SetOnModalClosed({});
        modal::ClearAnswers();
    }
};

TEST_F(ModalSeam, AnswerActsOnTheShownModalDialogOrTheDialogIsClosedForIt) {
    QDialog dialog;
    bool shownModal = false;
    modal::AnswerNext([&](QDialog& d) {
        shownModal = d.isVisible() && d.windowModality() == Qt::ApplicationModal;
        d.done(42);
    });
    modal::AnswerNext([](QDialog&) {}); // leaves it open: must not hang
    EXPECT_EQ(modal::Exec(dialog), 42);
    EXPECT_TRUE(shownModal);
    EXPECT_EQ(modal::Exec(dialog), modal::kUnanswered);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(modal::PendingAnswers(), 0);
}

TEST_F(ModalSeam, NestedDialogTakesTheNextAnswerAndTheHookRunsAfterEachClose) {
    QDialog outer, inner;
    int innerResult = 0, hookCalls = 0;
    modal::SetOnModalClosed([&] { ++hookCalls; });
    modal::AnswerNext([&](QDialog& d) {
        innerResult = modal::Exec(inner);
        d.done(1);
    });
    modal::AnswerNext([](QDialog& d) { d.done(2); });
    modal::AnswerNext([](QDialog& d) { d.done(3); });
    EXPECT_EQ(modal::Exec(outer), 1);
    EXPECT_EQ(innerResult, 2);
    EXPECT_EQ(hookCalls, 2);
    EXPECT_EQ(modal::PendingAnswers(), 1);
}

TEST_F(ModalSeam, DefaultAnswerTakesEveryDialogWithoutAQueuedAnswerUntilCleared) {
    QDialog dialog;
    int defaults = 0;
    modal::SetDefaultAnswer([&](QDialog& d) {
        ++defaults;
        d.done(7);
    });
    modal::AnswerNext([](QDialog& d) { d.done(1); });
    EXPECT_EQ(modal::Exec(dialog), 1); // the queued answer goes first
    EXPECT_EQ(modal::Exec(dialog), 7);
    EXPECT_EQ(modal::Exec(dialog), 7);
    EXPECT_EQ(defaults, 2);
    EXPECT_EQ(modal::PendingAnswers(), 0); // the default is not a pending answer

    // A default that leaves the dialog open is closed for it, as a queued one is.
    modal::SetDefaultAnswer([](QDialog&) {});
    EXPECT_EQ(modal::Exec(dialog), modal::kUnanswered);

    // Cleared: the dialog waits, here for a timer standing in for the user.
    modal::SetDefaultAnswer([&](QDialog& d) {
        ++defaults;
        d.done(7);
    });
    modal::ClearAnswers();
    QTimer::singleShot(50, &dialog, [&] { dialog.done(9); });
    EXPECT_EQ(modal::Exec(dialog), 9);
    EXPECT_EQ(defaults, 2);
}

} // namespace
