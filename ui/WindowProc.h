// The one window procedure of the program's window classes and dialogs:
// WM_NCCREATE stores the object given as creation data, every message then
// goes to its member handler, and nothing thrown crosses the procedure.
// The object outlives its window: once it has let go of the window (its
// window_ is another or none, as after a WM_DESTROY that resets it) or the
// window is ending (WM_NCDESTROY), the messages go to DefWindowProcW.
#pragma once

#include <windows.h>

template <typename T>
LRESULT CALLBACK ForwardingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message == WM_NCCREATE) {
        if (auto* self = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams)) {
            self->window_ = window;
            ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
    }
    auto* self = reinterpret_cast<T*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self || self->window_ != window) return ::DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    try {
        return self->Handle(message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}
