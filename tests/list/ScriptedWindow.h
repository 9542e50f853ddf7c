// The list's windows for tests: records what the list showed and answers
// its questions from a script; and the list's test fixture, a list on a
// temp data folder whose jobs talk to the loopback test server.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/Download.h"
#include "engine/Timing.h"
#include "store/FileServices.h"
#include "store/List.h"
#include "store/ListWindow.h"
#include "support/HttpGet.h"
#include "support/TempFolder.h"

struct ScriptedWindow : ListWindow {
    std::vector<std::wstring> statuses, errors, questions;
    std::deque<bool> confirmAnswers;
    std::deque<FinishedRemoval> removalAnswers;
    std::function<void()> duringQuestion;  // runs while a question is "open"
    std::vector<uint64_t> freeSpaces;
    int beeps = 0;
    int repaints = 0;  // of the list

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
    void ScrollIntoView(int) override {}
    void UpdateScrollRange() override {}
    void ResetHover() override {}
    void RepaintList() override { ++repaints; }
    void RepaintStatus() override {}
    void RefreshDetails() override {}
    void CloseDetailsIfShowing(const zeb::Download*) override {}
    void ShowFreeSpace(uint64_t bytes) override { freeSpaces.push_back(bytes); }
    void Beep() override { ++beeps; }
    void ContinueListTextSoon() override {}  // the tick goes on with it
};

class ListQueue : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(Server().empty()) << "run through run_gtest.py";
        zeb::Timing t;
        t.retryPauseBase = 10;
        t.maxRetryPause = 100;
        t.monitorPeriodMs = 50;
        zeb::setTimingForTests(t);
        zeb::freezeFinalRenames(false);  // an earlier test's exit froze them
        zeb::forgetHostsForTests();
        folder_ = downloads_.path();
        list_ = Another(window_, L"downloads.lst");
    }
    void TearDown() override {
        if (list_) list_->Exit();
        zeb::setTimingForTests(zeb::Timing());
    }
    std::wstring Url(const std::wstring& name, int64_t size, const std::wstring& extra = L"") const {
        return Server() + L"/file/" + name + L"?size=" + std::to_wstring(size) + (extra.empty() ? L"" : L"&" + extra);
    }
    static DownloadRequest Req(const std::wstring& url) { return {.url = url}; }
    bool Add(const std::wstring& url) { return list_->AddDownload(Req(url), folder_); }
    // Another list on a file of the data folder, as a later start of the program would open it;
    // on the fixture's clock, which stands still, or on the real ticks; and the disks' free space.
    std::unique_ptr<DownloadList> Another(ScriptedWindow& w, const wchar_t* file, bool realTicks = false,
                                          FreeSpaceWatch::Query freeSpace = [](const std::wstring& f) { return GetFreeSpace(f); }) {
        const QueueSettings settings{&folder_, &connections_, &maxDownloads_, &ignoreCert_, &activeHours_};
        if (realTicks) return std::make_unique<DownloadList>(w, data_ / file, settings);
        return std::make_unique<DownloadList>(w, data_ / file, settings, [this] { return clock_; }, freeSpace);
    }
    // Ticks until `done` holds (real time passes for the jobs).
    template <typename Pred>
    bool TickUntil(Pred done, int ms = 20000) {
        for (int waited = 0; waited < ms; waited += 20) {
            list_->QueueTick();
            if (done()) return true;
            Sleep(20);
        }
        return false;
    }
    DownloadState State(int row) const { return list_->Entries()[row].cached.state; }
    // The list file once it holds what changed.
    std::string ListFile() const {
        if (list_) list_->FlushListFile();
        return ReadWholeFile(data_ / L"downloads.lst", 1u << 26);
    }
    // How many status texts shown so far end with `tail` (a link, a name, an error).
    long Statuses(const std::wstring& tail) const {
        return std::ranges::count_if(window_.statuses, [&](const std::wstring& s) { return s.ends_with(tail); });
    }

    ScratchFolder data_, downloads_;
    std::wstring folder_;
    int32_t connections_ = 2, maxDownloads_ = 2;
    bool ignoreCert_ = false;
    std::wstring activeHours_;  // none: always
    uint64_t clock_ = 100000;
    ScriptedWindow window_;
    std::unique_ptr<DownloadList> list_;
};
