#include "engine/ServerClock.h"

#include <atomic>
#include <cwchar>

namespace zeb {
namespace {
constexpr int64_t kTicksPerDay = 864000000000;  // 100 ns ticks
std::atomic<bool> g_noted{false};
std::atomic<int64_t> g_days{0};

}  // namespace

int64_t nowTicks() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return fileTimeTicks(now);
}

std::wstring utcDateText(int64_t ticks, bool minutes) {
    const FILETIME ft = fileTimeOf(ticks);
    SYSTEMTIME st{};
    if (!::FileTimeToSystemTime(&ft, &st)) return L"?";
    wchar_t text[32];
    if (minutes)
        std::swprintf(text, 32, L"%04u-%02u-%02u %02u:%02u UTC", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute);
    else
        std::swprintf(text, 32, L"%04u-%02u-%02u", st.wYear, st.wMonth, st.wDay);
    return text;
}

int64_t clockSkewDays(int64_t serverTicks, int64_t localTicks) {
    const int64_t apart = serverTicks > localTicks ? serverTicks - localTicks : localTicks - serverTicks;
    return apart > kTicksPerDay ? apart / kTicksPerDay : 0;
}

int64_t serverDateTicks(HINTERNET request) {
    DWORD age = 0, ageSize = sizeof age;
    if (::WinHttpQueryHeaders(request, WINHTTP_QUERY_AGE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX, &age,
                              &ageSize, WINHTTP_NO_HEADER_INDEX) ||
        ::GetLastError() != ERROR_WINHTTP_HEADER_NOT_FOUND)
        return 0;
    SYSTEMTIME date{};
    DWORD size = sizeof date;
    FILETIME server{};
    if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_DATE | WINHTTP_QUERY_FLAG_SYSTEMTIME, WINHTTP_HEADER_NAME_BY_INDEX,
                               &date, &size, WINHTTP_NO_HEADER_INDEX) ||
        !::SystemTimeToFileTime(&date, &server))
        return 0;
    return fileTimeTicks(server);
}

void noteServerDate(HINTERNET request) {
    if (g_noted.load()) return;
    const int64_t server = serverDateTicks(request);
    if (server == 0) return;
    const int64_t days = clockSkewDays(server, nowTicks());
    if (days == 0) return;
    bool expected = false;
    if (g_noted.compare_exchange_strong(expected, true)) g_days = days;
}

int64_t takeClockSkewDays() { return g_days.exchange(0); }

}  // namespace zeb
