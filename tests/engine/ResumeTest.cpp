// Pausing, resuming, removing and restarting jobs: the files beside a
// download, the state file's lines, and bytes that stay exact throughout.
#include "DownloadTestSupport.h"

#include "support/Language.h"
#include "engine/StateFile.h"

namespace {
constexpr int64_t MiB = 1048576;
using Resume = JobTest;

// Pauses the job once it has at least `bytes` on disk.
void PauseAfter(const std::shared_ptr<zeb::Download>& job, int64_t bytes) {
    ASSERT_TRUE(JobTest::WaitFor(job, [bytes](const DownloadInfo& i) { return i.doneBytes >= bytes; }));
    job->pause();
    ASSERT_EQ(WaitForSingleObject(job->finishedEvent(), 20000), WAIT_OBJECT_0);
}

// The first byte of every worker range the server was asked for.
std::vector<int64_t> RangeStarts(const JsonValue& log) {
    std::vector<int64_t> starts;
    for (const JsonValue& r : log.elements) {
        const std::string range = JobTest::Header(r, "Range");
        if (range == "bytes=0-0" || range == "<none>") continue;
        starts.push_back(std::stoll(range.substr(6)));
    }
    return starts;
}

TEST_F(Resume, PauseKeepsTheFilesAndResumeFinishesExactly) {
    const int64_t size = 8 * MiB;
    const std::wstring url = FileUrl(L"p.bin", size, L"rate=1500000");
    auto job = Job(url);
    job->start(4, false);
    PauseAfter(job, 2 * MiB);
    EXPECT_EQ(job->state(), DownloadState::Paused);
    const DownloadInfo paused = job->snapshot(true);
    EXPECT_TRUE(paused.errorText.empty());
    EXPECT_EQ(Files(), (std::vector<std::wstring>{L"p.bin.zebpart", L"p.bin.zebstate"}));
    EXPECT_EQ(Read(L"p.bin.zebpart").size(), static_cast<size_t>(size));  // reserved at full length
    // The state file records exactly the paused table.
    const std::string state = Read(L"p.bin.zebstate");
    EXPECT_EQ(state, zeb::buildStateText(url, size, paused.segments));
    EXPECT_EQ(state.rfind("ZEBSTATE 1\r\nurl=" + Utf16ToUtf8(url) + "\r\ntotal=8388608\r\netag=\r\nmodified=\r\nseg=", 0), 0u);
    // Every byte recorded as done is already the server's byte.
    const std::string part = Read(L"p.bin.zebpart");
    for (const Segment& s : paused.segments)
        EXPECT_TRUE(part.substr(s.start, s.pos - s.start) == ContentPiece(7, s.start, s.pos));

    job->requeue();
    EXPECT_EQ(job->state(), DownloadState::Queued);
    ASSERT_EQ(Run(job, 4), DownloadState::Completed);
    ExpectContent(L"p.bin", size);
    EXPECT_EQ(Files(), std::vector<std::wstring>{L"p.bin"});
    // The second run asked for the rest of each range, not for byte 0 again.
    const std::vector<int64_t> starts = RangeStarts(Log());
    int resumed = 0;
    for (const Segment& s : paused.segments)
        if (s.pos > s.start && std::count(starts.begin(), starts.end(), s.pos)) ++resumed;
    EXPECT_GE(resumed, 1);
}

TEST_F(Resume, ChangedTotalStartsOver) {
    auto job = Job(FileUrl(L"c.bin", 6 * MiB, L"rate=1500000&size2=5000000&size2_from=2"));
    job->start(2, false);
    PauseAfter(job, MiB);
    ASSERT_EQ(Run(job, 2), DownloadState::Completed);  // the server's file is now 5 000 000 bytes
    ExpectContent(L"c.bin", 5000000, 8);
}

TEST_F(Resume, RejectedStateFileStartsOver) {
    const std::wstring url = FileUrl(L"r.bin", 4 * MiB, L"rate=1500000");
    auto job = Job(url);
    job->start(2, false);
    PauseAfter(job, MiB);
    // A gap in the ranges: the whole state is refused.
    WriteFileAtomic(folder_ / L"r.bin.zebstate",
                    "ZEBSTATE 1\r\nurl=" + Utf16ToUtf8(url) + "\r\ntotal=4194304\r\nseg=0,100,100\r\nseg=200,4194304,300\r\n");
    ASSERT_EQ(Run(job, 2), DownloadState::Completed);
    ExpectContent(L"r.bin", 4 * MiB);
}

TEST_F(Resume, FreshStartDropsTheOldStateFile) {
    // Run 1 ranged (paused, state saved); run 2 plain: the partial file is
    // recreated; run 3 ranged again must not trust run 1's ranges.
    auto job = Job(FileUrl(L"s.bin", 6 * MiB, L"rate=2000000&plain_phases=2"));
    job->start(3, false);
    PauseAfter(job, 3 * MiB);
    job->requeue();
    job->start(3, false);
    ASSERT_TRUE(WaitFor(job, [](const DownloadInfo& i) { return i.state == DownloadState::Downloading && !i.acceptsRanges; }));
    EXPECT_TRUE(Read(L"s.bin.zebstate").empty());  // gone before any byte of the fresh start
    PauseAfter(job, 1);
    job->requeue();
    ASSERT_EQ(Run(job, 3), DownloadState::Completed);
    ExpectContent(L"s.bin", 6 * MiB);
}

TEST_F(Resume, PauseDuringTheProbeEndsPausedWithoutText) {
    auto job = Job(FileUrl(L"held.bin", 1000, L"hold=1"));
    job->start(2, false);
    ASSERT_TRUE(WaitFor(job, [](const DownloadInfo& i) { return i.state == DownloadState::Connecting; }));
    Sleep(100);
    job->pause();
    Release();  // the blocked probe returns (on Windows, too, it now waits for its answer)
    ASSERT_EQ(WaitForSingleObject(job->finishedEvent(), 10000), WAIT_OBJECT_0);
    EXPECT_EQ(job->state(), DownloadState::Paused);
    EXPECT_TRUE(job->snapshot(false).errorText.empty());
    EXPECT_TRUE(Files().empty());
}

TEST_F(Resume, RemoveWhileRunningDeletesThePartialFiles) {
    auto job = Job(FileUrl(L"rm.bin", 8 * MiB, L"rate=1000000"));
    job->start(4, false);
    ASSERT_TRUE(WaitFor(job, [](const DownloadInfo& i) { return i.doneBytes > MiB; }));
    Sleep(400);  // a state save happens meanwhile
    job->remove(false);
    ASSERT_EQ(WaitForSingleObject(job->finishedEvent(), 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(Files().empty());
    job->start(4, false);  // a removed job never starts again
    EXPECT_FALSE(job->running());
}

TEST_F(Resume, RemovingAFinishedJobDeletesTheFileOnlyWhenAsked) {
    auto keep = Job(FileUrl(L"keep.bin", 100));
    auto drop = Job(FileUrl(L"drop.bin", 100));
    ASSERT_EQ(Run(keep), DownloadState::Completed);
    ASSERT_EQ(Run(drop), DownloadState::Completed);
    keep->remove(false);
    drop->remove(true);
    EXPECT_EQ(Files(), std::vector<std::wstring>{L"keep.bin"});
}

TEST_F(Resume, OperationsThatMustDoNothing) {
    auto job = Job(FileUrl(L"n.bin", 100));
    job->pause();  // a queued job pauses without starting
    EXPECT_EQ(job->state(), DownloadState::Paused);
    EXPECT_FALSE(job->running());
    job->requeue();
    ASSERT_EQ(Run(job), DownloadState::Completed);
    job->requeue();
    EXPECT_EQ(job->state(), DownloadState::Completed);
    job->start(4, false);
    EXPECT_FALSE(job->running());
    // A stored row that was queued or running comes back paused; a finished
    // one reports its whole size as done.
    DownloadInfo stored;
    stored.url = L"http://x/";
    stored.state = DownloadState::Downloading;
    EXPECT_EQ(zeb::Download(stored).state(), DownloadState::Paused);
    stored.state = DownloadState::Completed;
    stored.totalSize = 5000;
    EXPECT_EQ(zeb::Download(stored).snapshot(false).doneBytes, 5000);
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

TEST_F(Resume, RenameHeldBrieflyByAnotherProgramIsRetried) {
    auto job = Job(FileUrl(L"held.iso", 3 * MiB, L"rate=3000000"));
    job->start(1, false);
    HANDLE scanner = INVALID_HANDLE_VALUE;
    ASSERT_TRUE(WaitFor(job, [&](const DownloadInfo& i) {
        if (i.doneBytes == 0) return false;
        // Open like a scanner: reading, without delete sharing.
        scanner = CreateFileW((folder_ / L"held.iso.zebpart").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
        return scanner != INVALID_HANDLE_VALUE;
    }));
    ASSERT_TRUE(WaitFor(job, [](const DownloadInfo& i) { return i.totalSize > 0 && i.doneBytes >= i.totalSize; }));
    Sleep(500);
    CloseHandle(scanner);
    ASSERT_EQ(WaitForSingleObject(job->finishedEvent(), 10000), WAIT_OBJECT_0);
    EXPECT_EQ(job->state(), DownloadState::Completed);
    ExpectContent(L"held.iso", 3 * MiB);
}

TEST_F(Resume, RenameHeldForGoodFailsAndKeepsThePartialFile) {
    auto job = Job(FileUrl(L"stuck.iso", 100000, L"rate=100000"));
    job->start(1, false);
    HANDLE scanner = INVALID_HANDLE_VALUE;
    ASSERT_TRUE(WaitFor(job, [&](const DownloadInfo& i) {
        if (i.doneBytes == 0) return false;
        scanner = CreateFileW((folder_ / L"stuck.iso.zebpart").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
        return scanner != INVALID_HANDLE_VALUE;
    }));
    ASSERT_EQ(WaitForSingleObject(job->finishedEvent(), 20000), WAIT_OBJECT_0);
    CloseHandle(scanner);
    EXPECT_EQ(job->state(), DownloadState::Failed);
    EXPECT_EQ(job->snapshot(false).errorText.rfind(L"Không đổi tên được tệp đã tải xong: ", 0), 0u);
    EXPECT_EQ(Read(L"stuck.iso.zebpart").size(), 100000u);
}

TEST_F(Resume, JobsPausedAndResumedOverAndOverKeepEveryoneElsesBytes) {
    // Handles are reused at once: a handle closed from outside its owner
    // could carry another job's bytes into this file.
    std::vector<std::shared_ptr<zeb::Download>> all;
    for (int i = 0; i < 4; ++i)
        all.push_back(Job(FileUrl(L"j" + std::to_wstring(i) + L".bin", 6 * MiB, L"rate=1500000", 20 + i)));
    for (auto& j : all) j->start(4, false);
    for (int round = 0; round < 6; ++round) {
        Sleep(150);
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

TEST_F(Resume, LowLimitHoldsWithSixteenConnections) {
    // 16 connections reading 64 KiB at a time could not go below ~200 KB/s
    // if each read were throttled only after it arrived.
    zeb::setSpeedLimit(50 * 1024);
    auto a = Job(FileUrl(L"sa.bin", 32 * MiB));
    auto b = Job(FileUrl(L"sb.bin", 32 * MiB));
    a->start(8, false);
    b->start(8, false);
    ASSERT_TRUE(WaitFor(a, [](const DownloadInfo& i) { return i.state == DownloadState::Downloading; }));
    ASSERT_TRUE(WaitFor(b, [](const DownloadInfo& i) { return i.state == DownloadState::Downloading; }));
    Sleep(500);
    const int64_t before = a->snapshot(false).doneBytes + b->snapshot(false).doneBytes;
    Sleep(3000);
    const int64_t after = a->snapshot(false).doneBytes + b->snapshot(false).doneBytes;
    EXPECT_NEAR(static_cast<double>(after - before) / 3.0 / (50 * 1024), 1.0, 0.25);
}

TEST_F(Resume, ProgramWideLimitHoldsAcrossJobs) {
    zeb::setSpeedLimit(400 * 1024);
    auto a = Job(FileUrl(L"la.bin", 8 * MiB));
    auto b = Job(FileUrl(L"lb.bin", 8 * MiB));
    a->start(4, false);
    b->start(4, false);
    Sleep(1000);
    const int64_t before = a->snapshot(false).doneBytes + b->snapshot(false).doneBytes;
    Sleep(3000);
    const int64_t after = a->snapshot(false).doneBytes + b->snapshot(false).doneBytes;
    const double rate = static_cast<double>(after - before) / 3.0;
    EXPECT_NEAR(rate / (400 * 1024), 1.0, 0.25);  // bench/ measures it closely; this guards the order
    zeb::setSpeedLimit(0);  // raising the limit applies at once
    ASSERT_EQ(WaitForSingleObject(a->finishedEvent(), 30000), WAIT_OBJECT_0);
    ASSERT_EQ(WaitForSingleObject(b->finishedEvent(), 30000), WAIT_OBJECT_0);
    ExpectContent(L"la.bin", 8 * MiB);
}
}  // namespace

namespace {
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
