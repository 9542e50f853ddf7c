#include "ui/Theme.h"

#include "store/Handles.h"
#include "store/Lang.h"
#include "ui/Colors.h"

namespace {
BrushHandle g_editBrush;

using SetWindowAttribute = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);

SetWindowAttribute DwmEntry() {
    // Loaded from the system folder only, once; the library stays loaded.
    static const SetWindowAttribute entry = []() -> SetWindowAttribute {
        HMODULE dwm = ::LoadLibraryExW(L"dwmapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!dwm) return nullptr;
        return reinterpret_cast<SetWindowAttribute>(
            reinterpret_cast<void*>(::GetProcAddress(dwm, "DwmSetWindowAttribute")));
    }();
    return entry;
}
}  // namespace

HBRUSH EditColors(HDC dc) {
    if (!g_editBrush) g_editBrush.reset(::CreateSolidBrush(PaletteColor(9)));
    ::SetTextColor(dc, PaletteColor(7));
    ::SetBkColor(dc, PaletteColor(9));
    return g_editBrush.get();
}

void DropEditBrush() { g_editBrush.reset(); }

bool FollowSystemColours() {
    // A change of colours within high contrast (WM_SYSCOLORCHANGE) counts too.
    const bool changed = FollowHighContrast() || IsHighContrast();
    if (changed) DropEditBrush();
    return changed;
}

void ApplyDarkTitleBar(HWND window) {
    const SetWindowAttribute set = DwmEntry();
    if (!set || !window) return;
    const BOOL dark = IsDarkTheme() ? TRUE : FALSE;
    constexpr DWORD kImmersiveDarkMode = 20, kImmersiveDarkModeOld = 19;  // 19: older Windows 10 builds
    if (FAILED(set(window, kImmersiveDarkMode, &dark, sizeof dark))) set(window, kImmersiveDarkModeOld, &dark, sizeof dark);
}
