// Entry point. A browser starts this executable as its native-messaging
// host; "--get" runs it unattended for a script; every other start is the
// GUI: one instance per logon, a second start hands its links to the first.
#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/GetMode.h"
#include "app/GetOptions.h"
#include "app/MainWindow.h"
#include "app/MessageLoop.h"
#include "app/StartUp.h"
#include "bridge/NativeHost.h"
#include "bridge/Registration.h"
#include "store/Handles.h"
#include "store/Settings.h"
#include "store/Storage.h"
#include "ui/Dpi.h"
#include "ui/Fonts.h"
#include "ui/Theme.h"

namespace {
constexpr int kLoopFailuresBeforeExit = 1000;

std::vector<std::wstring> Arguments() {
    std::vector<std::wstring> args;
    int count = 0;
    if (wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
        args.assign(argv, argv + count);
        ::LocalFree(argv);
    }
    return args;
}

int RunGui(HINSTANCE instance, int show, const std::vector<DownloadRequest>& links) {
    // Access denied: the running instance is elevated. It runs all the same.
    KernelHandle mutex(::CreateMutexW(nullptr, FALSE, kInstanceMutex));
    const DWORD mutexError = ::GetLastError();
    if ((mutex && mutexError == ERROR_ALREADY_EXISTS) || (!mutex && mutexError == ERROR_ACCESS_DENIED)) {
        HandOverRequests(links, false);
        return 0;
    }
    const std::wstring dataFolder = GetDataFolder();
    LoadSettings(dataFolder);
    RegisterNativeHost(dataFolder);
    auto main = OpenMainWindow(instance, dataFolder, show, links);
    if (!main) return 1;
    MSG msg{};
    int code = 0;
    int failures = 0;
    for (;;) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            code = static_cast<int>(msg.wParam);
            break;
        }
        if (got < 0) {
            // A message that failed on its way (Wine fails a WM_COPYDATA of
            // megabytes this way) is no reason to quit. A loop that only
            // fails ends through the exit sequence, which saves the list.
            if (++failures < kLoopFailuresBeforeExit) continue;
            main->ExitWithoutAsking();
            break;
        }
        failures = 0;
        RunLoopStep(msg, *main);
    }
    main.reset();
    DeleteFonts();
    DropEditBrush();
    mutex.reset();
    return code;
}
}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    // A drive without media must fail quietly inside Windows PE, never ask.
    ::SetErrorMode(SEM_FAILCRITICALERRORS);
    const std::vector<std::wstring> args = Arguments();
    if (IsHostModeCommandLine(args)) return RunNativeHost();
    const int code = IsGetModeCommandLine(args) ? RunGetMode(args) : RunGui(instance, show, LinkArguments(args));
    // Job threads stopped past the exit budget may still be inside WinHTTP:
    // end the process here instead of racing their clean-up in the CRT's.
    ::ExitProcess(static_cast<UINT>(code));
}
