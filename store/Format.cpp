#include "store/Format.h"

#include <cstdio>
#include <cwchar>

#include "store/Lang.h"

namespace {
constexpr int kBufferUnits = 48;

template <typename... Args>
std::wstring Printf(const wchar_t* format, Args... args) {
    wchar_t buffer[kBufferUnits];
    int n = std::swprintf(buffer, kBufferUnits, format, args...);
    return n < 0 ? std::wstring() : std::wstring(buffer, static_cast<size_t>(n));
}
}  // namespace

std::wstring FormatSize(int64_t n) {
    if (n < 0) return L"\u2014";
    if (n < 1024) return Printf(L"%lld B", static_cast<long long>(n));
    const double d = static_cast<double>(n);
    if (n < 1048576) return Printf(L"%.1f KB", d / 1024.0);
    if (n < 1073741824) return Printf(L"%.1f MB", d / 1048576.0);
    return Printf(L"%.2f GB", d / 1073741824.0);
}

std::wstring FormatSpeed(double s) {
    // Truncation toward zero; values beyond the 64-bit range (or NaN) would
    // be undefined to convert, so they are clamped first.
    int64_t n;
    if (!(s > -9.2e18)) n = s < 0 ? INT64_MIN : 0;
    else if (s >= 9.2e18) n = INT64_MAX;
    else n = static_cast<int64_t>(s);
    return FormatSize(n) + L"/s";
}

std::wstring FormatDuration(int64_t s) {
    if (s < 0) s = 0;
    const wchar_t* hours = Tr(L" giờ", L"h");
    const wchar_t* minutes = Tr(L" phút", L"m");
    const wchar_t* seconds = Tr(L" giây", L"s");
    const auto num = [](int64_t v) { return std::to_wstring(v); };
    if (s < 60) return num(s) + seconds;
    if (s >= 3600) return num(s / 3600) + hours + L" " + num((s % 3600) / 60) + minutes;
    return num(s / 60) + minutes + L" " + num(s % 60) + seconds;
}

std::wstring StatusLabel(DownloadState state) {
    switch (state) {
        case DownloadState::Queued: return Tr(L"Đang chờ", L"Queued");
        case DownloadState::Connecting: return Tr(L"Đang kết nối\u2026", L"Connecting\u2026");
        case DownloadState::Downloading: return Tr(L"Đang tải", L"Downloading");
        case DownloadState::Paused: return Tr(L"Đã tạm dừng", L"Paused");
        case DownloadState::Completed: return Tr(L"Hoàn tất", L"Completed");
        default: return Tr(L"Lỗi", L"Failed");
    }
}

std::wstring FormatProgress(const DownloadInfo& info) {
    if (info.totalSize >= 0) return FormatSize(info.doneBytes) + L" / " + FormatSize(info.totalSize);
    return FormatSize(info.doneBytes);
}

std::wstring FormatTimeLeft(const DownloadInfo& info) {
    if (info.totalSize < 0 || !(info.speed >= 1.0)) return {};
    const double left = static_cast<double>(info.totalSize - info.doneBytes) / info.speed;
    // A snapshot may briefly show more done than the total; a negative time counts as 0.
    if (!(left < 9.2e18)) return FormatDuration(INT64_MAX);
    return FormatDuration(static_cast<int64_t>(left));
}
