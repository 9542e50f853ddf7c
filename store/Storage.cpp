#include "store/Storage.h"

#include <windows.h>

#include <vector>

#include "store/DriveRanking.h"
#include "store/FileServices.h"
#include "store/Handles.h"
#include "store/PathRules.h"

bool IsWindowsPE() {
    static const bool flag = [] {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\MiniNT", 0, KEY_READ, &key) !=
            ERROR_SUCCESS)
            return false;
        RegKeyHandle owner(key);
        return true;
    }();
    return flag;
}

std::wstring TempPath() {
    wchar_t buffer[260];
    DWORD n = ::GetTempPathW(260, buffer);
    if (n >= 1 && n <= 259) return std::wstring(buffer, n);
    return {};
}

std::wstring EnvironmentValue(const wchar_t* name) {
    wchar_t buffer[260];
    DWORD n = ::GetEnvironmentVariableW(name, buffer, 260);
    if (n >= 1 && n <= 259) return std::wstring(buffer, n);
    return {};
}

namespace {
// An empty file can be created on a full disk, so the test writes and
// flushes real bytes; only then are later saves known to have room to land.
bool CanWriteIn(const std::wstring& folder) {
    const std::wstring probe = folder + L"\\.zeb-write-test";
    FileHandle file(::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!file) return false;
    constexpr DWORD kProbeBytes = 4096;
    std::vector<char> bytes(kProbeBytes, 'z');
    DWORD written = 0;
    return ::WriteFile(file.get(), bytes.data(), kProbeBytes, &written, nullptr) && written == kProbeBytes &&
           ::FlushFileBuffers(file.get());
}

DriveKind KindOf(UINT type) {
    if (type == DRIVE_REMOVABLE) return DriveKind::Removable;
    if (type == DRIVE_FIXED) return DriveKind::Fixed;
    return DriveKind::Other;
}

// Asks the system about each present letter C..Z except the system drive;
// floppies and the system drive are never touched.
std::vector<DriveFacts> CollectDriveFacts(wchar_t systemLetter) {
    std::vector<DriveFacts> drives;
    const DWORD mask = ::GetLogicalDrives();
    for (wchar_t letter = L'C'; letter <= L'Z'; ++letter) {
        if (!(mask & (1u << (letter - L'A'))) || letter == systemLetter) continue;
        const wchar_t root[] = {letter, L':', L'\\', 0};
        DriveFacts d;
        d.letter = letter;
        d.kind = KindOf(::GetDriveTypeW(root));
        if (d.kind != DriveKind::Other) {
            DWORD flags = 0;
            d.volumeInfoOk = ::GetVolumeInformationW(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) != 0;
            d.readOnly = (flags & FILE_READ_ONLY_VOLUME) != 0;
            if (d.volumeInfoOk && !d.readOnly) {
                ULARGE_INTEGER freeToCaller;
                d.freeSpaceOk = ::GetDiskFreeSpaceExW(root, &freeToCaller, nullptr, nullptr) != 0;
                d.freeBytes = d.freeSpaceOk ? freeToCaller.QuadPart : 0;
            }
        }
        drives.push_back(d);
    }
    return drives;
}
}  // namespace

std::wstring FallbackDataFolder(const std::wstring& exeFolder, const std::wstring& tempPath) {
    const std::wstring base = tempPath.empty() ? exeFolder + L"\\" : tempPath;
    return base + L"TidewellPE";
}

std::wstring GetDataFolder() {
    const std::wstring exeFolder = FolderOfPath(GetModulePath());
    if (CanWriteIn(exeFolder)) return exeFolder;
    const std::wstring folder = FallbackDataFolder(exeFolder, TempPath());
    CreateFolderTree(folder);  // used even when this fails; later saves then fail quietly
    return folder;
}

std::wstring GetDefaultDownloadFolder() {
    const bool pe = IsWindowsPE();
    const std::wstring profile = pe ? std::wstring() : EnvironmentValue(L"USERPROFILE");
    if (!pe && !profile.empty()) return ChooseDownloadFolder(false, profile, L'X', {});
    const wchar_t letter = SystemDriveLetter(GetSystemFolder());
    return ChooseDownloadFolder(pe, profile, letter, CollectDriveFacts(letter));
}
