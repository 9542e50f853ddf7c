// The main window's own drawing: header, info box, sidebar, top bar with
// the link frame, and the status line. One off-screen surface, one blit.
#include <algorithm>

#include "app/MainWindow.h"
#include "engine/Download.h"
#include "store/Format.h"
#include "store/Lang.h"
#include "store/Settings.h"
#include "store/Storage.h"
#include "ui/Colors.h"
#include "ui/Dpi.h"
#include "ui/Fonts.h"
#include "ui/Icons.h"

COLORREF FreeSpaceColour(uint64_t bytes) {
    // Unknown free space (all bits set) is not plenty: it is drawn as a warning.
    return bytes != ~0ull && bytes > 0x3FFFFFFFull ? kGreen : kAmber;
}

namespace {
constexpr UINT kCentred = DT_CENTER | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
constexpr UINT kRight = DT_RIGHT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
constexpr uint64_t kUnknownFree = ~0ull;
}  // namespace

void MainWindow::Paint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(window_, &ps);
    RECT client;
    ::GetClientRect(window_, &client);
    Surface s = SurfaceCreate(client.right, client.bottom);
    SurfaceFill(s, client, PaletteColor(0));
    PaintSidebar(s);
    PaintTopAndStatus(s, client.right, client.bottom);
    SurfaceBlit(s, dc, 0, 0);
    ::EndPaint(window_, &ps);
}

void MainWindow::PaintSidebar(Surface& s) {
    const int S = SidebarWidth(), H = s.height();
    SurfaceFill(s, RECT{0, 0, S, H}, PaletteColor(1));
    SurfaceFill(s, RECT{S - 1, 0, S, H}, PaletteColor(6));
    SurfaceDrawImage(s, logo_, layout_.logo.left, layout_.logo.top);
    SurfaceText(s, L"Tidewell", layout_.title, 8, PaletteColor(7), kLabelFlags);
    if (layout_.hasBadge) {
        SurfaceRoundRect(s, layout_.badge, Scale(5), kBlue, kBlue, 36, 85);
        SurfaceText(s, L"PE", layout_.badge, 1, kBlue, kCentred);
    }
    SurfaceText(s, Tr(L"Trình tải xuống đa kết nối", L"Multi-connection downloader"), layout_.subtitle, 0, PaletteColor(8),
                kLabelFlags);
    const RECT& box = layout_.infoBox;
    SurfaceRoundRect(s, box, Scale(10), PaletteColor(3), PaletteColor(6), 255, 255);
    struct Line {
        const wchar_t* label;
        std::wstring value;
        COLORREF colour;
    };
    const Line lines[4] = {
        {Tr(L"Phiên bản:", L"Version:"), L"1.0.0.0 PE", kViolet},
        {Tr(L"HĐH hiện tại:", L"Current OS:"), IsWindowsPE() ? L"Windows PE" : L"Windows", kBlue},
        {Tr(L"Lưu vào:", L"Save to:"), g_settings.folder, PaletteColor(7)},
        {Tr(L"Còn trống:", L"Free space:"),
         freeSpace_ == kUnknownFree ? FormatSize(-1) : FormatSize(static_cast<int64_t>(freeSpace_)), FreeSpaceColour(freeSpace_)},
    };
    for (int i = 0; i < 4; ++i) {
        const RECT line{box.left + Scale(12), box.top + Scale(10) + i * Scale(19), box.right - Scale(12),
                        box.top + Scale(29) + i * Scale(19)};
        const int labelWidth = MeasureTextWidth(lines[i].label, 0).cx + Scale(8);
        SurfaceText(s, lines[i].label, RECT{line.left, line.top, line.left + labelWidth, line.bottom}, 0, PaletteColor(8),
                    kLabelFlags);
        SurfaceText(s, lines[i].value, RECT{line.left + labelWidth, line.top, line.right, line.bottom}, 1, lines[i].colour,
                    kPathFlags | DT_RIGHT);
    }
    SurfaceText(s, Tr(L"TÁC VỤ", L"ACTIONS"), layout_.heading, 1, PaletteColor(8), kLabelFlags);
}

std::wstring RightStatusText(const std::vector<ListEntry>& entries, bool& active) {
    int running = 0;
    double speed = 0;
    for (const ListEntry& e : entries) {
        if (e.cached.state == DownloadState::Connecting || e.cached.state == DownloadState::Downloading) {
            ++running;
            speed += e.cached.speed;
        }
    }
    active = running > 0;
    std::wstring text = active ? L"\u2193 " + FormatSpeed(speed) + L"   \u2022   " : L"";
    return text + std::to_wstring(running) + Tr(L" đang tải / ", L" active / ") + std::to_wstring(entries.size()) +
           Tr(L" mục", L" items");
}

void MainWindow::PaintTopAndStatus(Surface& s, int W, int H) {
    const int S = SidebarWidth();
    SurfaceFill(s, layout_.topBar, PaletteColor(2));
    SurfaceFill(s, RECT{S, Scale(65), W, Scale(66)}, PaletteColor(6));
    const RECT& frame = layout_.linkFrame;
    SurfaceRoundRect(s, frame, Scale(8), PaletteColor(9), ::GetFocus() == linkBox_ ? kBlue : PaletteColor(6), 255, 255);
    DrawIcon(s, 38, frame.left + Scale(11), frame.top + Scale(9), Scale(18), PaletteColor(8));
    SurfaceFill(s, layout_.status, PaletteColor(2));
    SurfaceFill(s, RECT{S, H - Scale(32), W, H - Scale(31)}, PaletteColor(6));
    if (!list_) return;
    bool active = false;
    const std::wstring right = RightStatusText(list_->Entries(), active);
    const int width = MeasureTextWidth(right, 3).cx;
    const RECT& st = layout_.status;
    SurfaceText(s, right, RECT{W - Scale(16) - width, st.top, W - Scale(16), st.bottom}, 3, active ? kBlue : PaletteColor(8),
                kRight);
    SurfaceText(s, L"\u2022  " + status_, RECT{S + Scale(16), st.top, W - Scale(32) - width, st.bottom}, 2, PaletteColor(7),
                kLabelFlags);
}
