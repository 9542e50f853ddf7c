// The details window: its paint read back from a surface (the segment map
// pixel by pixel, the map's messages), the connection rows' and facts'
// values, and the real window on a real main window: size and place, the
// pause button by state, Copy Link with clipboard watching on, the wheel
// over 16 real connections, and every way it closes.
#include <gtest/gtest.h>

#include <climits>
#include <functional>

#include "MainWindowHost.h"
#include "app/DetailsPaint.h"
#include "store/Format.h"
#include "support/HttpGet.h"
#include "ui/Buttons.h"
#include "ui/Colors.h"
#include "ui/ControlText.h"

namespace {
COLORREF At(const Surface& s, int x, int y) { return FromPixel(s.at(x, y)); }

// The inner area of the segment map at 96 DPI in a 680-pixel client.
constexpr RECT kInner{24, 168, 656, 200};
constexpr int kMid = static_cast<int>(kInner.top + kInner.bottom) / 2;

class PaintedDetails : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        SetDarkTheme(GetParam());
        SetCurrentDpi(96);
        BuildFonts();
    }
    void TearDown() override { SetDarkTheme(true); }
    static Surface Paint(const DownloadInfo& info) {
        Surface s = SurfaceCreate(680, 520);
        PaintDetails(s, info, 0, 8, 680, 520);
        GdiFlush();
        return s;
    }
};
}  // namespace

TEST_P(PaintedDetails, TheMapShowsEachRangeOrAMessage) {
    // Done green, written blue, the busy connection's next bytes amber, the
    // rest empty, with a separator where the second segment starts.
    DownloadInfo info{.totalSize = 1000, .state = DownloadState::Downloading};
    info.segments = {Segment{0, 500, 500, SegmentState::Done}, Segment{500, 1000, 750, SegmentState::Receiving, true}};
    const Surface s = Paint(info);
    const auto column = [](int x) { return x < 340 ? kGreen : x == 340 || x >= 500 ? PaletteColor(9) : x < 498 ? kBlue : kAmber; };
    for (int y : {int{kInner.top}, kMid, int{kInner.bottom} - 1})
        for (int x = kInner.left; x < kInner.right; ++x) ASSERT_EQ(At(s, x, y), column(x)) << x << "," << y;
    EXPECT_TRUE(At(s, 100, kInner.top - 1) != kGreen && At(s, 100, kInner.bottom) != kGreen);  // nothing outside it
    // The body, the footer's line and the footer.
    EXPECT_EQ(std::make_tuple(At(s, 5, 5), At(s, 5, 456), At(s, 5, 515)), std::make_tuple(PaletteColor(2), PaletteColor(6), PaletteColor(3)));
    // Finished: no segments are left after the rename, yet the map is full.
    const Surface done = Paint(DownloadInfo{.totalSize = 1000, .state = DownloadState::Completed});
    for (int x = kInner.left; x < kInner.right; ++x) ASSERT_EQ(At(done, x, kMid), kGreen) << x;
    // Not started yet, or a size the server did not announce: a line of text centred in the map.
    DownloadInfo unknown{.state = DownloadState::Downloading};
    unknown.segments = {Segment{0, INT64_MAX, 4096, SegmentState::Receiving, true}};
    for (const DownloadInfo& nothing : {DownloadInfo{.totalSize = 1000, .state = DownloadState::Paused}, unknown}) {
        const Surface m = Paint(nothing);
        int left = INT_MAX, right = -1;
        for (int y = kInner.top; y < kInner.bottom; ++y)
            for (int x = kInner.left; x < kInner.right; ++x) {
                const COLORREF p = At(m, x, y);
                ASSERT_TRUE(p != kBlue && p != kGreen) << x << "," << y;
                if (p != PaletteColor(9)) left = std::min(left, x), right = std::max(right, x);
            }
        ASSERT_LT(left + 40, right) << "no message drawn";
        EXPECT_NEAR((left + right + 1) / 2, (kInner.left + kInner.right) / 2, 3);
    }
}

INSTANTIATE_TEST_SUITE_P(Themes, PaintedDetails, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "dark" : "light"; });

