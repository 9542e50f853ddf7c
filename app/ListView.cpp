#include "app/ListView.h"
#include "engine/Credentials.h"

#include "ui/WindowProc.h"

#include <oleacc.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdio>

#include "app/MainWindow.h"
#include "app/RowText.h"
#include "store/Lang.h"
#include "store/List.h"
#include "ui/Colors.h"
#include "ui/Dpi.h"
#include "ui/Icons.h"
#include "ui/Surface.h"

namespace {
// Posted by a screen reader's default action: it runs after the client's
// call returned, not inside it.
constexpr UINT kRowAction = WM_APP + 1;
}  // namespace

bool ListView::RegisterWindowClass(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = ForwardingProc<ListView>;
    wc.lpszClassName = L"TidewellPE.List";
    return ::RegisterClassExW(&wc) != 0;
}

HWND ListView::Create(HWND parent, int id, MainWindow& main) {
    main_ = &main;
    return ::CreateWindowExW(0, L"TidewellPE.List", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 0, 0, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             reinterpret_cast<HINSTANCE>(::GetModuleHandleW(nullptr)), this);
}

int ListView::Count() const { return static_cast<int>(main_->List()->Entries().size()); }

SIZE ListView::ClientSize() const {
    RECT c{};
    ::GetClientRect(window_, &c);
    return SIZE{c.right, c.bottom};
}

RowHit ListView::HitTest(POINT p) const {
    const auto& entries = main_->List()->Entries();
    return HitTestRows(p, Count(), ClientSize().cx, scroll_.position, HasScrollBar(), [&](int i) {
        return entries[static_cast<size_t>(i)].cached.state == DownloadState::Completed;
    });
}

void ListView::UpdateScrollRange() {
    scroll_.content = ContentHeight(Count());
    scroll_.page = ClientSize().cy;
    scroll_.position = std::clamp(scroll_.position, 0, ScrollMax(scroll_));
}

void ListView::EnsureVisible(int index) {
    scroll_.position = EnsureVisiblePosition(index, scroll_.position, scroll_.page, scroll_.content);
}

void ListView::MoveSelection(int delta, bool absolute) {
    DownloadList& list = *main_->List();
    if (Count() == 0) return;
    Select(MovedSelection(list.Selection(), delta, absolute, Count()));
    EnsureVisible(list.Selection());
    Repaint();
}

void ListView::Select(int row) {
    DownloadList& list = *main_->List();
    if (row == list.Selection()) return;  // Down on the last row: nothing moved, nothing to tell
    list.Select(row);
    RaiseRowEvent(EVENT_OBJECT_SELECTION, window_, OBJID_CLIENT, row);
    if (::GetFocus() == window_) RaiseRowEvent(EVENT_OBJECT_FOCUS, window_, OBJID_CLIENT, row);
}

void ListView::ResetHover() {
    hover_ = RowHit{};
    pressed_ = RowHit{};  // a press pending on an erased row must not land on the next one
}

void ListView::Repaint() {
    if (window_) ::InvalidateRect(window_, nullptr, FALSE);
}

void ListView::RunAction(int row, int action) {
    DownloadList& list = *main_->List();
    if (row < 0 || row >= Count()) return;  // the row went while the press was pending
    const RowRecord& info = list.Entries()[static_cast<size_t>(row)].cached;
    switch (action) {
        case 0: list.ToggleItem(row); break;
        case 1: main_->OpenDetails(row); break;
        case 2:
            main_->OpenFolder(info.folder, info.state == DownloadState::Completed && !info.fileName.empty()
                                               ? info.folder + L"\\" + info.fileName
                                               : std::wstring());
            break;
        case 3: list.RemoveDownload(row); break;
        default: break;
    }
}

