#pragma once
// Every modal dialog of the program runs through Exec. Tests queue answers: the next
// dialog to run calls the first queued answer from inside its modal loop, with the
// dialog fully built and shown, so the answer acts on it as a user would (presses a
// button, types a key, closes it). Without queued answers, or a default one, Exec is a
// plain exec().
#include <QDialog>
#include <functional>

namespace morbek::modal {

using Answer = std::function<void(QDialog&)>;

// Result given when an answer left its dialog open (so that tests never hang).
constexpr int kUnanswered = -100;

void AnswerNext(Answer answer);
int PendingAnswers();
void ClearAnswers();
// Answers every dialog that finds no queued answer (empty: none), until ClearAnswers;
// for runs that cannot know in advance which dialogs will come. Queued answers go first.
void SetDefaultAnswer(Answer answer);

// Shows the dialog application-modal and returns its result code.
int Exec(QDialog& dialog);

// Called after every modal dialog of the program has closed (the main window uses it
// to run its activation handler, as the original did when focus came back to it).
void SetOnModalClosed(std::function<void()> hook);

} // namespace morbek::modal
