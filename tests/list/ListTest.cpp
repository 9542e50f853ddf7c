// The list and its queue with real jobs against the loopback test server,
// the windows replaced by a scripted seam.
#include "store/List.h"

#include <gtest/gtest.h>

#include "ScriptedWindow.h"
#include "engine/Download.h"
#include "engine/Timing.h"
#include "engine/ErrorTexts.h"
#include "store/FileServices.h"
#include "store/ListFile.h"
#include "support/HttpGet.h"
#include "support/TempFolder.h"

namespace {

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
        folder_ = downloads_.path();
        list_ = std::make_unique<DownloadList>(window_, data_ / L"downloads.lst",
                                               QueueSettings{&folder_, &connections_, &maxDownloads_, &ignoreCert_},
                                               [this] { return clock_; });
    }
    void TearDown() override {
        if (list_) list_->Exit();
        zeb::setTimingForTests(zeb::Timing());
    }
    std::wstring Url(const std::wstring& name, int64_t size, const std::wstring& extra = L"") const {
        return Server() + L"/file/" + name + L"?size=" + std::to_wstring(size) + (extra.empty() ? L"" : L"&" + extra);
    }
    static DownloadRequest Req(const std::wstring& url) {
        DownloadRequest r;
        r.url = url;
        return r;
    }
    bool Add(const std::wstring& url) { return list_->AddDownload(Req(url), folder_); }
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
    std::string ListFile() const { return ReadWholeFile(data_ / L"downloads.lst", 1u << 26); }
    // How many status texts shown so far end with `tail` (a link, a name, an error).
    long Statuses(const std::wstring& tail) const {
        return std::count_if(window_.statuses.begin(), window_.statuses.end(), [&](const std::wstring& s) {
            return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
        });
    }

    ScratchFolder data_, downloads_;
    std::wstring folder_;
    int32_t connections_ = 2, maxDownloads_ = 2;
    bool ignoreCert_ = false;
    uint64_t clock_ = 100000;
    ScriptedWindow window_;
    std::unique_ptr<DownloadList> list_;
};

TEST_F(ListQueue, AdmissionAndTheExactDuplicateRule) {
    EXPECT_FALSE(Add(L"ftp://host.example/f"));
    ASSERT_EQ(window_.errors.size(), 1u);
    EXPECT_NE(window_.errors[0].find(L"ftp://host.example/f"), std::wstring::npos);
    const std::wstring link = Url(L"a.bin", 100, L"hold=1&token=dup");
    ASSERT_TRUE(Add(link));
    EXPECT_EQ(Statuses(link), 1);
    list_->Select(-1);
    EXPECT_FALSE(Add(link));
    EXPECT_EQ(Statuses(link), 1);
    EXPECT_EQ(list_->Selection(), 0);  // the row it already has
    std::wstring upper = link;
    upper.replace(0, 4, L"HTTP");
    EXPECT_TRUE(Add(upper));  // the comparison is exact
    EXPECT_TRUE(Add(link + L"&x"));
    EXPECT_EQ(list_->Entries().size(), 3u);
    HttpRelease(L"dup");
}

TEST_F(ListQueue, CompletedRowDoesNotBlockTheSameLink) {
    const std::wstring link = Url(L"c.bin", 1000);
    ASSERT_TRUE(Add(link));
    ASSERT_TRUE(TickUntil([&] { return State(0) == DownloadState::Completed; }));
    EXPECT_TRUE(Add(link));
    EXPECT_EQ(list_->Entries().size(), 2u);
}

TEST_F(ListQueue, StrictListOrderUnderTheLimit) {
    maxDownloads_ = 2;
    // All four are held by the server; row 0 is released first.
    for (const wchar_t* t : {L"q0", L"q1", L"q2", L"q3"}) Add(Url(std::wstring(t) + L".bin", 100, L"hold=1&token=" + std::wstring(t)));
    list_->QueueTick();
    EXPECT_TRUE(list_->Entries()[0].job->running() && list_->Entries()[1].job->running());
    EXPECT_TRUE(State(2) == DownloadState::Queued && State(3) == DownloadState::Queued);
    HttpRelease(L"q0");
    ASSERT_TRUE(TickUntil([&] { return State(0) == DownloadState::Completed; }));
    list_->QueueTick();
    EXPECT_TRUE(list_->Entries()[2].job->running());  // the third starts, not the fourth
    EXPECT_EQ(State(3), DownloadState::Queued);
    for (const wchar_t* t : {L"q1", L"q2", L"q3"}) HttpRelease(t);
}

