// What identifies one version of a file on its server: its strong ETag and
// its Last-Modified date. A resume may only go on when the server still has
// the version the partial file holds; a ranged request carries If-Range so
// that a server whose copy changed answers with the whole new file instead
// of a part of it.
#pragma once

#include <string>

namespace zeb {

struct Validator {
    std::wstring etag;      // strong only; empty when none
    std::wstring modified;  // the Last-Modified value as sent; empty when none
    bool empty() const { return etag.empty() && modified.empty(); }
};

// An ETag header's value when it is strong (a weak "W/" one says the bytes
// may differ); empty otherwise.
std::wstring strongEtag(const std::wstring& header);

// False only when both sides carry a validator of the same kind and they
// differ (the ETag decides when both have one).
bool sameVersion(const Validator& recorded, const Validator& now);

// The If-Range value: the ETag, else the date; empty when there is none.
std::wstring ifRangeValue(const Validator& v);

}  // namespace zeb
