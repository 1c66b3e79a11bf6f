#include "components/ModalSeam.h"

#include "components/Framework.h"

#include <QPointer>
#include <QTimer>
#include <deque>
#include <utility>

namespace morbek::modal {

namespace {

std::deque<Answer>& Queue() {
    static std::deque<Answer> queue;
    return queue;
}

Answer& DefaultAnswer() {
    static Answer answer;
    return answer;
}

std::function<void()>& ClosedHook() {
    static std::function<void()> hook;
    return hook;
}

} // namespace

void AnswerNext(Answer answer) {
    Queue().push_back(std::move(answer));
}

int PendingAnswers() {
    return static_cast<int>(Queue().size());
}

void ClearAnswers() {
    Queue().clear();
    DefaultAnswer() = nullptr;
}

void SetDefaultAnswer(Answer answer) {
    DefaultAnswer() = std::move(answer);
}

int Exec(QDialog& dialog) {
    dialog.setWindowModality(Qt::ApplicationModal);
    framework::PrepareDialog(&dialog);
    if (!Queue().empty() || DefaultAnswer()) {
        Answer answer = DefaultAnswer();
        if (!Queue().empty()) {
            answer = std::move(Queue().front());
            Queue().pop_front();
        }
        QPointer<QDialog> guard(&dialog);
        // Posted now, run by exec()'s own loop: the dialog is shown by then.
        QTimer::singleShot(0, &dialog, [guard, answer = std::move(answer)]() {
            if (!guard)
                return;
            answer(*guard);
            // Events the answer posted run first; whatever is still open afterwards
            // would wait for a user who is not there.
            if (guard && guard->isVisible())
                QTimer::singleShot(0, guard.data(), [guard]() {
                    if (guard && guard->isVisible())
                        guard->done(kUnanswered);
                });
        });
    }
    const int result = dialog.exec();
    if (ClosedHook())
        ClosedHook()();
    return result;
}

void SetOnModalClosed(std::function<void()> hook) {
    ClosedHook() = std::move(hook);
}

} // namespace morbek::modal
