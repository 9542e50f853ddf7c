#include "store/FreeSpaceWatch.h"

#include <windows.h>

#include <exception>
#include <mutex>

struct FreeSpaceWatch::Shared {
    std::mutex mutex;
    uint64_t latest = 0;  // the number of the last question; only its answer counts
    std::wstring latestFolder;
    uint64_t latestAt = 0;
    bool latestOut = false;
    int out = 0;
    std::optional<uint64_t> answer;
};

struct FreeSpaceWatch::Question {
    std::shared_ptr<Shared> shared;
    Query query;
    std::wstring folder;
    uint64_t number;
};

FreeSpaceWatch::FreeSpaceWatch(Query query) : shared_(std::make_shared<Shared>()), query_(std::move(query)) {}

void FreeSpaceWatch::Ask(const std::wstring& folder, uint64_t now) {
    uint64_t number;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        if (shared_->latestOut && folder == shared_->latestFolder && now - shared_->latestAt < kStuckMs) return;
        if (shared_->out >= kMaxOut) return;
        if (folder != shared_->latestFolder) shared_->answer.reset();
        number = ++shared_->latest;
        shared_->latestFolder = folder;
        shared_->latestAt = now;
        shared_->latestOut = true;
        ++shared_->out;
    }
    Question* question = nullptr;
    try {
        question = new Question{shared_, query_, folder, number};
    } catch (const std::exception&) {
    }
    const auto run = [](PTP_CALLBACK_INSTANCE, void* context) {
        std::unique_ptr<Question> q(static_cast<Question*>(context));
        const uint64_t free = q->query(q->folder);
        std::lock_guard<std::mutex> lock(q->shared->mutex);
        --q->shared->out;
        if (q->number != q->shared->latest) return;  // a later question, perhaps about another folder, stands
        q->shared->answer = free;
        q->shared->latestOut = false;
    };
    if (question && ::TrySubmitThreadpoolCallback(run, question, nullptr)) return;
    delete question;
    std::lock_guard<std::mutex> lock(shared_->mutex);
    --shared_->out;
    if (number == shared_->latest) shared_->latestOut = false;  // asked again at the next poll
}

std::optional<uint64_t> FreeSpaceWatch::Take() {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    std::optional<uint64_t> answer = shared_->answer;
    shared_->answer.reset();
    return answer;
}
