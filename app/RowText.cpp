#include "app/RowText.h"

#include <algorithm>

#include "engine/Credentials.h"
#include "engine/ErrorTexts.h"
#include "store/ActiveHours.h"
#include "store/Format.h"
#include "store/Lang.h"
#include "store/Settings.h"
#include "ui/Colors.h"

namespace {
constexpr wchar_t kSeparator[] = L"   \u2022   ";
}  // namespace

std::wstring VerifyingText(int percent) {
    return Tr(L"Đang kiểm tra… ", L"Verifying… ") + std::to_wstring(percent) + L"%";
}

std::wstring ServerBusyText(int seconds) {
    return Tr(L"Máy chủ bận, thử lại sau ", L"Server busy, trying again in ") + std::to_wstring(seconds) +
           Tr(L" giây", L" s");
}

std::wstring ServerAllowsText(int connections) {
    return Tr(L"máy chủ cho phép ", L"the server allows ") + std::to_wstring(connections) + Tr(L" kết nối", L" connections");
}

std::wstring DetailText(const DownloadInfo& info) {
    if (info.verifyPercent >= 0) return VerifyingText(info.verifyPercent);
    if (info.busySeconds > 0) return ServerBusyText(info.busySeconds);
    // Why the download started over comes first while it runs again.
    if (!info.notice.empty() && (info.state == DownloadState::Downloading || info.state == DownloadState::Paused))
        return info.notice + kSeparator + FormatProgress(info);
    switch (info.state) {
        case DownloadState::Queued: return Tr(L"Đang chờ trong hàng đợi", L"Waiting in the queue");
        case DownloadState::Downloading: {
            std::wstring t = FormatProgress(info) + kSeparator + FormatSpeed(info.speed);
            const std::wstring left = FormatTimeLeft(info);
            if (!left.empty()) t += kSeparator + std::wstring(Tr(L"còn ", L"left ")) + left;
            return t + kSeparator + std::to_wstring(info.activeConnections) + Tr(L" kết nối", L" connections");
        }
        case DownloadState::Paused:
            if (info.waitingForHours) return WaitingForHoursText(g_settings.activeHours) + kSeparator + FormatProgress(info);
            return StatusLabel(info.state) + kSeparator + FormatProgress(info);
        case DownloadState::Completed:
            return StatusLabel(info.state) + kSeparator + FormatSize(info.totalSize) + kSeparator +
                   (info.fromLabCache ? zeb::fromLabCacheText() + kSeparator : std::wstring()) + info.folder;
        case DownloadState::Failed: return Tr(L"Lỗi: ", L"Error: ") + info.errorText;
        default: return StatusLabel(info.state);
    }
}

std::wstring RowNameText(const DownloadInfo& info) {
    return info.fileName.empty() ? zeb::maskPassword(info.url) : info.fileName;
}

double ProgressFraction(const DownloadInfo& info) {
    if (info.state == DownloadState::Completed) return 1.0;
    if (info.totalSize < 1) return -1;
    return std::min(1.0, static_cast<double>(info.doneBytes) / static_cast<double>(info.totalSize));
}

std::wstring PercentText(double fraction) { return std::to_wstring(static_cast<int>(fraction * 100)) + L"%"; }

std::wstring RowValueText(const DownloadInfo& info) {
    const double fraction = ProgressFraction(info);
    return fraction < 0 ? DetailText(info) : DetailText(info) + kSeparator + PercentText(fraction);
}

StateLook LookOf(DownloadState state) {
    switch (state) {
        case DownloadState::Queued: return {PaletteColor(8), 8};
        case DownloadState::Connecting: return {kBlue, 11};
        case DownloadState::Downloading: return {kBlue, 33};
        case DownloadState::Paused: return {kAmber, 34};
        case DownloadState::Completed: return {kGreen, 25};
        case DownloadState::Failed: return {kRed, 30};
        default: return {kBlue, 33};
    }
}

int RowButtonIcon(DownloadState state, int k) {
    switch (k) {
        case 0:
            return state == DownloadState::Completed ? 0
                   : state == DownloadState::Paused  ? 17
                   : state == DownloadState::Failed  ? 11
                                                     : 34;
        case 1: return 28;
        case 2: return 12;
        case 3: return 5;
        default: return 0;
    }
}
