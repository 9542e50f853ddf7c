// The segment table: planning, claiming and splitting, and its state file.
#include "engine/Segments.h"

#include <gtest/gtest.h>

#include "engine/StateFile.h"

namespace {
using namespace zeb;
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
}  // namespace