TEST_F(ListQueue, FinishAndFailureAreAnnouncedOnce) {
    Add(Url(L"ok.bin", 500));
    const std::wstring bad = Url(L"bad.bin", 500, L"probe_status=404");
    Add(bad);
    ASSERT_TRUE(TickUntil([&] {
        return State(0) == DownloadState::Completed && State(1) == DownloadState::Failed;
    }));
    for (int i = 0; i < 5; ++i) list_->QueueTick();
    EXPECT_EQ(window_.beeps, 1);
    EXPECT_EQ(Statuses(L" ok.bin"), 1);
    EXPECT_EQ(Statuses(bad + L" \u2014 " + zeb::httpStatusText(404)), 1);  // no name yet: the link
}

TEST_F(ListQueue, SkippedLinksAndOneSaveForABatch) {
    Add(Url(L"dup.bin", 100, L"hold=1&token=b"));
    DownloadRequest media = Req(Url(L"v.mp4", 100));
    media.media = true;
    list_->AddRequests({media, Req(L"ftp://x.example/f"), Req(Url(L"dup.bin", 100, L"hold=1&token=b"))});
    EXPECT_EQ(list_->Entries().size(), 1u);
    EXPECT_EQ(window_.Status().rfind(L"2 ", 0), 0u);  // the count of skipped links
    std::vector<DownloadRequest> many;
    for (int i = 0; i < 300; ++i) many.push_back(Req(Url(L"m" + std::to_wstring(i) + L".bin", 10, L"hold=1&token=m")));
    maxDownloads_ = 1;
    list_->AddRequests(many);
    EXPECT_EQ(list_->Entries().size(), 301u);
    EXPECT_NE(ListFile().find("m299.bin"), std::string::npos);
    HttpRelease(L"b");
    HttpRelease(L"m");
}

TEST_F(ListQueue, ClearFinishedCountsAndKeepsFiles) {
    list_->ClearFinished();
    EXPECT_EQ(window_.Status().rfind(L"0 ", 0), 0u);
    Add(Url(L"k1.bin", 100));
    Add(Url(L"k2.bin", 100));
    ASSERT_TRUE(TickUntil([&] { return State(0) == DownloadState::Completed && State(1) == DownloadState::Completed; }));
    list_->ClearFinished();
    EXPECT_EQ(window_.Status().rfind(L"2 ", 0), 0u);
    EXPECT_TRUE(list_->Entries().empty());
    EXPECT_EQ(list_->Selection(), -1);
    EXPECT_EQ(ScratchFolder::List(folder_).size(), 2u);
    EXPECT_EQ(ListFile(), "ZEBLIST 1\r\n");
}

TEST_F(ListQueue, RemovalQuestionsAndTheirAnswers) {
    Add(Url(L"done.bin", 100));
    ASSERT_TRUE(TickUntil([&] { return State(0) == DownloadState::Completed; }));
    list_->RemoveDownload(0);  // dialog closed: nothing happens
    EXPECT_EQ(list_->Entries().size(), 1u);
    EXPECT_NE(window_.questions.back().find(folder_ + L"\\done.bin"), std::wstring::npos);  // names the file
    window_.removalAnswers.push_back(FinishedRemoval::DeleteFile);
    list_->RemoveDownload(0);
    EXPECT_TRUE(list_->Entries().empty());
    EXPECT_TRUE(ScratchFolder::List(folder_).empty());

    Add(Url(L"held.bin", 100, L"hold=1&token=rq"));
    window_.confirmAnswers.push_back(false);
    const size_t asked = window_.questions.size();
    list_->RemoveDownload(0);
    EXPECT_EQ(list_->Entries().size(), 1u);
    EXPECT_EQ(window_.questions.size(), asked + 1);
    // The row vanishes while the question is open: nothing more happens.
    window_.confirmAnswers.push_back(true);
    window_.duringQuestion = [&] { list_->EraseEntry(0); };
    list_->RemoveDownload(0);
    window_.duringQuestion = nullptr;
    EXPECT_TRUE(list_->Entries().empty());
    HttpRelease(L"rq");
}

