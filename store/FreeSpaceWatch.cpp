#include "store/FreeSpaceWatch.h"

#include <exception>
#include <mutex>

#include "store/DetachedThread.h"

struct FreeSpaceWatch::Shared {
    std::mutex mutex;
    bool out = false;
    std::optional<uint64_t> answer;
};

FreeSpaceWatch::FreeSpaceWatch(Query query) : shared_(std::make_shared<Shared>()), query_(std::move(query)) {}

void FreeSpaceWatch::Ask(const std::wstring& folder) {
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        if (shared_->out) return;
        shared_->out = true;
    }
    bool started = false;
    try {
        started = StartDetachedThread([shared = shared_, query = query_, folder] {
            const uint64_t free = query(folder);
            std::lock_guard<std::mutex> lock(shared->mutex);
            shared->answer = free;
            shared->out = false;
        });
    } catch (const std::exception&) {
    }
    if (!started) {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->out = false;  // asked again at the next poll
    }
}

std::optional<uint64_t> FreeSpaceWatch::Take() {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    std::optional<uint64_t> answer = shared_->answer;
    shared_->answer.reset();
    return answer;
}
