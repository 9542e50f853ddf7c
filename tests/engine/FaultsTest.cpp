// Bodies of every kind, every check of a segment's answer, the retries and
// the splitting of a busy range, against a server that misbehaves on demand.
#include "DownloadTestSupport.h"

#include "engine/ErrorTexts.h"

namespace {
constexpr int64_t MiB = 1048576;
using Faults = JobTest;


TEST_F(Faults, EachServerBehaviourEndsWithExactBytesOrItsText) {
    // Name, size, query, connections -> completed with exact bytes (no text), or failed with this text.
    const struct { const wchar_t *name; int64_t size; const wchar_t* query; int connections; std::wstring failure; } cases[] = {
        // Bodies chunked and empty. (Without ranges and without a length: ResumeTest's renames held at exit.)
        {L"chunked.bin", 3 * 65536 + 1, L"body=chunked", 8}, {L"empty.bin", 0, L"ranges=0", 8},
        // Passing faults are retried. (A status fault retried: the seven failures below.)
        {L"f0.bin", 3 * MiB + 17, L"fault=range200&times=1", 3}, {L"f1.bin", 3 * MiB + 17, L"fault=badstart&times=2", 3},
        {L"f2.bin", 3 * MiB + 17, L"fault=short&missing=5000&times=2", 3}, {L"f3.bin", 3 * MiB + 17, L"fault=drop&after=100000&times=3", 3},
        {L"f5.bin", 3 * MiB + 17, L"fault=total&total2=999&times=1", 3}, {L"f6.bin", 3 * MiB + 17, L"fault=stall&ms=200&times=2", 3},
        {L"pd.bin", 400000, L"ranges=0&fault=drop&after=100000&times=1", 4},  // a plain drop after new bytes is progress
        // Lasting faults fail with their text (the partial file is kept for a later resume).
        {L"l0.bin", 300000, L"fault=range200", 1, zeb::rangesStoppedText()}, {L"l1.bin", 300000, L"fault=badstart", 1, zeb::wrongRangeText()},
        {L"l2.bin", 300000, L"fault=short&missing=10", 1, zeb::closedEarlyText()},
        {L"l3.bin", 300000, L"fault=status&code=503", 1, zeb::httpStatusText(503)},
        {L"l4.bin", 300000, L"fault=total&total2=9", 1, zeb::wrongRangeText()}, {L"gone.bin", 100, L"probe_status=404", 4, zeb::httpStatusText(404)}};
    for (const auto& c : cases) {
        auto job = Job(FileUrl(c.name, c.size, c.query));
        const DownloadState end = Run(job, c.connections);
        SCOPED_TRACE(::testing::PrintToString(std::wstring(c.name)));
        EXPECT_EQ(std::make_pair(end, job->snapshot(false).errorText),
                  std::make_pair(c.failure.empty() ? DownloadState::Completed : DownloadState::Failed, c.failure));
        if (c.failure.empty()) ExpectContent(c.name, c.size);
    }
    // Each plain attempt restarts at byte 0: the same first bytes again are no progress, so
    // the failures add up and the job ends. A body shorter than the probed size is the same case.
    token_ += L"plain";
    ASSERT_EQ(Run(Job(FileUrl(L"drops.bin", 500000, L"ranges=0&fault=drop&after=20000")), 1, false, 30000), DownloadState::Failed);
    EXPECT_LE(WorkerRequests().all, 8u);
    EXPECT_EQ(Run(Job(FileUrl(L"short.bin", 500000, L"ranges=0&fault=short&missing=1000")), 1, false, 30000), DownloadState::Failed);
    // Seven failures in a row end a worker.
    token_ += L"seven";
    auto seven = Job(FileUrl(L"seven.bin", 100000, L"fault=status&code=500"));
    ASSERT_EQ(Run(seven, 1), DownloadState::Failed);
    EXPECT_EQ(std::make_pair(WorkerRequests().all, seven->snapshot(true).segments.at(0).retries), std::make_pair(size_t{7}, 7u));
}

TEST_F(Faults, ShorterRetryOfAnUnknownSizeLeavesNoOldTail) {
    // The first attempt writes 2 MB and then goes silent; the retry's clean
    // body is 1 MB. The finished file is that body and nothing after it.
    zeb::setTimingForTests([] { zeb::Timing t = FastTiming(); t.receiveTimeout = 800; return t; }());
    auto job = Job(FileUrl(L"tail.bin", 2000000, L"body=nolength&fault=silent&after=2000000&ms=3000&times=1&later_size=1000000"));
    ASSERT_EQ(Run(job, 1), DownloadState::Completed);
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
    // Retry pauses of 20 s and more: a pause that waited for one would not end within the wait below.
    zeb::setTimingForTests([] { zeb::Timing t = FastTiming(); t.retryPauseBase = 20000, t.maxRetryPause = 60000; return t; }());
    auto job = Job(FileUrl(L"rp.bin", 100000, L"fault=status&code=503"));
    job->start(1, false);
    ASSERT_TRUE(WaitFor(job, [](const DownloadInfo& i) {
        return !i.segments.empty() && i.segments[0].state == SegmentState::Retrying;
    }));
    job->pause();
    ASSERT_EQ(WaitForSingleObject(job->finishedEvent(), 10000), WAIT_OBJECT_0);
    EXPECT_EQ(std::make_pair(job->state(), job->snapshot(false).errorText), std::make_pair(DownloadState::Paused, std::wstring()));
}
}  // namespace
