#include "app/Power.h"

#include "engine/ErrorTexts.h"
#include "store/FileServices.h"
#include "store/Storage.h"

namespace {
ExitWindowsCall g_exitWindows = nullptr;

// ExitWindowsEx fails without this privilege, which a user's token holds
// but keeps disabled.
bool EnableShutdownPrivilege(DWORD& error) {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw)) {
        error = ::GetLastError();
        return false;
    }
    KernelHandle token(raw);
    TOKEN_PRIVILEGES p{};
    p.PrivilegeCount = 1;
    p.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!::LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &p.Privileges[0].Luid) ||
        !::AdjustTokenPrivileges(token.get(), FALSE, &p, 0, nullptr, nullptr)) {
        error = ::GetLastError();
        return false;
    }
    // Success with ERROR_NOT_ALL_ASSIGNED: the token does not hold it at all.
    error = ::GetLastError();
    return error == ERROR_SUCCESS;
}
}  // namespace

PowerCommand WpeutilCommand(const std::wstring& systemFolder, bool restart) {
    PowerCommand c;
    c.program = systemFolder + L"\\wpeutil.exe";
    c.commandLine = L"\"" + c.program + L"\" " + (restart ? L"reboot" : L"shutdown");
    return c;
}

bool StartPowerAction(bool restart, KernelHandle& tool, std::wstring& error) {
    if (IsWindowsPE()) {
        std::wstring system = GetSystemFolder();
        if (system.empty()) system = L"X:\\Windows\\System32";
        const PowerCommand c = WpeutilCommand(system, restart);
        std::wstring line = c.commandLine;  // CreateProcessW may write into it
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESHOWWINDOW;
        si.wShowWindow = SW_HIDE;
        PROCESS_INFORMATION pi{};
        if (!::CreateProcessW(c.program.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                              nullptr, &si, &pi)) {
            error = c.program + L"\n" + zeb::systemErrorText(::GetLastError());
            return false;
        }
        KernelHandle thread(pi.hThread);
        tool.reset(pi.hProcess);
        return true;
    }
    DWORD code = ERROR_SUCCESS;
    if (!EnableShutdownPrivilege(code)) {
        error = zeb::systemErrorText(code);
        return false;
    }
    const UINT flags = (restart ? EWX_REBOOT : EWX_SHUTDOWN | EWX_POWEROFF) | EWX_FORCEIFHUNG;
    const DWORD reason = SHTDN_REASON_MAJOR_OTHER | SHTDN_REASON_MINOR_OTHER | SHTDN_REASON_FLAG_PLANNED;
    if (!(g_exitWindows ? g_exitWindows : ::ExitWindowsEx)(flags, reason)) {
        error = zeb::systemErrorText(::GetLastError());
        return false;
    }
    return true;
}

void SetExitWindowsForTests(ExitWindowsCall call) { g_exitWindows = call; }
