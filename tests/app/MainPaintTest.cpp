// What the main window and its list view put on the screen, read back from
// the window after it painted: colours the layout fixes exactly (samples
// away from text and corners), the status line's text, and a DPI change.
#include "support/TrickleServer.h"  // winsock before windows.h

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "MainWindowHost.h"
#include "app/MainWindow.h"
#include "engine/Download.h"
#include "store/FileServices.h"
#include "store/Format.h"
#include "store/Lang.h"
#include "store/Settings.h"
#include "support/TempFolder.h"
#include "ui/Colors.h"
#include "ui/Dpi.h"
#include "ui/Fonts.h"

namespace {
// Paused 50 %, finished, paused 0 %, paused 0.4 % (a bar of 2 or 3 px on its own).
const char kRows[] =
    "ZEBLIST 1\r\n"
    "[item]\r\nurl=http://127.0.0.1:9/a.bin\r\nfolder=C:\\dl\r\nfile=a.bin\r\nfixed=1\r\ntotal=100\r\ndone=50\r\n"
    "state=paused\r\nerror=\r\n"
    "[item]\r\nurl=http://127.0.0.1:9/done.bin\r\nfolder=C:\\dl\r\nfile=done.bin\r\nfixed=1\r\ntotal=10\r\ndone=10\r\n"
    "state=completed\r\nerror=\r\n"
    "[item]\r\nurl=http://127.0.0.1:9/zero.bin\r\nfolder=C:\\dl\r\nfile=zero.bin\r\nfixed=1\r\ntotal=100\r\ndone=0\r\n"
    "state=paused\r\nerror=\r\n"
    "[item]\r\nurl=http://127.0.0.1:9/one.bin\r\nfolder=C:\\dl\r\nfile=one.bin\r\nfixed=1\r\ntotal=1000\r\ndone=4\r\n"
    "state=paused\r\nerror=\r\n";

class Painted : public ::testing::TestWithParam<bool>, public MainWindowHost {
protected:
    void SetUp() override {
        SetDarkTheme(GetParam());
        ASSERT_TRUE(Open(kRows, false));
    }
    void Pump() { MainWindowHost::Pump(100); }
    static COLORREF At(const Surface& s, int x, int y) { return FromPixel(s.at(x, y)); }

};
}  // namespace

TEST_P(Painted, TheWindowsOwnAreas) {
    const Surface s = Capture(main->Handle());
    const MainLayout& l = main->Layout();
    const int S = SidebarWidth();
    EXPECT_EQ(At(s, 5, l.actions[5].bottom + 20), PaletteColor(1));            // sidebar
    EXPECT_EQ(At(s, S - 1, l.actions[5].bottom + 20), PaletteColor(6));        // its edge
    EXPECT_EQ(At(s, S + 3, 5), PaletteColor(2));                               // top bar
    EXPECT_EQ(At(s, S + 3, 65), PaletteColor(6));                              // its line
    EXPECT_EQ(At(s, S + 3, s.height() - 5), PaletteColor(2));                  // status line
    EXPECT_EQ(At(s, S + 3, s.height() - 32), PaletteColor(6));                 // its line
    EXPECT_EQ(At(s, l.infoBox.left + 5, l.infoBox.bottom - 4), PaletteColor(3));  // info box
    // The start puts the focus in the link box: its frame is blue until it goes.
    EXPECT_EQ(At(s, (l.linkFrame.left + l.linkFrame.right) / 2, l.linkFrame.top), kBlue);
    SetFocus(main->ListViewWindow());
    const Surface after = Capture(main->Handle());
    EXPECT_EQ(At(after, (l.linkFrame.left + l.linkFrame.right) / 2, l.linkFrame.top), PaletteColor(6));
}

TEST_P(Painted, CardsBadgesAndBars) {
    DownloadList& list = *main->List();
    list.Select(0);
    RECT c;
    GetClientRect(main->ListViewWindow(), &c);
    const bool bar = main->View().Scroll().content > main->View().Scroll().page;
    const RECT r1 = RowRect(1, c.right, 0, bar);
    SendMessageW(main->ListViewWindow(), WM_MOUSEMOVE, 0, MAKELPARAM(r1.left + 30, r1.top + 70));  // hover row 1
    const Surface s = Capture(main->ListViewWindow());
    EXPECT_EQ(At(s, 5, 5), PaletteColor(0));  // list background
    struct Row {
        int index;
        COLORREF fill, accent;
    };
    const Row rows[] = {{0, PaletteColor(5), kAmber}, {1, PaletteColor(4), kGreen}, {2, PaletteColor(2), kAmber}};
    for (const Row& row : rows) {
        SCOPED_TRACE("row " + std::to_string(row.index));
        const RECT r = RowRect(row.index, c.right, 0, bar);
        EXPECT_EQ(At(s, r.left + 30, r.top + 70), row.fill);
        EXPECT_EQ(At(s, r.left + 200, r.top), row.index == 0 ? kBlue : PaletteColor(6));  // the selection border
        EXPECT_EQ(At(s, r.left + 17, r.top + 34), MixColors(row.fill, row.accent, 36));  // inside the badge
    }
    const RECT r0 = RowRect(0, c.right, 0, bar);
    const int x0 = r0.left + 66;
    EXPECT_EQ(At(s, x0 + 20, r0.top + 67), kAmber);  // 50 %
    const RECT r2 = RowRect(2, c.right, 0, bar);
    EXPECT_EQ(At(s, x0 + 2, r2.top + 67), MixColors(PaletteColor(2), PaletteColor(8), 56));  // 0 %: the track only
    const RECT r3 = RowRect(3, c.right, 0, bar);
    EXPECT_EQ(At(s, x0 + 4, r3.top + 67), kAmber);  // a bar of at least 8 px
    EXPECT_EQ(At(s, x0 + 10, r3.top + 67), MixColors(PaletteColor(2), PaletteColor(8), 56));
}

