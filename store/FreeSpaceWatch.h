// The free space of the download folder, asked on the system's thread pool:
// a sleeping USB disk or an unreachable share answers only at the end of its
// timeout, and the window must not wait for it. The UI thread asks and later
// takes the answer. One question about a folder is out at a time; one that
// has not come back after kStuckMs no longer holds up the next, and an
// answer about a folder the user has since left is dropped.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class FreeSpaceWatch {
public:
    using Query = std::function<uint64_t(const std::wstring& folder)>;
    static constexpr uint64_t kStuckMs = 10000;
    // Questions that never came back each hold a pool thread: past this
    // many out at once, no more are asked.
    static constexpr int kMaxOut = 4;

    explicit FreeSpaceWatch(Query query);

    // Asks about `folder` at `now` (ms) unless a question about it is out
    // and younger than kStuckMs.
    void Ask(const std::wstring& folder, uint64_t now);
    // The answer about the folder last asked about, once, if it came.
    std::optional<uint64_t> Take();

private:
    struct Shared;
    struct Question;
    // Held by the questions too: one still out when the list goes (at exit)
    // ends on its own.
    std::shared_ptr<Shared> shared_;
    Query query_;
};
