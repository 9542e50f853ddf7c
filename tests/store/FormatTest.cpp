// The display formatters: sizes, speeds, durations and a row's progress.
#include "store/Format.h"

#include <gtest/gtest.h>

#include "support/Language.h"

namespace {
TEST(FormatSize, UnitThresholdsRoundingAndSpeeds) {
    const std::pair<int64_t, const wchar_t*> sizes[] = {
        {0, L"0 B"}, {1023, L"1023 B"}, {1024, L"1.0 KB"}, {1536, L"1.5 KB"},
        {1048575, L"1024.0 KB"},  // just under a unit rounds up within the smaller one
        {1048576, L"1.0 MB"}, {1073741823, L"1024.0 MB"}, {1073741824, L"1.00 GB"}, {5492165909, L"5.11 GB"},
        {INT64_MAX, L"8589934592.00 GB"}, {-1, L"\u2014"}, {INT64_MIN, L"\u2014"}};
    for (const auto& [bytes, text] : sizes) EXPECT_EQ(FormatSize(bytes), text) << bytes;
    // Speeds are truncated toward zero; out of range they stay defined.
    const std::pair<double, std::wstring> speeds[] = {
        {0.9, L"0 B/s"}, {2048.7, L"2.0 KB/s"}, {1023.99, L"1023 B/s"}, {-0.5, L"0 B/s"},
        {1e30, FormatSize(INT64_MAX) + L"/s"}, {-1e30, L"\u2014/s"}};
    for (const auto& [speed, text] : speeds) EXPECT_EQ(FormatSpeed(speed), text) << speed;
}

DownloadInfo Record(int64_t total, int64_t done, double speed) {
    DownloadInfo info;
    info.totalSize = total;
    info.doneBytes = done;
    info.speed = speed;
    return info;
}

TEST(FormatDuration, DurationsProgressAndTimeLeft) {
    ScopedLanguage en(false);
    const std::pair<int64_t, const wchar_t*> durations[] = {
        {0, L"0s"}, {59, L"59s"}, {60, L"1m 0s"}, {3599, L"59m 59s"}, {3600, L"1h 0m"}, {90061, L"25h 1m"}, {-5, L"0s"}};
    for (const auto& [seconds, text] : durations) EXPECT_EQ(FormatDuration(seconds), text) << seconds;
    EXPECT_EQ(FormatProgress(Record(-1, 2048, 0)), L"2.0 KB");
    EXPECT_EQ(FormatProgress(Record(1048576, 1536, 0)), L"1.5 KB / 1.0 MB");
    EXPECT_EQ(FormatProgress(Record(0, 0, 0)), L"0 B / 0 B");
    // Time left needs a total and a speed of at least a byte a second.
    for (const DownloadInfo& none : {Record(-1, 0, 1000), Record(1000, 0, 0.5)}) EXPECT_EQ(FormatTimeLeft(none), L"");
    EXPECT_EQ(FormatTimeLeft(Record(1000, 0, 3.0)), L"5m 33s");  // 333.3 truncated
    EXPECT_EQ(FormatTimeLeft(Record(1000, 2000, 10)), L"0s");    // more done than total
    // A state the program does not know is shown as a failure.
    EXPECT_EQ(StatusLabel(static_cast<DownloadState>(42)), StatusLabel(DownloadState::Failed));
}
}  // namespace
