#include "engine/Segments.h"

#include <gtest/gtest.h>

namespace {
using namespace zeb;
constexpr int64_t MiB = 1048576;

TEST(PlanSegments, OnePerWholeMiBUpToTheConnections) {
    auto t = planSegments(3 * MiB + MiB / 2, true, 8);
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0].start, 0);
    EXPECT_EQ(t[1].start, t[0].end);
    EXPECT_EQ(t[2].end, 3 * MiB + MiB / 2);  // the last one ends at the total
    for (const Segment& s : t) EXPECT_EQ(s.pos, s.start);
    EXPECT_EQ(planSegments(MiB / 2, true, 8).size(), 1u);
    EXPECT_EQ(planSegments(100 * MiB, true, 4).size(), 4u);
    auto odd = planSegments(10 * MiB + 3, true, 3);
    ASSERT_EQ(odd.size(), 3u);
    EXPECT_EQ(odd[2].end, 10 * MiB + 3);
}

TEST(PlanSegments, PlainAndUnknownSize) {
    auto plain = planSegments(5000, false, 8);
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_EQ(plain[0].end, 5000);
    auto unknown = planSegments(-1, false, 8);
    EXPECT_EQ(unknown[0].end, INT64_MAX);
    auto empty = planSegments(0, false, 8);
    EXPECT_EQ(empty[0].end, 0);
    EXPECT_TRUE(allDone(empty));
}

TEST(ClaimSegment, FreeFirstThenSplitTheLargestBusy) {
    auto t = planSegments(100 * MiB, true, 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(claimSegment(t, true), i);
    t[0].pos = t[0].end;  // finished
    t[0].busy = false;
    t[1].pos += 10 * MiB;  // 15 MiB left
    t[2].pos += 5 * MiB;   // 20 MiB left: the largest
    t[3].pos += 15 * MiB;  // 10 MiB left
    const int64_t oldEnd = t[2].end;
    const int got = claimSegment(t, true);
    ASSERT_EQ(got, 4);
    EXPECT_EQ(t[4].start, t[2].pos + 10 * MiB);
    EXPECT_EQ(t[4].pos, t[4].start);
    EXPECT_EQ(t[4].end, oldEnd);
    EXPECT_EQ(t[2].end, t[4].start);
    EXPECT_TRUE(t[4].busy);
}

TEST(ClaimSegment, EqualRemaindersSplitTheEarlier) {
    auto t = planSegments(8 * MiB, true, 2);
    claimSegment(t, true);
    claimSegment(t, true);
    EXPECT_EQ(claimSegment(t, true), 2);
    EXPECT_EQ(t[0].end, 2 * MiB);  // the first was split
    EXPECT_EQ(t[1].end, 8 * MiB);
}

TEST(ClaimSegment, NoSplitBelowTwoMiBOrWithoutRanges) {
    auto t = planSegments(4 * MiB, true, 2);
    claimSegment(t, true);
    claimSegment(t, true);
    t[0].pos = t[0].end - (2 * MiB - 1);  // exactly 2097151 left: too little
    t[1].pos = t[1].end - 1000;
    EXPECT_EQ(claimSegment(t, true), -1);
    t[0].pos -= 1;  // 2 MiB left: splittable
    EXPECT_EQ(claimSegment(t, true), 2);
    auto plain = planSegments(100 * MiB, false, 1);
    EXPECT_EQ(claimSegment(plain, false), 0);
    EXPECT_EQ(claimSegment(plain, false), -1);
}

TEST(ClaimSegment, UnknownSizeIsNeverSplit) {
    auto t = planSegments(-1, true, 4);
    EXPECT_EQ(claimSegment(t, true), 0);
    EXPECT_EQ(claimSegment(t, true), -1);
}
}  // namespace
