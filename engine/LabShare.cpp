#include "engine/LabShare.h"

#include <windows.h>
#include <bcrypt.h>

#include "engine/Checksum.h"
#include "engine/NameChoice.h"
#include "engine/Segments.h"
#include "engine/StateFile.h"
#include "store/FileServices.h"
#include "store/Handles.h"
#include "store/Text.h"

namespace zeb {
namespace {
constexpr size_t kLockReadLimit = 4096;
constexpr size_t kStateReadLimit = 16u * 1024 * 1024;

bool WriteWhole(HANDLE file, const std::string& text) {
    DWORD wrote = 0;
    OVERLAPPED at = AtOffset(0);
    if (!::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &wrote, &at) || wrote != text.size())
        return false;
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(text.size());
    return ::SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file) && ::FlushFileBuffers(file);
}

int64_t LastWriteTicks(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<int64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

bool IsReadOnlyFailure(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT || error == ERROR_NOT_SUPPORTED;
}

// A share not connected, a stick pulled out, a folder never made.
bool IsUnreachable(DWORD error) {
    return error == ERROR_PATH_NOT_FOUND || error == ERROR_BAD_NETPATH || error == ERROR_BAD_NET_NAME ||
           error == ERROR_NOT_READY || error == ERROR_NETNAME_DELETED || error == ERROR_DEV_NOT_EXIST;
}
}  // namespace

std::optional<std::wstring> entrySumOf(const std::wstring& fileName, const std::wstring& keyName) {
    if (fileName.size() != keyName.size() + 65 || fileName.compare(0, keyName.size(), keyName) != 0 ||
        fileName[keyName.size()] != L'=')
        return std::nullopt;
    const std::wstring sum = fileName.substr(keyName.size() + 1);
    const std::optional<std::wstring> normal = normalChecksum(sum);
    if (!normal || *normal != sum) return std::nullopt;
    return sum;
}

std::wstring randomRunId() {
    unsigned char bytes[8] = {};
    ::BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    return LowerHex(bytes, sizeof bytes);
}

CacheLock newCacheLock() {
    CacheLock lock;
    lock.run = randomRunId();
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (::GetComputerNameW(name, &size)) lock.computer = name;
    return lock;
}

LabShare::LabShare(std::wstring folder, std::wstring keyName) : folder_(std::move(folder)), key_(std::move(keyName)) {}

std::wstring LabShare::fetchPartPath() const { return path(fetchName() + L".zebpart"); }
std::wstring LabShare::fetchStatePath() const { return path(fetchName() + L".zebstate"); }

std::optional<CacheEntry> LabShare::entry() const {
    WIN32_FIND_DATAW found{};
    FindHandle search(::FindFirstFileW(path(key_ + L"=*").c_str(), &found));
    if (!search) return std::nullopt;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (const std::optional<std::wstring> sum = entrySumOf(found.cFileName, key_))
            return CacheEntry{path(found.cFileName), *sum};
    } while (::FindNextFileW(search.get(), &found));
    return std::nullopt;
}

LabShare::Claim LabShare::claim(const CacheLock& lock) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        FileHandle file(::CreateFileW(path(key_ + L".lock").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            if (WriteWhole(file.get(), cacheLockText(lock))) return Claim::Taken;
            file.reset();
            ::DeleteFileW(path(key_ + L".lock").c_str());
            return Claim::Failed;  // a full share: not a place to fetch into
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return IsReadOnlyFailure(error) ? Claim::ReadOnly : IsUnreachable(error) ? Claim::Unreachable : Claim::Failed;
        if (attempt > 0 || !abandoned()) return Claim::Held;
        removeAbandoned();
    }
    return Claim::Held;
}

