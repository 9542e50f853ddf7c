// The list view's rules as plain functions: what a press on a row hits,
// what a row's detail line carries, the info box's colour and the keys.
#include <gtest/gtest.h>

#include "app/ListGeometry.h"
#include "app/MainWindow.h"
#include "app/MessageLoop.h"
#include "app/RowText.h"
#include "store/Format.h"
#include "ui/Colors.h"

namespace {
TEST(ListView, AFinishedRowHasNoFirstButtonToHit) {
    const auto finishedRow1 = [](int i) { return i == 1; };
    const auto hit = [&](POINT p, int count) {
        const RowHit h = HitTestRows(p, count, 700, 0, false, finishedRow1);
        return std::make_pair(h.row, h.button);
    };
    const RECT b0 = RowButtonRect(RowRect(0, 700, 0, false), 0), b1 = RowButtonRect(RowRect(1, 700, 0, false), 0),
               b3 = RowButtonRect(RowRect(1, 700, 0, false), 3);
    EXPECT_EQ(hit(POINT{b0.left + 2, b0.top + 2}, 2), std::make_pair(0, 0));
    EXPECT_EQ(hit(POINT{b1.left + 2, b1.top + 2}, 2), std::make_pair(1, -1));  // the finished row's empty place
    EXPECT_EQ(hit(POINT{b3.left + 2, b3.top + 2}, 2), std::make_pair(1, 3));
    const RECT r0 = RowRect(0, 700, 0, false);
    EXPECT_EQ(hit(POINT{300, (r0.bottom + RowRect(1, 700, 0, false).top) / 2}, 2).first, -1);  // between the cards
    EXPECT_EQ(hit(POINT{300, 50}, 0).first, -1);                                               // an empty list
}

TEST(ListView, TheDetailLineCarriesWhatTheStateHas) {
    DownloadInfo d;
    d.totalSize = 1000000;
    d.doneBytes = 250000;
    d.speed = 50000;
    d.activeConnections = 3;
    d.folder = L"D:\\Tải";
    d.errorText = L"HTTP 404";
    const auto has = [&](DownloadState state, std::initializer_list<std::wstring> parts, bool all = true) {
        d.state = state;
        const std::wstring line = DetailText(d);
        for (const std::wstring& p : parts) EXPECT_EQ(line.find(p) != std::wstring::npos, all) << ::testing::PrintToString(line);
    };
    has(DownloadState::Downloading, {FormatProgress(d), FormatSpeed(d.speed), FormatTimeLeft(d), L"3"});
    has(DownloadState::Paused, {StatusLabel(DownloadState::Paused), FormatProgress(d)});
    has(DownloadState::Paused, {FormatSpeed(d.speed), FormatTimeLeft(d)}, false);  // nothing moves
    has(DownloadState::Completed, {FormatSize(d.totalSize), L"D:\\Tải"});
    has(DownloadState::Failed, {L"HTTP 404"});
    // The green of plenty from 1 GiB of free space up; unknown is not plenty.
    EXPECT_EQ(FreeSpaceColour(1ull << 30), kGreen);
    for (uint64_t bytes : {(1ull << 30) - 1, ~0ull, 0ull}) EXPECT_EQ(FreeSpaceColour(bytes), kAmber) << bytes;
}

TEST(ListView, ShortcutsDigitsAndTheKeypadAlikeSpaceOnlyOnTheList) {
    const struct { WPARAM key; int list, elsewhere; } cases[] = {
        {'1', 103, 103}, {VK_NUMPAD1, 103, 103}, {VK_INSERT, 103, 103}, {'5', 107, 107}, {VK_NUMPAD5, 107, 107},
        {'6', 108, 108}, {VK_NUMPAD6, 108, 108}, {'7', 114, 114},       {VK_NUMPAD7, 114, 114}, {'8', 0, 0}, {VK_NUMPAD0, 0, 0},
        {VK_DELETE, 111, 111}, {VK_SPACE, 112, 0}, {'A', 0, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(std::make_pair(ShortcutCommand(c.key, true), ShortcutCommand(c.key, false)), std::make_pair(c.list, c.elsewhere))
            << c.key;
}
}  // namespace
