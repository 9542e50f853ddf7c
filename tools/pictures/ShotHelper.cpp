// The steps tools/screenshots.py takes in the program it photographs:
// keys and the pointer on the list, the main window moved aside, a text in
// the link box, a command to the open dialog, and the commands, close and
// answer it shares with the tests' probe. Prints what it did on standard
// output.
//
//   tw_shot_helper haswindow|command <id>|close|answer <n>|key list|edit <vk>|move <x> <y>|aside|settext <text>|dialogcommand <id>
//                  |paste <line>... (the lines onto the clipboard, then pasted into the link box)
#include <windows.h>

#include <cstring>
#include <string>

namespace {
void Print(const std::wstring& text) {
    const std::wstring line = text + L"\n";
    DWORD done = 0;
    char bytes[512];
    const int n = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), bytes, sizeof bytes, nullptr, nullptr);
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes, static_cast<DWORD>(n), &done, nullptr);
}

// Posts a command to the first window of the class; true when there was one.
bool Post(const wchar_t* cls, UINT message, WPARAM wParam) {
    HWND window = FindWindowW(cls, nullptr);
    return window && PostMessageW(window, message, wParam, 0);
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"key" && argc > 3) {
        // Posts a key press to the main window's child of a class ("list" or
        // "edit"), focusing the list first with a click as a user would.
        HWND main = FindWindowW(L"TidewellPE.Main", nullptr);
        const std::wstring target = argv[2];
        HWND child = main ? FindWindowExW(main, nullptr, target == L"list" ? L"TidewellPE.List" : L"Edit", nullptr) : nullptr;
        if (child && target == L"list") PostMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        Sleep(200);
        const WPARAM key = static_cast<WPARAM>(_wtoi(argv[3]));
        Print(child && PostMessageW(child, WM_KEYDOWN, key, 1) ? L"posted" : L"no target");
    } else if (command == L"move" && argc > 3) {
        // Moves the pointer over the list to (x, y) of its client area; a
        // negative x counts from the right edge.
        HWND main = FindWindowW(L"TidewellPE.Main", nullptr);
        HWND list = main ? FindWindowExW(main, nullptr, L"TidewellPE.List", nullptr) : nullptr;
        RECT c{};
        if (list) GetClientRect(list, &c);
        int x = _wtoi(argv[2]);
        if (x < 0) x += c.right;
        POINT p{x, _wtoi(argv[3])};
        if (list) ClientToScreen(list, &p);
        Print(list && SetCursorPos(p.x, p.y) &&
                      PostMessageW(list, WM_MOUSEMOVE, 0, MAKELPARAM(x, _wtoi(argv[3])))
                  ? L"moved"
                  : L"no list");
    } else if (command == L"dialogcommand" && argc > 2) {
        // Sends the open dialog (else the details window) a command: a
        // button id, or 2 to cancel it.
        HWND dialog = FindWindowW(L"TidewellPE.Dialog", nullptr);
        if (!dialog) dialog = FindWindowW(L"TidewellPE.Details", nullptr);
        Print(dialog && PostMessageW(dialog, WM_COMMAND, _wtoi(argv[2]), 0) ? L"posted" : L"no dialog");
    } else if (command == L"dialogreplace" && argc > 4) {
        // Replaces a text inside a box of the open dialog (by its id); Wine
        // keeps a closed dialog findable for a while, hidden.
        HWND dialog = nullptr;
        while ((dialog = FindWindowExW(nullptr, dialog, L"TidewellPE.Dialog", nullptr)) && !IsWindowVisible(dialog)) {
        }
        HWND box = dialog ? GetDlgItem(dialog, _wtoi(argv[2])) : nullptr;
        // WM_GETTEXT: GetWindowText does not read another process's control.
        std::wstring text(box ? static_cast<size_t>(SendMessageW(box, WM_GETTEXTLENGTH, 0, 0)) + 1 : 0, L'\0');
        if (box) text.resize(static_cast<size_t>(SendMessageW(box, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
        const size_t at = text.find(argv[3]);
        if (at != std::wstring::npos) text.replace(at, wcslen(argv[3]), argv[4]);
        Print(at != std::wstring::npos && SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())) ? L"replaced"
                                                                                                                   : L"no text");
    } else if (command == L"aside") {
        // Moves the main window off the screen, so that the program's other
        // windows stand alone (overlapping windows stay black under Wine
        // without a window manager).
        HWND main = FindWindowW(L"TidewellPE.Main", nullptr);
        Print(main && SetWindowPos(main, nullptr, GetSystemMetrics(SM_CXSCREEN) + 100, 0, 0, 0,
                                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE)
                  ? L"aside"
                  : L"no window");
    } else if (command == L"settext" && argc > 2) {
        // Puts a text into the main window's link box.
        HWND main = FindWindowW(L"TidewellPE.Main", nullptr);
        HWND box = main ? FindWindowExW(main, nullptr, L"Edit", nullptr) : nullptr;
        Print(box && SetWindowTextW(box, argv[2]) ? L"set" : L"no box");
    } else if (command == L"paste" && argc > 2) {
        std::wstring text;
        for (int i = 2; i < argc; ++i) text += std::wstring(argv[i]) + L"\r\n";
        bool set = false;
        if (OpenClipboard(nullptr)) {
            EmptyClipboard();
            if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t))) {
                memcpy(GlobalLock(memory), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
                GlobalUnlock(memory);
                set = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
            }
            CloseClipboard();
        }
        HWND main = FindWindowW(L"TidewellPE.Main", nullptr);
        HWND box = main ? FindWindowExW(main, nullptr, L"Edit", nullptr) : nullptr;
        Print(set && box && PostMessageW(box, WM_PASTE, 0, 0) ? L"pasted" : L"no box");
    } else if (command == L"haswindow") {
        Print(FindWindowW(L"TidewellPE.Main", nullptr) ? L"yes" : L"no");
    } else if (command == L"command" && argc > 2) {
        Print(Post(L"TidewellPE.Main", WM_COMMAND, _wtoi(argv[2])) ? L"posted" : L"no window");
    } else if (command == L"close") {
        Print(Post(L"TidewellPE.Main", WM_CLOSE, 0) ? L"posted" : L"no window");
    } else if (command == L"answer" && argc > 2) {
        Print(Post(L"TidewellPE.Dialog", WM_COMMAND, 100 + _wtoi(argv[2])) ? L"posted" : L"no dialog");
    } else {
        Print(L"usage: tw_shot_helper haswindow|command|close|answer|key|move|aside|settext|dialogcommand ...");
        return 2;
    }
    return 0;
}