TEST_P(Painted, AnUnknownSizeDownloadFillsTheTrackFaintly) {
    TrickleServer server;
    SetWindowTextW(main->LinkBox(), server.Url(L"/stream.bin").c_str());
    main->OnCommand(101);
    DownloadList& list = *main->List();
    ASSERT_EQ(list.Entries().size(), 5u);
    const ULONGLONG end = GetTickCount64() + 5000;
    while (GetTickCount64() < end && list.Entries()[4].cached.state != DownloadState::Downloading) Pump();
    ASSERT_EQ(list.Entries()[4].cached.state, DownloadState::Downloading);
    ASSERT_LT(list.Entries()[4].cached.totalSize, 1);
    list.Select(0);
    RECT c;
    GetClientRect(main->ListViewWindow(), &c);
    const ScrollBarState& scroll = main->View().Scroll();
    const RECT r = RowRect(4, c.right, scroll.position, scroll.content > scroll.page);
    ASSERT_LE(r.bottom, c.bottom);
    const Surface s = Capture(main->ListViewWindow());
    const COLORREF track = MixColors(PaletteColor(2), PaletteColor(8), 56);
    const int x0 = r.left + 66;
    EXPECT_EQ(At(s, x0 + 20, r.top + 67), MixColors(track, kBlue, 96));
    EXPECT_EQ(At(s, r.right - 70, r.top + 67), MixColors(track, kBlue, 96));  // the whole track
    server.Stop();  // the job ends now, not at a timeout
}

TEST_P(Painted, StatusLineCountsAndSpeeds) {
    bool active = true;
    SetVietnamese(false);
    EXPECT_EQ(RightStatusText(main->List()->Entries(), active), L"0 active / 4 items");
    EXPECT_FALSE(active);
    std::vector<ListEntry> entries(main->List()->Entries());
    entries[0].cached.state = DownloadState::Downloading;
    entries[0].cached.speed = 2.5 * 1024 * 1024;
    entries[2].cached.state = DownloadState::Connecting;
    EXPECT_EQ(RightStatusText(entries, active),
              L"\u2193 " + FormatSpeed(2.5 * 1024 * 1024) + L"   \u2022   2 active / 4 items");
    EXPECT_TRUE(active);
    SetVietnamese(true);
    EXPECT_EQ(RightStatusText(entries, active), L"\u2193 " + FormatSpeed(2.5 * 1024 * 1024) + L"   \u2022   2 đang tải / 4 mục");
}

TEST_P(Painted, DpiChangeMovesResizesAndRelaysOut) {
    main->OnCommand(IDOK);  // nothing focused on the list: no details
    main->List()->Select(1);
    SetFocus(main->ListViewWindow());
    main->OnCommand(IDOK);
    ASSERT_NE(main->DetailsWindow(), nullptr);
    RECT suggested{10, 20, 10 + 1500, 20 + 960};
    SendMessageW(main->Handle(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(CurrentDpi(), 144);
    RECT w;
    GetWindowRect(main->Handle(), &w);
    EXPECT_EQ(w.left, 10);
    EXPECT_EQ(w.top, 20);
    EXPECT_EQ(w.right - w.left, 1500);
    EXPECT_EQ(main->DetailsWindow(), nullptr);  // laid out for one DPI only
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(main->LinkBox(), WM_GETFONT, 0, 0)), FontOf(4));
    EXPECT_EQ(main->Layout().list.left, 408);
    EXPECT_EQ(main->Layout().actions[0].top, 302);
    MINMAXINFO mm{};
    SendMessageW(main->Handle(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mm));
    EXPECT_EQ(mm.ptMinTrackSize.x, 1170);
    EXPECT_EQ(mm.ptMinTrackSize.y, 810);
}

INSTANTIATE_TEST_SUITE_P(Themes, Painted, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "dark" : "light"; });