bool LabShare::abandoned() const {
    const int64_t lockTicks = LastWriteTicks(path(key_ + L".lock"));
    if (lockTicks < 0) return false;
    // The share's clock, not this machine's: a file just written there.
    const std::wstring probe = path(key_ + L".clock-" + randomRunId());
    FileHandle file(::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    const bool wrote = WriteWhole(file.get(), "clock\r\n");
    file.reset();
    const int64_t probeTicks = LastWriteTicks(probe);
    ::DeleteFileW(probe.c_str());
    return wrote && probeTicks >= 0 && abandonedFetch(lockTicks, probeTicks);
}

void LabShare::removeAbandoned() {
    // Aside first, so that only one machine removes what it judged.
    const std::wstring aside = path(key_ + L".abandoned-" + randomRunId());
    if (!::MoveFileExW(path(key_ + L".lock").c_str(), aside.c_str(), 0)) return;
    ::DeleteFileW(fetchPartPath().c_str());
    ::DeleteFileW(fetchStatePath().c_str());
    ::DeleteFileW(aside.c_str());
}

LockReading LabShare::readLock() const {
    ReadStatus status = ReadStatus::NotOpened;
    const std::string text = ReadWholeFile(path(key_ + L".lock"), kLockReadLimit, &status);
    if (status == ReadStatus::NotOpened) {
        const DWORD error = ::GetLastError();
        // Open elsewhere without sharing, for a moment: still there.
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return {true, std::nullopt};
        return {};
    }
    return {true, status == ReadStatus::Complete ? parseCacheLock(text) : std::nullopt};
}

bool LabShare::beat(CacheLock& lock) {
    const LockReading now = readLock();
    if (!now.present || (now.lock && now.lock->run != lock.run)) return false;
    ++lock.beat;
    FileHandle file(::CreateFileW(path(key_ + L".lock").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) WriteWhole(file.get(), cacheLockText(lock));  // a missed beat is only a late one
    return true;
}

void LabShare::release(const CacheLock& lock) {
    const LockReading now = readLock();
    if (now.lock && now.lock->run == lock.run) ::DeleteFileW(path(key_ + L".lock").c_str());
}

bool LabShare::takeOver(const CacheLock& lock) {
    const std::wstring aside = path(key_ + L".stale-" + lock.run);
    if (!::MoveFileExW(path(key_ + L".lock").c_str(), aside.c_str(), 0)) return false;
    ::DeleteFileW(aside.c_str());
    return claim(lock) == Claim::Taken;
}

std::optional<std::vector<Segment>> LabShare::fetchState() const {
    ReadStatus status = ReadStatus::NotOpened;
    const std::string text = ReadWholeFile(fetchStatePath(), kStateReadLimit, &status);
    if (status != ReadStatus::Complete) return std::nullopt;
    return recordedSegments(text, recordedLinkOf(text));
}

void LabShare::adoptFetchState(const std::wstring& url) const {
    ReadStatus status = ReadStatus::NotOpened;
    const std::string text = ReadWholeFile(fetchStatePath(), kStateReadLimit, &status);
    if (status != ReadStatus::Complete) return;
    Validator recorded;
    const std::optional<std::vector<Segment>> held = recordedSegments(text, recordedLinkOf(text), &recorded);
    if (held) WriteFileAtomic(fetchStatePath(), buildStateText(url, totalOf(*held), *held, recorded));
}

std::optional<CacheEntry> LabShare::publish(const std::wstring& finishedPath, const std::wstring& sha256) {
    const std::wstring target = path(key_ + L"=" + sha256);
    if (!::MoveFileExW(finishedPath.c_str(), target.c_str(), 0)) {
        const DWORD error = ::GetLastError();
        // Another machine published this key first: one entry is enough.
        if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) ::DeleteFileW(finishedPath.c_str());
    }
    return entry();
}

void LabShare::setAside(const CacheEntry& damaged, const std::wstring& run) const {
    const size_t slash = damaged.path.find_last_of(L'\\');
    ::MoveFileExW(damaged.path.c_str(), path(L"damaged-" + run + L"-" + damaged.path.substr(slash + 1)).c_str(), 0);
}

}  // namespace zeb
