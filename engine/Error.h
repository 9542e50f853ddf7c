// What the engine throws inside a job thread: one finished sentence in the
// language of the moment it was built, and its kind. An empty message means
// the job was stopped, not that it failed. Deliberately not a std::exception.
#pragma once

#include <cstdint>
#include <string>

#include "engine/ErrorTexts.h"
#include "engine/Types.h"

namespace zeb {
struct Error {
    std::wstring message;
    ErrorKind kind = ErrorKind::None;
    bool retryable = false;  // a busy server or a lost connection: asking again may succeed
};

inline Error networkError(uint32_t code) { return {networkErrorText(code), networkErrorKind(code)}; }
inline Error httpStatusError(uint32_t status) { return {httpStatusText(status), httpStatusKind(status)}; }
}  // namespace zeb
