#include "ui/Keyboard.h"

#include <unordered_map>

namespace ui {
namespace {
// Window -> the child focused when it was left. A stale entry of a window
// gone is never asked for again (and its child is checked before use).
std::unordered_map<HWND, HWND>& LeftFocus() {
    static std::unordered_map<HWND, HWND> map;
    return map;
}
}  // namespace

void KeepFocusAcrossActivation(HWND window, WPARAM activateWParam) {
    if (LOWORD(activateWParam) == WA_INACTIVE) {
        HWND focus = ::GetFocus();
        if (focus && ::IsChild(window, focus)) LeftFocus()[window] = focus;
        return;
    }
    if (HIWORD(activateWParam)) return;  // minimised: nothing to focus yet
    const auto it = LeftFocus().find(window);
    HWND focus = it == LeftFocus().end() ? nullptr : it->second;
    if (focus && ::IsChild(window, focus) && ::IsWindowVisible(focus) && ::IsWindowEnabled(focus)) ::SetFocus(focus);
    else if (!::IsChild(window, ::GetFocus())) ::SetFocus(window);
}

}  // namespace ui
