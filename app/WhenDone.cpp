#include "app/WhenDone.h"

#include <cwctype>

#include "store/Lang.h"

WhenDone NextWhenDone(WhenDone choice) {
    switch (choice) {
        case WhenDone::Nothing: return WhenDone::Close;
        case WhenDone::Close: return WhenDone::ShutDown;
        case WhenDone::ShutDown: return WhenDone::Restart;
        default: return WhenDone::Nothing;
    }
}

std::wstring WhenDoneText(WhenDone choice) {
    switch (choice) {
        case WhenDone::Close: return Tr(L"Khi xong: đóng chương trình", L"When done: close the program");
        case WhenDone::ShutDown: return Tr(L"Khi xong: tắt máy", L"When done: shut down");
        case WhenDone::Restart: return Tr(L"Khi xong: khởi động lại", L"When done: restart");
        default: return Tr(L"Khi xong: không làm gì", L"When done: do nothing");
    }
}

std::wstring WhenDoneCaption(WhenDone choice) { return L"[7] " + WhenDoneText(choice); }

std::wstring WhenDoneCountdownText(WhenDone choice, int seconds, const std::wstring& lossDrive) {
    const std::wstring loss =
        lossDrive.empty() ? L""
                          : std::wstring(L"\n\n") + Tr(L"Các tệp đã tải về ổ ", L"Files downloaded to ") + lossDrive +
                                Tr(L" sẽ mất khi tắt máy.", L" will be lost when the machine turns off.");
    const std::wstring done = Tr(L"Đã tải xong tất cả. ", L"All downloads are finished. ");
    if (seconds <= 0)
        return done + (choice == WhenDone::Restart ? Tr(L"Khởi động lại ngay?", L"Restart now?")
                                                   : Tr(L"Tắt máy ngay?", L"Shut down now?")) + loss;
    const std::wstring n = std::to_wstring(seconds);
    const bool one = seconds == 1;
    std::wstring action;
    switch (choice) {
        case WhenDone::Close:
            action = Tr(L"Sẽ đóng chương trình sau ", L"Closing the program in ");
            break;
        case WhenDone::Restart: action = Tr(L"Sẽ khởi động lại sau ", L"Restarting in "); break;
        default: action = Tr(L"Sẽ tắt máy sau ", L"Shutting down in "); break;
    }
    return done + action + n + (one ? Tr(L" giây.", L" second.") : Tr(L" giây.", L" seconds.")) + loss;
}

std::wstring WhenDoneFailedText(WhenDone choice, const std::wstring& reason) {
    return (choice == WhenDone::Restart ? Tr(L"Không khởi động lại được máy:\n\n", L"The machine could not be restarted:\n\n")
                                        : Tr(L"Không tắt được máy:\n\n", L"The machine could not be shut down:\n\n")) +
           reason;
}

bool WhenDoneDue(WhenDone choice, const std::vector<ListEntry>& entries, uint64_t finishedSinceChoice) {
    if (choice == WhenDone::Nothing || finishedSinceChoice == 0) return false;
    for (const ListEntry& e : entries) {
        const DownloadState s = e.cached.state;
        if (s == DownloadState::Queued || s == DownloadState::Connecting || s == DownloadState::Downloading) return false;
        if (e.cached.waitingForHours) return false;  // it runs again when the hours begin
    }
    return true;
}

std::wstring WhenDoneLossDrive(WhenDone choice, const std::vector<ListEntry>& entries, bool windowsPE, wchar_t systemDrive) {
    if (!windowsPE || (choice != WhenDone::ShutDown && choice != WhenDone::Restart)) return {};
    for (const ListEntry& e : entries) {
        const std::wstring& folder = e.cached.folder;
        if (e.finishedHere && e.cached.state == DownloadState::Completed && folder.size() >= 2 && folder[1] == L':' &&
            std::towupper(folder[0]) == std::towupper(systemDrive))
            return folder.substr(0, 2);  // the letter as the row has it
    }
    return {};
}
