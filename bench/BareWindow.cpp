// The reference for the program's idle cost: a bare window whose 300 ms
// timer repaints it every tick (an off-screen bitmap copied in one blit, as
// the program paints), and nothing else.
#include <windows.h>

namespace {
LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER: ::InvalidateRect(window, nullptr, FALSE); return 0;
        case WM_ERASEBKGND: return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(window, &ps);
            RECT r;
            ::GetClientRect(window, &r);
            HDC memory = ::CreateCompatibleDC(dc);
            HBITMAP bitmap = ::CreateCompatibleBitmap(dc, r.right, r.bottom);
            HGDIOBJ old = ::SelectObject(memory, bitmap);
            ::FillRect(memory, &r, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
            ::BitBlt(dc, 0, 0, r.right, r.bottom, memory, 0, 0, SRCCOPY);
            ::SelectObject(memory, old);
            ::DeleteObject(bitmap);
            ::DeleteDC(memory);
            ::EndPaint(window, &ps);
            return 0;
        }
        case WM_DESTROY: ::PostQuitMessage(0); return 0;
        default: return ::DefWindowProcW(window, message, wParam, lParam);
    }
}
}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    WNDCLASSW c{};
    c.lpfnWndProc = Proc;
    c.hInstance = instance;
    c.lpszClassName = L"BareWindow";
    ::RegisterClassW(&c);
    HWND window = ::CreateWindowW(L"BareWindow", L"bare", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 1100, 720, nullptr, nullptr,
                                  instance, nullptr);
    ::SetTimer(window, 1, 300, nullptr);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) ::DispatchMessageW(&msg);
    return 0;
}
