// The free space of the download folder, asked on a thread of its own: a
// sleeping USB disk or an unreachable share answers only at the end of its
// timeout, and the window must not wait for it. The UI thread asks and
// later takes the answer; at most one question is out at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class FreeSpaceWatch {
public:
    using Query = std::function<uint64_t(const std::wstring& folder)>;
    explicit FreeSpaceWatch(Query query);

    // Starts a question about `folder` unless one is still out.
    void Ask(const std::wstring& folder);
    // The answer that arrived since the last call, if any.
    std::optional<uint64_t> Take();

private:
    struct Shared;
    // Held by the question's thread too: a question still out when the
    // list goes (at exit) ends on its own.
    std::shared_ptr<Shared> shared_;
    Query query_;
};
