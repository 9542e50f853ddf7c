#include "store/DriveRanking.h"

#include <algorithm>
#include <cwctype>

namespace {
bool Qualifies(const DriveFacts& d) {
    return (d.kind == DriveKind::Removable || d.kind == DriveKind::Fixed) && d.volumeInfoOk && !d.readOnly &&
           d.freeSpaceOk && d.freeBytes > 0;
}

bool Replaces(const DriveFacts& candidate, const DriveFacts& best) {
    if (candidate.kind == DriveKind::Fixed && best.kind == DriveKind::Removable) return true;
    return candidate.kind == best.kind && candidate.freeBytes > best.freeBytes;
}
}  // namespace

std::optional<wchar_t> RankDrives(const std::vector<DriveFacts>& drives, wchar_t systemLetter) {
    std::vector<DriveFacts> ordered = drives;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const DriveFacts& a, const DriveFacts& b) { return a.letter < b.letter; });
    const DriveFacts* best = nullptr;
    for (const DriveFacts& d : ordered) {
        if (d.letter < L'C' || d.letter > L'Z' || d.letter == systemLetter) continue;
        if (!Qualifies(d)) continue;
        if (!best || Replaces(d, *best)) best = &d;
    }
    if (!best) return std::nullopt;
    return best->letter;
}

std::wstring ChooseDownloadFolder(bool windowsPE, const std::wstring& userProfile, wchar_t systemLetter,
                                  const std::vector<DriveFacts>& drives) {
    if (!windowsPE && !userProfile.empty() && userProfile.size() <= 259) return userProfile + L"\\Downloads";
    if (std::optional<wchar_t> best = RankDrives(drives, systemLetter))
        return std::wstring(1, *best) + L":\\ZEBDownloads";
    return std::wstring(1, systemLetter) + L":\\Downloads";
}

wchar_t SystemDriveLetter(const std::wstring& systemDirectory) {
    if (systemDirectory.empty()) return L'X';
    return static_cast<wchar_t>(std::towupper(systemDirectory[0]));
}
