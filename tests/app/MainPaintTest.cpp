// What the main window and its list view put on the screen, read back from
// the window after it painted: colours the layout fixes exactly (samples
// away from text and corners), the status line's counts, and a DPI change.
#include <gtest/gtest.h>

#include "MainWindowHost.h"
#include "store/Format.h"
#include "support/HttpGet.h"
#include "ui/Colors.h"

namespace {
class Painted : public ::testing::TestWithParam<bool>, public MainWindowHost {
protected:
    void SetUp() override {
        SetDarkTheme(GetParam());
        // Paused 50 %, finished, paused 0 %, paused 0.4 % (a bar of 2 or 3 px on its own).
        ASSERT_TRUE(Open(ListText({{"a.bin", "a.bin", "paused", 100, 50}, {"done.bin", "done.bin", "completed", 10, 10},
                                   {"zero.bin", "zero.bin", "paused", 100, 0}, {"one.bin", "one.bin", "paused", 1000, 4}}).c_str(),
                         false));
    }
    static COLORREF At(const Surface& s, int x, int y) { return FromPixel(s.at(x, y)); }
    RECT Row(int i) const {
        RECT c;
        GetClientRect(main->ListViewWindow(), &c);
        const ScrollBarState& scroll = main->View().Scroll();
        return RowRect(i, c.right, scroll.position, scroll.content > scroll.page);
    }
    static COLORREF Track() { return MixColors(PaletteColor(2), PaletteColor(8), 56); }
};
}  // namespace

TEST_P(Painted, TheWindowsOwnAreas) {
    const Surface s = Capture(main->Handle());
    const MainLayout& l = main->Layout();
    const int S = SidebarWidth(), below = l.actions[5].bottom + 20, mid = (l.linkFrame.left + l.linkFrame.right) / 2;
    const struct { int x, y; COLORREF colour; } samples[] = {
        {5, below, PaletteColor(1)},          {S - 1, below, PaletteColor(6)},               // sidebar and its edge
        {S + 3, 5, PaletteColor(2)},          {S + 3, 65, PaletteColor(6)},                  // top bar and its line
        {S + 3, s.height() - 5, PaletteColor(2)}, {S + 3, s.height() - 32, PaletteColor(6)},  // status line and its line
        {l.infoBox.left + 5, l.infoBox.bottom - 4, PaletteColor(3)},
        {mid, l.linkFrame.top, kBlue}};  // the start puts the focus in the link box: its frame is blue
    for (const auto& p : samples) EXPECT_EQ(At(s, p.x, p.y), p.colour) << p.x << "," << p.y;
    SetFocus(main->ListViewWindow());  // until it goes
    EXPECT_EQ(At(Capture(main->Handle()), mid, l.linkFrame.top), PaletteColor(6));
}

TEST_P(Painted, CardsBadgesAndBars) {
    main->List()->Select(0);
    const RECT r1 = Row(1);
    SendMessageW(main->ListViewWindow(), WM_MOUSEMOVE, 0, MAKELPARAM(r1.left + 30, r1.top + 70));  // hover row 1
    const Surface s = Capture(main->ListViewWindow());
    EXPECT_EQ(At(s, 5, 5), PaletteColor(0));  // list background
    const struct { int row; COLORREF fill, accent; } rows[] = {{0, PaletteColor(5), kAmber}, {1, PaletteColor(4), kGreen},
                                                               {2, PaletteColor(2), kAmber}};
    for (const auto& row : rows) {
        const RECT r = Row(row.row);
        EXPECT_EQ(At(s, r.left + 30, r.top + 70), row.fill) << row.row;                              // selected, hovered, plain
        EXPECT_EQ(At(s, r.left + 200, r.top), row.row == 0 ? kBlue : PaletteColor(6)) << row.row;   // the selection border
        EXPECT_EQ(At(s, r.left + 17, r.top + 34), MixColors(row.fill, row.accent, 36)) << row.row;   // inside the badge
    }
    const int x0 = Row(0).left + 66;
    EXPECT_EQ(At(s, x0 + 20, Row(0).top + 67), kAmber);   // 50 %
    EXPECT_EQ(At(s, x0 + 2, Row(2).top + 67), Track());   // 0 %: the track only
    EXPECT_EQ(At(s, x0 + 4, Row(3).top + 67), kAmber);    // a bar of at least 8 px
    EXPECT_EQ(At(s, x0 + 10, Row(3).top + 67), Track());
}

