// Real jobs under Wine against the loopback test server: what a user sees
// (states, texts, bytes on disk) and what the server was sent.
#include "DownloadTestSupport.h"

#include "engine/ErrorTexts.h"

namespace {
constexpr int64_t MiB = 1048576;

using DownloadJob = JobTest;

TEST_F(DownloadJob, RangedDownloadIsByteIdenticalAndLeavesNothingBeside) {
    const int64_t size = 5 * MiB + 123;
    auto job = Job(FileUrl(L"data.bin", size));
    ASSERT_EQ(Run(job, 4), DownloadState::Completed);
    ExpectContent(L"data.bin", size);
    EXPECT_EQ(Files(), std::vector<std::wstring>{L"data.bin"});
    const DownloadInfo info = job->snapshot(false);
    EXPECT_EQ(std::tie(info.fileName, info.totalSize, info.doneBytes, info.acceptsRanges, info.errorText),
              std::make_tuple(std::wstring(L"data.bin"), size, size, true, std::wstring()));
}

TEST_F(DownloadJob, RequestsCarryTheHeadersTheyShould) {
    zeb::RequestOptions options;
    options.referer = L"https://page.example/\r\nX-Evil: 1";
    options.userAgent = L"  TestAgent/1.0 ";
    auto job = Job(FileUrl(L"h.bin", 3 * MiB), L"", options);
    ASSERT_EQ(Run(job, 2), DownloadState::Completed);
    const JsonValue log = Log();
    ASSERT_GE(log.elements.size(), 3u);  // the probe and two ranges
    EXPECT_EQ(Header(log.elements[0], "Range"), "bytes=0-0");
    std::set<std::string> ranges;
    for (const JsonValue& r : log.elements) {
        EXPECT_EQ(Header(r, "Accept-Encoding"), "identity");
        EXPECT_EQ(Header(r, "Referer"), "https://page.example/  X-Evil: 1");  // line breaks cannot add headers
        EXPECT_EQ(Header(r, "User-Agent"), "TestAgent/1.0");
        EXPECT_EQ(Header(r, "Cookie") + Header(r, "X-Evil"), "<none><none>");
        ranges.insert(Header(r, "Range"));
    }
    EXPECT_TRUE(ranges.count("bytes=0-1572863") && ranges.count("bytes=1572864-3145727")) << ::testing::PrintToString(ranges);
}

TEST_F(DownloadJob, PlainUnknownSizeAndEmptyDownloads) {
    const struct { const wchar_t* name; const wchar_t* query; int64_t size; } cases[] = {
        {L"plain.bin", L"ranges=0", 2 * MiB + 5}, {L"close.bin", L"body=nolength", MiB + 77},
        {L"chunked.bin", L"body=chunked", 3 * 65536 + 1}, {L"empty.bin", L"ranges=0", 0}};
    for (const auto& c : cases) {
        auto job = Job(FileUrl(c.name, c.size, c.query));
        ASSERT_EQ(Run(job, 8), DownloadState::Completed) << ::testing::PrintToString(std::wstring(c.name));
        ExpectContent(c.name, c.size);
        EXPECT_EQ(job->snapshot(false).totalSize, c.size);
        EXPECT_FALSE(job->snapshot(false).acceptsRanges);
    }
    EXPECT_EQ(Files().size(), 4u);
}

TEST_F(DownloadJob, NameFromContentDispositionAndNumberedFinalName) {
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(Run(Job(FileUrl(L"ignored.bin", 1000, L"cd=attachment%3B%20filename%3D%22report.pdf%22"))),
                  DownloadState::Completed);
    EXPECT_EQ(jobs_.back()->snapshot(false).fileName, L"report (1).pdf");
    ExpectContent(L"report (1).pdf", 1000);
    ASSERT_EQ(Run(Job(FileUrl(L"x.bin", 10), L"chosen.txt")), DownloadState::Completed);
    ExpectContent(L"chosen.txt", 10);
}

TEST_F(DownloadJob, ProbeFailuresEndTheJobWithTheirText) {
    const std::pair<std::wstring, std::wstring> cases[] = {
        {FileUrl(L"gone.bin", 100, L"probe_status=404"), zeb::httpStatusText(404)},
        {L"ftp://127.0.0.1/file", zeb::invalidLinkText()},
        {L"http://127.0.0.1:1/file", zeb::networkErrorText(12029)}};  // nothing listens there
    for (const auto& [url, text] : cases) {
        auto job = Job(url);
        ASSERT_EQ(Run(job), DownloadState::Failed);
        EXPECT_EQ(job->snapshot(false).errorText, text);
    }
    EXPECT_TRUE(Files().empty());
    // A system message reaches a row without its line break; unknown codes get a plain fallback.
    const std::wstring known = zeb::systemErrorText(ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(!known.empty() && !iswspace(known.back())) << ::testing::PrintToString(known);
    EXPECT_EQ(zeb::systemErrorText(0x2000BEEF), L"Win32 error 536919791");
}

TEST_F(DownloadJob, SizeFromProbeHeaders) {
    const struct { const wchar_t* query; int64_t total; } cases[] = {
        {L"crange=bytes%200-0%2F*", -1},           // no total: size unknown, no ranges
        {L"cl=%20%201000%20", 1000},               // spaces around Content-Length are fine
        {L"cl=-1000", -1},                         // a sign is no number
        {L"cl=1234567890123456789", -1}};          // 19 digits are no number
    for (const auto& c : cases) {
        auto job = Job(FileUrl(L"s.bin", 1000, c.query));
        Run(job);
        const DownloadInfo info = job->snapshot(false);
        EXPECT_FALSE(info.acceptsRanges) << ::testing::PrintToString(std::wstring(c.query));
        if (c.total >= 0) {
            EXPECT_EQ(info.totalSize, c.total);
        }
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
        ASSERT_TRUE(WaitFor(paused, [](const DownloadInfo& d) { return d.doneBytes > 0; }));
        paused->pause();
        ASSERT_EQ(WaitForSingleObject(paused->finishedEvent(), 20000), WAIT_OBJECT_0);
    }
    EXPECT_LE(NextSessionValue(), before + 4);
}
}  // namespace
