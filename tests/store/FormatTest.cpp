#include "store/Format.h"

#include <gtest/gtest.h>

#include "store/Lang.h"
#include "support/Language.h"

namespace {

TEST(FormatSize, UnitThresholdsAndRounding) {
    const struct {
        int64_t bytes;
        const wchar_t* text;
    } cases[] = {
        {0, L"0 B"},
        {1023, L"1023 B"},
        {1024, L"1.0 KB"},
        {1536, L"1.5 KB"},
        {1048575, L"1024.0 KB"},  // just under a unit rounds up within the smaller one
        {1048576, L"1.0 MB"},
        {1073741823, L"1024.0 MB"},
        {1073741824, L"1.00 GB"},
        {5492165909, L"5.11 GB"},
        {INT64_MAX, L"8589934592.00 GB"},
        {-1, L"\u2014"},
        {INT64_MIN, L"\u2014"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatSize(c.bytes), c.text) << c.bytes;
}

TEST(FormatSize, SameInBothLanguages) {
    ScopedLanguage en(false);
    EXPECT_EQ(FormatSize(1536), L"1.5 KB");
}

TEST(FormatSpeed, TruncatesTowardZero) {
    EXPECT_EQ(FormatSpeed(0.9), L"0 B/s");
    EXPECT_EQ(FormatSpeed(2048.7), L"2.0 KB/s");
    EXPECT_EQ(FormatSpeed(1023.99), L"1023 B/s");
    EXPECT_EQ(FormatSpeed(-0.5), L"0 B/s");
}

TEST(FormatSpeed, OutOfRangeValuesStayDefined) {
    EXPECT_EQ(FormatSpeed(1e30), FormatSize(INT64_MAX) + L"/s");
    EXPECT_EQ(FormatSpeed(-1e30), L"\u2014/s");
}

TEST(FormatDuration, BothLanguages) {
    const struct {
        int64_t seconds;
        const wchar_t* en;
        const wchar_t* vi;
    } cases[] = {
        {0, L"0s", L"0 giây"},
        {59, L"59s", L"59 giây"},
        {60, L"1m 0s", L"1 phút 0 giây"},
        {3599, L"59m 59s", L"59 phút 59 giây"},
        {3600, L"1h 0m", L"1 giờ 0 phút"},
        {86400 + 3600 + 60 + 1, L"25h 1m", L"25 giờ 1 phút"},
        {-5, L"0s", L"0 giây"},
    };
    for (const auto& c : cases) {
        {
            ScopedLanguage en(false);
            EXPECT_EQ(FormatDuration(c.seconds), c.en) << c.seconds;
        }
        {
            ScopedLanguage vi(true);
            EXPECT_EQ(FormatDuration(c.seconds), c.vi) << c.seconds;
        }
    }
}

TEST(StatusLabel, EveryStateInBothLanguages) {
    const struct {
        DownloadState state;
        const wchar_t* vi;
        const wchar_t* en;
    } cases[] = {
        {DownloadState::Queued, L"Đang chờ", L"Queued"},
        {DownloadState::Connecting, L"Đang kết nối\u2026", L"Connecting\u2026"},
        {DownloadState::Downloading, L"Đang tải", L"Downloading"},
        {DownloadState::Paused, L"Đã tạm dừng", L"Paused"},
        {DownloadState::Completed, L"Hoàn tất", L"Completed"},
        {DownloadState::Failed, L"Lỗi", L"Failed"},
        {static_cast<DownloadState>(42), L"Lỗi", L"Failed"},
    };
    for (const auto& c : cases) {
        {
            ScopedLanguage vi(true);
            EXPECT_EQ(StatusLabel(c.state), c.vi);
        }
        {
            ScopedLanguage en(false);
            EXPECT_EQ(StatusLabel(c.state), c.en);
        }
    }
}

TEST(StatusLabel, DefaultLanguageIsVietnamese) {
    EXPECT_EQ(StatusLabel(DownloadState::Queued), L"Đang chờ");
    EXPECT_TRUE(IsDarkTheme());
}

DownloadInfo Record(int64_t total, int64_t done, double speed) {
    DownloadInfo info;
    info.totalSize = total;
    info.doneBytes = done;
    info.speed = speed;
    return info;
}

TEST(FormatProgress, KnownAndUnknownTotal) {
    EXPECT_EQ(FormatProgress(Record(-1, 2048, 0)), L"2.0 KB");
    EXPECT_EQ(FormatProgress(Record(1048576, 1536, 0)), L"1.5 KB / 1.0 MB");
    EXPECT_EQ(FormatProgress(Record(0, 0, 0)), L"0 B / 0 B");
}

TEST(FormatTimeLeft, NeedsTotalAndSpeed) {
    ScopedLanguage en(false);
    EXPECT_EQ(FormatTimeLeft(Record(-1, 0, 1000)), L"");
    EXPECT_EQ(FormatTimeLeft(Record(1000, 0, 0.5)), L"");
    EXPECT_EQ(FormatTimeLeft(Record(1000, 1000, 10)), L"0s");
    EXPECT_EQ(FormatTimeLeft(Record(1000, 0, 1.0)), L"16m 40s");
    EXPECT_EQ(FormatTimeLeft(Record(1000, 0, 3.0)), L"5m 33s");  // 333.3 truncated
    EXPECT_EQ(FormatTimeLeft(Record(1000, 2000, 10)), L"0s");    // more done than total
}
}  // namespace