TEST_F(ListQueue, SelectionAfterErase) {
    for (int i = 0; i < 3; ++i) Add(Url(L"s" + std::to_wstring(i) + L".bin", 10, L"hold=1&token=s"));
    // The last row selected and erased: the one before it; an earlier row erased: the selection follows its row.
    for (auto [select, erase, after] : std::initializer_list<std::tuple<int, int, int>>{{2, 2, 1}, {1, 0, 0}, {0, 0, -1}}) {
        list_->Select(select);
        list_->EraseEntry(erase);
        EXPECT_EQ(list_->Selection(), after);
    }
    EXPECT_GE(window_.hoverResets, 3);
    HttpRelease(L"s");
}

TEST_F(ListQueue, RemovedRunningJobKeepsItsSlotAndBlocksTheSameLink) {
    maxDownloads_ = 1;
    const std::wstring slow = Url(L"slow.bin", 8 << 20, L"rate=400000");
    Add(slow);
    Add(Url(L"next.bin", 100));
    ASSERT_TRUE(TickUntil([&] { return State(0) == DownloadState::Downloading; }));
    window_.confirmAnswers.push_back(true);
    list_->RemoveDownload(0);
    ASSERT_EQ(list_->Entries().size(), 1u);
    // The removed job's thread is still ending: it holds the one slot...
    list_->StartQueued();
    // ...and the same link cannot adopt its partial file meanwhile.
    EXPECT_FALSE(Add(slow));
    ASSERT_TRUE(TickUntil([&] { return State(0) == DownloadState::Completed; }));
    EXPECT_TRUE(Add(slow));
}

TEST_F(ListQueue, SignatureRuleProgressAloneWritesNothing) {
    Add(Url(L"sig.bin", 3 << 19, L"rate=1000000"));
    ASSERT_TRUE(TickUntil([&] { return State(0) == DownloadState::Downloading; }));
    WriteFileAtomic(data_ / L"downloads.lst", "marker");
    const int64_t before = list_->Entries()[0].cached.doneBytes;
    ASSERT_TRUE(TickUntil([&] { return list_->Entries()[0].cached.doneBytes > before + 200000; }));
    EXPECT_EQ(ListFile(), "marker");  // progress flowed, no write
    ASSERT_TRUE(TickUntil([&] { return State(0) == DownloadState::Completed; }));
    EXPECT_NE(ListFile().find("state=completed"), std::string::npos);  // the state change wrote
}

TEST_F(ListQueue, FailedWriteIsRetriedAtTheNextTick) {
    const std::wstring path = data_ / L"downloads.lst";
    WriteFileAtomic(path, "ZEBLIST 1\r\n");
    HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    Add(Url(L"w.bin", 10, L"hold=1&token=w"));
    EXPECT_EQ(ListFile(), "ZEBLIST 1\r\n");  // the rename was refused
    CloseHandle(lock);
    list_->QueueTick();
    EXPECT_NE(ListFile().find("w.bin"), std::string::npos);
    HttpRelease(L"w");
}

TEST_F(ListQueue, RestartShowsUnfinishedRowsPausedAndStartsNothing) {
    Add(Url(L"r1.bin", 8 << 20, L"rate=500000"));
    Add(Url(L"r2.bin", 100, L"hold=1&token=r2"));
    maxDownloads_ = 1;
    ASSERT_TRUE(TickUntil([&] { return State(0) == DownloadState::Downloading; }));
    HttpRelease(L"r2");
    list_->Exit();
    list_.reset();
    ScriptedWindow second;
    DownloadList again(second, data_ / L"downloads.lst", QueueSettings{&folder_, &connections_, &maxDownloads_, &ignoreCert_},
                       [this] { return clock_; });
    again.Load();
    ASSERT_EQ(again.Entries().size(), 2u);
    EXPECT_EQ(again.Entries()[0].cached.state, DownloadState::Paused);
    EXPECT_EQ(again.Entries()[1].cached.state, DownloadState::Paused);
    again.QueueTick();
    EXPECT_FALSE(again.Entries()[0].job->running());
    EXPECT_EQ(second.beeps, 0);
    EXPECT_TRUE(second.statuses.empty());
    again.Exit();
}

TEST_F(ListQueue, DamagedListIsKeptBesideBeforeTheFirstWrite) {
    const std::wstring path = data_ / L"downloads.lst";
    WriteFileAtomic(path, "not a list at all, but someone's data");
    ScriptedWindow w;
    DownloadList damaged(w, path, QueueSettings{&folder_, &connections_, &maxDownloads_, &ignoreCert_});
    damaged.Load();
    damaged.Exit();  // the forced save is the first write
    EXPECT_EQ(ReadWholeFile(path + L".bak", 1000), "not a list at all, but someone's data");
    EXPECT_EQ(ReadWholeFile(path, 1000), "ZEBLIST 1\r\n");
}

