#include "components/ModalSeam.h"

#include <QDialog>
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

} // namespace
