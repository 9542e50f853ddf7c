// The checksums of a download, fed while it runs. A thread of its own reads
// the partial file from byte 0 up to the front of the finished bytes as
// that front moves (the pieces are handed out in order, so it trails the
// download closely), so that at the last byte little is left to read. It
// always reads from the disk: bytes written while the program was not
// running (a resume) are summed as they are.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/Checksum.h"
#include "store/Handles.h"

namespace zeb {

class FrontHasher {
public:
    // `expectedLength`: 32, 40 or 64 for an expected checksum's kind, or 0.
    FrontHasher(const std::wstring& path, size_t expectedLength);
    ~FrontHasher();  // ends the thread
    FrontHasher(const FrontHasher&) = delete;
    FrontHasher& operator=(const FrontHasher&) = delete;

    // The bytes [0, front) are final on disk in this `generation` (a new
    // one, as when a download without ranges starts over at byte 0, drops
    // what was summed). Starts the thread at the first call.
    void advance(int64_t front, uint32_t generation);
    // Ends the thread, sums what is left up to `total` on the calling
    // thread and gives the digests. `progress` gets the bytes summed.
    HashOutcome finish(int64_t total, uint32_t generation, const std::atomic<bool>& stop,
                       const std::function<void(int64_t)>& progress, FileDigests& out, uint32_t& error);

private:
    void run() noexcept;
    void restart();  // under mutex_: fresh digests from byte 0
    // Reads [at, at + length) and adds it; false (with error_) on a failure.
    bool sum(int64_t at, DWORD length);

    FileHandle file_;
    size_t expectedLength_;
    std::unique_ptr<Digest> sha256_, other_;
    std::vector<unsigned char> buffer_;  // the thread's, then finish()'s
    std::mutex mutex_;
    std::condition_variable moved_;
    int64_t front_ = 0, hashed_ = 0;
    uint32_t generation_ = 0;
    uint32_t summed_ = 0;  // the generation whose bytes the digests hold
    bool quit_ = false;
    std::atomic<uint32_t> error_{0};  // a failed open or read: finish() reports it
    std::thread thread_;
};

}  // namespace zeb