TEST_F(ListQueue, EmptyListWritesNothingUntilTheForcedSave) {
    for (int i = 0; i < 3; ++i) list_->QueueTick();
    EXPECT_EQ(GetFileAttributesW((data_ / L"downloads.lst").c_str()), INVALID_FILE_ATTRIBUTES);
    list_->Exit();
    list_.reset();
    EXPECT_EQ(ReadWholeFile(data_ / L"downloads.lst", 1000), "ZEBLIST 1\r\n");
}

TEST_F(ListQueue, FreeSpaceIsPolledEveryTwoSeconds) {
    list_->QueueTick();
    ASSERT_EQ(window_.freeSpaces.size(), 1u);
    clock_ += 1999;
    list_->QueueTick();
    clock_ += 1;
    EXPECT_EQ(window_.freeSpaces.size(), 1u);  // not asked again yet
    WriteFileAtomic(folder_ + L"\\filler", std::string(1 << 20, 'x'));  // the value changes
    list_->QueueTick();
    EXPECT_EQ(window_.freeSpaces.size(), 2u);
}
TEST_F(ListQueue, PauseAllResumeAllAndToggle) {
    Add(Url(L"t1.bin", 4 << 20, L"rate=500000"));
    ASSERT_TRUE(TickUntil([&] { return State(0) == DownloadState::Downloading; }));
    list_->PauseAll();
    ASSERT_TRUE(TickUntil([&] { return State(0) == DownloadState::Paused; }));
    const std::wstring paused = window_.Status();
    list_->ResumeAll();
    EXPECT_TRUE(list_->Entries()[0].job->running());
    EXPECT_NE(window_.Status(), paused);  // each says what it did
    list_->PauseAll();
    EXPECT_EQ(window_.Status(), paused);
    ASSERT_TRUE(TickUntil([&] { return State(0) == DownloadState::Paused; }));
    list_->ToggleItem(0);  // paused -> queued -> started
    EXPECT_TRUE(list_->Entries()[0].job->running());
    list_->ToggleItem(0);  // running -> asked to stop
    ASSERT_TRUE(TickUntil([&] { return State(0) == DownloadState::Paused; }));
    list_->ToggleItem(5);  // outside the list: nothing
}

TEST_F(ListQueue, ExitBudgetBoundsAJobThatCannotStop) {
    // A probe held by the server cannot be cut short; the exit waits 5 s
    // in all, then saves the row as paused from what it knows.
    DownloadList real(window_, data_ / L"budget.lst", QueueSettings{&folder_, &connections_, &maxDownloads_, &ignoreCert_});
    real.AddDownload(Req(Url(L"stuck1.bin", 100, L"hold=1&hold_ms=9000&token=stuck")), folder_);
    real.AddDownload(Req(Url(L"stuck2.bin", 100, L"hold=1&hold_ms=9000&token=stuck")), folder_);
    real.QueueTick();
    ASSERT_TRUE(real.Entries()[0].job->running());
    // Both probes must be at the server: a job stopped before it asks ends at once.
    const auto held = [] {
        const std::string log = HttpGet(Server() + L"/_log?token=stuck");
        size_t n = 0;
        for (size_t at = log.find("\"path\""); at != std::string::npos; at = log.find("\"path\"", at + 1)) ++n;
        return n;
    };
    for (ULONGLONG end = GetTickCount64() + 10000; held() < 2 && GetTickCount64() < end;) Sleep(20);
    ASSERT_EQ(held(), 2u);
    window_.confirmAnswers.push_back(false);
    EXPECT_FALSE(real.ExitCheck());  // running downloads: asked, and the answer was no
    EXPECT_EQ(window_.questions.size(), 1u);
    const ULONGLONG t0 = GetTickCount64();
    real.Exit();
    const ULONGLONG took = GetTickCount64() - t0;
    EXPECT_GE(took, 4900u);
    EXPECT_LT(took, 6500u);  // one shared budget, not one per job
    const std::string file = ReadWholeFile(data_ / L"budget.lst", 100000);
    EXPECT_EQ(std::count(file.begin(), file.end(), '['), 2);
    EXPECT_EQ(file.find("state=queued"), std::string::npos);
    EXPECT_NE(file.find("state=paused"), std::string::npos);
    HttpRelease(L"stuck");
}
}  // namespace
