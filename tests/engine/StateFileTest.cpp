#include "engine/StateFile.h"

#include <gtest/gtest.h>

namespace {
using namespace zeb;
constexpr int64_t MiB = 1048576;
const std::wstring kUrl = L"https://h.example/ảnh.iso";

Segment Seg(int64_t start, int64_t end, int64_t pos) {
    Segment s;
    s.start = start;
    s.end = end;
    s.pos = pos;
    return s;
}

TEST(StateText, ExactLinesWithMergedFinishedRuns) {
    const std::string text =
        buildStateText(kUrl, 4 * MiB, {Seg(2 * MiB, 3 * MiB, 2 * MiB + 5), Seg(0, MiB, MiB), Seg(MiB, 2 * MiB, 2 * MiB),
                                       Seg(3 * MiB, 4 * MiB, 4 * MiB)});
    EXPECT_EQ(text,
              "ZEBSTATE 1\r\nurl=https://h.example/\xE1\xBA\xA3nh.iso\r\ntotal=4194304\r\netag=\r\nmodified=\r\n"
              "seg=0,2097152,2097152\r\nseg=2097152,3145728,2097157\r\nseg=3145728,4194304,4194304\r\n");
}

TEST(StateText, RoundTrip) {
    const std::vector<Segment> table = {Seg(0, MiB, 100), Seg(MiB, 3 * MiB, 3 * MiB), Seg(3 * MiB, 5 * MiB, 4 * MiB)};
    auto back = parseStateText(buildStateText(kUrl, 5 * MiB, table), kUrl, 5 * MiB);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->size(), 3u);
    EXPECT_EQ((*back)[1].state, SegmentState::Done);
    EXPECT_EQ((*back)[2].pos, 4 * MiB);
    EXPECT_EQ((*back)[2].state, SegmentState::Idle);
}

TEST(StateText, RejectsWhatDoesNotDescribeThisFile) {
    const std::string head = "ZEBSTATE 1\r\nurl=" "https://h.example/\xE1\xBA\xA3nh.iso" "\r\n";
    const struct {
        const char* why;
        std::string text;
    } cases[] = {
        {"no magic", "ZEBSTATF 1\r\n"},
        {"other link", "ZEBSTATE 1\r\nurl=https://h.example/other\r\ntotal=10\r\nseg=0,10,5\r\n"},
        {"other total", head + "total=11\r\nseg=0,10,5\r\n"},
        {"signed total", head + "total=+10\r\nseg=0,10,5\r\n"},
        {"no segments", head + "total=10\r\n"},
        {"gap", head + "total=10\r\nseg=0,4,4\r\nseg=5,10,5\r\n"},
        {"overlap", head + "total=10\r\nseg=0,6,6\r\nseg=5,10,5\r\n"},
        {"short of total", head + "total=10\r\nseg=0,9,9\r\n"},
        {"pos past end", head + "total=10\r\nseg=0,10,11\r\n"},
        {"pos before start", head + "total=10\r\nseg=0,5,5\r\nseg=5,10,4\r\n"},
        {"empty range", head + "total=10\r\nseg=0,0,0\r\nseg=0,10,0\r\n"},
        {"one comma", head + "total=10\r\nseg=0,10\r\n"},
        {"bad number", head + "total=10\r\nseg=0,1O,5\r\n"},
        {"later url decides", head + "total=10\r\nseg=0,10,5\r\nurl=https://else/\r\n"},
    };
    for (const auto& c : cases) EXPECT_FALSE(parseStateText(c.text, kUrl, 10)) << c.why;
    // A later key decides in the other direction too; LF-only lines and a
    // last line without LF are read.
    EXPECT_TRUE(parseStateText(head + "total=9\ntotal=10\nseg=5,10,7\nseg=0,5,5", kUrl, 10));
}
}  // namespace
