// A Content-Range value ("bytes 100-199/1000") as numbers: what a ranged
// answer says it carries, checked before any of its bytes are trusted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zeb {

struct ContentRange {
    std::optional<int64_t> start;  // first byte
    std::optional<int64_t> last;   // last byte, inclusive
    std::optional<int64_t> total;  // none for "*"
};

ContentRange parseContentRange(const std::wstring& value);

// Exactly the bytes [offset, offset + length) of a file of `total` bytes.
bool carriesExactly(const ContentRange& range, int64_t offset, int64_t length, int64_t total);

}  // namespace zeb