TEST(DetailsText, ConnectionRowsAndFacts) {
    const struct { Segment seg; const wchar_t *end, *percent; COLORREF colour; } rows[] = {
        {Segment{0, INT64_MAX, 2048, SegmentState::Receiving, true, 0, 1536}, L"?", L"", kBlue},  // size unknown
        {Segment{1000, 2000, 1500, SegmentState::Retrying, false, 3, 99}, L"2.0 KB", L"50%", kAmber},
        {Segment{0, 1048576, 0, SegmentState::Idle}, L"1.0 MB", L"0%", PaletteColor(8)},
        {Segment{100, 200, 200, SegmentState::Idle}, L"200 B", L"100%", kGreen},  // idle but complete
        {Segment{100, 200, 200, SegmentState::Done}, L"200 B", L"100%", kGreen},
        {Segment{300, 300, 300, SegmentState::Connecting}, L"300 B", L"", kGreen},  // an empty range is complete
        {Segment{0, 5000, 10, SegmentState::Connecting}, L"4.9 KB", L"0%", PaletteColor(8)}};
    std::set<std::wstring> words;
    for (const auto& r : rows) {
        const auto cells = ConnectionCells(r.seg, 4);
        EXPECT_EQ(cells[0], L"5");
        EXPECT_EQ(cells[1].rfind(FormatSize(r.seg.start), 0), 0u);
        EXPECT_EQ(cells[1].substr(cells[1].size() - wcslen(r.end)), r.end);
        EXPECT_EQ(std::tie(cells[2], cells[3]), std::make_tuple(FormatSize(r.seg.pos - r.seg.start), std::wstring(r.percent)));
        EXPECT_EQ(cells[4] == FormatSpeed(r.seg.speed), r.seg.state == SegmentState::Receiving);  // only while receiving
        EXPECT_EQ(ConnectionStateColour(r.seg), r.colour) << ::testing::PrintToString(cells[5]);
        words.insert(cells[5]);
    }
    EXPECT_EQ(words.size(), 5u);  // receiving, retrying, waiting, done, connecting
    EXPECT_NE(ConnectionCells(rows[1].seg, 0)[5].find(L"3"), std::wstring::npos);  // the retry count
    // Status, size, downloaded, speed, time left; the connections, with the reason when they stay one.
    DownloadInfo info{.url = L"http://mirror.example/f.bin", .totalSize = 10 << 20, .doneBytes = 4 << 20, .speed = 1 << 20,
                      .state = DownloadState::Downloading, .activeConnections = 1};
    const std::wstring facts[] = {StatusLabel(info.state), FormatSize(10 << 20), FormatSize(4 << 20), FormatSpeed(1 << 20),
                                  FormatDuration(6)};
    for (int k = 0; k < 5; ++k) EXPECT_EQ(FactValue(info, k, 8), facts[k]) << k;
    EXPECT_EQ(FactValue(info, 5, 8).rfind(L"1 / 8 ", 0), 0u);
    info.acceptsRanges = true;
    EXPECT_EQ(FactValue(info, 5, 16), L"1 / 16");
    const std::wstring none = FormatSize(-1) + FormatSize(-1);
    info.state = DownloadState::Paused;
    EXPECT_EQ(FactValue(info, 3, 8) + FactValue(info, 4, 8), none);  // no speed or time while it stands
    info.totalSize = -1;
    info.state = DownloadState::Downloading;
    EXPECT_EQ(FactValue(info, 1, 8) + FactValue(info, 4, 8), none);  // no total: no time left
    info.state = DownloadState::Failed;
    info.errorText = L"HTTP 404";
    EXPECT_EQ(FactValue(info, 0, 8).substr(FactValue(info, 0, 8).size() - 8), L"HTTP 404");
    EXPECT_NE(DetailsTitle(info).find(info.url), std::wstring::npos);  // no name yet: the link
}