TEST_P(Painted, AnUnknownSizeDownloadFillsTheTrackFaintly) {
    // A body without a length that keeps coming while the test looks.
    SetWindowTextW(main->LinkBox(), (Server() + L"/file/stream.bin?size=100000000&body=nolength&rate=100000").c_str());
    main->OnCommand(101);
    DownloadList& list = *main->List();
    ASSERT_EQ(list.Entries().size(), 5u);
    ASSERT_TRUE(Pump(5000, [&] { return list.Entries()[4].cached.state == DownloadState::Downloading; }));
    ASSERT_LT(list.Entries()[4].cached.totalSize, 1);
    list.Select(0);
    const RECT r = Row(4);
    const Surface s = Capture(main->ListViewWindow());
    ASSERT_LE(r.bottom, s.height());
    EXPECT_EQ(At(s, r.left + 86, r.top + 67), MixColors(Track(), kBlue, 96));
    EXPECT_EQ(At(s, r.right - 70, r.top + 67), MixColors(Track(), kBlue, 96));  // the whole track
}

TEST_P(Painted, StatusLineCountsAndSpeeds) {
    // The whole numbers the right part shows, once the speed is taken out.
    const auto numbers = [](std::wstring text, const std::wstring& speed) {
        if (size_t at = text.find(speed); !speed.empty() && at != std::wstring::npos) text.erase(at, speed.size());
        std::vector<int> found;
        for (size_t i = 0; i < text.size(); ++i)
            if (iswdigit(text[i]) && (i == 0 || !iswdigit(text[i - 1]))) found.push_back(_wtoi(text.c_str() + i));
        return found;
    };
    bool active = true;
    EXPECT_EQ(numbers(RightStatusText(main->List()->Entries(), active), L""), (std::vector<int>{0, 4}));
    EXPECT_FALSE(active);
    std::vector<ListEntry> entries(main->List()->Entries());
    entries[0].cached.state = DownloadState::Downloading;
    entries[0].cached.speed = 2.5 * 1024 * 1024;
    entries[2].cached.state = DownloadState::Connecting;
    const std::wstring busy = RightStatusText(entries, active), speed = FormatSpeed(2.5 * 1024 * 1024);
    EXPECT_TRUE(active);
    EXPECT_NE(busy.find(speed), std::wstring::npos);
    EXPECT_EQ(numbers(busy, speed), (std::vector<int>{2, 4}));  // two active of four
}

TEST_P(Painted, DpiChangeMovesResizesAndRelaysOut) {
    MINMAXINFO at96{}, at144{};
    SendMessageW(main->Handle(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&at96));
    main->List()->Select(1);
    SetFocus(main->ListViewWindow());
    main->OnCommand(IDOK);
    ASSERT_NE(main->DetailsWindow(), nullptr);
    const int sidebar = SidebarWidth();
    RECT suggested{10, 20, 10 + 1500, 20 + 960};
    SendMessageW(main->Handle(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(CurrentDpi(), 144);
    RECT w;
    GetWindowRect(main->Handle(), &w);
    EXPECT_TRUE(EqualRect(&w, &suggested));
    EXPECT_EQ(main->DetailsWindow(), nullptr);  // laid out for one DPI only
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(main->LinkBox(), WM_GETFONT, 0, 0)), FontOf(4));
    EXPECT_EQ(main->Layout().list.left, sidebar * 3 / 2);
    SendMessageW(main->Handle(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&at144));
    EXPECT_EQ(at144.ptMinTrackSize.x, at96.ptMinTrackSize.x * 3 / 2);
    EXPECT_EQ(at144.ptMinTrackSize.y, at96.ptMinTrackSize.y * 3 / 2);
}

INSTANTIATE_TEST_SUITE_P(Themes, Painted, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "dark" : "light"; });
