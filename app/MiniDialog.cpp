#include "app/MiniDialog.h"

namespace {
constexpr wchar_t kClass[] = L"TidewellPE.Dialog";
constexpr int kFirstButton = 1000;

struct DialogState {
    int result = -1;  // only a button press changes it
    bool closed = false;
};

LRESULT CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    auto* state = reinterpret_cast<DialogState*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_NCCREATE:
            ::SetWindowLongPtrW(window, GWLP_USERDATA,
                                reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
            break;
        case WM_COMMAND:
            if (state && LOWORD(wParam) >= kFirstButton) {
                state->result = LOWORD(wParam) - kFirstButton;
                ::DestroyWindow(window);
                return 0;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                ::DestroyWindow(window);
                return 0;
            }
            break;
        case WM_CLOSE: ::DestroyWindow(window); return 0;
        case WM_DESTROY:
            if (state) state->closed = true;
            return 0;
        default: break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}
}  // namespace

bool RegisterMiniDialogClass(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DialogProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClass;
    return ::RegisterClassExW(&wc) != 0;
}

int RunMiniDialog(HWND owner, const std::wstring& title, const std::wstring& text,
                  const std::vector<std::wstring>& buttons) {
    DialogState state;
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(::GetModuleHandleW(nullptr));
    const int width = 460, height = 200;
    RECT at{};
    if (owner) ::GetWindowRect(owner, &at);
    HWND dialog = ::CreateWindowExW(WS_EX_DLGMODALFRAME, kClass, title.c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU,
                                    at.left + 60, at.top + 60, width, height, owner, nullptr, instance, &state);
    if (!dialog) return -1;
    ::CreateWindowExW(0, L"STATIC", text.c_str(), WS_CHILD | WS_VISIBLE, 16, 12, width - 40, 100, dialog, nullptr,
                      instance, nullptr);
    for (size_t i = 0; i < buttons.size(); ++i)
        ::CreateWindowExW(0, L"BUTTON", buttons[i].c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                          16 + static_cast<int>(i) * 140, height - 80, 130, 30, dialog,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstButton + i)), instance, nullptr);
    // Re-enable only an owner this dialog disabled.
    const bool disabledOwner = owner && ::IsWindowEnabled(owner);
    if (disabledOwner) ::EnableWindow(owner, FALSE);
    ::ShowWindow(dialog, SW_SHOW);
    MSG msg;
    while (!state.closed) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            if (got == 0) ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (!::IsDialogMessageW(dialog, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    if (disabledOwner) ::EnableWindow(owner, TRUE);
    if (::IsWindow(dialog)) ::DestroyWindow(dialog);
    return state.result;
}
