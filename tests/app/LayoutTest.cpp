// The main window's layout and the list view's geometry and texts, as plain
// functions at 96 and 144 DPI.
#include <gtest/gtest.h>

#include "app/ListGeometry.h"
#include "app/MainLayout.h"
#include "app/MainWindow.h"
#include "app/MessageLoop.h"
#include "app/RowText.h"
#include "store/Format.h"
#include "support/Language.h"
#include "ui/Colors.h"
#include "ui/Dpi.h"

namespace {
struct DpiScope {
    explicit DpiScope(int dpi) { SetCurrentDpi(dpi); }
    ~DpiScope() { SetCurrentDpi(96); }
};

void ExpectRect(const RECT& r, LONG l, LONG t, LONG rr, LONG b) {
    EXPECT_EQ(r.left, l);
    EXPECT_EQ(r.top, t);
    EXPECT_EQ(r.right, rr);
    EXPECT_EQ(r.bottom, b);
}
}  // namespace

TEST(MainLayout, At96) {
    const MainLayout l = ComputeMainLayout(1000, 640, LayoutMeasures{70, 100, 15});
    ExpectRect(l.logo, 16, 16, 54, 54);
    ExpectRect(l.title, 64, 14, 134, 37);
    ASSERT_TRUE(l.hasBadge);
    ExpectRect(l.badge, 140, 18, 164, 34);
    ExpectRect(l.infoBox, 16, 68, 256, 164);
    for (int i = 0; i < 6; ++i) ExpectRect(l.actions[i], 16, 200 + 40 * i, 256, 234 + 40 * i);
    ExpectRect(l.themeButton, 16, 640 - 16 - 34, 16 + 116, 640 - 16);
    ExpectRect(l.languageButton, 16 + 116 + 8, 590, 256, 624);
    ExpectRect(l.topBar, 272, 0, 1000, 66);
    ExpectRect(l.status, 272, 608, 1000, 640);
    ExpectRect(l.list, 272, 66, 1000, 608);
    // The Download button: at least 128, else its preferred width + 12.
    ExpectRect(l.downloadButton, 1000 - 128 - 16, 15, 984, 51);
    ExpectRect(l.linkFrame, 288, 15, 1000 - 128 - 16 - 8, 51);
    ExpectRect(l.linkBox, 288 + 38, 15 + (36 - 15) / 2, 288 + 38 + (848 - 288 - 48), 15 + 10 + 15);
    EXPECT_EQ(ComputeMainLayout(1000, 640, LayoutMeasures{70, 200, 15}).downloadButton.left, 1000 - 212 - 16);
    // A title too wide for the badge: no badge, the title cut at S - 8.
    const MainLayout wide = ComputeMainLayout(1000, 640, LayoutMeasures{400, 80, 15});
    EXPECT_FALSE(wide.hasBadge);
    EXPECT_EQ(wide.title.right, 264);
    // A short window keeps the switches below the last action.
    EXPECT_EQ(ComputeMainLayout(780, 300, LayoutMeasures{70, 80, 15}).themeButton.top, 200 + 5 * 40 + 40);
}

TEST(MainLayout, At144) {
    DpiScope dpi(144);
    const MainLayout l = ComputeMainLayout(1500, 960, LayoutMeasures{100, 150, 22});
    ExpectRect(l.logo, 24, 24, 81, 81);
    ExpectRect(l.infoBox, 24, 102, 384, 248);
    for (int i = 0; i < 6; ++i) ExpectRect(l.actions[i], 24, 302 + 60 * i, 384, 353 + 60 * i);
    ExpectRect(l.list, 408, 99, 1500, 912);
    EXPECT_EQ(l.linkFrame.left, 432);
    EXPECT_EQ(SidebarWidth(), 408);
}

TEST(ListGeometry, RowsButtonsAndContentAtBothDpis) {
    ExpectRect(RowRect(0, 700, 0, false), 16, 14, 684, 100);
    ExpectRect(RowRect(2, 700, 50, true), 16, 2 * 96 - 50 + 14, 678, 2 * 96 - 50 + 100);
    const RECT r = RowRect(0, 700, 0, false);
    for (int k = 0; k < 4; ++k) ExpectRect(RowButtonRect(r, k), r.right - 144 + 34 * k, 23, r.right - 114 + 34 * k, 53);
    EXPECT_EQ(ContentHeight(0), 0);
    EXPECT_EQ(ContentHeight(3), 3 * 96 + 28 - 10);
    ExpectRect(ScrollTrack(700, 500), 689, 8, 695, 492);
    DpiScope dpi(144);
    const RECT r2 = RowRect(1, 1000, 0, false);
    ExpectRect(r2, 24, 144 + 21, 976, 144 + 150);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(RowButtonRect(r2, k).left, r2.right - 216 + 51 * k);
}

