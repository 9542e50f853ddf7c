// What the engine throws inside a job thread: one finished sentence in the
// language of the moment it was built. An empty message means the job was
// stopped, not that it failed. Deliberately not a std::exception.
#pragma once

#include <string>

namespace zeb {
struct Error {
    std::wstring message;
    bool retryable = false;  // a busy server or a lost connection: asking again may succeed
};
}  // namespace zeb
