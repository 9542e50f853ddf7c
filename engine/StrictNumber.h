// The one number reader of the state file, the list file and HTTP headers:
// after trimming spaces, tabs, CR and LF, 1 to 18 decimal digits and nothing
// else (no sign), so the value always fits a signed 64-bit integer.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

std::optional<int64_t> ParseStrictNumber(std::wstring_view text);