TEST(ListGeometry, HitTestLeavesOutTheFinishedRowsFirstButton) {
    const auto finishedRow1 = [](int i) { return i == 1; };
    const RECT r0 = RowRect(0, 700, 0, false), r1 = RowRect(1, 700, 0, false);
    const RECT b0 = RowButtonRect(r0, 0), b1 = RowButtonRect(r1, 0), b3 = RowButtonRect(r1, 3);
    RowHit h = HitTestRows(POINT{b0.left + 2, b0.top + 2}, 2, 700, 0, false, finishedRow1);
    EXPECT_EQ(h.row, 0);
    EXPECT_EQ(h.button, 0);
    h = HitTestRows(POINT{b1.left + 2, b1.top + 2}, 2, 700, 0, false, finishedRow1);
    EXPECT_EQ(h.row, 1);
    EXPECT_EQ(h.button, -1);  // the empty space of a finished row's first button
    h = HitTestRows(POINT{b3.left + 2, b3.top + 2}, 2, 700, 0, false, finishedRow1);
    EXPECT_EQ(h.button, 3);
    h = HitTestRows(POINT{300, 105}, 2, 700, 0, false, finishedRow1);  // in the gap
    EXPECT_EQ(h.row, -1);
    h = HitTestRows(POINT{300, 50}, 0, 700, 0, false, finishedRow1);  // empty list
    EXPECT_EQ(h.row, -1);
}

TEST(ListGeometry, SelectionMovesAndVisibility) {
    EXPECT_EQ(MovedSelection(-1, 1, false, 0), -1);  // empty list: nothing
    EXPECT_EQ(MovedSelection(-1, 1, false, 3), 0);
    EXPECT_EQ(MovedSelection(-1, -1, false, 3), 0);  // Up with no selection: the first
    EXPECT_EQ(MovedSelection(2, 1, false, 3), 2);    // Down on the last keeps it
    EXPECT_EQ(MovedSelection(1, -1, true, 3), 0);
    EXPECT_EQ(MovedSelection(0, 1, true, 3), 2);
    const int content = ContentHeight(10), page = 300;
    EXPECT_EQ(EnsureVisiblePosition(5, 0, page, content), 5 * 96 + 14 + 86 + 14 - page);
    EXPECT_EQ(EnsureVisiblePosition(1, 400, page, content), 96);
    EXPECT_EQ(EnsureVisiblePosition(9, 0, page, content), content - page);  // clamped
    EXPECT_EQ(EnsureVisiblePosition(-1, 123, page, content), 123);
}

TEST(RowText, DetailLinePerStateInBothLanguages) {
    DownloadInfo d;
    d.totalSize = 1000000;
    d.doneBytes = 250000;
    d.speed = 50000;
    d.activeConnections = 4;
    d.folder = L"D:\\Tải";
    d.errorText = L"HTTP 404";
    const std::wstring sep = L"   \u2022   ";
    for (bool vi : {true, false}) {
        ScopedLanguage lang(vi);
        d.state = DownloadState::Queued;
        EXPECT_EQ(DetailText(d), vi ? L"Đang chờ trong hàng đợi" : L"Waiting in the queue");
        d.state = DownloadState::Downloading;
        EXPECT_EQ(DetailText(d), FormatProgress(d) + sep + FormatSpeed(d.speed) + sep + (vi ? L"còn " : L"left ") +
                                     FormatTimeLeft(d) + sep + (vi ? L"4 kết nối" : L"4 connections"));
        d.state = DownloadState::Paused;
        EXPECT_EQ(DetailText(d), StatusLabel(d.state) + sep + FormatProgress(d));
        d.state = DownloadState::Completed;
        EXPECT_EQ(DetailText(d), StatusLabel(d.state) + sep + FormatSize(d.totalSize) + sep + L"D:\\Tải");
        d.state = DownloadState::Failed;
        EXPECT_EQ(DetailText(d), (vi ? L"Lỗi: " : L"Error: ") + std::wstring(L"HTTP 404"));
        d.state = DownloadState::Connecting;
        EXPECT_EQ(DetailText(d), StatusLabel(d.state));
    }
    DownloadInfo still = d;
    still.state = DownloadState::Downloading;
    still.speed = 0;  // no time left to tell: that part is left out
    EXPECT_EQ(DetailText(still).find(L"left"), std::wstring::npos);
    EXPECT_EQ(RowButtonIcon(DownloadState::Completed, 0), 0);
    EXPECT_EQ(RowButtonIcon(DownloadState::Paused, 0), 17);
    EXPECT_EQ(RowButtonIcon(DownloadState::Failed, 0), 11);
    EXPECT_EQ(RowButtonIcon(DownloadState::Downloading, 0), 34);
}

TEST(InfoBox, FreeSpaceIsGreenFromOneGibibyteAndAmberWhenUnknown) {
    EXPECT_EQ(FreeSpaceColour(1ull << 30), kGreen);
    EXPECT_EQ(FreeSpaceColour((1ull << 30) - 1), kAmber);
    EXPECT_EQ(FreeSpaceColour(~0ull), kAmber);  // unknown is not plenty
    EXPECT_EQ(FreeSpaceColour(0), kAmber);
}

TEST(Shortcuts, DigitsAndTheKeypadAlikeSpaceOnlyOnTheList) {
    const struct {
        WPARAM key;
        int list, elsewhere;
    } cases[] = {
        {'1', 103, 103}, {VK_NUMPAD1, 103, 103}, {VK_INSERT, 103, 103}, {'5', 107, 107}, {VK_NUMPAD5, 107, 107},
        {'6', 108, 108}, {VK_NUMPAD6, 108, 108}, {'7', 0, 0},         {VK_NUMPAD7, 0, 0},  {VK_NUMPAD0, 0, 0},
        {VK_DELETE, 111, 111}, {VK_SPACE, 112, 0}, {'A', 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ShortcutCommand(c.key, true), c.list) << c.key;
        EXPECT_EQ(ShortcutCommand(c.key, false), c.elsewhere) << c.key;
    }
}