LRESULT ListView::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!main_ || !main_->List()) return ::DefWindowProcW(window_, message, wParam, lParam);
    const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};  // signed: above the window is negative
    switch (message) {
        case WM_SIZE: UpdateScrollRange(); return 0;
        case WM_SETFOCUS:
            if (main_->List()->Selection() < 0 && Count() > 0) MoveSelection(-1, true);
            else if (main_->List()->Selection() >= 0) RaiseRowEvent(EVENT_OBJECT_FOCUS, window_, OBJID_CLIENT, main_->List()->Selection());
            return 0;
        case WM_GETOBJECT:
            // Only the client object is ours; the frame and the rest are the system's.
            if (static_cast<LONG>(static_cast<DWORD>(lParam)) == OBJID_CLIENT) {
                if (const LRESULT answer = access_.Answer(main_->Access(), *this, wParam)) return answer;
            }
            break;
        case WM_DESTROY: access_.Disconnect(); break;
        case kRowAction: RunAction(static_cast<int>(wParam), 1); return 0;
        case WM_PAINT: Paint(); return 0;
        case WM_ERASEBKGND: return 1;
        case WM_SETCURSOR:
            if (LOWORD(lParam) == HTCLIENT && hover_.button >= 0) {
                ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
                return 1;
            }
            break;
        case WM_GETDLGCODE: return DLGC_WANTARROWS;
        case WM_KEYDOWN:
            if (wParam == VK_PRIOR || wParam == VK_NEXT || wParam == VK_HOME || wParam == VK_END || wParam == VK_UP ||
                wParam == VK_DOWN) {
                OnKey(wParam);
                return 0;
            }
            break;
        case WM_MOUSEMOVE: OnMouseMove(p); return 0;
        case WM_MOUSELEAVE:
            tracking_ = false;
            if (hover_.row >= 0 || hover_.button >= 0) {
                hover_ = RowHit{};
                Repaint();
            }
            return 0;
        case WM_LBUTTONDOWN: OnButtonDown(p, false); return 0;
        case WM_LBUTTONDBLCLK: OnButtonDown(p, true); return 0;
        case WM_LBUTTONUP: OnButtonUp(p); return 0;
        case WM_MOUSEWHEEL: {
            const int32_t old = scroll_.position;
            const int delta = GET_WHEEL_DELTA_WPARAM(wParam);
            scroll_.position = std::clamp(old - delta * Scale(64) / 120, 0, ScrollMax(scroll_));
            if (scroll_.position != old) Repaint();
            return 0;
        }
        case WM_CAPTURECHANGED:
            scroll_.dragging = false;
            pressed_ = RowHit{};
            Repaint();
            return 0;
        default: break;
    }
    return ::DefWindowProcW(window_, message, wParam, lParam);
}

void ListView::OnKey(WPARAM key) {
    switch (key) {
        case VK_PRIOR:
        case VK_NEXT: {
            const int32_t step = scroll_.page - Scale(40);
            const int32_t old = scroll_.position;
            scroll_.position = std::clamp(old + (key == VK_NEXT ? step : -step), 0, ScrollMax(scroll_));
            if (scroll_.position != old) Repaint();
            break;
        }
        case VK_END: MoveSelection(1, true); break;
        case VK_HOME: MoveSelection(-1, true); break;
        case VK_UP: MoveSelection(-1, false); break;
        case VK_DOWN: MoveSelection(1, false); break;
        default: break;
    }
}

void ListView::OnMouseMove(POINT p) {
    const SIZE size = ClientSize();
    if (scroll_.dragging) {
        if (ScrollBarDrag(scroll_, p, ScrollTrack(size.cx, size.cy))) Repaint();
        return;
    }
    if (!tracking_) {
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, window_, 0};
        tracking_ = ::TrackMouseEvent(&track) != FALSE;
    }
    const RowHit hit = HitTest(p);
    if (hit.row != hover_.row || hit.button != hover_.button) {
        hover_ = hit;
        Repaint();
    }
}

void ListView::OnButtonDown(POINT p, bool doubleClick) {
    ::SetFocus(window_);
    const SIZE size = ClientSize();
    if (ScrollBarMouseDown(scroll_, p, ScrollTrack(size.cx, size.cy))) {
        ::SetCapture(window_);
        Repaint();
        return;
    }
    const RowHit hit = HitTest(p);
    if (hit.row < 0) return;
    Select(hit.row);
    Repaint();
    if (hit.button >= 0) {
        pressed_ = hit;
        ::SetCapture(window_);
    } else if (doubleClick) {
        RunAction(hit.row, 1);
    }
}

void ListView::OnButtonUp(POINT p) {
    if (scroll_.dragging) {
        scroll_.dragging = false;
        ::ReleaseCapture();
        Repaint();
        return;
    }
    if (pressed_.row < 0) return;
    const RowHit hit = HitTest(p);
    const RowHit was = pressed_;
    pressed_ = RowHit{};
    ::ReleaseCapture();
    Repaint();
    if (hit.row == was.row && hit.button == was.button) RunAction(was.row, was.button);
}

void ListView::RowRefreshing(int row, const ListEntry& entry, const DownloadInfo& next) {
    events_.RowRefreshing(row, entry.job.get(), entry.cached, next, ::GetTickCount64());
}

LONG ListView::AccessibleRole() const { return ROLE_SYSTEM_LIST; }

std::wstring ListView::AccessibleName() const { return Tr(L"Danh sách tải xuống", L"Downloads"); }

std::wstring ListView::RowName(int row) const {
    return RowNameText(main_->List()->Entries()[static_cast<size_t>(row)].cached.Info());
}

std::wstring ListView::RowValue(int row) const {
    return RowValueText(main_->List()->Entries()[static_cast<size_t>(row)].cached.Info());
}

int ListView::SelectedRow() const { return main_->List()->Selection(); }

bool ListView::RowPlace(int row, RECT& r) const {
    const SIZE size = ClientSize();
    r = ::RowRect(row, size.cx, scroll_.position, HasScrollBar());
    return r.bottom >= 0 && r.top <= size.cy;  // the rows the painter draws
}

void ListView::SelectRow(int row) {
    Select(row);
    EnsureVisible(row);
    Repaint();
}

