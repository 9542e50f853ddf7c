#include "ui/ControlText.h"

#include <cstring>
#include <vector>

bool SetClipboardText(HWND owner, const std::wstring& text) {
    if (!::OpenClipboard(owner)) return false;
    ::EmptyClipboard();
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
    bool ok = false;
    if (memory) {
        if (void* p = ::GlobalLock(memory)) {
            std::memcpy(p, text.c_str(), bytes);
            ::GlobalUnlock(memory);
            ok = ::SetClipboardData(CF_UNICODETEXT, memory) != nullptr;  // the clipboard owns it now
        }
        if (!ok) ::GlobalFree(memory);
    }
    ::CloseClipboard();
    return ok;
}

std::wstring GetWindowTextString(HWND window) {
    const int n = ::GetWindowTextLengthW(window);
    if (n <= 0) return {};
    std::vector<wchar_t> buffer(static_cast<size_t>(n) + 1);
    const int got = ::GetWindowTextW(window, buffer.data(), n + 1);
    return got > 0 ? std::wstring(buffer.data(), static_cast<size_t>(got)) : std::wstring();
}
