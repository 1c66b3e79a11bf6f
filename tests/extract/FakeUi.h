#pragma once
// An extraction UI answered from a script: it records every question and warning.
#include "extract/Driver.h"

#include <QString>
#include <algorithm>
#include <deque>
#include <functional>
#include <vector>

namespace morbek::testing {

struct FakeUi : ExtractionUi {
    struct Call {
        bool confirm;
        QString title, text;
    };
    std::vector<Call> calls;
    std::deque<int> answers; // for ConfirmReplace; No when exhausted
    // Runs while the replace question is open, before it is answered: what another
    // program may do meanwhile.
    std::function<void()> whileAsking;

    int ConfirmReplace(const QString& title, const QString& text) override {
        calls.push_back({true, title, text});
        if (whileAsking)
            whileAsking();
        if (answers.empty())
            return kIdNo;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void Warn(const QString& title, const QString& text) override { calls.push_back({false, title, text}); }

    int Count(bool confirm) const {
        return static_cast<int>(
            std::count_if(calls.begin(), calls.end(), [&](const Call& c) { return c.confirm == confirm; }));
    }
};

} // namespace morbek::testing
