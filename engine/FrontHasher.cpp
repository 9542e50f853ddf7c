#include "engine/FrontHasher.h"

#include <windows.h>

#include <algorithm>

#include "store/FileServices.h"

namespace zeb {
namespace {
constexpr DWORD kReadBytes = 4 << 20;  // one system call per 4 MiB keeps the reads at the hash's pace
}

FrontHasher::FrontHasher(const std::wstring& path, size_t expectedLength)
    : file_(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)),
      expectedLength_(expectedLength) {
    if (!file_) error_ = ::GetLastError();
    restart();
}

FrontHasher::~FrontHasher() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    moved_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void FrontHasher::restart() {
    sha256_ = std::make_unique<Digest>();
    other_ = expectedLength_ == 32 || expectedLength_ == 40 ? std::make_unique<Digest>(expectedLength_) : nullptr;
    hashed_ = 0;
}

void FrontHasher::advance(int64_t front, uint32_t generation) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (quit_ || error_) return;
        if (generation != generation_) {
            // Summed bytes of an earlier attempt are dropped by the thread
            // before its next read.
            generation_ = generation;
            front_ = 0;
        }
        front_ = std::max(front_, front);
        if (!thread_.joinable()) {
            try {
                thread_ = std::thread([this] { run(); });
            } catch (const std::exception&) {
                return;  // finish() reads it all
            }
        }
    }
    moved_.notify_all();
}

bool FrontHasher::sum(int64_t at, DWORD length) {
    if (buffer_.size() < kReadBytes) buffer_.resize(kReadBytes);
    OVERLAPPED where = AtOffset(at);
    DWORD got = 0;
    if (!::ReadFile(file_.get(), buffer_.data(), length, &got, &where) || got != length) {
        error_ = got != length && ::GetLastError() == 0 ? ERROR_HANDLE_EOF : ::GetLastError();
        return false;
    }
    sha256_->add(buffer_.data(), got);
    if (other_) other_->add(buffer_.data(), got);
    return true;
}

void FrontHasher::run() noexcept {
    // Low I/O and processor priority: the bytes of a resume read back from
    // a slow disk (a USB stick) must not hold up the download's writes; the
    // bytes it reads while downloading come from the cache.
    ::SetThreadPriority(::GetCurrentThread(), THREAD_MODE_BACKGROUND_BEGIN);
    try {
        std::unique_lock<std::mutex> lock(mutex_);
        uint32_t summing = summed_ = generation_;
        for (;;) {
            moved_.wait(lock, [&] { return quit_ || front_ > hashed_ || generation_ != summing; });
            if (quit_) return;
            if (generation_ != summing) {
                summing = summed_ = generation_;
                restart();
                continue;
            }
            const int64_t at = hashed_;
            const DWORD length = static_cast<DWORD>(std::min<int64_t>(front_ - at, kReadBytes));
            lock.unlock();
            const bool ok = sum(at, length);
            lock.lock();
            if (!ok) return;  // finish() reports error_
            if (generation_ == summing) hashed_ = at + length;
        }
    } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        error_ = ERROR_NOT_ENOUGH_MEMORY;
    }
}

HashOutcome FrontHasher::finish(int64_t total, uint32_t generation, const std::atomic<bool>& stop,
                                const std::function<void(int64_t)>& progress, FileDigests& out, uint32_t& error) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    moved_.notify_all();
    if (thread_.joinable()) thread_.join();
    // The thread's sums are of this file only while they are of its last
    // attempt and within it (it may have quit before it saw a new attempt).
    if (generation != summed_ || hashed_ > total) restart();
    if (!error_ && (!sha256_->ok() || (other_ && !other_->ok()))) error_ = ERROR_NOT_SUPPORTED;
    progress(hashed_);
    while (!error_ && hashed_ < total) {
        if (stop) return HashOutcome::Stopped;
        const DWORD length = static_cast<DWORD>(std::min<int64_t>(total - hashed_, kReadBytes));
        if (!sum(hashed_, length)) break;
        hashed_ += length;
        progress(hashed_);
    }
    if (error_) {
        error = error_;
        return HashOutcome::ReadFailed;
    }
    if (stop) return HashOutcome::Stopped;
    out.sha256 = sha256_->finish();
    out.expectedKind = other_ ? other_->finish() : out.sha256;
    if (out.sha256.empty() || out.expectedKind.empty()) {
        error = ERROR_NOT_SUPPORTED;
        return HashOutcome::ReadFailed;
    }
    return HashOutcome::Done;
}

}  // namespace zeb
