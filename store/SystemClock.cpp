#include "store/SystemClock.h"

#include <vector>

#include "engine/ServerClock.h"
#include "store/Handles.h"

namespace {

bool ProcessMayMoveClock() {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    const KernelHandle token(raw);
    return TokenHoldsPrivilege(token.get(), SE_SYSTEMTIME_NAME);
}

uint32_t MoveClockTo(int64_t ticks) {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw))
        return ::GetLastError();
    const KernelHandle token(raw);
    TOKEN_PRIVILEGES enable{};
    enable.PrivilegeCount = 1;
    enable.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!::LookupPrivilegeValueW(nullptr, SE_SYSTEMTIME_NAME, &enable.Privileges[0].Luid)) return ::GetLastError();
    // Succeeds without enabling anything when the token lacks it: the last error tells.
    if (!::AdjustTokenPrivileges(token.get(), FALSE, &enable, 0, nullptr, nullptr)) return ::GetLastError();
    if (const DWORD error = ::GetLastError(); error != ERROR_SUCCESS) return error;
    const FILETIME ft = zeb::fileTimeOf(ticks);
    SYSTEMTIME st{};
    if (!::FileTimeToSystemTime(&ft, &st)) return ::GetLastError();
    if (!::SetSystemTime(&st)) return ::GetLastError();
    return 0;
}

}  // namespace

bool TokenHoldsPrivilege(HANDLE token, const wchar_t* name) {
    LUID wanted{};
    if (!::LookupPrivilegeValueW(nullptr, name, &wanted)) return false;
    DWORD size = 0;
    ::GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    if (size < sizeof(TOKEN_PRIVILEGES)) return false;
    std::vector<DWORD> buffer((size + sizeof(DWORD) - 1) / sizeof(DWORD));  // DWORD-aligned, as the structure needs
    if (!::GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size)) return false;
    const auto* held = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < held->PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES& p = held->Privileges[i];
        if (p.Luid.LowPart == wanted.LowPart && p.Luid.HighPart == wanted.HighPart &&
            !(p.Attributes & SE_PRIVILEGE_REMOVED))
            return true;
    }
    return false;
}

namespace {
int LocalMinute() {
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    return t.wHour * 60 + t.wMinute;
}
}  // namespace

SystemClock MachineClock() { return SystemClock{zeb::nowTicks, ProcessMayMoveClock, MoveClockTo, LocalMinute}; }
