#include "app/DetailsWindow.h"

#include "ui/WindowProc.h"

#include <algorithm>

#include "app/AppDialogs.h"
#include "app/DetailsPaint.h"
#include "app/MainWindow.h"
#include "engine/Credentials.h"
#include "engine/Download.h"
#include "store/Lang.h"
#include "store/List.h"
#include "store/Settings.h"
#include "ui/Buttons.h"
#include "ui/ControlText.h"
#include "ui/Dpi.h"
#include "ui/Surface.h"
#include "ui/Theme.h"

namespace {
constexpr DWORD kStyle = WS_POPUP | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU;  // 0x82C80000
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;

HINSTANCE Instance() { return reinterpret_cast<HINSTANCE>(::GetModuleHandleW(nullptr)); }

RECT WorkAreaNear(HWND window) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info)) return info.rcWork;
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

// Centred over `over`, then kept inside `work` (the left and top edges win).
int Place(LONG workStart, LONG workEnd, LONG overStart, LONG overEnd, int size) {
    return std::max<int>(workStart, std::min<int>(workEnd - size, overStart + (overEnd - overStart - size) / 2));
}
}  // namespace

bool DetailsWindow::RegisterWindowClass(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpfnWndProc = ForwardingProc<DetailsWindow>;
    wc.lpszClassName = L"TidewellPE.Details";
    return ::RegisterClassExW(&wc) != 0;
}

DetailsWindow::~DetailsWindow() { Close(); }

bool DetailsWindow::Open(const ListEntry& entry) {
    Close();
    job_ = entry.job;
    if (!job_->trySnapshot(snapshot_, true)) snapshot_ = entry.cached.Info();  // the window never waits on a job
    rows_ = ScrollBarState{};
    width_ = Scale(680);
    height_ = Scale(520);
    RECT outer{0, 0, width_, height_};
    ::AdjustWindowRectEx(&outer, kStyle, FALSE, kExStyle);
    const int ow = outer.right - outer.left, oh = outer.bottom - outer.top;
    HWND main = main_.MainHandle();
    RECT over{};
    ::GetWindowRect(main, &over);
    const RECT work = WorkAreaNear(main);
    const int x = Place(work.left, work.right, over.left, over.right, ow);
    const int y = Place(work.top, work.bottom, over.top, over.bottom, oh);
    const std::wstring title = DetailsTitle(snapshot_);
    if (!::CreateWindowExW(kExStyle, L"TidewellPE.Details", title.c_str(), kStyle, x, y, ow, oh, main, nullptr, Instance(),
                           this)) {
        Reset();
        return false;
    }
    RECT client{};
    ::GetClientRect(window_, &client);
    if (client.right != width_ || client.bottom != height_)
        ::SetWindowPos(window_, nullptr, 0, 0, ow + width_ - client.right, oh + height_ - client.bottom,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ApplyDarkTitleBar(window_);
    UpdatePauseButton();
    Refresh();
    ::ShowWindow(window_, SW_SHOW);
    return true;
}

void DetailsWindow::Close() {
    if (window_) ::DestroyWindow(window_);  // WM_DESTROY empties the state
}

void DetailsWindow::CloseIfShowing(const zeb::Download* job) {
    if (window_ && job == job_.get()) Close();
}

void DetailsWindow::Reset() {
    window_ = pause_ = copy_ = change_ = copySha_ = nullptr;
    const std::shared_ptr<zeb::Download> job = std::move(job_);
    if (DownloadList* list = job ? main_.List() : nullptr) list->JobReleased(job.get());
    snapshot_ = DownloadInfo{};
    rows_ = ScrollBarState{};
}

void DetailsWindow::Refresh() {
    if (!window_ || !job_) return;
    const DownloadState shown = snapshot_.state;
    if (!job_->trySnapshot(snapshot_, true)) return;  // busy: the next tick refreshes
    snapshot_.segments = DisplayedRanges(std::move(snapshot_.segments));
    rows_.content = static_cast<int32_t>(snapshot_.segments.size());
    rows_.page = DetailsVisibleRows(height_);
    rows_.position = std::clamp(rows_.position, 0, ScrollMax(rows_));
    if (snapshot_.state != shown) UpdatePauseButton();
    ::InvalidateRect(window_, nullptr, FALSE);
}

void DetailsWindow::UpdatePauseButton() {
    const PauseButtonLook look = PauseLookFor(snapshot_.state);
    ::SetWindowTextW(pause_, look.caption);
    SetButtonIcon(pause_, look.icon);
    ::EnableWindow(pause_, look.enabled);
    // A finished file needs no new link; its fingerprint takes that place.
    const bool sha = ShowsSha256(snapshot_);
    ::ShowWindow(change_, sha ? SW_HIDE : SW_SHOW);
    ::ShowWindow(limit_, snapshot_.state == DownloadState::Completed ? SW_HIDE : SW_SHOW);
    ::ShowWindow(copySha_, sha ? SW_SHOW : SW_HIDE);
}

LRESULT DetailsWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: OnCreate(); return 0;
        case WM_DESTROY: Reset(); return 0;
        case WM_PAINT: Paint(); return 0;
        case WM_CLOSE: ::DestroyWindow(window_); return 0;
        case WM_ERASEBKGND: return 1;
        case WM_DRAWITEM:
        case WM_MEASUREITEM: {
            LRESULT result = 0;
            if (HandleOwnerDraw(message, wParam, lParam, result)) return result;
            break;
        }
        case WM_COMMAND: OnCommand(LOWORD(wParam)); return 0;
        case WM_MOUSEWHEEL: OnWheel(GET_WHEEL_DELTA_WPARAM(wParam)); return 0;
        default: break;
    }
    return ::DefWindowProcW(window_, message, wParam, lParam);
}

