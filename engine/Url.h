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

// Where the user information ("user:password@") of a link lies, as
// WinHTTP reads the link: [begin, end) with end just past the "@". False
// when the link cannot be cracked or carries none.
bool userInfoSpan(const std::wstring& url, size_t& begin, size_t& end);

// The absolute link a Location value points to, relative to `current`;
// empty when the value is empty. Dot segments are not folded.
std::wstring resolveRedirect(const std::wstring& location, const UrlParts& current);

}  // namespace zeb
