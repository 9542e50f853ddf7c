#include "ui/PasteHook.h"

namespace ui {

namespace {
constexpr wchar_t kProperty[] = L"TidewellPE.PasteHook";

struct Hook {
    WNDPROC previous;
    std::function<bool()> paste;
};

LRESULT CALLBACK HookProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    auto* hook = static_cast<Hook*>(::GetPropW(window, kProperty));
    if (!hook) return ::DefWindowProcW(window, message, wParam, lParam);
    const WNDPROC previous = hook->previous;
    // Ctrl+V and Shift+Insert: some edit controls paste from the key
    // without a WM_PASTE (Wine's Shift+Insert does), so both become one.
    const bool ctrlV = message == WM_CHAR && wParam == 0x16;
    const bool shiftInsert = message == WM_KEYDOWN && wParam == VK_INSERT && (::GetKeyState(VK_SHIFT) & 0x8000) &&
                             !(::GetKeyState(VK_CONTROL) & 0x8000);
    if (ctrlV || shiftInsert) return ::SendMessageW(window, WM_PASTE, 0, 0);
    if (message == WM_PASTE) {
        bool handled = false;
        try {
            // A copy: the paste may open a question, and the box may be
            // gone (with its hook) by the time it is answered.
            const std::function<bool()> paste = hook->paste;
            handled = paste();
        } catch (...) {
        }
        if (handled || !::IsWindow(window)) return 0;
    } else if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        ::RemovePropW(window, kProperty);
        delete hook;
    }
    return ::CallWindowProcW(previous, window, message, wParam, lParam);
}
}  // namespace

bool HookPaste(HWND edit, std::function<bool()> paste) {
    if (!edit || ::GetPropW(edit, kProperty)) return false;
    auto* hook = new Hook{nullptr, std::move(paste)};
    if (!::SetPropW(edit, kProperty, hook)) {
        delete hook;
        return false;
    }
    hook->previous = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HookProc)));
    if (!hook->previous) {
        ::RemovePropW(edit, kProperty);
        delete hook;
        return false;
    }
    return true;
}

}  // namespace ui
