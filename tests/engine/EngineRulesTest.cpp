// The engine's rules as plain functions: links and redirects, the strict
// number of headers and files, the segment table and its state file, the
// speed limit's budget and the retry ladder.
#include <gtest/gtest.h>

#include "engine/RateLimiter.h"
#include "engine/Segments.h"
#include "engine/StateFile.h"
#include "engine/StrictNumber.h"
#include "engine/Timing.h"
#include "engine/Url.h"

namespace {
using namespace zeb;

TEST(CrackUrl, SplitsHttpAndHttpsAndRefusesTheRest) {
    const struct { const wchar_t* url; bool secure; const wchar_t* host; uint16_t port; const wchar_t* path; } cases[] = {
        {L"http://example.com/a/b.iso?x=1#frag", false, L"example.com", 80, L"/a/b.iso?x=1"},
        {L"https://example.com", true, L"example.com", 443, L"/"}, {L"https://example.com#top", true, L"example.com", 443, L"/"},
        {L"HTTPS://Example.COM:8443/x", true, L"Example.COM", 8443, L"/x"},
        {L"http://127.0.0.1:8080/?q=a#b#c", false, L"127.0.0.1", 8080, L"/?q=a"},
        {L"http://user:pw@host/file", false, L"host", 80, L"/file"},
        {L"https://example.com?x=1", true, L"example.com", 443, L"/?x=1"},
        {L"http://example.com?x=1#f", false, L"example.com", 80, L"/?x=1"}};
    for (const auto& c : cases) {
        UrlParts p;
        ASSERT_TRUE(zeb::crackUrl(c.url, p)) << ::testing::PrintToString(std::wstring(c.url));
        EXPECT_EQ(std::tie(p.secure, p.host, p.port, p.pathAndQuery),
                  std::make_tuple(c.secure, std::wstring(c.host), c.port, std::wstring(c.path)));
    }
    for (const wchar_t* url : {L"https://#frag", L"ftp://example.com/file", L"file:///C:/x", L"http://", L"http:///path", L"",
                               L"example.com/x", L"javascript:alert(1)"}) {
        UrlParts p;
        p.host = L"unchanged";
        EXPECT_FALSE(zeb::crackUrl(url, p) || p.host != L"unchanged") << ::testing::PrintToString(std::wstring(url));
    }
}

TEST(ResolveRedirect, AgainstAPortAQueryAndTheDefaultPorts) {
    const UrlParts current{false, L"h.example", 8080, L"/dir/page?x=1"};
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"/other?y=2", L"http://h.example:8080/other?y=2"}, {L"next.bin", L"http://h.example:8080/dir/next.bin"},
        {L"?z=3", L"http://h.example:8080/dir/page?z=3"}, {L"//cdn.example/f", L"http://cdn.example/f"},
        {L"https://elsewhere/f", L"https://elsewhere/f"}, {L"ftp://elsewhere/f", L"ftp://elsewhere/f"},
        {L"  /trimmed \r\n", L"http://h.example:8080/trimmed"},
        {L"../up", L"http://h.example:8080/dir/../up"},          // dot segments are not folded
        {L"a/b://c", L"http://h.example:8080/dir/a/b://c"},      // "://" after a slash is not a scheme
        {L"", L""}, {L" \t", L""}};
    for (const auto& [location, result] : cases)
        EXPECT_EQ(zeb::resolveRedirect(location, current), result) << ::testing::PrintToString(std::wstring(location));
    const UrlParts secure{true, L"s.example", 443, L"file"};  // no slash at all
    EXPECT_EQ(zeb::resolveRedirect(L"/x", secure), L"https://s.example/x");
    EXPECT_EQ(zeb::resolveRedirect(L"y", secure), L"https://s.example/y");
    // https's default port on http is not a default.
    EXPECT_EQ(zeb::resolveRedirect(L"/x", UrlParts{false, L"p.example", 443, L"/"}), L"http://p.example:443/x");
}

TEST(StrictNumber, DigitsOnlyAfterTrimming) {
    const std::pair<const wchar_t*, int64_t> good[] = {
        {L"0", 0}, {L" \t1048576\r\n", 1048576}, {L"999999999999999999", 999999999999999999LL}, {L"000000000000000001", 1}};
    for (const auto& [text, value] : good) EXPECT_EQ(ParseStrictNumber(text), value);
    for (const wchar_t* bad : {L"", L"  ", L"-1", L"+1", L"1 2", L"12a", L"0x10", L"1.5", L"1234567890123456789", L"\x0661"})
        EXPECT_FALSE(ParseStrictNumber(bad)) << ::testing::PrintToString(std::wstring(bad));
}

constexpr int64_t MiB = 1048576;
const std::wstring kUrl = L"https://h.example/ảnh.iso";

