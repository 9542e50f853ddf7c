// Real jobs under Wine against the loopback test server: what a user sees
// (states, texts, bytes on disk) and what the server was sent.
#include "DownloadTestSupport.h"

#include "engine/ErrorTexts.h"

namespace {
constexpr int64_t MiB = 1048576;

using DownloadJob = JobTest;

TEST_F(DownloadJob, RangedDownloadIsByteIdenticalLeavesNothingBesideAndSendsTheHeadersItShould) {
    const int64_t size = 3 * MiB + 123;
    auto job = Job(FileUrl(L"data.bin", size), L"", {.referer = L"https://page.example/\r\nX-Evil: 1", .userAgent = L"  TestAgent/1.0 "});
    ASSERT_EQ(Run(job, 2), DownloadState::Completed);
    ExpectContent(L"data.bin", size);
    const DownloadInfo info = job->snapshot(false);
    EXPECT_EQ(std::tie(info.fileName, info.totalSize, info.doneBytes, info.acceptsRanges, info.errorText),
              std::make_tuple(std::wstring(L"data.bin"), size, size, true, std::wstring()));
    const JsonValue log = Log();
    ASSERT_GE(log.elements.size(), 3u);  // the probe and two ranges
    for (const JsonValue& r : log.elements) {
        EXPECT_EQ(Header(r, "Accept-Encoding"), "identity");
        EXPECT_EQ(Header(r, "Referer"), "https://page.example/  X-Evil: 1");  // line breaks cannot add headers
        EXPECT_EQ(Header(r, "User-Agent") + Header(r, "Cookie") + Header(r, "X-Evil"), "TestAgent/1.0<none><none>");
    }
}

TEST_F(DownloadJob, NameFromContentDispositionNumberedFinalNameAndFailuresBeforeAnyRequest) {
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(Run(Job(FileUrl(L"ignored.bin", 1000, L"cd=attachment%3B%20filename%3D%22report.pdf%22"))),
                  DownloadState::Completed);
    EXPECT_EQ(jobs_.back()->snapshot(false).fileName, L"report (1).pdf");
    ExpectContent(L"report (1).pdf", 1000);
    ASSERT_EQ(Run(Job(FileUrl(L"x.bin", 10), L"chosen.txt")), DownloadState::Completed);
    ExpectContent(L"chosen.txt", 10);
    // Nothing listens there. (Links of other schemes never reach a job: the list and its file refuse them.)
    auto refused = Job(L"http://127.0.0.1:1/file");
    ASSERT_EQ(Run(refused), DownloadState::Failed);
    EXPECT_EQ(refused->snapshot(false).errorText, zeb::networkErrorText(12029));
    // A size the probe cannot vouch for: no total, no ranges.
    for (const wchar_t* query : {L"crange=bytes%200-0%2F*", L"cl=-1000"}) {
        auto job = Job(FileUrl(L"s.bin", 1000, query));
        Run(job);
        EXPECT_FALSE(job->snapshot(false).acceptsRanges) << ::testing::PrintToString(std::wstring(query));
    }
}

// Wine hands out WinHTTP handle values from a table, lowest free first, so a
// leaked session shows as a climbing value for the next one opened. (On
// Windows the values are pointers and say nothing; the owner's RAII close
// is the same code there.)
uintptr_t NextSessionValue() {
    HINTERNET h = WinHttpOpen(L"probe", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
    WinHttpCloseHandle(h);
    return reinterpret_cast<uintptr_t>(h);
}

TEST_F(DownloadJob, FailedAndPausedJobsReleaseTheirSessions) {
    const uintptr_t before = NextSessionValue();
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(Run(Job(FileUrl(L"gone" + std::to_wstring(i) + L".bin", 100, L"probe_status=404"))), DownloadState::Failed);
        auto paused = Job(FileUrl(L"p" + std::to_wstring(i) + L".bin", 4 * MiB, L"rate=2000000"));
        paused->start(2, false);
        PauseAfter(paused, 1);
    }
    EXPECT_LE(NextSessionValue(), before + 4);
}
}  // namespace
