// The details window: its paint read back from a surface (the segment map
// pixel by pixel, the map's messages), the connection rows' texts in both
// languages, and the real window on a real main window: size and place,
// the pause button by state, Copy Link with clipboard watching on, the
// wheel over 16 real connections, and every way it closes.
#include "support/TrickleServer.h"  // winsock before windows.h

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <memory>
#include <string>

#include "MainWindowHost.h"
#include "app/DetailsPaint.h"
#include "app/DetailsWindow.h"
#include "app/MainWindow.h"
#include "engine/Download.h"
#include "store/Format.h"
#include "store/Lang.h"
#include "store/Settings.h"
#include "support/Language.h"
#include "ui/Buttons.h"
#include "ui/Colors.h"
#include "ui/ControlText.h"
#include "ui/Dpi.h"
#include "ui/Fonts.h"
#include "ui/Surface.h"

namespace {
COLORREF At(const Surface& s, int x, int y) { return FromPixel(s.at(x, y)); }

// The inner area of the segment map at 96 DPI in a 680-pixel client.
constexpr RECT kInner{24, 168, 656, 200};
constexpr int kMid = static_cast<int>(kInner.top + kInner.bottom) / 2;

class PaintedDetails : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        SetDarkTheme(GetParam());
        if (CurrentDpi() != 96 || !FontOf(2)) {
            SetCurrentDpi(96);
            BuildFonts();
        }
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

TEST_P(PaintedDetails, SegmentMapOfAKnownState) {
    DownloadInfo info;
    info.state = DownloadState::Downloading;
    info.totalSize = 1000;
    info.segments = {Segment{0, 500, 500, SegmentState::Done}, Segment{500, 1000, 750, SegmentState::Receiving, true}};
    const Surface s = Paint(info);
    const auto expected = [](int x) {
        if (x < 340) return kGreen;
        if (x == 340) return PaletteColor(9);  // the second segment's separator
        if (x < 498) return kBlue;
        if (x < 500) return kAmber;  // where the busy connection writes next
        return PaletteColor(9);      // not downloaded yet
    };
    for (int y : {int{kInner.top}, kMid, int{kInner.bottom} - 1})
        for (int x = kInner.left; x < kInner.right; ++x) {
            ASSERT_EQ(At(s, x, y), expected(x)) << "x " << x << " y " << y;
        }
    EXPECT_NE(At(s, 100, kInner.top - 1), kGreen);  // nothing above the inner area
    EXPECT_NE(At(s, 100, kInner.bottom), kGreen);
    EXPECT_EQ(At(s, 5, 5), PaletteColor(2));      // body
    EXPECT_EQ(At(s, 5, 520 - 64), PaletteColor(6));  // footer line
    EXPECT_EQ(At(s, 5, 515), PaletteColor(3));       // footer
}

TEST_P(PaintedDetails, AFinishedDownloadFillsTheWholeMap) {
    DownloadInfo info;
    info.state = DownloadState::Completed;
    info.totalSize = 1000;  // no segments left after the rename: still full
    const Surface s = Paint(info);
    for (int x = kInner.left; x < kInner.right; ++x) ASSERT_EQ(At(s, x, kMid), kGreen) << x;
    EXPECT_EQ(At(s, kInner.left + 5, kInner.top), kGreen);
    EXPECT_NE(At(s, kInner.left - 1, kMid), kGreen);
}

TEST_P(PaintedDetails, MapMessagesWhenThereIsNothingToDraw) {
    ScopedLanguage en(false);
    DownloadInfo notStarted;
    notStarted.state = DownloadState::Paused;
    notStarted.totalSize = 1000;
    DownloadInfo unknown;
    unknown.state = DownloadState::Downloading;
    unknown.segments = {Segment{0, INT64_MAX, 4096, SegmentState::Receiving, true}};
    struct Case {
        const DownloadInfo& info;
        const wchar_t* message;
    };
    for (const Case& c : {Case{notStarted, L"Shown once the download has started."},
                          Case{unknown, L"The server did not announce the file size."}}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.message)));
        const Surface s = Paint(c.info);
        int left = INT_MAX, right = -1;
        for (int y = kInner.top; y < kInner.bottom; ++y)
            for (int x = kInner.left; x < kInner.right; ++x) {
                const COLORREF p = At(s, x, y);
                ASSERT_NE(p, kBlue);
                ASSERT_NE(p, kGreen);
                if (p != PaletteColor(9)) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
            }
        ASSERT_LE(left, right) << "no message drawn";
        // As wide as the toolkit measures the text, centred in the map.
        const int width = MeasureTextWidth(c.message, 2).cx;
        EXPECT_NEAR(right - left + 1, width, 5);
        EXPECT_NEAR((left + right + 1) / 2, (kInner.left + kInner.right) / 2, 3);
    }
}

