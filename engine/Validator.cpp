#include "engine/Validator.h"

#include "store/Text.h"

namespace zeb {

std::wstring strongEtag(const std::wstring& header) {
    const std::wstring value = Trim(header);
    if (value.size() < 2 || value.front() != L'"' || value.back() != L'"') return {};  // also "W/..."
    return value;
}

bool sameVersion(const Validator& recorded, const Validator& now) {
    if (!recorded.etag.empty() && !now.etag.empty()) return recorded.etag == now.etag;
    if (!recorded.modified.empty() && !now.modified.empty()) return recorded.modified == now.modified;
    return true;
}

std::wstring ifRangeValue(const Validator& v) { return v.etag.empty() ? v.modified : v.etag; }

}  // namespace zeb
