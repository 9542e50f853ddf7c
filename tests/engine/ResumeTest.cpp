// Pausing, resuming, removing and restarting jobs: the files beside a
// download, the state file's lines, and bytes that stay exact throughout.
#include "DownloadTestSupport.h"

#include "engine/ErrorTexts.h"
#include "engine/StateFile.h"

namespace {
constexpr int64_t MiB = 1048576;
using Resume = JobTest;


TEST_F(Resume, PauseKeepsTheFilesAndResumeFinishesExactly) {
    const int64_t size = 8 * MiB;
    const std::wstring url = FileUrl(L"p.bin", size, L"rate=1500000");
    auto job = Job(url);
    job->start(4, false);
    PauseAfter(job, 2 * MiB);
    const DownloadInfo paused = job->snapshot(true);
    EXPECT_EQ(std::make_pair(paused.state, paused.errorText), std::make_pair(DownloadState::Paused, std::wstring()));
    EXPECT_EQ(Files(), (std::vector<std::wstring>{L"p.bin.zebpart", L"p.bin.zebstate"}));
    // The partial file is reserved at full length; every byte the state
    // file records as done is already the server's byte.
    const std::string part = Read(L"p.bin.zebpart");
    EXPECT_EQ(part.size(), static_cast<size_t>(size));
    const auto saved = zeb::parseStateText(Read(L"p.bin.zebstate"), url, size);
    ASSERT_TRUE(saved);
    for (const Segment& s : *saved)
        EXPECT_TRUE(part.substr(s.start, s.pos - s.start) == ContentPiece(7, s.start, s.pos));
    job->requeue();
    ASSERT_EQ(Run(job, 4), DownloadState::Completed);
    ExpectContent(L"p.bin", size);
    EXPECT_EQ(Files(), std::vector<std::wstring>{L"p.bin"});
    // The second run asked for the rest of the ranges, not for byte 0 again.
    std::set<int64_t> starts;
    for (const JsonValue& r : Log().elements) {
        const std::string range = Header(r, "Range");
        if (range != "bytes=0-0" && range != "<none>") starts.insert(std::stoll(range.substr(6)));
    }
    int resumed = 0;
    for (const Segment& s : paused.segments) resumed += s.pos > s.start && starts.count(s.pos);
    EXPECT_GE(resumed, 1);
}

TEST_F(Resume, WhatTheStateCannotVouchForStartsOver) {
    // The server's file is 5 000 000 bytes from the second probe on; a gap in the ranges refuses the whole state.
    const std::wstring changed = FileUrl(L"c.bin", 6 * MiB, L"rate=1500000&size2=5000000&size2_from=2"),
                       gap = FileUrl(L"r.bin", 4 * MiB, L"rate=1500000");
    for (const auto& [url, name, size, seed] : {std::tuple{changed, L"c.bin", int64_t{5000000}, 8u}, {gap, L"r.bin", 4 * MiB, 7u}}) {
        auto job = Job(url);
        job->start(2, false);
        PauseAfter(job, MiB);
        if (url == gap)
            WriteFileAtomic(folder_ / L"r.bin.zebstate",
                            "ZEBSTATE 1\r\nurl=" + Utf16ToUtf8(url) + "\r\ntotal=4194304\r\nseg=0,100,100\r\nseg=200,4194304,300\r\n");
        ASSERT_EQ(Run(job, 2), DownloadState::Completed);
        ExpectContent(name, size, seed);
    }
    // Run 1 ranged (paused, state saved); run 2 plain: the partial file is
    // recreated; run 3 ranged again must not trust run 1's ranges.
    token_ += L"fresh";  // the server counts probes (its phases) per token
    auto job = Job(FileUrl(L"s.bin", 6 * MiB, L"rate=2000000&plain_phases=2"));
    job->start(3, false);
    PauseAfter(job, 3 * MiB);
    job->requeue();
    job->start(3, false);
    ASSERT_TRUE(WaitFor(job, [](const DownloadInfo& i) { return Downloading(i) && !i.acceptsRanges; }));
    EXPECT_TRUE(Read(L"s.bin.zebstate").empty());  // gone before any byte of the fresh start
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
    auto keep = Job(FileUrl(L"keep.bin", 100)), drop = Job(FileUrl(L"drop.bin", 100));
    keep->pause();  // a queued job pauses without starting
    EXPECT_EQ(keep->state(), DownloadState::Paused);
    EXPECT_FALSE(keep->running());
    keep->requeue();
    ASSERT_EQ(Run(keep), DownloadState::Completed);
    ASSERT_EQ(Run(drop), DownloadState::Completed);
    keep->requeue();
    keep->start(4, false);  // a finished job does not start again
    EXPECT_EQ(keep->state(), DownloadState::Completed);
    EXPECT_FALSE(keep->running());
    keep->remove(false);  // a finished file goes only when asked
    drop->remove(true);
    EXPECT_EQ(Files(), std::vector<std::wstring>{L"keep.bin"});
}

TEST_F(Resume, FixedNameFinishesUnderTheNextFreeNumber) {
    WriteFileAtomic(folder_ / L"a.zip", "old");
    WriteFileAtomic(folder_ / L"a (1).zip", "old");
    WriteFileAtomic(folder_ / L"a (2).zip.zebpart", "another job's");
    DownloadInfo stored;
    stored.url = FileUrl(L"a.zip", 70000);
    stored.folder = folder_.path();
    stored.fileName = L"a.zip";
    stored.nameFixed = true;
    stored.state = DownloadState::Paused;
    auto job = std::make_shared<zeb::Download>(stored);
    jobs_.push_back(job);
    ASSERT_EQ(Run(job), DownloadState::Completed);
    EXPECT_EQ(job->snapshot(false).fileName, L"a (3).zip");
    ExpectContent(L"a (3).zip", 70000);
    EXPECT_EQ(Read(L"a.zip"), "old");
}

TEST_F(Resume, RenameHeldByAnotherProgramIsRetriedThenFails) {
    // Opened like a scanner would (reading, without delete sharing) while
    // the job finishes: released within the retry time the rename goes
    // through; held for good the job fails and keeps the partial file.
    for (const bool released : {true, false}) {
        const std::wstring name = released ? L"held.iso" : L"stuck.iso";
        auto job = Job(FileUrl(name, 3 * MiB, L"rate=3000000"));
        job->start(1, false);
        HANDLE scanner = INVALID_HANDLE_VALUE;
        ASSERT_TRUE(WaitFor(job, [&](const DownloadInfo& i) {
            scanner = i.doneBytes ? CreateFileW((folder_ / (name + L".zebpart")).c_str(), GENERIC_READ,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr)
                                  : INVALID_HANDLE_VALUE;
            return scanner != INVALID_HANDLE_VALUE;
        }));
        if (released) {  // held for a while after the last byte
            ASSERT_TRUE(WaitFor(job, [](const DownloadInfo& i) { return i.totalSize > 0 && i.doneBytes >= i.totalSize; }));
            Sleep(500);
            CloseHandle(scanner);
        }
        ASSERT_EQ(WaitForSingleObject(job->finishedEvent(), 20000), WAIT_OBJECT_0);
        if (!released) CloseHandle(scanner);
        EXPECT_EQ(job->state(), released ? DownloadState::Completed : DownloadState::Failed) << released;
        // Whole under its name, or kept whole under the partial name.
        EXPECT_TRUE(Read(released ? name : name + L".zebpart") == ContentPiece(7, 0, 3 * MiB)) << released;
        if (!released) {
            EXPECT_EQ(job->snapshot(false).errorText.rfind(zeb::renameFailedText(L""), 0), 0u);
        }
    }
}

TEST_F(Resume, JobsPausedAndResumedOverAndOverKeepEveryoneElsesBytes) {
    // Handles are reused at once: a handle closed from outside its owner
    // could carry another job's bytes into this file.
    std::vector<std::shared_ptr<zeb::Download>> all;
    for (int i = 0; i < 4; ++i) {
        all.push_back(Job(FileUrl(L"j" + std::to_wstring(i) + L".bin", 6 * MiB, L"rate=1500000", 20 + i)));
        all.back()->start(4, false);
    }
    for (int round = 0; round < 6; ++round) {
        // Paused again once new bytes came in since the last start.
        const int64_t before = all[0]->snapshot(false).doneBytes;
        ASSERT_TRUE(WaitFor(all[0], [&](const DownloadInfo& i) {
            return i.doneBytes > before || i.state == DownloadState::Completed;
        }));
        for (int i = 0; i < 2; ++i) {
            all[i]->pause();
            WaitForSingleObject(all[i]->finishedEvent(), 20000);
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

TEST_F(Resume, ProgramWideLimitHoldsAcrossJobs) {
    // Sixteen connections of two jobs share 50 KB/s: reading 64 KiB at a
    // time and throttling only after a read arrived could not go below
    // ~200 KB/s. Lifting the limit applies at once. (bench/ measures the
    // limit closely; this guards its order.)
    zeb::setSpeedLimit(50 * 1024);
    auto a = Job(FileUrl(L"la.bin", 8 * MiB)), b = Job(FileUrl(L"lb.bin", 8 * MiB, L"", 8));
    a->start(8, false);
    b->start(8, false);
    ASSERT_TRUE(WaitFor(a, Downloading) && WaitFor(b, Downloading));
    const auto done = [&] { return a->snapshot(false).doneBytes + b->snapshot(false).doneBytes; };
    Sleep(500);
    const int64_t before = done();
    Sleep(3000);
    EXPECT_NEAR(static_cast<double>(done() - before) / 3.0 / (50 * 1024), 1.0, 0.25);
    zeb::setSpeedLimit(0);
    ASSERT_EQ(WaitForSingleObject(a->finishedEvent(), 30000), WAIT_OBJECT_0);
    ASSERT_EQ(WaitForSingleObject(b->finishedEvent(), 30000), WAIT_OBJECT_0);
    ExpectContent(L"la.bin", 8 * MiB);
    ExpectContent(L"lb.bin", 8 * MiB, 8);
}

TEST_F(Resume, NoRenameOnceRenamesAreFrozenAndTheNextStartOnlyRenames) {
    // At exit the list saves unfinished rows as paused; a job finishing
    // after that keeps its partial file and a state that says so, and the
    // next start renames it without asking the server (its link may be gone).
    const struct {
        const wchar_t* query;
        int64_t size;
    } cases[] = {{L"rate=3000000", 3 * MiB}, {L"ranges=0&rate=3000000", 3 * MiB}, {L"body=nolength", 400000}};
    int i = 0;
    for (const auto& c : cases) {
        const std::wstring name = L"frozen" + std::to_wstring(i++) + L".bin";
        auto job = Job(FileUrl(name, c.size, c.query));
        job->start(2, false);
        ASSERT_TRUE(WaitFor(job, [](const DownloadInfo& d) { return d.doneBytes > 0; }));
        zeb::freezeFinalRenames(true);
        const bool ended = WaitForSingleObject(job->finishedEvent(), 20000) == WAIT_OBJECT_0;
        zeb::freezeFinalRenames(false);
        ASSERT_TRUE(ended);
        EXPECT_EQ(job->state(), DownloadState::Paused) << ::testing::PrintToString(name);
        EXPECT_TRUE(job->snapshot(false).errorText.empty());
        EXPECT_EQ(Read(name + L".zebpart"), ContentPiece(7, 0, c.size));
        const size_t requests = Log().elements.size();
        job->requeue();
        ASSERT_EQ(Run(job, 2), DownloadState::Completed) << ::testing::PrintToString(name);
        ExpectContent(name, c.size);
        EXPECT_EQ(Log().elements.size(), requests) << ::testing::PrintToString(name);
    }
    EXPECT_EQ(Files(), (std::vector<std::wstring>{L"frozen0.bin", L"frozen1.bin", L"frozen2.bin"}));
}

}  // namespace
