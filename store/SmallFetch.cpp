#include "store/SmallFetch.h"

#include <windows.h>

#include <atomic>

#include "engine/Download.h"
#include "store/Storage.h"

namespace {
// Each fetch its own folder: two of them may run at once, and names chosen
// in one folder would step aside for each other.
std::wstring FreshFolder() {
    static std::atomic<uint32_t> next{0};
    return TempPath() + L"tidewell-fetch-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++next);
}
}  // namespace

SmallFetch::SmallFetch(const std::wstring& link, size_t limit, bool ignoreCertErrors)
    : folder_(FreshFolder()), limit_(limit) {
    CreateFolderTree(folder_);
    zeb::RequestOptions asFile;
    asFile.metalinkAsFile = true;
    job_ = std::make_shared<zeb::Download>(link, folder_, L"fetched", asFile);
    job_->start(1, ignoreCertErrors);
}

SmallFetch::~SmallFetch() {
    if (!job_) return;
    const bool running = job_->running();
    job_->remove(false);  // a running job deletes its partial file as it ends
    if (!running) ::RemoveDirectoryW(folder_.c_str());
}

bool SmallFetch::Ended() {
    if (!job_ || !job_->running()) return true;
    DownloadInfo info;
    if (!tooLarge_ && job_->trySnapshot(info) &&
        (info.totalSize > static_cast<int64_t>(limit_) || info.doneBytes > static_cast<int64_t>(limit_))) {
        tooLarge_ = true;
        job_->pause();
    }
    return false;
}

SmallFetch::Outcome SmallFetch::Take() {
    Outcome got;
    if (!job_ || job_->running()) return got;
    const DownloadInfo info = job_->snapshot(false);
    if (info.state == DownloadState::Completed) {
        const std::wstring path = folder_ + L"\\" + info.fileName;
        if (!tooLarge_) got.bytes = ReadWholeFile(path, limit_, &got.status);
        ::DeleteFileW(path.c_str());
        job_->forgetFinishedState();
    } else if (!tooLarge_) {
        got.errorText = info.errorText;
    }
    if (tooLarge_) got.status = ReadStatus::Truncated;
    job_->remove(false);
    job_.reset();
    ::RemoveDirectoryW(folder_.c_str());
    return got;
}
