// The partial file and its resume state: preparing the file when a job
// starts, saving and loading the state file, and the final rename.
// nameMutex makes the name test and the creation (or the rename) one step
// with respect to every other job; it is always taken before the job lock.
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <atomic>

#include "engine/Download.h"
#include "engine/Error.h"
#include "engine/ErrorTexts.h"
#include "engine/FileNames.h"
#include "engine/NameChoice.h"
#include "engine/Segments.h"
#include "engine/StateFile.h"
#include "engine/Timing.h"
#include "store/FileServices.h"

namespace zeb {
namespace {
std::mutex g_nameMutex;
std::atomic<bool> g_renamesFrozen{false};
constexpr size_t kStateReadLimit = 4194304;  // bytes

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

int64_t FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void SetSparse(HANDLE file, bool sparse) {
    FILE_SET_SPARSE_BUFFER flag{static_cast<BOOLEAN>(sparse)};
    DWORD returned = 0;
    ::DeviceIoControl(file, FSCTL_SET_SPARSE, sparse ? nullptr : &flag, sparse ? 0 : sizeof flag, nullptr, 0,
                      &returned, nullptr);
}

// Errors another program causes for a moment: a scanner or indexer opening
// the new file right when it is finished.
bool IsPassingLock(DWORD e) {
    return e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION || e == ERROR_ACCESS_DENIED;
}
}  // namespace

void freezeFinalRenames(bool frozen) { g_renamesFrozen = frozen; }

void Download::prepareFile(const ProbeResult& probed, int connections) {
    std::lock_guard<std::mutex> names(g_nameMutex);
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (!CreateFolderTree(folder_)) throw Error{folderCreateFailedText(folder_, systemErrorText(::GetLastError()))};
    if (!nameFixed_) {
        const std::wstring base = fileName_.empty() ? probed.fileName : fileName_;
        fileName_ = chooseFileName(folder_, base, url_, fileSystemProbe());
    }
    const std::wstring path = folder_ + L"\\" + fileName_;
    const std::wstring partPath = path + L".zebpart";
    const std::wstring statePath = path + L".zebstate";
    totalSize_ = probed.totalSize;
    acceptsRanges_ = probed.acceptsRanges;
    resolvedUrl_ = probed.finalUrl;
    plainFurthest_ = 0;

    bool resumed = false;
    if (acceptsRanges_ && FileSize(partPath) == totalSize_) resumed = loadState(statePath, totalSize_);
    if (!resumed && Exists(statePath) && !::DeleteFileW(statePath.c_str()) && Exists(statePath)) {
        // An old state beside a recreated partial file would later be taken
        // for progress and turn never-written zeros into a "finished" file.
        throw Error{fileDeleteFailedText(statePath, systemErrorText(::GetLastError()))};
    }

    file_.reset(::CreateFileW(partPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              resumed ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) throw Error{fileCreateFailedText(partPath, systemErrorText(::GetLastError()))};
    if (resumed) {
        nameFixed_ = true;
        savedDoneBytes_ = doneBytesOf(segments_);
        return;
    }
    segments_.clear();
    doneBytes_ = 0;
    savedDoneBytes_ = -1;
    if (totalSize_ > 0) {
        const uint64_t free = GetFreeSpace(folder_);
        if (free != kUnknownFreeSpace && free < static_cast<uint64_t>(totalSize_)) {
            file_.reset();
            ::DeleteFileW(partPath.c_str());
            throw Error{notEnoughSpaceText(folder_, totalSize_, static_cast<int64_t>(free))};
        }
        SetSparse(file_.get(), true);
        LARGE_INTEGER size;
        size.QuadPart = totalSize_;
        if (!::SetFilePointerEx(file_.get(), size, nullptr, FILE_BEGIN) || !::SetEndOfFile(file_.get())) {
            const DWORD e = ::GetLastError();
            file_.reset();
            ::DeleteFileW(partPath.c_str());
            throw Error{reserveFailedText(totalSize_, systemErrorText(e))};
        }
    }
    // Only now is the name ours for good: the failures above delete the
    // partial file, and another link could take the free name meanwhile.
    nameFixed_ = true;
    segments_ = planSegments(totalSize_, acceptsRanges_, connections);
}

void Download::saveState() {
    std::string text;
    std::wstring statePath;
    bool newProgress;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (!nameFixed_ || !acceptsRanges_ || state_ == DownloadState::Completed || segments_.empty()) return;
        text = buildStateText(url_, totalSize_, segments_);
        statePath = folder_ + L"\\" + fileName_ + L".zebstate";
        const int64_t done = doneBytesOf(segments_);
        newProgress = done != savedDoneBytes_;
        savedDoneBytes_ = done;
    }
    if (newProgress && file_) {
        // The state may only record bytes that are on the disk, not just in
        // the cache: after a power loss a resume would trust zeros.
        if (!::FlushFileBuffers(file_.get())) {
            std::lock_guard<std::mutex> lock(stateMutex_);
            savedDoneBytes_ = -1;
            return;
        }
    }
    WriteFileAtomic(statePath, text);
}

bool Download::loadState(const std::wstring& statePath, int64_t expectedTotal) {
    // Called by prepareFile with the job lock held.
    std::optional<std::vector<Segment>> table = parseStateText(ReadWholeFile(statePath, kStateReadLimit), url_, expectedTotal);
    if (!table) return false;
    segments_ = std::move(*table);
    return true;
}

void Download::finalize() {
    if (file_) {
        SetSparse(file_.get(), false);
        file_.reset();
    }
    std::unique_lock<std::mutex> names(g_nameMutex);
    if (g_renamesFrozen) {
        names.unlock();
        saveState();  // every range is done: the next start only renames
        stopRequested_ = true;  // ends Paused, as the exit's pause would
        throw Error{};
    }
    std::wstring folder, fileName;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        folder = folder_;
        fileName = fileName_;
    }
    const std::wstring partPath = folder + L"\\" + fileName + L".zebpart";
    const std::wstring statePath = folder + L"\\" + fileName + L".zebstate";
    std::wstring finalName = fileName;
    unsigned n = 1;
    const double giveUpAt = now() + timing().renameRetryMs / 1000.0;
    for (;;) {
        if (::MoveFileExW(partPath.c_str(), (folder + L"\\" + finalName).c_str(), 0)) break;
        const DWORD e = ::GetLastError();
        if (IsPassingLock(e) && now() < giveUpAt) {
            if (::WaitForSingleObject(stopEvent_.get(), 100) == WAIT_OBJECT_0) throw Error{};
            continue;
        }
        if ((e != ERROR_ALREADY_EXISTS && e != ERROR_FILE_EXISTS) || n > 9999)
            throw Error{renameFailedText(systemErrorText(e))};
        finalName = uniqueName(fileName, n);
        while (n <= 9999 && Exists(folder + L"\\" + finalName + L".zebpart")) finalName = uniqueName(fileName, ++n);
        ++n;
    }
    ::DeleteFileW(statePath.c_str());
    std::lock_guard<std::mutex> lock(stateMutex_);
    fileName_ = finalName;
    if (totalSize_ < 0) totalSize_ = doneBytesOf(segments_);
    state_ = DownloadState::Completed;
    errorText_.clear();
}

}  // namespace zeb
