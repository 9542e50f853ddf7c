#include "engine/Url.h"

#include <windows.h>
#include <winhttp.h>

#include "store/Text.h"

namespace zeb {
namespace {
// WinHTTP's reading of an http(s) link with a host: every component points
// into `url`.
bool Crack(const std::wstring& url, URL_COMPONENTS& c) {
    if (url.empty() || url.size() > MAXDWORD) return false;
    c = URL_COMPONENTS{};
    c.dwStructSize = sizeof(c);
    c.dwSchemeLength = c.dwHostNameLength = c.dwUserNameLength = c.dwPasswordLength = static_cast<DWORD>(-1);
    c.dwUrlPathLength = c.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!::WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &c)) return false;
    if (c.nScheme != INTERNET_SCHEME_HTTP && c.nScheme != INTERNET_SCHEME_HTTPS) return false;
    return c.lpszHostName && c.dwHostNameLength != 0;
}
}  // namespace

bool crackUrl(const std::wstring& url, UrlParts& parts) {
    URL_COMPONENTS c;
    if (!Crack(url, c)) return false;
    UrlParts out;
    out.secure = c.nScheme == INTERNET_SCHEME_HTTPS;
    out.host.assign(c.lpszHostName, c.dwHostNameLength);
    // Wine leaves a query or fragment that follows the host directly
    // ("https://h?x=1", "https://h#top") in the host name; it belongs to the path.
    std::wstring hostTail;
    size_t cut = out.host.find_first_of(L"?#");
    if (cut != std::wstring::npos) {
        hostTail = out.host.substr(cut);
        out.host.resize(cut);
        if (out.host.empty()) return false;
    }
    out.port = c.nPort;
    std::wstring path;
    if (c.lpszUrlPath) path.assign(c.lpszUrlPath, c.dwUrlPathLength);
    if (c.lpszExtraInfo) path.append(c.lpszExtraInfo, c.dwExtraInfoLength);
    if (!hostTail.empty()) path = L"/" + hostTail + path;
    size_t hash = path.find(L'#');
    if (hash != std::wstring::npos) path.resize(hash);
    out.pathAndQuery = path.empty() ? L"/" : path;
    parts = std::move(out);
    return true;
}

bool userInfoSpan(const std::wstring& url, size_t& begin, size_t& end) {
    URL_COMPONENTS c;
    if (!Crack(url, c)) return false;
    // The user information is whatever lies between the scheme's "//" and
    // the host the crack found, when an "@" ends it.
    const size_t host = static_cast<size_t>(c.lpszHostName - url.c_str());
    const size_t scheme = url.find(L"://");
    if (scheme == std::wstring::npos || host > url.size() || host == 0 || url[host - 1] != L'@') return false;
    begin = scheme + 3;
    end = host;
    return end > begin;
}

std::wstring resolveRedirect(const std::wstring& rawLocation, const UrlParts& current) {
    const std::wstring location = Trim(rawLocation);
    if (location.empty()) return {};
    if (location.size() >= 3) {
        size_t scheme = location.find(L"://");
        if (scheme != std::wstring::npos && scheme < location.find_first_of(L"/?#")) return location;
    }
    const std::wstring scheme = current.secure ? L"https:" : L"http:";
    if (location.compare(0, 2, L"//") == 0) return scheme + location;
    std::wstring origin = scheme + L"//" + current.host;
    const uint16_t defaultPort = current.secure ? 443 : 80;
    if (current.port != defaultPort) origin += L":" + std::to_wstring(current.port);
    if (location[0] == L'/') return origin + location;
    const std::wstring basePath = current.pathAndQuery.substr(0, current.pathAndQuery.find(L'?'));
    if (location[0] == L'?') return origin + basePath + location;
    size_t slash = basePath.rfind(L'/');
    // Without a slash the name still needs one after the host.
    return origin + (slash == std::wstring::npos ? std::wstring(L"/") : basePath.substr(0, slash + 1)) + location;
}

}  // namespace zeb
