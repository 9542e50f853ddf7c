// Calls one storage service named on the command line and prints its result
// as UTF-8 on standard output, so the world tests can check what the real
// services decide inside a Wine world they prepared.
#include <windows.h>

#include <string>
#include <vector>

#include "bridge/Registration.h"
#include "engine/SumsFile.h"
#include "store/FileServices.h"
#include "store/Storage.h"

namespace {
void Print(const std::wstring& text) {
    const std::string bytes = Utf16ToUtf8(text + L"\n");
    DWORD done = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"ispe") {
        Print(IsWindowsPE() ? L"1" : L"0");
    } else if (command == L"datafolder") {
        Print(GetDataFolder());
    } else if (command == L"tempdir") {
        wchar_t buffer[MAX_PATH];
        DWORD n = GetTempPathW(MAX_PATH, buffer);
        Print(std::wstring(buffer, n));
    } else if (command == L"defaultfolder") {
        Print(GetDefaultDownloadFolder());
    } else if (command == L"env" && argc > 2) {
        wchar_t buffer[32768];
        DWORD n = GetEnvironmentVariableW(argv[2], buffer, 32768);
        Print(std::wstring(buffer, n < 32768 ? n : 0));
    } else if (command == L"register" && argc > 2) {
        RegisterNativeHost(argv[2]);
        Print(L"done");
    } else if (command == L"regkeys") {
        // Each host key: its default value and last-write time.
        for (const std::wstring& key : HostRegistryKeys()) {
            HKEY h = nullptr;
            std::wstring line = key + L"|";
            if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &h) == ERROR_SUCCESS) {
                wchar_t value[1024] = {};
                DWORD bytes = sizeof value - 2, type = 0;
                RegQueryValueExW(h, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes);
                FILETIME written{};
                RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, &written);
                line += std::wstring(value) + L"|" +
                        std::to_wstring((static_cast<unsigned long long>(written.dwHighDateTime) << 32) | written.dwLowDateTime);
                RegCloseKey(h);
            }
            Print(line);
        }
    } else if (command == L"haswindow") {
        Print(FindWindowW(L"TidewellPE.Main", nullptr) ? L"yes" : L"no");
    } else if (command == L"endsession") {
        // What Windows tells every top-level window when the machine shuts down.
        HWND get = FindWindowW(L"TidewellPE.Get", nullptr);
        DWORD_PTR answer = 0;
        const bool told = get && SendMessageTimeoutW(get, WM_QUERYENDSESSION, 0, 0, SMTO_BLOCK, 10000, &answer) &&
                          SendMessageTimeoutW(get, WM_ENDSESSION, TRUE, 0, SMTO_BLOCK, 10000, &answer);
        Print(told ? L"ended" : L"no window");
    } else if (command == L"visible") {
        // The class of every visible top-level window, one a line.
        EnumWindows(
            [](HWND window, LPARAM) -> BOOL {
                wchar_t name[64] = L"";
                if (IsWindowVisible(window) && GetClassNameW(window, name, 64)) Print(name);
                return TRUE;
            },
            0);
    } else if (command == L"copydata" && argc > 2) {
        // Sends the main window a hand-over of a given shape; prints its answer.
        HWND main = FindWindowW(L"TidewellPE.Main", nullptr);
        const std::wstring mode = argv[2];
        const std::wstring base = argc > 3 ? argv[3] : L"";
        std::wstring text;
        COPYDATASTRUCT data{};
        data.dwData = 0x5A454232;
        if (mode == L"foreign") {
            data.dwData = 0x41424344;
            text = base + L"/file/foreign.bin?size=10\n";
        } else if (mode == L"many") {
            for (int i = 0; i < 3000; ++i) text += base + L"/file/m" + std::to_wstring(i) + L".bin?size=10&hold=1\n";
        } else if (mode == L"huge") {  // about 4 MB in one message, as an old sender sent it
            for (int i = 0; i < 40000; ++i) text += base + L"/file/g" + std::to_wstring(i) + L"?hold=1\n";
        } else if (mode == L"embedded") {
            text = base + L"/file/before.bin?size=10\n";
            text.push_back(L'\0');
            text += base + L"/file/after.bin?size=10\n";
        } else if (mode == L"cr") {
            text = base + L"/file/cr.bin?size=10\tref\rerence\n";
        }
        std::vector<wchar_t> buffer(text.begin(), text.end());
        buffer.push_back(L'\0');
        data.lpData = buffer.data();
        data.cbData = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        if (mode == L"null") data.lpData = nullptr;
        if (mode == L"zero") data.cbData = 0;
        if (mode == L"one") data.cbData = 1;
        if (mode == L"odd") data.cbData -= 1;
        if (mode == L"nonul") data.cbData -= sizeof(wchar_t);
        DWORD_PTR result = 0;
        const ULONGLONG t0 = GetTickCount64();
        const BOOL sent = SendMessageTimeoutW(main, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                                              10000, &result);
        Print(std::to_wstring(sent ? static_cast<long long>(result) : -1) + L" " + std::to_wstring(GetTickCount64() - t0));
    } else if (command == L"command" && argc > 2) {
        HWND main = FindWindowW(L"TidewellPE.Main", nullptr);
        Print(main && PostMessageW(main, WM_COMMAND, _wtoi(argv[2]), 0) ? L"posted" : L"no window");
    } else if (command == L"close") {
        HWND main = FindWindowW(L"TidewellPE.Main", nullptr);
        Print(main && PostMessageW(main, WM_CLOSE, 0, 0) ? L"posted" : L"no window");
    } else if (command == L"answer" && argc > 2) {
        // Presses button N of the program's open question.
        HWND dialog = FindWindowW(L"TidewellPE.Dialog", nullptr);
        Print(dialog && PostMessageW(dialog, WM_COMMAND, 100 + _wtoi(argv[2]), 0) ? L"posted" : L"no dialog");
    } else if (command == L"freespace" && argc > 2) {
        Print(std::to_wstring(GetFreeSpace(argv[2])));
    } else if (command == L"write" && argc > 3) {
        Print(WriteFileAtomic(argv[2], Utf16ToUtf8(argv[3])) ? L"ok" : L"failed");
    } else if (command == L"sums" && argc > 2) {
        // The sums file of the (name, hex) pairs that follow the path.
        zeb::Sums sums;
        for (int i = 3; i + 1 < argc; i += 2) sums[argv[i]] = argv[i + 1];
        Print(WriteFileAtomic(argv[2], zeb::sumsFileText(sums)) ? L"ok" : L"failed");
    } else {
        Print(L"usage: tw_probe ispe|datafolder|tempdir|defaultfolder|env <name>|volume <root>|freespace <path>|write <path> <text>|sums <path> (<name> <hex>)...");
        return 2;
    }
    return 0;
}