Segment Seg(int64_t start, int64_t end, int64_t pos) { return Segment{start, end, pos}; }

TEST(PlanSegments, OnePerWholeMiBUpToTheConnectionsEndingAtTheTotal) {
    const struct { int64_t total; bool ranges; int connections; size_t count; int64_t lastEnd; } cases[] = {
        {3 * MiB + MiB / 2, true, 8, 3, 3 * MiB + MiB / 2}, {MiB / 2, true, 8, 1, MiB / 2}, {100 * MiB, true, 4, 4, 100 * MiB},
        {10 * MiB + 3, true, 3, 3, 10 * MiB + 3}, {5000, false, 8, 1, 5000}, {-1, false, 8, 1, INT64_MAX}, {0, false, 8, 1, 0}};
    for (const auto& c : cases) {
        const auto t = planSegments(c.total, c.ranges, c.connections);
        ASSERT_EQ(t.size(), c.count) << c.total;
        EXPECT_EQ(t.back().end, c.lastEnd);
        for (size_t i = 0; i < t.size(); ++i) {
            EXPECT_EQ(t[i].start, i ? t[i - 1].end : 0);  // no gap, no overlap
            EXPECT_EQ(t[i].pos, t[i].start);
        }
    }
    EXPECT_TRUE(allDone(planSegments(0, false, 8)));
}

TEST(ClaimSegment, FreeFirstThenHalfOfTheLargestBusyRemainder) {
    auto t = planSegments(100 * MiB, true, 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(claimSegment(t, true), i);
    t[0].pos = t[0].end;
    t[0].busy = false;
    t[1].pos += 10 * MiB;  // 15 MiB left
    t[2].pos += 5 * MiB;   // 20 MiB left: the largest
    t[3].pos += 15 * MiB;  // 10 MiB left
    const int64_t oldEnd = t[2].end;
    ASSERT_EQ(claimSegment(t, true), 4);
    EXPECT_EQ(t[4].start, t[2].pos + 10 * MiB);
    EXPECT_EQ(t[4].pos, t[4].start);
    EXPECT_EQ(t[4].end, oldEnd);
    EXPECT_EQ(t[2].end, t[4].start);
    EXPECT_TRUE(t[4].busy);
    // Equal remainders: the earlier one is split.
    auto eq = planSegments(8 * MiB, true, 2);
    claimSegment(eq, true), claimSegment(eq, true);
    EXPECT_EQ(claimSegment(eq, true), 2);
    EXPECT_EQ(eq[0].end, 2 * MiB);
}

TEST(ClaimSegment, NoSplitBelowTwoMiBWithoutRangesOrOfAnUnknownSize) {
    auto t = planSegments(4 * MiB, true, 2);
    claimSegment(t, true), claimSegment(t, true);
    t[0].pos = t[0].end - (2 * MiB - 1);
    t[1].pos = t[1].end - 1000;
    EXPECT_EQ(claimSegment(t, true), -1);
    t[0].pos -= 1;  // 2 MiB left: splittable
    EXPECT_EQ(claimSegment(t, true), 2);
    for (auto [total, ranges] : {std::pair{100 * MiB, false}, std::pair{int64_t{-1}, true}}) {
        auto one = planSegments(total, ranges, 4);
        EXPECT_EQ(claimSegment(one, ranges), 0);
        EXPECT_EQ(claimSegment(one, ranges), -1);
    }
}

TEST(StateText, ExactLinesMergedFinishedRunsAndTheWayBack) {
    const std::string text = buildStateText(
        kUrl, 4 * MiB, {Seg(2 * MiB, 3 * MiB, 2 * MiB + 5), Seg(0, MiB, MiB), Seg(MiB, 2 * MiB, 2 * MiB), Seg(3 * MiB, 4 * MiB, 4 * MiB)});
    EXPECT_EQ(text, "ZEBSTATE 1\r\nurl=https://h.example/\xE1\xBA\xA3nh.iso\r\ntotal=4194304\r\netag=\r\nmodified=\r\n"
                    "seg=0,2097152,2097152\r\nseg=2097152,3145728,2097157\r\nseg=3145728,4194304,4194304\r\n");
    auto back = parseStateText(text, kUrl, 4 * MiB);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->size(), 3u);
    EXPECT_EQ((*back)[0].state, SegmentState::Done);
    EXPECT_EQ((*back)[1].pos, 2 * MiB + 5);
    EXPECT_EQ((*back)[1].state, SegmentState::Idle);
}

