// The list's windows for tests: records what the list showed and answers
// its questions from a script.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "store/ListWindow.h"

struct ScriptedWindow : ListWindow {
    std::vector<std::wstring> statuses, errors, questions;
    std::deque<bool> confirmAnswers;
    std::deque<FinishedRemoval> removalAnswers;
    std::function<void()> duringQuestion;  // runs while a question is "open"
    std::vector<uint64_t> freeSpaces;
    int beeps = 0, repaints = 0, detailsRefreshes = 0, hoverResets = 0;
    std::vector<const zeb::Download*> detailsClosedFor;
    std::vector<int> scrolledTo;

    std::wstring Status() const { return statuses.empty() ? L"" : statuses.back(); }

    void SetStatus(const std::wstring& text) override { statuses.push_back(text); }
    void ShowError(const std::wstring& text) override { errors.push_back(text); }
    bool Confirm(const ConfirmQuestion& q) override {
        questions.push_back(q.text);
        if (duringQuestion) duringQuestion();
        if (confirmAnswers.empty()) return false;
        bool a = confirmAnswers.front();
        confirmAnswers.pop_front();
        return a;
    }
    FinishedRemoval AskFinishedRemoval(const std::wstring& text) override {
        questions.push_back(text);
        if (duringQuestion) duringQuestion();
        if (removalAnswers.empty()) return FinishedRemoval::Cancel;  // the dialog was closed
        FinishedRemoval a = removalAnswers.front();
        removalAnswers.pop_front();
        return a;
    }
    void ScrollIntoView(int row) override { scrolledTo.push_back(row); }
    void UpdateScrollRange() override {}
    void ResetHover() override { ++hoverResets; }
    void RepaintList() override { ++repaints; }
    void RepaintStatus() override {}
    void RefreshDetails() override { ++detailsRefreshes; }
    void CloseDetailsIfShowing(const zeb::Download* job) override { detailsClosedFor.push_back(job); }
    void ShowFreeSpace(uint64_t bytes) override { freeSpaces.push_back(bytes); }
    void Beep() override { ++beeps; }
};
