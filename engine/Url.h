// Splitting a link into what WinHTTP needs and resolving redirects.
#pragma once

#include <cstdint>
#include <string>

namespace zeb {

struct UrlParts {
    bool secure = false;  // https
    std::wstring host;    // never empty after a successful crack
    uint16_t port = 0;    // from the link, or the scheme's default
    std::wstring pathAndQuery = L"/";  // without the fragment; "/" when nothing is left
};

// Only http and https links with a host succeed.
bool crackUrl(const std::wstring& url, UrlParts& parts);

// The absolute link a Location value points to, relative to `current`;
// empty when the value is empty. Dot segments are not folded.
std::wstring resolveRedirect(const std::wstring& location, const UrlParts& current);

}  // namespace zeb