namespace {
class Details : public ::testing::Test, public MainWindowHost {
protected:
    // Paused (a link that keeps sending once resumed), finished, failed without a name yet.
    void Open(bool clipboard = false) {
        const std::string paused = Utf16ToUtf8(Server() + L"/file/a.bin?size=100000000&rate=100000");
        ASSERT_TRUE(MainWindowHost::Open(ListText({{paused.c_str(), "a.bin", "paused", 100000000, 50},
                                                   {"done.bin", "done.bin", "completed", 10, 10}, {"c.bin", "", "failed", -1, 0}}).c_str(),
                                         clipboard));
    }
    HWND Shown() const { return main->DetailsWindow(); }
    HWND Button(int id) const { return GetDlgItem(Shown(), id); }
    std::wstring Caption(int id) const { return GetWindowTextString(Button(id)); }
};
}  // namespace

TEST_F(Details, OpensAtItsSizeOverTheMainWindowWithAPauseButtonForTheState) {
    Open();
    main->OpenDetails(2);
    ASSERT_NE(Shown(), nullptr);
    RECT c, w, m, work;
    GetClientRect(Shown(), &c);
    EXPECT_EQ(std::make_pair(c.right, c.bottom), std::make_pair(680L, 520L));
    const DWORD style = static_cast<DWORD>(GetWindowLongW(Shown(), GWL_STYLE));
    EXPECT_TRUE((style & WS_VISIBLE) && !(style & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX)));  // not resizable
    EXPECT_EQ(GetWindow(Shown(), GW_OWNER), main->Handle());
    EXPECT_NE(GetWindowTextString(Shown()).find(L"http://127.0.0.1:9/c.bin"), std::wstring::npos);  // no file name: the link
    GetWindowRect(Shown(), &w);
    GetWindowRect(main->Handle(), &m);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_TRUE(w.left >= work.left && w.top >= work.top);
    EXPECT_NEAR((w.left + w.right) / 2, (m.left + m.right) / 2, 1);
    for (int id : {kPauseButtonId, kCopyLinkButtonId, IDCANCEL}) {  // the footer's three buttons
        RECT b;
        GetWindowRect(Button(id), &b);
        MapWindowPoints(nullptr, Shown(), reinterpret_cast<POINT*>(&b), 2);
        EXPECT_TRUE(b.top > 520 - 64 && b.bottom < 520 && IsWindowVisible(Button(id))) << id;
    }
    // Resume on a paused row, a disabled resume on a finished one (a press does nothing), retry on a failed one.
    for (auto [row, icon, enabled] : std::initializer_list<std::tuple<int, int, bool>>{{0, 17, true}, {1, 17, false}, {2, 11, true}}) {
        main->OpenDetails(row);
        EXPECT_EQ(std::make_pair(ButtonIcon(Button(kPauseButtonId)), IsWindowEnabled(Button(kPauseButtonId)) != FALSE),
                  std::make_pair(icon, enabled)) << row;
        if (row == 1) SendMessageW(Shown(), WM_COMMAND, kPauseButtonId, 0);
    }
    EXPECT_EQ(main->List()->Entries()[1].job->state(), DownloadState::Completed);
    // Pressed on the paused row, the job is queued again and the button says pause at once.
    main->OpenDetails(0);
    const std::wstring resume = Caption(kPauseButtonId);
    SendMessageW(Shown(), WM_COMMAND, kPauseButtonId, 0);
    EXPECT_NE(main->List()->Entries()[0].job->state(), DownloadState::Paused);
    EXPECT_NE(Caption(kPauseButtonId), resume);
    EXPECT_EQ(ButtonIcon(Button(kPauseButtonId)), 34);
}

