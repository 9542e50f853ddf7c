#include "engine/Url.h"

#include <windows.h>
#include <winhttp.h>

#include "store/Text.h"

namespace zeb {

bool crackUrl(const std::wstring& url, UrlParts& parts) {
    if (url.empty() || url.size() > MAXDWORD) return false;
    URL_COMPONENTS c{};
    c.dwStructSize = sizeof(c);
    c.dwSchemeLength = static_cast<DWORD>(-1);
    c.dwHostNameLength = static_cast<DWORD>(-1);
    c.dwUrlPathLength = static_cast<DWORD>(-1);
    c.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!::WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &c)) return false;
    if (c.nScheme != INTERNET_SCHEME_HTTP && c.nScheme != INTERNET_SCHEME_HTTPS) return false;
    if (!c.lpszHostName || c.dwHostNameLength == 0) return false;
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