TEST(StateText, RejectsWhatDoesNotDescribeThisFile) {
    const std::string head = "ZEBSTATE 1\r\nurl=https://h.example/\xE1\xBA\xA3nh.iso\r\n";
    const std::pair<const char*, std::string> cases[] = {
        {"no magic", "ZEBSTATF 1\r\n"}, {"other link", "ZEBSTATE 1\r\nurl=https://h.example/other\r\ntotal=10\r\nseg=0,10,5\r\n"},
        {"other total", head + "total=11\r\nseg=0,10,5\r\n"}, {"signed total", head + "total=+10\r\nseg=0,10,5\r\n"},
        {"no segments", head + "total=10\r\n"}, {"gap", head + "total=10\r\nseg=0,4,4\r\nseg=5,10,5\r\n"},
        {"overlap", head + "total=10\r\nseg=0,6,6\r\nseg=5,10,5\r\n"}, {"short of total", head + "total=10\r\nseg=0,9,9\r\n"},
        {"pos past end", head + "total=10\r\nseg=0,10,11\r\n"}, {"pos before start", head + "total=10\r\nseg=0,5,5\r\nseg=5,10,4\r\n"},
        {"empty range", head + "total=10\r\nseg=0,0,0\r\nseg=0,10,0\r\n"}, {"one comma", head + "total=10\r\nseg=0,10\r\n"},
        {"bad number", head + "total=10\r\nseg=0,1O,5\r\n"}, {"later url decides", head + "total=10\r\nseg=0,10,5\r\nurl=https://else/\r\n"}};
    for (const auto& [why, text] : cases) EXPECT_FALSE(parseStateText(text, kUrl, 10)) << why;
    // A later key decides the other way too; LF-only lines and a last line without LF are read.
    EXPECT_TRUE(parseStateText(head + "total=9\ntotal=10\nseg=5,10,7\nseg=0,5,5", kUrl, 10));
}


// Drives the budget like `connections` workers that always want 64 KiB,
// on a simulated clock with 1 ms steps; returns bytes granted per second.
double Simulate(RateBudget& budget, int64_t limit, int connections, double seconds, double start = 0) {
    std::vector<double> readyAt(connections, start);
    double granted = 0;
    for (double t = start; t < start + seconds; t += 0.001)
        for (int c = 0; c < connections; ++c) {
            if (readyAt[c] > t) continue;
            RateBudget::Grant g = budget.take(t, limit, 65536);
            if (g.bytes) granted += g.bytes;
            else readyAt[c] = t + std::min(g.waitSeconds, 0.05);
        }
    return granted / seconds;
}

TEST(RateBudget, HoldsAtEverySettingAcrossManyConnections) {
    for (int64_t kb : {1, 5, 50, 500, 5000}) {
        RateBudget budget;
        EXPECT_NEAR(Simulate(budget, kb * 1024, 24, 20) / (kb * 1024), 1.0, 0.05) << kb << " KB/s";
    }
}

TEST(RateBudget, ChangedLimitAppliesAtOnceBothWaysAndIdleEarnsNoBurst) {
    RateBudget budget;
    Simulate(budget, 1024, 8, 10);  // a long spell at 1 KB/s
    EXPECT_NEAR(Simulate(budget, 1024 * 1024, 8, 2, 10) / (1024 * 1024), 1.0, 0.05);
    EXPECT_NEAR(Simulate(budget, 10 * 1024, 8, 5, 12) / (10 * 1024), 1.0, 0.05);
    RateBudget idle;
    idle.take(0, 100 * 1024, 65536);
    double burst = 0;
    for (int i = 0; i < 100; ++i) burst += idle.take(60.0, 100 * 1024, 65536).bytes;  // a minute later
    EXPECT_LE(burst, 0.1 * 100 * 1024 + 1);
    EXPECT_GT(idle.take(120.0, 100 * 1024, 65536).bytes, 0u);  // the first read after idle does not wait
}

TEST(RateBudget, UnlimitedGrantsAllAndTheStopEventEndsAWait) {
    zeb::setSpeedLimit(0);
    EXPECT_EQ(zeb::acquireReadBudget(65536, nullptr), 65536u);
    zeb::setSpeedLimit(20);  // grants of one byte, a twentieth of a second apart: the second waits
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    zeb::acquireReadBudget(65536, stop);
    SetEvent(stop);
    const double t0 = zeb::now();
    EXPECT_EQ(zeb::acquireReadBudget(65536, stop), 0u);
    EXPECT_LT(zeb::now() - t0, 0.5);
    CloseHandle(stop);
    zeb::setSpeedLimit(0);
}

TEST(RetryPause, LadderFromTheDefaults) {
    const std::pair<int, int> ladder[] = {{1, 1000}, {2, 2000}, {4, 8000}, {5, 15000}, {6, 15000}, {40, 15000}};
    for (const auto& [failures, ms] : ladder) EXPECT_EQ(zeb::retryPauseMs(failures), ms) << failures;
}
}  // namespace
