// Entry point. A browser starts this executable as its native-messaging
// host; every other start is the GUI (whose start-up grows here in the
// next steps: single instance, data folder, settings, windows).
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "bridge/NativeHost.h"

namespace {
std::vector<std::wstring> Arguments() {
    std::vector<std::wstring> args;
    int count = 0;
    if (wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
        args.assign(argv, argv + count);
        ::LocalFree(argv);
    }
    return args;
}
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // A drive without media must fail quietly inside Windows PE, never ask.
    ::SetErrorMode(SEM_FAILCRITICALERRORS);
    const std::vector<std::wstring> args = Arguments();
    if (IsHostModeCommandLine(args)) return RunNativeHost();
    return 0;
}