TEST_F(Details, CopyLinkIsNotPickedUpAgain) {
    Open(true);
    main->OpenDetails(0);
    const std::wstring copy = Caption(kCopyLinkButtonId);
    SendMessageW(Shown(), WM_COMMAND, kCopyLinkButtonId, 0);
    const std::wstring copied = Caption(kCopyLinkButtonId);
    EXPECT_NE(copied, copy);
    EXPECT_EQ(ButtonIcon(Button(kCopyLinkButtonId)), 25);
    const auto clipboard = [&] {
        std::wstring text;
        if (!OpenClipboard(main->Handle())) return text;
        if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
            if (const auto* p = static_cast<const wchar_t*>(GlobalLock(h))) text = p;
            GlobalUnlock(h);
        }
        CloseClipboard();
        return text;
    };
    EXPECT_TRUE(Pump(2000, [&] { return clipboard() == Server() + L"/file/a.bin?size=100000000&rate=100000"; }));
    SendMessageW(main->Handle(), WM_CLIPBOARDUPDATE, 0, 0);  // however late the listener's own comes
    Pump(100);
    EXPECT_EQ(GetWindowTextString(main->LinkBox()), L"");
    EXPECT_EQ(Caption(kCopyLinkButtonId), copied);
}

TEST_F(Details, SixteenConnectionsScrollByThreeRowsANotch) {
    Open();
    g_settings.connections = 16;  // 16 MiB: one range per connection, each flowing while the test looks
    SetWindowTextW(main->LinkBox(), (Server() + L"/file/sixteen.bin?size=16777216&rate=100000").c_str());
    main->OnCommand(101);
    main->OpenDetails(3);
    const ::DetailsWindow& details = main->Details();
    EXPECT_TRUE(Pump(10000, [&] { return details.Snapshot().segments.size() == 16; }));
    EXPECT_EQ(std::make_tuple(details.Rows().content, details.Rows().page, details.Rows().position), std::make_tuple(16, 8, 0));
    const auto wheel = [&](int delta) {
        SendMessageW(Shown(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(delta)), 0);
        return details.Rows().position;
    };
    // Three rows a notch, one for half a notch, stopping at the last full page and the top.
    for (auto [delta, position] : std::initializer_list<std::pair<int, int>>{{-120, 3}, {-120, 6}, {-120, 8}, {-240, 8}, {60, 7}, {120, 4}, {600, 0}})
        EXPECT_EQ(wheel(delta), position) << delta;
    wheel(-120);
    main->OpenDetails(3);
    EXPECT_EQ(details.Rows().position, 0);  // reopened, it starts at the top again
    g_settings.connections = 8;
}

TEST_F(Details, EveryWayItCloses) {
    Open();
    const std::shared_ptr<zeb::Download> paused = main->List()->Entries()[0].job;
    // A second open closes the first.
    main->OpenDetails(0);
    HWND first = Shown();
    EXPECT_EQ(paused.use_count(), 3);  // the list's, ours and the window's
    main->OpenDetails(2);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(paused.use_count(), 2);
    // Erasing another row leaves it open; erasing its own row closes it.
    main->OnCommand(106);  // clears the finished row 1
    EXPECT_NE(Shown(), nullptr);
    main->OpenDetails(0);
    main->List()->EraseEntry(0);
    EXPECT_EQ(Shown(), nullptr);
    EXPECT_EQ(main->Details().Job(), nullptr);
    EXPECT_EQ(paused.use_count(), 1);  // only ours is left
    // Close, the caption's close box, Escape through the program's loop, and a DPI change (laid out for one DPI).
    const std::pair<const char*, std::function<void(HWND)>> ways[] = {
        {"Close", [](HWND d) { SendMessageW(d, WM_COMMAND, IDCANCEL, 0); }},
        {"WM_CLOSE", [](HWND d) { SendMessageW(d, WM_CLOSE, 0, 0); }},
        {"Escape",
         [&](HWND d) {
             SetForegroundWindow(d);
             SetFocus(GetDlgItem(d, kCopyLinkButtonId));
             PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
             Pump(100);
         }},
        {"DPI", [&](HWND) {
             RECT suggested;
             GetWindowRect(main->Handle(), &suggested);
             SendMessageW(main->Handle(), WM_DPICHANGED, MAKEWPARAM(120, 120), reinterpret_cast<LPARAM>(&suggested));
         }}};
    for (const auto& [name, act] : ways) {
        main->OpenDetails(0);
        ASSERT_NE(Shown(), nullptr) << name;
        act(Shown());
        EXPECT_EQ(Shown(), nullptr) << name;
    }
}
