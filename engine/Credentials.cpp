#include "engine/Credentials.h"

#include <windows.h>
#include <winhttp.h>

#include <mutex>

#include "engine/FileNames.h"
#include "store/Text.h"

namespace zeb {
namespace {
std::mutex g_proxyMutex;
ProxySetting g_proxy;

// Where the user information of a link ends and its host begins: the
// last "@" before the first "/", "?" or "#" after the scheme.
bool UserInfoBounds(const std::wstring& link, size_t& begin, size_t& at) {
    const size_t scheme = link.find(L"://");
    if (scheme == std::wstring::npos) return false;
    begin = scheme + 3;
    const size_t end = std::min(link.find_first_of(L"/?#", begin), link.size());
    at = link.rfind(L'@', end == 0 ? 0 : end - 1);
    return at != std::wstring::npos && at >= begin && at < end;
}

Credentials SplitUserInfo(const std::wstring& info) {
    const size_t colon = info.find(L':');
    Credentials c;
    c.user = percentDecode(info.substr(0, colon));
    if (colon != std::wstring::npos) c.password = percentDecode(info.substr(colon + 1));
    return c;
}
}  // namespace

Credentials linkCredentials(const std::wstring& url) {
    size_t begin = 0, at = 0;
    if (!UserInfoBounds(url, begin, at)) return {};
    return SplitUserInfo(url.substr(begin, at - begin));
}

std::wstring maskPassword(const std::wstring& link) {
    size_t begin = 0, at = 0;
    if (!UserInfoBounds(link, begin, at)) return link;
    const size_t colon = link.find(L':', begin);
    if (colon == std::wstring::npos || colon > at) return link;
    return link.substr(0, colon + 1) + L"\u2022\u2022\u2022" + link.substr(at);
}

ProxySetting parseProxySetting(const std::wstring& field, const std::wstring& bypass) {
    ProxySetting p;
    const std::wstring text = Trim(field);
    const size_t at = text.rfind(L'@');
    if (at == std::wstring::npos) {
        p.server = text;
    } else {
        p.credentials = SplitUserInfo(text.substr(0, at));
        p.server = text.substr(at + 1);
    }
    if (!p.server.empty()) p.bypass = Trim(bypass);
    return p;
}

void setProxy(const ProxySetting& proxy) {
    std::lock_guard<std::mutex> lock(g_proxyMutex);
    g_proxy = proxy;
}

ProxySetting currentProxy() {
    std::lock_guard<std::mutex> lock(g_proxyMutex);
    return g_proxy;
}

uint32_t chooseAuthScheme(uint32_t supported, bool secure) {
    if (secure && (supported & WINHTTP_AUTH_SCHEME_BASIC)) return WINHTTP_AUTH_SCHEME_BASIC;
    for (uint32_t scheme : {WINHTTP_AUTH_SCHEME_NEGOTIATE, WINHTTP_AUTH_SCHEME_NTLM, WINHTTP_AUTH_SCHEME_DIGEST,
                            WINHTTP_AUTH_SCHEME_BASIC})
        if (supported & scheme) return scheme;
    return 0;
}

}  // namespace zeb