TEST(DetailsText, ConnectionRowsInBothLanguages) {
    struct Case {
        Segment seg;
        int row;
        std::wstring range, done, percent, speed, vi, en;
        COLORREF colour;
    };
    const Case cases[] = {
        {Segment{0, INT64_MAX, 2048, SegmentState::Receiving, true, 0, 1536}, 0, L"0 B \u2013 ?", L"2.0 KB", L"",
         L"1.5 KB/s", L"Đang nhận", L"Receiving", kBlue},
        {Segment{1000, 2000, 1500, SegmentState::Retrying, false, 3, 99}, 4, L"1000 B \u2013 2.0 KB", L"500 B", L"50%",
         L"\u2014", L"Thử lại lần 3", L"Retry #3", kAmber},
        {Segment{0, 1048576, 0, SegmentState::Idle}, 1, L"0 B \u2013 1.0 MB", L"0 B", L"0%", L"\u2014", L"Chờ", L"Waiting",
         PaletteColor(8)},
        {Segment{100, 200, 200, SegmentState::Idle}, 2, L"100 B \u2013 200 B", L"100 B", L"100%", L"\u2014", L"Hoàn tất",
         L"Done", kGreen},
        {Segment{100, 200, 200, SegmentState::Done}, 2, L"100 B \u2013 200 B", L"100 B", L"100%", L"\u2014", L"Hoàn tất",
         L"Done", kGreen},
        {Segment{300, 300, 300, SegmentState::Connecting}, 15, L"300 B \u2013 300 B", L"0 B", L"", L"\u2014", L"Đang kết nối",
         L"Connecting", kGreen},
        {Segment{0, 5000, 10, SegmentState::Connecting}, 7, L"0 B \u2013 4.9 KB", L"10 B", L"0%", L"\u2014", L"Đang kết nối",
         L"Connecting", PaletteColor(8)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.en) + " row " + std::to_string(c.row));
        for (bool vi : {true, false}) {
            ScopedLanguage language(vi);
            const auto cells = ConnectionCells(c.seg, c.row);
            EXPECT_EQ(cells[0], std::to_wstring(c.row + 1));
            EXPECT_EQ(cells[1], c.range);
            EXPECT_EQ(cells[2], c.done);
            EXPECT_EQ(cells[3], c.percent);
            EXPECT_EQ(cells[4], c.speed);
            EXPECT_EQ(cells[5], vi ? c.vi : c.en);
        }
        EXPECT_EQ(ConnectionStateColour(c.seg), c.colour);
    }
}

TEST(DetailsText, FactsFollowTheState) {
    ScopedLanguage en(false);
    DownloadInfo info;
    info.url = L"http://mirror.example/f.bin";
    info.state = DownloadState::Downloading;
    info.totalSize = 10 * 1048576;
    info.doneBytes = 4 * 1048576;
    info.speed = 1048576;
    info.activeConnections = 1;
    EXPECT_EQ(FactValue(info, 0, 8), L"Downloading");
    EXPECT_EQ(FactValue(info, 1, 8), L"10.0 MB");
    EXPECT_EQ(FactValue(info, 2, 8), L"4.0 MB");
    EXPECT_EQ(FactValue(info, 3, 8), L"1.0 MB/s");
    EXPECT_EQ(FactValue(info, 4, 8), L"6s");
    EXPECT_EQ(FactValue(info, 5, 8), L"1 / 8  (server has no resume support)");
    info.acceptsRanges = true;
    EXPECT_EQ(FactValue(info, 5, 16), L"1 / 16");
    info.state = DownloadState::Paused;
    EXPECT_EQ(FactValue(info, 3, 8), L"\u2014");  // no speed or time while it stands
    EXPECT_EQ(FactValue(info, 4, 8), L"\u2014");
    info.state = DownloadState::Failed;
    info.errorText = L"HTTP 404";
    EXPECT_EQ(FactValue(info, 0, 8), L"Failed \u2014 HTTP 404");
    info.totalSize = -1;
    info.state = DownloadState::Downloading;
    EXPECT_EQ(FactValue(info, 1, 8), L"\u2014");
    EXPECT_EQ(FactValue(info, 4, 8), L"\u2014");  // no total: no time left
    info.acceptsRanges = false;
    SetVietnamese(true);
    EXPECT_EQ(FactValue(info, 5, 8), L"1 / 8  (máy chủ không hỗ trợ tải tiếp)");
    EXPECT_EQ(DetailsTitle(info), L"Chi tiết tiến độ — " + info.url);
}

INSTANTIATE_TEST_SUITE_P(Themes, PaintedDetails, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "dark" : "light"; });

