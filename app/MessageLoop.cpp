#include "app/MessageLoop.h"

#include <cwchar>

#include "app/Actions.h"
#include "app/MainWindow.h"

int ShortcutCommand(WPARAM key, bool listFocused) {
    if (key >= VK_NUMPAD1 && key <= VK_NUMPAD9) key -= VK_NUMPAD0 - '0';
    switch (key) {
        case '1': case VK_INSERT: return kAddDownloadId;
        case '2': return kResumeAllId;
        case '3': return kPauseAllId;
        case '4': return kClearFinishedId;
        case '5': return kOpenFolderId;
        case '6': return kSettingsId;
        case '7': return kWhenDoneButtonId;
        case VK_DELETE: return kRemoveSelectedId;
        case VK_SPACE: return listFocused ? kToggleSelectedId : 0;
        case 'O': return listFocused ? kOpenSelectedFolderId : 0;
        default: return 0;
    }
}

int DetailsShortcutCommand(WPARAM key) {
    switch (key) {
        case 'P': return kPauseButtonId;  // pause, resume or retry: what the button says
        case 'C': return kCopyLinkButtonId;
        case 'L': return kChangeLinkButtonId;
        case 'H': return kCopySha256ButtonId;
        case 'S': return kLimitSpeedButtonId;  // its own speed limit
        default: return 0;
    }
}

namespace {
bool CtrlOrAltDown() { return (::GetKeyState(VK_CONTROL) & 0x8000) || (::GetKeyState(VK_MENU) & 0x8000); }

// A details key acts as a click on its button, and only where a click could:
// on a button shown and enabled.
bool TranslateDetailsKey(const MSG& msg, HWND details) {
    if (msg.message != WM_KEYDOWN || !details || ::GetActiveWindow() != details || CtrlOrAltDown()) return false;
    const int id = DetailsShortcutCommand(msg.wParam);
    HWND button = id ? ::GetDlgItem(details, id) : nullptr;
    if (!button || !::IsWindowVisible(button) || !::IsWindowEnabled(button)) return false;
    ::PostMessageW(details, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return true;
}
}  // namespace

bool TranslateShortcut(const MSG& msg, const MainWindow& main) {
    if (msg.message != WM_KEYDOWN || ::GetActiveWindow() != main.Handle()) return false;
    if (CtrlOrAltDown()) return false;
    HWND focus = ::GetFocus();
    wchar_t cls[16] = {};
    if (focus) ::GetClassNameW(focus, cls, 16);
    if (_wcsicmp(cls, L"EDIT") == 0) return false;
    const int command = ShortcutCommand(msg.wParam, focus == main.ListViewWindow());
    if (!command) return false;
    ::PostMessageW(main.Handle(), WM_COMMAND, command, 0);
    return true;
}

void RunLoopStep(MSG& msg, const MainWindow& main) {
    if (TranslateShortcut(msg, main)) return;
    HWND details = main.DetailsWindow();
    if (TranslateDetailsKey(msg, details)) return;
    // Escape, Tab and Enter in the details window act on its own buttons.
    if (details && ::IsDialogMessageW(details, &msg)) return;
    if (::IsDialogMessageW(main.Handle(), &msg)) return;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
}
