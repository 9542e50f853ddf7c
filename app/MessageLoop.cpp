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
        default: return 0;
    }
}

bool TranslateShortcut(const MSG& msg, const MainWindow& main) {
    if (msg.message != WM_KEYDOWN || ::GetActiveWindow() != main.Handle()) return false;
    if ((::GetKeyState(VK_CONTROL) & 0x8000) || (::GetKeyState(VK_MENU) & 0x8000)) return false;
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
    // Escape, Tab and Enter in the details window act on its own buttons.
    if (HWND details = main.DetailsWindow(); details && ::IsDialogMessageW(details, &msg)) return;
    if (::IsDialogMessageW(main.Handle(), &msg)) return;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
}
