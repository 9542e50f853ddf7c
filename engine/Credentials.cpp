#include "engine/Credentials.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <mutex>

#include "engine/FileNames.h"
#include "engine/Url.h"
#include "store/Text.h"

namespace zeb {
namespace {
std::mutex g_proxyMutex;
ProxySetting g_proxy;

Credentials SplitUserInfo(const std::wstring& info) {
    const size_t colon = info.find(L':');
    Credentials c;
    c.user = percentDecode(info.substr(0, colon));
    if (colon != std::wstring::npos) c.password = percentDecode(info.substr(colon + 1));
    return c;
}

// "*" matches any run; letter case aside. Greedy with one point to return
// to, so a pattern of many stars costs no more than a plain one.
bool WildcardMatch(const std::wstring& pattern, const std::wstring& text) {
    size_t p = 0, t = 0, star = std::wstring::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == L'*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && towlower(pattern[p]) == towlower(text[t])) {
            ++p, ++t;
        } else if (star != std::wstring::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') ++p;
    return p == pattern.size();
}

const wchar_t kMask[] = L"\u2022\u2022\u2022";

// "user:•••" for the user information `info` (without its "@").
std::wstring MaskedInfo(const std::wstring& info) {
    const size_t colon = info.find(L':');
    return colon == std::wstring::npos ? info : info.substr(0, colon + 1) + kMask;
}

// The stored password put back where a form shows "•••"; `sameServer`
// says whether the typed value still names the stored one's server.
Unmasked Unmask(const std::wstring& typed, size_t infoBegin, size_t infoEnd, const std::wstring& storedInfo,
                bool sameServer) {
    const std::wstring typedInfo = typed.substr(infoBegin, infoEnd - infoBegin);
    const size_t colon = typedInfo.find(L':');
    if (colon == std::wstring::npos || typedInfo.compare(colon + 1, std::wstring::npos, kMask) != 0) return {typed};
    const size_t storedColon = storedInfo.find(L':');
    if (!sameServer || storedColon == std::wstring::npos) return {typed, true};
    Unmasked u;
    u.value = typed;
    u.value.replace(infoBegin + colon + 1, std::size(kMask) - 1, storedInfo.substr(storedColon + 1));
    return u;
}
}  // namespace

Credentials linkCredentials(const std::wstring& url) {
    size_t begin = 0, end = 0;
    if (!userInfoSpan(url, begin, end)) return {};
    return SplitUserInfo(url.substr(begin, end - 1 - begin));
}

std::wstring linkWithoutUserInfo(const std::wstring& url) {
    size_t begin = 0, end = 0;
    if (!userInfoSpan(url, begin, end)) return url;
    return url.substr(0, begin) + url.substr(end);
}

bool sameLinkButUserInfo(const std::wstring& a, const std::wstring& b) {
    return a == b || linkWithoutUserInfo(a) == linkWithoutUserInfo(b);
}

std::wstring maskPassword(const std::wstring& link) {
    const size_t scheme = link.find(L"://");
    if (scheme == std::wstring::npos) return link;
    const size_t begin = scheme + 3;
    const size_t colon = link.find(L':', begin);
    size_t at = std::wstring::npos, spanBegin = 0, spanEnd = 0;
    if (userInfoSpan(link, spanBegin, spanEnd)) {
        // An "@" of the password that the crack left in the host is hidden
        // too (Wine ends the user information at the first one).
        const size_t authorityEnd = std::min(link.find_first_of(L"/?#", begin), link.size());
        const size_t last = link.rfind(L'@', authorityEnd - 1);
        at = last == std::wstring::npos ? spanEnd - 1 : std::max(spanEnd - 1, last);
    } else {
        // WinHTTP sees no user information. A colon before the first "/"
        // that does not start a port starts a password holding an unencoded
        // "/", "?" or "#": hidden up to the last "@".
        if (colon >= link.find(L'/', begin)) return link;
        const size_t portEnd = std::min(link.find_first_of(L"/?#", colon + 1), link.size());
        UrlParts parts;
        bool port = portEnd > colon + 1 && crackUrl(link, parts) &&
                    (portEnd == link.size() || link[portEnd] == L'/' || link.find(L'@', portEnd) == std::wstring::npos);
        for (size_t i = colon + 1; port && i < portEnd; ++i) port = iswdigit(link[i]) != 0;
        if (port) return link;
        at = link.rfind(L'@');
    }
    if (at == std::wstring::npos || at < begin || colon > at) return link;  // a user without a password
    return link.substr(0, colon + 1) + kMask + link.substr(at);
}

std::wstring maskProxyPassword(const std::wstring& field) {
    const size_t at = field.rfind(L'@');
    if (at == std::wstring::npos) return field;
    return MaskedInfo(field.substr(0, at)) + field.substr(at);
}

Unmasked unmaskLink(const std::wstring& typed, const std::wstring& stored) {
    size_t tb = 0, te = 0, sb = 0, se = 0;
    if (!userInfoSpan(typed, tb, te)) return {typed};
    const std::wstring storedInfo = userInfoSpan(stored, sb, se) ? stored.substr(sb, se - 1 - sb) : L"";
    UrlParts t, s;
    const bool sameServer = crackUrl(typed, t) && crackUrl(stored, s) && t.secure == s.secure && t.port == s.port &&
                            _wcsicmp(t.host.c_str(), s.host.c_str()) == 0;
    return Unmask(typed, tb, te - 1, storedInfo, sameServer);
}

Unmasked unmaskProxy(const std::wstring& typed, const std::wstring& stored) {
    const size_t ta = typed.rfind(L'@'), sa = stored.rfind(L'@');
    if (ta == std::wstring::npos) return {typed};
    const std::wstring storedServer = sa == std::wstring::npos ? stored : stored.substr(sa + 1);
    const bool sameServer = _wcsicmp(typed.substr(ta + 1).c_str(), storedServer.c_str()) == 0;
    return Unmask(typed, 0, ta, sa == std::wstring::npos ? L"" : stored.substr(0, sa), sameServer);
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

bool goesThroughProxy(const ProxySetting& proxy, const std::wstring& host) {
    if (proxy.server.empty()) return false;
    const std::wstring& list = proxy.bypass;
    for (size_t pos = 0; pos < list.size();) {
        const size_t end = std::min(list.find_first_of(L"; \t\r\n", pos), list.size());
        const std::wstring entry = list.substr(pos, end - pos);
        pos = end + 1;
        if (entry.empty()) continue;
        if (_wcsicmp(entry.c_str(), L"<local>") == 0) {
            if (host.find(L'.') == std::wstring::npos) return false;
        } else if (WildcardMatch(entry, host)) {
            return false;
        }
    }
    return true;
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
