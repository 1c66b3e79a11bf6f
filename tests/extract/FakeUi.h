#pragma once
// An extraction UI answered from a script: it records every question and warning of the
// driver, and what the Extract job asks and shows.
#include "extract/ExtractJob.h"

#include <QString>
#include <QStringList>
#include <algorithm>
#include <deque>
#include <functional>
#include <vector>

namespace morbek::testing {

struct FakeUi : ExtractJobUi {
    struct Call {
        bool confirm;
        QString title, text;
    };
    std::vector<Call> calls; // the driver's questions and warnings
    std::deque<int> answers; // for ConfirmReplace; No when exhausted
    // Runs while the replace question is open, before it is answered: what another
    // program may do meanwhile.
    std::function<void()> whileAsking;

    // The job's: the folder chosen (empty: the browser is cancelled), what runs while the
    // browser is open, and everything asked and shown, in order, one line each.
    QString folder;
    std::function<void()> whileChoosing;
    QStringList events;
    int busy = 0;         // the nesting of the job's busy stretches
    int lastPercent = -1; // the progress bar's last position

    int ConfirmReplace(const QString& title, const QString& text) override {
        calls.push_back({true, title, text});
        events << QStringLiteral("confirm ") + title;
        if (whileAsking)
            whileAsking();
        if (answers.empty())
            return kIdNo;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void Warn(const QString& title, const QString& text) override {
        calls.push_back({false, title, text});
        events << QStringLiteral("warn ") + title;
    }
    QString ChooseFolder() override {
        events << QStringLiteral("folder");
        if (whileChoosing)
            whileChoosing();
        return folder;
    }
    void ShowTitle(const QString& title) override { events << QStringLiteral("title ") + title; }
    void ShowProgress(const QString& title, const QString& status) override {
        events << QStringLiteral("progress ") + title + QStringLiteral(" | ") + status;
    }
    void SetProgress(int percent) override { lastPercent = percent; }
    void HideProgress() override { events << QStringLiteral("hide"); }
    void SetBusy(bool on) override {
        busy += on ? 1 : -1;
        events << (on ? QStringLiteral("busy") : QStringLiteral("idle"));
    }
    void Report(const QString& text) override { events << QStringLiteral("report ") + text; }

    int Count(bool confirm) const {
        return static_cast<int>(
            std::count_if(calls.begin(), calls.end(), [&](const Call& c) { return c.confirm == confirm; }));
    }
    // The texts of the job's reports.
    QStringList Reports() const {
        QStringList texts;
        for (const QString& e : events)
            if (e.startsWith(QStringLiteral("report ")))
                texts << e.mid(7);
        return texts;
    }
};

} // namespace morbek::testing
