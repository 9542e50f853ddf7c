#include "store/ListWriter.h"

#include <windows.h>

#include <condition_variable>
#include <exception>
#include <mutex>

#include "store/DetachedThread.h"
#include "store/FileServices.h"
#include "store/ListFile.h"

namespace {
void (*g_writeHook)() = nullptr;
void (*g_waitHook)() = nullptr;
}

void SetListWriteHookForTests(void (*hook)()) { g_writeHook = hook; }
void SetListWaitHookForTests(void (*hook)()) { g_waitHook = hook; }

struct ListWriter::Shared {
    std::mutex mutex;
    std::condition_variable ended;
    bool busy = false;
    std::optional<ListWriter::Outcome> outcome;
};

ListWriter::ListWriter(std::wstring path) : shared_(std::make_shared<Shared>()), path_(std::move(path)) {}

ListWriter::~ListWriter() { Wait(); }

bool ListWriter::Busy() const {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->busy;
}

bool ListWriter::Start(std::string text, bool backUpFirst, std::vector<std::wstring> afterWrite) {
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        if (shared_->busy) return false;
        shared_->busy = true;
    }
    bool started = false;
    try {
        // Shared, not copied: the text of 100,000 rows is 21 MB.
        auto owned = std::make_shared<const std::string>(std::move(text));
        started = StartDetachedThread([shared = shared_, path = path_, owned, backUpFirst, hook = g_writeHook,
                                       afterWrite = std::move(afterWrite)] {
            if (hook) hook();
            const std::wstring backup = backUpFirst ? BackUpListFile(path) : std::wstring();
            const bool kept = !backUpFirst || !backup.empty() || ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
            const bool written = kept && WriteFileAtomic(path, *owned);
            // Here, not on the window's thread: they lie in download folders,
            // which may be shares or sleeping disks.
            if (written)
                for (const std::wstring& state : afterWrite) ::DeleteFileW(state.c_str());
            std::lock_guard<std::mutex> lock(shared->mutex);
            shared->busy = false;
            shared->outcome = Outcome{written, backup};
            shared->ended.notify_all();
        });
    } catch (const std::exception&) {
    }
    if (!started) {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->busy = false;  // offered again at the next tick
    }
    return started;
}

void ListWriter::Wait() {
    std::unique_lock<std::mutex> lock(shared_->mutex);
    if (shared_->busy && g_waitHook) g_waitHook();
    shared_->ended.wait(lock, [this] { return !shared_->busy; });
}

std::optional<ListWriter::Outcome> ListWriter::TakeOutcome() {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    std::optional<Outcome> outcome = shared_->outcome;
    shared_->outcome.reset();
    return outcome;
}