namespace {
// Paused, finished, failed; the links point at a closed port.
const char kRows[] =
    "ZEBLIST 1\r\n"
    "[item]\r\nurl=http://127.0.0.1:9/a.bin\r\nfolder=C:\\dl\r\nfile=a.bin\r\nfixed=1\r\ntotal=100\r\ndone=50\r\n"
    "state=paused\r\nerror=\r\n"
    "[item]\r\nurl=http://127.0.0.1:9/done.bin\r\nfolder=C:\\dl\r\nfile=done.bin\r\nfixed=1\r\ntotal=10\r\ndone=10\r\n"
    "state=completed\r\nerror=\r\n"
    "[item]\r\nurl=http://127.0.0.1:9/c.bin\r\nfolder=C:\\dl\r\nfile=\r\nfixed=0\r\ntotal=-1\r\ndone=0\r\n"
    "state=failed\r\nerror=HTTP 404\r\n";

class Details : public ::testing::Test, public MainWindowHost {
protected:
    void Open(bool clipboard = false) {
        SetVietnamese(false);
        ASSERT_TRUE(MainWindowHost::Open(kRows, clipboard));
    }
    HWND Shown() const { return main->DetailsWindow(); }
    HWND Button(int id) const { return GetDlgItem(Shown(), id); }
    std::wstring Caption(int id) const { return GetWindowTextString(Button(id)); }
    bool WaitFor(const std::function<bool()>& done, int ms) {
        const ULONGLONG end = GetTickCount64() + ms;
        while (!done() && GetTickCount64() < end) Pump(20);
        return done();
    }
};
}  // namespace

TEST_F(Details, OpensAtItsSizeCentredOverTheMainWindow) {
    Open();
    main->OpenDetails(2);
    ASSERT_NE(Shown(), nullptr);
    RECT c, w, m;
    GetClientRect(Shown(), &c);
    EXPECT_EQ(c.right, 680);
    EXPECT_EQ(c.bottom, 520);
    const DWORD style = static_cast<DWORD>(GetWindowLongW(Shown(), GWL_STYLE));
    EXPECT_EQ(style & 0x82C80000u, 0x82C80000u);
    EXPECT_TRUE(style & WS_VISIBLE);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX));
    EXPECT_TRUE(GetWindowLongW(Shown(), GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);
    EXPECT_EQ(GetWindow(Shown(), GW_OWNER), main->Handle());
    EXPECT_EQ(GetWindowTextString(Shown()), L"Download Progress — http://127.0.0.1:9/c.bin");  // no file name
    GetWindowRect(Shown(), &w);
    GetWindowRect(main->Handle(), &m);
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_GE(w.left, work.left);
    EXPECT_GE(w.top, work.top);
    EXPECT_NEAR((w.left + w.right) / 2, (m.left + m.right) / 2, 1);
    // The footer's three buttons, the accent one at the right.
    for (int id : {kPauseButtonId, kCopyLinkButtonId, IDCANCEL}) {
        SCOPED_TRACE(id);
        RECT b;
        GetWindowRect(Button(id), &b);
        MapWindowPoints(nullptr, Shown(), reinterpret_cast<POINT*>(&b), 2);
        const RECT expected = DetailsButtonRect(id, 680, 520);
        EXPECT_TRUE(EqualRect(&b, &expected));
        EXPECT_TRUE(b.top > 520 - 64 && b.bottom < 520);
    }
    EXPECT_EQ(Caption(kCopyLinkButtonId), L"Copy Link");
    EXPECT_EQ(Caption(IDCANCEL), L"Close");
}

TEST_F(Details, PauseButtonFollowsTheRowState) {
    Open();
    struct Case {
        int row;
        const wchar_t* caption;
        int icon;
        bool enabled;
    };
    for (const Case& c : {Case{0, L"Resume", 17, true}, Case{1, L"Resume", 17, false}, Case{2, L"Retry", 11, true}}) {
        SCOPED_TRACE(c.row);
        main->OpenDetails(c.row);
        ASSERT_NE(Shown(), nullptr);
        EXPECT_EQ(Caption(kPauseButtonId), c.caption);
        EXPECT_EQ(ButtonIcon(Button(kPauseButtonId)), c.icon);
        EXPECT_EQ(IsWindowEnabled(Button(kPauseButtonId)) != FALSE, c.enabled);
    }
    // A finished row: the whole map green, in the window as it shows.
    main->OpenDetails(1);
    const Surface s = Capture(Shown());
    EXPECT_EQ(At(s, 340, kMid), kGreen);
    EXPECT_EQ(At(s, 5, 515), PaletteColor(3));
}