void DetailsWindow::OnCreate() {
    pause_ = CreateStyledButton(window_, kPauseButtonId, L"", ButtonStyle{ButtonKind::Normal, 34, 3, 3, false});
    copy_ = CreateStyledButton(window_, kCopyLinkButtonId, Tr(L"Sao chép liên kết", L"Copy Link"),
                               ButtonStyle{ButtonKind::Normal, 21, 3, 3, false});
    change_ = CreateStyledButton(window_, kChangeLinkButtonId, Tr(L"Đổi liên kết…", L"Change Link…"),
                                 ButtonStyle{ButtonKind::Normal, 38, 3, 3, false});
    copySha_ = CreateStyledButton(window_, kCopySha256ButtonId, Tr(L"Sao chép SHA-256", L"Copy SHA-256"),
                                  ButtonStyle{ButtonKind::Normal, 21, 3, 3, false});
    limit_ = CreateStyledButton(window_, kLimitSpeedButtonId, Tr(L"Giới hạn tốc độ…", L"Limit speed…"),
                                ButtonStyle{ButtonKind::Normal, 0, 2, 2, false});
    ::ShowWindow(copySha_, SW_HIDE);
    HWND close = CreateStyledButton(window_, IDCANCEL, Tr(L"Đóng", L"Close"), ButtonStyle{ButtonKind::Accent, 0, 3, 3, false});
    for (HWND b : {pause_, copy_, change_, copySha_, limit_, close}) {
        const RECT r = DetailsButtonRect(::GetDlgCtrlID(b), width_, height_);
        ::MoveWindow(b, r.left, r.top, r.right - r.left, r.bottom - r.top, FALSE);
    }
}

void DetailsWindow::OnCommand(int id) {
    switch (id) {
        case IDCANCEL: ::DestroyWindow(window_); break;
        case kPauseButtonId:
            if (job_ && job_->state() != DownloadState::Completed) {
                switch (job_->state()) {
                    case DownloadState::Queued:
                    case DownloadState::Connecting:
                    case DownloadState::Downloading: job_->pause(); break;
                    default: job_->requeue(); break;
                }
                if (DownloadList* list = main_.List()) {
                    list->StartQueued();
                    list->RefreshEntries();
                }
            }
            Refresh();
            break;
        case kChangeLinkButtonId:
            if (job_) main_.AskNewLink(job_.get());  // may close this window (its row erased)
            break;
        case kLimitSpeedButtonId:
            ShowLimitSpeedDialog(main_, job_);
            Refresh();
            break;
        case kCopySha256ButtonId:
            if (SetClipboardText(window_, snapshot_.sha256)) {
                ::SetWindowTextW(copySha_, Tr(L"Đã sao chép!", L"Copied!"));
                SetButtonIcon(copySha_, 25);
            }
            break;
        case kCopyLinkButtonId: {
            // Never the password: any program may read the clipboard.
            const std::wstring link = zeb::linkWithoutUserInfo(snapshot_.url);
            main_.SetLastPicked(link);
            if (SetClipboardText(window_, link)) {
                ::SetWindowTextW(copy_, Tr(L"Đã sao chép!", L"Copied!"));
                SetButtonIcon(copy_, 25);
            }
            break;
        }
        default: break;
    }
}

void DetailsWindow::OnWheel(int delta) {
    const int32_t old = rows_.position;
    rows_.position = std::clamp(old - delta * 3 / 120, 0, ScrollMax(rows_));
    if (rows_.position != old) ::InvalidateRect(window_, nullptr, FALSE);
}

void DetailsWindow::Paint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(window_, &ps);
    Surface s = SurfaceCreate(width_, height_);
    PaintDetails(s, snapshot_, rows_.position, g_settings.connections, width_, height_);
    SurfaceBlit(s, dc, 0, 0);
    ::EndPaint(window_, &ps);
}
