// WinHTTP as the engine uses it, in plain functions: sessions (with the
// proxy and the protocols), requests with the certificate choice, and the
// headers of an answer.
#include "engine/Http.h"

#include <cwchar>

#include "engine/Credentials.h"
#include "engine/Error.h"
#include "engine/Timing.h"
#include "engine/Validator.h"
#include "store/Text.h"

namespace zeb {
namespace {
const wchar_t kUserAgent[] =
    L"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/130.0.0.0 Safari/537.36";
constexpr DWORD kTls12And13 = 0x2800;  // WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | _TLS1_3
constexpr DWORD kTls12 = 0x800;
constexpr DWORD kIgnoreCertErrors = 0x3300;

}  // namespace

HINTERNET openRequest(HINTERNET connection, const UrlParts& parts, bool ignoreCertErrors) {
    HINTERNET request = ::WinHttpOpenRequest(connection, L"GET", parts.pathAndQuery.c_str(), nullptr, WINHTTP_NO_REFERER,
                                             WINHTTP_DEFAULT_ACCEPT_TYPES, parts.secure ? WINHTTP_FLAG_SECURE : 0);
    if (!request) return nullptr;
    DWORD disable = WINHTTP_DISABLE_REDIRECTS;
    ::WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof disable);
    if (parts.secure && ignoreCertErrors) {
        DWORD flags = kIgnoreCertErrors;
        ::WinHttpSetOption(request, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
    }
    return request;
}

DWORD queryStatus(HINTERNET request) {
    DWORD status = 0, size = sizeof status;
    if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                               &status, &size, WINHTTP_NO_HEADER_INDEX))
        return 0;
    return status;
}

namespace {
// Asks for the size first, then fills a buffer of that size.
std::wstring QueryText(HINTERNET request, DWORD query, const wchar_t* name, DWORD* index = WINHTTP_NO_HEADER_INDEX) {
    DWORD bytes = 0, at = index ? *index : 0;
    if (::WinHttpQueryHeaders(request, query, name, WINHTTP_NO_OUTPUT_BUFFER, &bytes, index ? &at : index) ||
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0)
        return {};
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (!::WinHttpQueryHeaders(request, query, name, text.data(), &size, index)) return {};
    text.resize(size / sizeof(wchar_t));
    return text;
}
}  // namespace

std::wstring queryHeader(HINTERNET request, DWORD query) {
    std::wstring text = QueryText(request, query, WINHTTP_HEADER_NAME_BY_INDEX);
    // Wine does not map WINHTTP_QUERY_CONTENT_DISPOSITION to its header;
    // asking by name gives the same answer on Windows.
    if (text.empty() && query == WINHTTP_QUERY_CONTENT_DISPOSITION)
        text = QueryText(request, WINHTTP_QUERY_CUSTOM, L"Content-Disposition");
    return text;
}

std::wstring queryNamedHeader(HINTERNET request, const wchar_t* name) {
    return QueryText(request, WINHTTP_QUERY_CUSTOM, name);
}

std::vector<std::wstring> queryNamedHeaders(HINTERNET request, const wchar_t* name) {
    std::vector<std::wstring> values;
    for (DWORD index = 0; values.size() < 64;) {
        const DWORD before = index;
        std::wstring value = QueryText(request, WINHTTP_QUERY_CUSTOM, name, &index);
        if (value.empty() || index == before) break;
        values.push_back(std::move(value));
    }
    return values;
}

namespace {
HINTERNET OpenWithProxy(const ProxySetting& proxy, const wchar_t* agent) {
    if (!proxy.server.empty())
        return ::WinHttpOpen(agent, WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy.server.c_str(),
                             proxy.bypass.empty() ? WINHTTP_NO_PROXY_BYPASS : proxy.bypass.c_str(), 0);
    HINTERNET h = ::WinHttpOpen(agent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                WINHTTP_NO_PROXY_BYPASS, 0);
    if (!h) h = ::WinHttpOpen(agent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    return h;
}

void SetProtocols(HINTERNET session) {
    DWORD protocols = kTls12And13;
    if (!::WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) {
        protocols = kTls12;
        ::WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols);
    }
}
}  // namespace

Validator answerValidator(HINTERNET request) {
    // By name: Wine maps neither header's query number.
    return Validator{strongEtag(QueryText(request, WINHTTP_QUERY_CUSTOM, L"ETag")),
                     Trim(QueryText(request, WINHTTP_QUERY_CUSTOM, L"Last-Modified"))};
}

InternetHandle openSession(const ProxySetting& proxy) {
    InternetHandle session(OpenWithProxy(proxy, kUserAgent));
    if (!session) throw networkError(::GetLastError());
    const Timing& t = timing();
    ::WinHttpSetTimeouts(session.get(), t.resolveTimeout, t.connectTimeout, t.sendTimeout, t.receiveTimeout);
    SetProtocols(session.get());
    return session;
}

InternetHandle openDiagnosisSession(const ProxySetting& proxy) {
    InternetHandle session(OpenWithProxy(proxy, nullptr));
    if (!session) return session;
    const int t = timing().diagnosisTimeout;
    ::WinHttpSetTimeouts(session.get(), t, t, t, t);
    // The wait for the answer's headers has a timeout of its own (90 s by
    // default), which WinHttpSetTimeouts leaves alone.
    DWORD headers = static_cast<DWORD>(t);
    ::WinHttpSetOption(session.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headers, sizeof headers);
    SetProtocols(session.get());
    return session;
}

}  // namespace zeb