TEST_F(Details, PauseOnAPausedRowRequeuesAndSaysPauseAtOnce) {
    Open();
    main->OpenDetails(0);
    SendMessageW(Shown(), WM_COMMAND, kPauseButtonId, 0);
    EXPECT_NE(main->List()->Entries()[0].job->state(), DownloadState::Paused);
    EXPECT_EQ(Caption(kPauseButtonId), L"Pause");
    EXPECT_EQ(ButtonIcon(Button(kPauseButtonId)), 34);
    // The finished row's button does nothing.
    main->OpenDetails(1);
    SendMessageW(Shown(), WM_COMMAND, kPauseButtonId, 0);
    EXPECT_EQ(main->List()->Entries()[1].job->state(), DownloadState::Completed);
}

TEST_F(Details, CopyLinkIsNotPickedUpAgain) {
    Open(true);
    main->OpenDetails(0);
    const std::wstring link = L"http://127.0.0.1:9/a.bin";
    SendMessageW(Shown(), WM_COMMAND, kCopyLinkButtonId, 0);
    EXPECT_EQ(Caption(kCopyLinkButtonId), L"Copied!");
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
    EXPECT_TRUE(WaitFor([&] { return clipboard() == link; }, 2000));
    SendMessageW(main->Handle(), WM_CLIPBOARDUPDATE, 0, 0);  // however late the listener's own comes
    Pump(100);
    EXPECT_EQ(GetWindowTextString(main->LinkBox()), L"");
    EXPECT_EQ(Caption(kCopyLinkButtonId), L"Copied!");
}

TEST_F(Details, SixteenConnectionsScrollByThreeRowsANotch) {
    Open();
    TrickleServer server(16 << 20);  // 16 MiB: one range per connection
    g_settings.connections = 16;
    SetWindowTextW(main->LinkBox(), server.Url(L"/sixteen.bin").c_str());
    main->OnCommand(101);
    ASSERT_EQ(main->List()->Entries().size(), 4u);
    main->OpenDetails(3);
    const ::DetailsWindow& details = main->Details();
    EXPECT_TRUE(WaitFor([&] { return details.Snapshot().segments.size() == 16; }, 10000));
    EXPECT_EQ(details.Rows().content, 16);
    EXPECT_EQ(details.Rows().page, 8);
    EXPECT_EQ(details.Rows().position, 0);
    const auto wheel = [&](int delta) {
        SendMessageW(Shown(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(delta)), 0);
        return details.Rows().position;
    };
    EXPECT_EQ(wheel(-120), 3);
    EXPECT_EQ(wheel(-120), 6);
    EXPECT_EQ(wheel(-120), 8);  // the last full page
    EXPECT_EQ(wheel(-240), 8);
    EXPECT_EQ(wheel(60), 7);    // half a notch: one row
    EXPECT_EQ(wheel(120), 4);
    EXPECT_EQ(wheel(600), 0);
    // Reopened, it starts at the top again.
    wheel(-120);
    main->OpenDetails(3);
    EXPECT_EQ(details.Rows().position, 0);
    main->List()->PauseAll();  // a flowing transfer stops at once
    WaitFor([&] { return !main->List()->Entries()[3].job->running(); }, 5000);
    server.Stop();
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
    EXPECT_EQ(main->Details().Job(), main->List()->Entries()[2].job.get());
    EXPECT_EQ(paused.use_count(), 2);
    // Erasing another row leaves it open; erasing its own row closes it.
    main->OnCommand(106);  // clears the finished row 1
    ASSERT_EQ(main->List()->Entries().size(), 2u);
    EXPECT_NE(Shown(), nullptr);
    main->OpenDetails(0);
    EXPECT_NE(Shown(), nullptr);
    main->List()->EraseEntry(0);
    EXPECT_EQ(Shown(), nullptr);
    EXPECT_EQ(main->Details().Job(), nullptr);
    EXPECT_EQ(paused.use_count(), 1);  // only ours is left
    // Close, the caption's close box, and Escape through the program's loop.
    struct Way {
        const char* name;
        std::function<void(HWND)> act;
    };
    const Way ways[] = {
        {"Close", [](HWND d) { SendMessageW(d, WM_COMMAND, IDCANCEL, 0); }},
        {"WM_CLOSE", [](HWND d) { SendMessageW(d, WM_CLOSE, 0, 0); }},
        {"Escape",
         [&](HWND d) {
             SetForegroundWindow(d);
             SetFocus(GetDlgItem(d, kCopyLinkButtonId));
             ASSERT_EQ(GetFocus(), GetDlgItem(d, kCopyLinkButtonId));
             PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
             Pump(100);
         }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        main->OpenDetails(0);
        ASSERT_NE(Shown(), nullptr);
        way.act(Shown());
        EXPECT_EQ(Shown(), nullptr);
    }
    // A DPI change closes it: it is laid out for one DPI only.
    main->OpenDetails(0);
    RECT suggested;
    GetWindowRect(main->Handle(), &suggested);
    SendMessageW(main->Handle(), WM_DPICHANGED, MAKEWPARAM(120, 120), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(Shown(), nullptr);
}
