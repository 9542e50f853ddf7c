// Pausing, resuming, removing and restarting jobs: the files beside a
// download, the state file's lines, and bytes that stay exact throughout.
#include "DownloadTestSupport.h"

#include "engine/Error.h"
#include "engine/ErrorTexts.h"
#include "engine/StateFile.h"
#include "engine/Segments.h"
#include "engine/Timing.h"
#include "store/Handles.h"

#include <optional>

namespace {
constexpr int64_t MiB = 1048576;
using Resume = JobTest;


TEST_F(Resume, PauseKeepsTheFilesAndResumeFinishesExactly) {
    const int64_t size = 8 * MiB;
    // A link with a password: it stays out of the state file, and the resume still finds its state.
    std::wstring link = FileUrl(L"p.bin", size, L"rate=1500000");
    link.insert(link.find(L"//") + 2, L"ann:Tide-s3cret-7781@");
    auto job = Job(link);
    job->start(4, false);
    PauseAfter(job, 2 * MiB);
    const DownloadInfo paused = job->snapshot(true);
    EXPECT_EQ(std::make_pair(paused.state, paused.errorText), std::make_pair(DownloadState::Paused, std::wstring()));
    EXPECT_EQ(Files(), (std::vector<std::wstring>{L"p.bin.zebpart", L"p.bin.zebstate"}));
    EXPECT_EQ(Read(L"p.bin.zebstate").find("Tide-s3cret"), std::string::npos);
    // (That the ranges a state records hold the server's bytes: test_engine_world, after a kill and a full disk.)
    job->requeue();
    ASSERT_EQ(Run(job, 4), DownloadState::Completed);
    ExpectContent(L"p.bin", size);
    EXPECT_EQ(Files(), std::vector<std::wstring>{L"p.bin"});
    // The second run asked for the rest of the ranges only: a start from byte 0
    // would have the server send all it sent before the pause once more.
    EXPECT_LT(SentBytes(), size + paused.doneBytes);
}

TEST_F(Resume, WhatTheStateCannotVouchForStartsOver) {
    // The server's file is 5 000 000 bytes from the second probe on: the saved ranges are another file's.
    // (A state the reader refuses for its own lines is the same case: EngineRulesTest.)
    auto changed = Job(FileUrl(L"c.bin", 6 * MiB, L"rate=1500000&size2=5000000&size2_from=2"));
    changed->start(2, false);
    PauseAfter(changed, MiB);
    ASSERT_EQ(Run(changed, 2), DownloadState::Completed);
    ExpectContent(L"c.bin", 5000000, 8);
    // Run 1 ranged (paused, state saved); run 2 plain: the partial file is
    // recreated; run 3 ranged again must not trust run 1's ranges.
    token_ += L"fresh";  // the server counts probes (its phases) per token
    auto job = Job(FileUrl(L"s.bin", 6 * MiB, L"rate=2000000&plain_phases=2"));
    job->start(3, false);
    PauseAfter(job, 3 * MiB);
    job->requeue();
    job->start(3, false);
    ASSERT_TRUE(WaitFor(job, [](const DownloadInfo& i) { return Downloading(i) && !i.acceptsRanges; }));
    // Before any byte of the fresh start, the state records nothing done.
    const auto table = zeb::parseStateText(Read(L"s.bin.zebstate"), job->snapshot(false).url, 6 * MiB);
    EXPECT_TRUE(table && zeb::doneBytesOf(*table) == 0);
    PauseAfter(job, 1);
    job->requeue();
    ASSERT_EQ(Run(job, 3), DownloadState::Completed);
    ExpectContent(L"s.bin", 6 * MiB);
}

TEST_F(Resume, APauseDuringTheProbeRemovalAndTheOperationsThatMustDoNothing) {
    auto held = Job(FileUrl(L"held.bin", 1000, L"hold=1"));
    held->start(2, false);
    ASSERT_TRUE(WaitFor(held, [&](const DownloadInfo&) { return !Log().elements.empty(); }));  // held at the server
    held->pause();
    Release();  // the blocked probe returns (on Windows, too, it now waits for its answer)
    ASSERT_EQ(WaitForSingleObject(held->finishedEvent(), 10000), WAIT_OBJECT_0);
    EXPECT_EQ(std::make_pair(held->state(), held->snapshot(false).errorText), std::make_pair(DownloadState::Paused, std::wstring()));
    EXPECT_TRUE(Files().empty());
    auto running = Job(FileUrl(L"rm.bin", 8 * MiB, L"rate=1000000"));
    running->start(4, false);
    ASSERT_TRUE(WaitFor(running, [&](const DownloadInfo&) { return !Read(L"rm.bin.zebstate").empty(); }));
    running->remove(false);  // removed while running: the partial files go
    ASSERT_EQ(WaitForSingleObject(running->finishedEvent(), 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(Files().empty());
    running->start(4, false);  // a removed job never starts again
    EXPECT_FALSE(running->running());
    auto keep = Job(FileUrl(L"keep.bin", 100));
    keep->pause();  // a queued job pauses without starting
    EXPECT_EQ(std::make_pair(keep->state(), keep->running()), std::make_pair(DownloadState::Paused, false));
    keep->requeue();
    ASSERT_EQ(Run(keep), DownloadState::Completed);
    keep->requeue();
    keep->start(4, false);  // a finished job does not start again
    EXPECT_EQ(std::make_pair(keep->state(), keep->running()), std::make_pair(DownloadState::Completed, false));
    keep->remove(false);  // a finished file goes only when asked (and then goes: ListTest)
    EXPECT_EQ(Files(), std::vector<std::wstring>{L"keep.bin"});
}

TEST_F(Resume, AStopRightAfterThePartialFileExistsLeavesItToTheSameRow) {
    // Catches the orphan a kill or a power cut left: a partial file that nothing named as the
    // row's, so the next start chose a numbered name beside it and it stayed for good.
    for (const std::wstring query : {L"", L"ranges=0", L"body=chunked"}) {  // ranged, no ranges, size unknown
        token_ += L"o";
        const std::wstring name = L"cut" + std::to_wstring(token_.size()) + L".bin";
        zeb::Timing cut = FastTiming();
        cut.partFileCreated = [] { throw zeb::Error{}; };
        zeb::setTimingForTests(cut);
        EXPECT_EQ(Run(Job(FileUrl(name, 300000, query))), DownloadState::Failed);
        zeb::setTimingForTests(FastTiming());
        auto again = Job(FileUrl(name, 300000, query));  // the same row at the next start
        ASSERT_EQ(Run(again), DownloadState::Completed);
        EXPECT_EQ(again->snapshot(false).fileName, name);
        ExpectContent(name, 300000);
    }
    EXPECT_EQ(Files().size(), 3u);  // the finished files alone
}

TEST_F(Resume, FixedNameFinishesUnderTheNextFreeNumber) {
    for (const wchar_t* taken : {L"a.zip", L"a (1).zip", L"a (2).zip.zebpart"}) WriteFileAtomic(folder_ / taken, "old");  // the last another job's
    auto job = StoredJob(FileUrl(L"a.zip", 70000), L"a.zip");
    ASSERT_EQ(Run(job), DownloadState::Completed);
    EXPECT_EQ(job->snapshot(false).fileName, L"a (3).zip");
    ExpectContent(L"a (3).zip", 70000);
    EXPECT_EQ(Read(L"a.zip"), "old");
}

TEST_F(Resume, JobsPausedAndResumedOverAndOverKeepEveryoneElsesBytes) {
    // Handles are reused at once: a handle closed from outside its owner
    // could carry another job's bytes into this file.
    for (int i = 0; i < 4; ++i) Job(FileUrl(L"j" + std::to_wstring(i) + L".bin", 6 * MiB, L"rate=1500000", 20 + i))->start(4, false);
    const auto& all = jobs_;
    for (int round = 0; round < 6; ++round) {
        // Paused again once new bytes came in since the last start.
        const int64_t before = all[0]->snapshot(false).doneBytes;
        ASSERT_TRUE(WaitFor(all[0], [&](const DownloadInfo& i) {
            return i.doneBytes > before || i.state == DownloadState::Completed;
        }));
        for (int i = 0; i < 2; ++i) {
            PauseAfter(all[i], 0);
            all[i]->requeue();
            all[i]->start(4, false);
        }
    }
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(WaitForSingleObject(all[i]->finishedEvent(), 60000), WAIT_OBJECT_0);
        ASSERT_EQ(all[i]->state(), DownloadState::Completed) << i;
        ExpectContent(L"j" + std::to_wstring(i) + L".bin", 6 * MiB, 20 + i);
    }
}

TEST_F(Resume, TheSpeedLimitBoundsEveryReadIsSharedByAllJobsAndLiftsAtOnce) {
    // At 20 bytes a second a grant is a byte or two: a read that took what the socket held, or a
    // grant of a whole buffer, would bring kilobytes at once. Then a budget per job, which fetches
    // the bytes of two jobs in half the time (a lower bound only: a loaded machine makes the jobs
    // slower, never faster). (The budget's arithmetic over time: EngineRulesTest's simulation;
    // how closely real downloads keep to it: bench/.)
    zeb::setSpeedLimit(20);
    const auto jobs = {Job(FileUrl(L"share1.bin", MiB)), Job(FileUrl(L"share2.bin", MiB, L"", 8))};
    for (const auto& job : jobs) job->start(2, false);
    ASSERT_TRUE(WaitFor(jobs.begin()[0], [](const DownloadInfo& i) { return i.doneBytes > 0; }));
    EXPECT_LT(jobs.begin()[0]->snapshot(false).doneBytes + jobs.begin()[1]->snapshot(false).doneBytes, 4096);
    const int64_t limit = 2 * MiB;  // bytes a second, for 2 MiB in all
    zeb::setSpeedLimit(limit);
    const double t0 = zeb::now();
    for (const auto& job : jobs) ASSERT_EQ(WaitForSingleObject(job->finishedEvent(), 30000), WAIT_OBJECT_0);
    EXPECT_GE(zeb::now() - t0, 0.8 * 2 * MiB / limit);
    zeb::setSpeedLimit(0);
    ExpectContent(L"share1.bin", MiB), ExpectContent(L"share2.bin", MiB, 8);
}

// The seams' state: hooks are plain functions.
std::optional<zeb::FinishStep> g_cutAt;   // a kill at this step of the finish
std::wstring g_holdPath;                  // or a scanner that opens this file there
bool g_freeze = false;                    // or the exit freezing renames there
HANDLE g_scanner = INVALID_HANDLE_VALUE;
KernelHandle g_atStep(CreateEventW(nullptr, TRUE, FALSE, nullptr));
std::shared_ptr<zeb::Download> g_restart, g_pause;  // the jobs a race acts on

void AtFinishStep(zeb::FinishStep step) {
    if (step != g_cutAt) return;
    if (g_freeze) return zeb::freezeFinalRenames(true);
    if (auto job = std::exchange(g_pause, nullptr)) return job->pause();
    if (g_holdPath.empty()) throw zeb::Error{L"cut", ErrorKind::Local};
    g_scanner = CreateFileW(g_holdPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    SetEvent(g_atStep.get());
}

TEST_F(Resume, ACutOffAnywhereInTheFinishNeitherFetchesAgainNorMakesANumberedCopy) {
    // Catches: a kill after the rename but before the list recorded the finish fetching the file
    // again under a numbered name beside the finished one; a kill in the long verify pass fetching
    // the last bytes again; a pause while a scanner holds the partial file at the rename leaving no
    // state for a download without ranges, so the next start fetched it all again. Each time the
    // next start (the row as the list file last had it) makes no request at all. A scanner that
    // lets go within the retry time is waited for; one that holds on fails the row, the partial
    // file kept whole. Renames frozen by the exit (which has saved the list) end the job paused,
    // whatever the download's kind, and the next start only renames; so does a pause that stops
    // the verify pass.
    zeb::Timing t = FastTiming();
    t.atFinishStep = AtFinishStep;
    zeb::setTimingForTests(t);
    using S = zeb::FinishStep;
    enum class Held { No, ThenPaused, LetGo, ForGood, Frozen, Paused };
    const struct { std::optional<S> at; const wchar_t* query; Held held; DownloadState end; } cases[] = {
        {S::Recorded, L"", Held::No, DownloadState::Failed}, {S::Verified, L"", Held::No, DownloadState::Failed},
        {S::NamesFinal, L"", Held::No, DownloadState::Failed}, {S::Renamed, L"", Held::No, DownloadState::Failed},
        {std::nullopt, L"", Held::No, DownloadState::Completed},  // the list file never heard of the finish
        {S::NamesFinal, L"&ranges=0", Held::ThenPaused, DownloadState::Paused},
        {S::NamesFinal, L"", Held::LetGo, DownloadState::Completed}, {S::NamesFinal, L"", Held::ForGood, DownloadState::Failed},
        {S::Verified, L"", Held::Frozen, DownloadState::Paused}, {S::Verified, L"&ranges=0", Held::Frozen, DownloadState::Paused},
        {S::Verified, L"&body=nolength", Held::Frozen, DownloadState::Paused},
        {S::Recorded, L"", Held::Paused, DownloadState::Paused}};  // with the file's checksum: verified again
    const std::wstring sum = Utf8ToUtf16(HttpGet(Server() + L"/_sha256?size=3145728&seed=7"));
    std::vector<std::wstring> names;
    for (const auto& c : cases) {
        const std::wstring name = names.emplace_back(L"cut" + std::to_wstring(jobs_.size()) + L".bin");
        SCOPED_TRACE(::testing::PrintToString(name));
        g_cutAt = c.at;
        g_freeze = c.held == Held::Frozen;
        g_holdPath = c.held == Held::ThenPaused || c.held == Held::LetGo || c.held == Held::ForGood ? folder_ / (name + L".zebpart") : L"";
        ResetEvent(g_atStep.get());
        const std::wstring url = FileUrl(name, 3 * MiB, std::wstring(L"rate=4000000") + c.query) +
                                 (c.held == Held::Paused ? L"#sha256=" + sum : L"");
        auto job = Job(url);
        if (c.held == Held::Paused) g_pause = job;
        job->start(2, false);
        if (!g_holdPath.empty()) { ASSERT_EQ(WaitForSingleObject(g_atStep.get(), 20000), WAIT_OBJECT_0); }
        if (c.held == Held::ThenPaused) job->pause();
        if (c.held == Held::LetGo) CloseHandle(g_scanner);
        const bool ended = WaitForSingleObject(job->finishedEvent(), 20000) == WAIT_OBJECT_0;
        zeb::freezeFinalRenames(false);
        ASSERT_TRUE(ended);
        EXPECT_EQ(job->state(), c.end);
        if (c.held == Held::ForGood) {
            EXPECT_TRUE(job->snapshot(false).errorText.starts_with(zeb::renameFailedText(L"")) && Read(name + L".zebpart") == ContentPiece(7, 0, 3 * MiB));
        }
        if (c.held == Held::ThenPaused || c.held == Held::ForGood) CloseHandle(g_scanner);
        g_cutAt.reset();
        const size_t requests = Log().elements.size();
        auto again = StoredJob(url, name);
        ASSERT_EQ(Run(again), DownloadState::Completed);
        ExpectContent(name, 3 * MiB);
        EXPECT_EQ(again->snapshot(false).sha256, sum);
        EXPECT_EQ(Log().elements.size(), requests);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(Files(), names);  // one copy each, nothing beside it
}

TEST_F(Resume, AStateThatCannotBeReadWholeKeepsThePartialFile) {
    // Catches a state file past the read limit (a file of hundreds of GiB) taken for none, the
    // partial file recreated over the bytes it describes.
    const std::wstring url = FileUrl(L"huge.bin", MiB);
    WriteFileAtomic(folder_ / L"huge.bin.zebpart", std::string(MiB, 'k'));
    WriteFileAtomic(folder_ / L"huge.bin.zebstate", zeb::buildStateText(url, MiB, {Segment{0, MiB, 5}}) + std::string(5 * MiB, ' '));
    auto job = StoredJob(url, L"huge.bin");
    ASSERT_EQ(Run(job), DownloadState::Failed);
    EXPECT_EQ(std::make_pair(job->snapshot(false).errorKind, Read(L"huge.bin.zebpart")), std::make_pair(ErrorKind::Disk, std::string(MiB, 'k')));
}

TEST_F(Resume, APauseOrARestartThatMeetsTheJobsOwnEndIsNotLost) {
    // Catches: the end of a run signalled after a start that came right behind it (the exit then
    // took a running job for ended); a pause landing while a changed file makes the job start over,
    // cleared with the stop that asked for the restart (the job went on to the end).
    zeb::Timing t = FastTiming();
    t.afterJobEnded = [] { if (auto job = std::exchange(g_restart, nullptr)) job->start(2, false); };
    t.beforeStartingOver = [] { if (auto job = std::exchange(g_pause, nullptr)) job->pause(); };
    zeb::setTimingForTests(t);
    auto restarted = Job(FileUrl(L"again.bin", 3 * MiB, L"rate=3000000"));
    g_restart = restarted;
    restarted->start(2, false);
    restarted->pause();  // the run ends; the hook starts the next one
    ASSERT_TRUE(WaitFor(restarted, [](const DownloadInfo&) { return !g_restart; }));
    ASSERT_EQ(WaitForSingleObject(restarted->finishedEvent(), 20000), WAIT_OBJECT_0);
    EXPECT_EQ(std::make_pair(restarted->running(), restarted->state()), std::make_pair(false, DownloadState::Completed));
    token_ += L"c";  // the server counts this file's requests afresh
    auto changed = Job(FileUrl(L"changed.bin", 4 * MiB, L"rate=2000000&replace_after=3&validators=etag"));
    g_pause = changed;
    EXPECT_EQ(Run(changed), DownloadState::Paused);
    g_pause.reset();
}

}  // namespace
