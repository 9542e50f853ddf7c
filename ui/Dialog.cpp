#include "ui/Dialog.h"

#include <algorithm>
#include <vector>

#include "store/Lang.h"
#include "ui/Buttons.h"
#include "ui/Colors.h"
#include "ui/Dpi.h"
#include "ui/Fonts.h"
#include "ui/Theme.h"

namespace ui {

namespace {
constexpr DWORD kStyle = WS_POPUP | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;

// The dialogs whose windows exist now, innermost last.
std::vector<Dialog*>& OpenDialogs() {
    static std::vector<Dialog*> open;
    return open;
}

RECT PrimaryWorkArea() {
    RECT work{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}
}  // namespace

bool RegisterDialogClass(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ForwardingProc<Dialog>;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kDialogClass;
    return ::RegisterClassExW(&wc) != 0;
}

int Dialog::RunModal(HWND owner, const std::wstring& title, int cw, int ch) {
    owner_ = owner;
    RECT outer{0, 0, cw, ch};
    ::AdjustWindowRectEx(&outer, kStyle, FALSE, kExStyle);
    const int ww = outer.right - outer.left, wh = outer.bottom - outer.top;
    RECT anchor;
    if (!owner || !::GetWindowRect(owner, &anchor)) anchor = PrimaryWorkArea();
    RECT bounds = PrimaryWorkArea();
    if (owner) {
        MONITORINFO info{};
        info.cbSize = sizeof info;
        if (::GetMonitorInfoW(::MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &info)) bounds = info.rcWork;
    }
    const HWND focusBefore = ::GetFocus();
    int x = anchor.left + (anchor.right - anchor.left - ww) / 2;
    int y = anchor.top + (anchor.bottom - anchor.top - wh) / 2;
    x = std::max<int>(bounds.left, std::min<int>(bounds.right - ww, x));
    y = std::max<int>(bounds.top, std::min<int>(bounds.bottom - wh, y));

    if (!::CreateWindowExW(kExStyle, kDialogClass, title.c_str(), kStyle, x, y, ww, wh, owner, nullptr,
                           reinterpret_cast<HINSTANCE>(::GetModuleHandleW(nullptr)), this))
        return -1;
    OpenDialogs().push_back(this);
    RECT client;
    ::GetClientRect(window_, &client);
    if (client.right != cw || client.bottom != ch)
        ::SetWindowPos(window_, nullptr, 0, 0, ww + cw - client.right, wh + ch - client.bottom,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ApplyDarkTitleBar(window_);
    // EnableWindow answers whether the window was disabled before.
    if (owner) disabledOwner_ = !::EnableWindow(owner, FALSE);
    ::ShowWindow(window_, SW_SHOW);
    if (HWND focus = InitialFocus()) ::SetFocus(focus);

    MSG msg;
    while (!closed_) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));  // the outer loops end too
            break;
        }
        if (got == -1) break;
        if (::IsDialogMessageW(window_, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    if (!closed_) {
        GiveOwnerBack();
        if (::IsWindow(window_)) ::DestroyWindow(window_);
    }
    if (owner && ::IsWindow(owner)) {
        // Over another dialog the owner is still disabled: that dialog is in
        // front again, or the keyboard would reach nothing until a click.
        if (::IsWindowEnabled(owner) || OpenDialogs().empty()) ::SetForegroundWindow(owner);
        else ::SetForegroundWindow(OpenDialogs().back()->Window());
    }
    if (focusBefore && ::IsWindow(focusBefore) && ::IsWindowEnabled(::GetAncestor(focusBefore, GA_ROOT)))
        ::SetFocus(focusBefore);
    return result_;
}

void Dialog::GiveOwnerBack() {
    if (disabledOwner_ && owner_ && ::IsWindow(owner_)) ::EnableWindow(owner_, TRUE);
    disabledOwner_ = false;
}

void Dialog::CloseDialog(int result) {
    result_ = result;
    GiveOwnerBack();  // before the window goes, so the owner is activated again
    if (window_ && ::IsWindow(window_)) ::DestroyWindow(window_);
}

LRESULT Dialog::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: OnCreate(); return 0;
        case WM_DESTROY: {
            closed_ = true;
            GiveOwnerBack();  // destroyed without CloseDialog: the owner must not stay disabled
            auto& open = OpenDialogs();
            open.erase(std::remove(open.begin(), open.end(), this), open.end());
            return 0;
        }
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(window_, &ps);
            RECT c;
            ::GetClientRect(window_, &c);
            const int w = std::max<int>(1, c.right), h = std::max<int>(1, c.bottom);
            Surface s = SurfaceCreate(w, h);
            SurfaceFill(s, RECT{0, 0, w, h}, PaletteColor(2));
            SurfaceFill(s, RECT{0, h - Scale(64), w, h}, PaletteColor(3));
            SurfaceFill(s, RECT{0, h - Scale(64), w, h - Scale(64) + 1}, PaletteColor(6));
            OnPaint(s, w, h);
            SurfaceBlit(s, dc, 0, 0);
            ::EndPaint(window_, &ps);
            return 0;
        }
        case WM_ERASEBKGND: return 1;
        case WM_CLOSE: CloseDialog(-1); return 0;
        case WM_TIMER: OnTimer(wParam); return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) CloseDialog(-1);
            else OnCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_DRAWITEM:
        case WM_MEASUREITEM: {
            LRESULT result = 0;
            if (HandleOwnerDraw(message, wParam, lParam, result)) return result;
            break;
        }
        case WM_CTLCOLOREDIT: return reinterpret_cast<LRESULT>(EditColors(reinterpret_cast<HDC>(wParam)));
        default: break;
    }
    return ::DefWindowProcW(window_, message, wParam, lParam);
}

void RefreshDialogFonts() {
    for (Dialog* d : OpenDialogs()) {
        for (HWND child = ::GetWindow(d->Window(), GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
            wchar_t cls[16] = {};
            ::GetClassNameW(child, cls, 16);
            // Text boxes hold a font handle; the buttons take theirs by slot at each paint.
            if (_wcsicmp(cls, L"EDIT") == 0)
                ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(4)), FALSE);
            ::InvalidateRect(child, nullptr, TRUE);
        }
        ::InvalidateRect(d->Window(), nullptr, FALSE);
    }
}

const wchar_t* CancelText() { return Tr(L"Huỷ bỏ", L"Cancel"); }

const Dialog* DialogOf(HWND window) {
    wchar_t cls[32] = {};
    if (!window || !::GetClassNameW(window, cls, 32) || wcscmp(cls, kDialogClass) != 0) return nullptr;
    return reinterpret_cast<const Dialog*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

}  // namespace ui