std::wstring ListView::RowActionName() const { return Tr(L"Xem chi tiết", L"Show details"); }

void ListView::DoRowAction(int row) { ::PostMessageW(window_, kRowAction, static_cast<WPARAM>(row), 0); }

void PaintRowCard(Surface& s, const DownloadInfo& info, const RECT& r, bool selected, bool hovered, int hotButton,
                  int pressedButton) {
    const COLORREF card = PaletteColor(selected ? 5 : hovered ? 4 : 2);
    SurfaceRoundRect(s, r, Scale(12), card, selected ? kBlue : PaletteColor(6), 255, 255);
    const StateLook look = LookOf(info.state);
    const RECT badge{r.left + Scale(14), r.top + Scale(14), r.left + Scale(54), r.top + Scale(54)};
    SurfaceRoundRect(s, badge, Scale(10), look.accent, look.accent, 36, 85);
    DrawIcon(s, look.icon, badge.left + Scale(10), badge.top + Scale(10), Scale(20), look.accent);
    const int x0 = r.left + Scale(66);
    const int right = RowButtonRect(r, 0).left - Scale(10);
    SurfaceText(s, RowNameText(info), RECT{x0, r.top + Scale(10), right, r.top + Scale(32)},
                5, PaletteColor(7), kPathFlags);
    SurfaceText(s, DetailText(info), RECT{x0, r.top + Scale(33), right, r.top + Scale(52)}, 2,
                info.state == DownloadState::Failed ? kRed : PaletteColor(8), kLabelFlags);
    const RECT track{x0, r.top + Scale(63), r.right - Scale(64), r.top + Scale(71)};
    SurfaceRoundRect(s, track, Scale(4), MixColors(card, PaletteColor(8), 56), NoColor, 255, 255);
    const double fraction = ProgressFraction(info);
    if (fraction < 0 && (info.state == DownloadState::Connecting || info.state == DownloadState::Downloading))
        SurfaceRoundRect(s, track, Scale(4), look.accent, NoColor, 96, 255);  // size unknown: a full, faint bar
    if (fraction >= 0) {
        const int width = static_cast<int>((track.right - track.left) * fraction);
        if (width > 0)
            SurfaceRoundRect(s, RECT{x0, track.top, x0 + std::max(width, Scale(8)), track.bottom}, Scale(4), look.accent,
                             NoColor, 255, 255);
        SurfaceText(s, PercentText(fraction), RECT{r.right - Scale(60), r.top + Scale(56), r.right - Scale(14), r.top + Scale(78)}, 3,
                    PaletteColor(7), DT_RIGHT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    }
    for (int k = 0; k < 4; ++k) {
        const int icon = RowButtonIcon(info.state, k);
        if (!icon) continue;
        const RECT b = RowButtonRect(r, k);
        const bool hot = k == hotButton;
        const bool pressed = hot && k == pressedButton;
        if (hot)
            SurfaceRoundRect(s, b, Scale(8),
                             k == 3 ? MixColors(card, kRed, 40) : pressed ? PaletteColor(5) : MixColors(card, PaletteColor(8), 48),
                             NoColor, 255, 255);
        DrawIcon(s, icon, b.left + Scale(7), b.top + Scale(7), Scale(16),
                 hot && k == 3 ? kRed : hot ? PaletteColor(7) : PaletteColor(8));
    }
}

void ListView::Paint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(window_, &ps);
    const SIZE size = ClientSize();
    const int W = size.cx, H = size.cy;
    Surface s = SurfaceCreate(W, H);
    SurfaceFill(s, RECT{0, 0, W, H}, PaletteColor(0));
    const auto& entries = main_->List()->Entries();
    const int selected = main_->List()->Selection();
    if (entries.empty()) {
        const int y = H / 2;
        DrawIcon(s, 33, (W - Scale(44)) / 2, y - Scale(56), Scale(44), MixColors(PaletteColor(0), PaletteColor(8), 144));
        SurfaceText(s, Tr(L"Chưa có mục tải nào", L"No downloads yet"), RECT{0, y, W, y + Scale(24)}, 6, PaletteColor(7),
                    DT_CENTER | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
        SurfaceText(s, Tr(L"Dán liên kết vào ô phía trên rồi nhấn Enter.", L"Paste a link into the box above and press Enter."),
                    RECT{0, y + Scale(28), W, y + Scale(48)}, 2, PaletteColor(8),
                    DT_CENTER | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    }
    for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
        const RECT r = RowRect(i, W, scroll_.position, HasScrollBar());
        if (r.bottom < 0 || r.top > H) continue;
        PaintRowCard(s, entries[static_cast<size_t>(i)].cached.Info(), r, i == selected, i == hover_.row,
                     i == hover_.row ? hover_.button : -1, i == pressed_.row ? pressed_.button : -1);
    }
    ScrollBarDraw(scroll_, s, ScrollTrack(W, H));
    SurfaceBlit(s, dc, 0, 0);
    ::EndPaint(window_, &ps);
}
