// Where downloads go when the settings name no folder: a pure decision over
// facts about the environment and the drives, collected by Storage.cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class DriveKind { Other, Removable, Fixed };

// What the system said about one present drive letter.
struct DriveFacts {
    wchar_t letter = L'C';          // upper case
    DriveKind kind = DriveKind::Other;
    bool volumeInfoOk = false;      // GetVolumeInformationW succeeded
    bool readOnly = false;          // the volume has FILE_READ_ONLY_VOLUME
    bool freeSpaceOk = false;       // GetDiskFreeSpaceExW succeeded
    uint64_t freeBytes = 0;         // bytes free to the caller
};

// The best drive for downloads among `drives` (visited in letter order C..Z,
// the system drive skipped): a fixed drive beats a removable one, then more
// free space wins, then the earlier letter. A drive with no free space does
// not qualify at all, since every download to it would fail.
std::optional<wchar_t> RankDrives(const std::vector<DriveFacts>& drives, wchar_t systemLetter);

// "<profile>\Downloads" on a full Windows with a usable profile; otherwise
// "<best>:\ZEBDownloads", or "<system>:\Downloads" without a best drive.
// `userProfile` is the USERPROFILE value (usable when 1..259 units).
std::wstring ChooseDownloadFolder(bool windowsPE, const std::wstring& userProfile, wchar_t systemLetter,
                                  const std::vector<DriveFacts>& drives);

// The system drive letter from the system folder's path; "X" when unknown.
wchar_t SystemDriveLetter(const std::wstring& systemDirectory);
