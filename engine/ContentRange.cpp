#include "engine/ContentRange.h"

#include "engine/StrictNumber.h"

namespace zeb {

ContentRange parseContentRange(const std::wstring& value) {
    ContentRange range;
    const size_t a = value.find_first_of(L"0123456789");
    const size_t dash = value.find(L'-');
    const size_t slash = value.find(L'/');
    if (a != std::wstring::npos && dash != std::wstring::npos && a < dash) {
        range.start = ParseStrictNumber(value.substr(a, dash - a));
        if (slash != std::wstring::npos && dash < slash) range.last = ParseStrictNumber(value.substr(dash + 1, slash - dash - 1));
    }
    if (slash != std::wstring::npos) range.total = ParseStrictNumber(value.substr(slash + 1));
    return range;
}

bool carriesExactly(const ContentRange& range, int64_t offset, int64_t length, int64_t total) {
    return range.start == offset && range.last == offset + length - 1 && range.total == total;
}

}  // namespace zeb
