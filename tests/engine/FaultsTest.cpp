// Every check of a segment's answer, the retry ladder and the splitting of
// a busy range, against a server that misbehaves on demand.
#include "DownloadTestSupport.h"

#include "engine/ErrorTexts.h"

namespace {
constexpr int64_t MiB = 1048576;
using Faults = JobTest;

// Worker requests the server saw (the probe excluded).
size_t WorkerRequests(const JsonValue& log) {
    size_t n = 0;
    for (const JsonValue& r : log.elements) n += JobTest::Header(r, "Range") != "bytes=0-0";
    return n;
}

TEST_F(Faults, PassingFaultsAreRetriedAndTheBytesStayExact) {
    const wchar_t* faults[] = {L"fault=range200&times=1", L"fault=badstart&times=2", L"fault=short&missing=5000&times=2",
                               L"fault=drop&after=100000&times=3", L"fault=status&code=503&times=3",
                               L"fault=total&total2=999&times=1", L"fault=stall&ms=200&times=2"};
    int i = 0;
    for (const wchar_t* fault : faults) {
        const std::wstring name = L"f" + std::to_wstring(i++) + L".bin";
        ASSERT_EQ(Run(Job(FileUrl(name, 3 * MiB + 17, fault)), 3), DownloadState::Completed)
            << ::testing::PrintToString(std::wstring(fault));
        ExpectContent(name, 3 * MiB + 17);
    }
}

TEST_F(Faults, LastingFaultsFailWithTheirText) {
    const std::pair<const wchar_t*, std::wstring> cases[] = {
        {L"fault=range200", zeb::rangesStoppedText()}, {L"fault=badstart", zeb::wrongRangeText()},
        {L"fault=total&total2=5000", zeb::wrongRangeText()}, {L"fault=short&missing=10", zeb::closedEarlyText()},
        {L"fault=status&code=503", zeb::httpStatusText(503)}};
    int i = 0;
    for (const auto& [fault, text] : cases) {
        const std::wstring name = L"l" + std::to_wstring(i++) + L".bin";
        auto job = Job(FileUrl(name, 300000, fault));
        ASSERT_EQ(Run(job, 1), DownloadState::Failed) << ::testing::PrintToString(std::wstring(fault));
        EXPECT_EQ(job->snapshot(false).errorText, text);
        EXPECT_FALSE(Read(name + L".zebpart").empty());  // kept for a later resume
    }
}

TEST_F(Faults, SevenFailuresInARowEndAWorker) {
    auto job = Job(FileUrl(L"seven.bin", 100000, L"fault=status&code=500"));
    ASSERT_EQ(Run(job, 1), DownloadState::Failed);
    EXPECT_EQ(WorkerRequests(Log()), 7u);
    const DownloadInfo info = job->snapshot(true);
    ASSERT_EQ(info.segments.size(), 1u);
    EXPECT_EQ(info.segments[0].retries, 7u);
    EXPECT_EQ(info.segments[0].state, SegmentState::Idle);  // reset when the job ended
}

TEST_F(Faults, PlainServerThatAlwaysDropsIsNotRetriedForever) {
    // Each plain attempt restarts at byte 0: the same first bytes again are
    // no progress, so the failures add up and the job ends. A body shorter
    // than the probed size is the same case.
    ASSERT_EQ(Run(Job(FileUrl(L"drops.bin", 500000, L"ranges=0&fault=drop&after=20000")), 1, false, 30000),
              DownloadState::Failed);
    EXPECT_LE(WorkerRequests(Log()), 8u);
    EXPECT_EQ(Run(Job(FileUrl(L"short.bin", 500000, L"ranges=0&fault=short&missing=1000")), 1, false, 30000),
              DownloadState::Failed);
}

TEST_F(Faults, PlainDropAfterNewBytesCountsAsProgress) {
    // The first attempt gets 100 KB, later ones all of it.
    ASSERT_EQ(Run(Job(FileUrl(L"pd.bin", 400000, L"ranges=0&fault=drop&after=100000&times=1")), 4), DownloadState::Completed);
    ExpectContent(L"pd.bin", 400000);
}

TEST_F(Faults, ShorterRetryOfAnUnknownSizeLeavesNoOldTail) {
    // The first attempt writes 2 MB and then goes silent; the retry's clean
    // body is 1 MB. The finished file is that body and nothing after it.
    zeb::Timing t = FastTiming();
    t.receiveTimeout = 800;
    zeb::setTimingForTests(t);
    auto job = Job(FileUrl(L"tail.bin", 2000000, L"body=nolength&fault=silent&after=2000000&ms=3000&times=1&later_size=1000000"));
    ASSERT_EQ(Run(job, 1), DownloadState::Completed);
    EXPECT_EQ(job->snapshot(false).totalSize, 1000000);
    ExpectContent(L"tail.bin", 1000000);
}

TEST_F(Faults, AnIdleConnectionSplitsTheBusiestRange) {
    // One of the two first requests stalls; the other worker finishes its
    // half and takes over half of what the stalled one has left.
    auto job = Job(FileUrl(L"split.bin", 16 * MiB, L"fault=stall&ms=1500&times=1&rate=16000000"));
    ASSERT_EQ(Run(job, 2), DownloadState::Completed);
    ExpectContent(L"split.bin", 16 * MiB);
    EXPECT_GE(job->snapshot(true).segments.size(), 3u);
}

TEST_F(Faults, PauseEndsARetryPauseAtOnce) {
    zeb::Timing t = FastTiming();
    t.retryPauseBase = 2000;
    t.maxRetryPause = 15000;
    zeb::setTimingForTests(t);
    auto job = Job(FileUrl(L"rp.bin", 100000, L"fault=status&code=503"));
    job->start(1, false);
    ASSERT_TRUE(WaitFor(job, [](const DownloadInfo& i) {
        return !i.segments.empty() && i.segments[0].state == SegmentState::Retrying;
    }));
    const ULONGLONG t0 = GetTickCount64();
    job->pause();
    ASSERT_EQ(WaitForSingleObject(job->finishedEvent(), 10000), WAIT_OBJECT_0);
    EXPECT_LT(GetTickCount64() - t0, 1000u);
    EXPECT_EQ(job->state(), DownloadState::Paused);
    EXPECT_TRUE(job->snapshot(false).errorText.empty());
}

TEST_F(Faults, RealTimeRetryLadder) {
    // The real pauses double: 0.2 s, 0.4 s and 0.8 s between the first four attempts.
    zeb::Timing t = FastTiming();
    t.retryPauseBase = 100;
    t.maxRetryPause = 15000;
    zeb::setTimingForTests(t);
    auto job = Job(FileUrl(L"ladder.bin", 1000, L"fault=status&code=503&times=3"));
    const ULONGLONG t0 = GetTickCount64();
    ASSERT_EQ(Run(job, 1), DownloadState::Completed);
    const ULONGLONG took = GetTickCount64() - t0;
    EXPECT_GE(took, 1400u);
    EXPECT_LT(took, 4000u);
}
}  // namespace
