// The job's WinHTTP session, its request table, the header block and the
// probe that follows redirects and learns size, ranges and name.
#include "engine/Http.h"

#include <cwchar>

#include "engine/Credentials.h"
#include "engine/Download.h"
#include "engine/Error.h"
#include "engine/ErrorTexts.h"
#include "engine/FileNames.h"
#include "engine/SecureFailure.h"
#include "engine/ServerClock.h"
#include "engine/StrictNumber.h"
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

bool IsRedirect(DWORD status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}
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
std::wstring QueryText(HINTERNET request, DWORD query, const wchar_t* name) {
    DWORD bytes = 0;
    if (::WinHttpQueryHeaders(request, query, name, WINHTTP_NO_OUTPUT_BUFFER, &bytes, WINHTTP_NO_HEADER_INDEX) ||
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0)
        return {};
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (!::WinHttpQueryHeaders(request, query, name, text.data(), &size, WINHTTP_NO_HEADER_INDEX)) return {};
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

std::wstring Download::requestHeaders(const std::wstring& requestHost, const std::wstring& extraLines) const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    std::wstring block = L"Accept-Encoding: identity\r\n" + extraLines;
    if (!referer_.empty()) block += L"Referer: " + referer_ + L"\r\n";
    if (!userAgent_.empty()) block += L"User-Agent: " + userAgent_ + L"\r\n";
    // Cookies belong to the link's own host, never to one a redirect led to.
    if (!cookies_.empty() && _wcsicmp(requestHost.c_str(), cookieHost_.c_str()) == 0)
        block += L"Cookie: " + cookies_ + L"\r\n";
    return block;
}

bool Download::exchange(const RunShared& run, HINTERNET request, const std::wstring& headers, const UrlParts& parts,
                        DWORD& status, DWORD& error) {
    std::wstring linkHost;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        linkHost = cookieHost_;
    }
    // The link's password goes only to the link's own host, never to one a
    // redirect led to.
    const bool ownHost = _wcsicmp(parts.host.c_str(), linkHost.c_str()) == 0;
    const Credentials none;
    const Credentials& server = ownHost ? run.linkCredentials : none;
    // The proxy's password goes only to the proxy: a host on the bypass list
    // is reached directly and never sees it, not even when it answers 407.
    const Credentials& proxy = goesThroughProxy(run.proxy, parts.host) ? run.proxy.credentials : none;
    const auto answer = [&](DWORD target, uint32_t scheme, const Credentials& c) {
        return scheme != 0 && ::WinHttpSetCredentials(request, target, scheme, c.user.c_str(), c.password.c_str(), nullptr);
    };
    if (!proxy.empty()) answer(WINHTTP_AUTH_TARGET_PROXY, proxyScheme_.load(), proxy);
    if (!server.empty()) answer(WINHTTP_AUTH_TARGET_SERVER, serverScheme_.load(), server);
    bool proxyAnswered = false, serverAnswered = false;
    for (;;) {
        if (!::WinHttpSendRequest(request, headers.c_str(), static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
            !::WinHttpReceiveResponse(request, nullptr)) {
            error = ::GetLastError();
            return false;
        }
        status = queryStatus(request);
        const bool toProxy = status == 407;
        if (status != 401 && !toProxy) return true;
        const Credentials& c = toProxy ? proxy : server;
        bool& answered = toProxy ? proxyAnswered : serverAnswered;
        if (c.empty() || answered || stopRequested_) return true;
        answered = true;
        DWORD supported = 0, first = 0, target = 0;
        if (!::WinHttpQueryAuthSchemes(request, &supported, &first, &target)) return true;
        const uint32_t scheme = chooseAuthScheme(supported, parts.secure && !toProxy);
        if (!answer(toProxy ? WINHTTP_AUTH_TARGET_PROXY : WINHTTP_AUTH_TARGET_SERVER, scheme, c)) return true;
        (toProxy ? proxyScheme_ : serverScheme_) = scheme;
    }
}

bool Download::registerRequest(size_t slot, HINTERNET request) {
    std::lock_guard<std::mutex> lock(requestMutex_);
    if (stopRequested_ || slot >= requests_.size()) return false;
    requests_[slot] = request;
    return true;
}

void Download::releaseRequest(size_t slot) {
    HINTERNET request = nullptr;
    {
        std::lock_guard<std::mutex> lock(requestMutex_);
        if (slot < requests_.size()) std::swap(request, requests_[slot]);
    }
    if (request) ::WinHttpCloseHandle(request);
}

ProbeResult Download::probe(const RunShared& run, size_t slot) {
    std::wstring current;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        current = url_;
    }
    UrlParts parts;
    if (!crackUrl(current, parts)) throw Error{invalidLinkText(), ErrorKind::Link};
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        cookieHost_ = parts.host;
    }
    // Releases the slot on every way out of an attempt.
    struct SlotGuard {
        Download* job;
        size_t slot;
        ~SlotGuard() { job->releaseRequest(slot); }
    } slotGuard{this, slot};

    for (int redirects = 0;; ++redirects) {
        if (redirects > 10) throw networkError(ERROR_WINHTTP_REDIRECT_FAILED);
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            hostKey_ = hostKey(parts);
        }
        // Waits while the host asked to be left alone or serves all it allows.
        HostConnection hostConnection(hostKey(parts), run.stop);
        if (!hostConnection) throw Error{};
        InternetHandle connection(::WinHttpConnect(run.session, parts.host.c_str(), parts.port, 0));
        if (!connection) throw networkError(::GetLastError());
        HINTERNET request = openRequest(connection.get(), parts, run.ignoreCertErrors);
        if (!request) throw networkError(::GetLastError());
        if (!registerRequest(slot, request)) {
            ::WinHttpCloseHandle(request);
            throw Error{};  // stopped: the job ends Paused
        }
        const std::wstring headers = requestHeaders(parts.host, L"Range: bytes=0-0\r\n");
        uint32_t secureFlags = 0;
        if (parts.secure) watchSecureFailure(request, &secureFlags);
        DWORD status = 0, error = 0;
        if (!exchange(run, request, headers, parts, status, error)) {
            if (stopRequested_) throw Error{};
            if (!isSecureFailure(error)) {
                Error lost = networkError(error);
                lost.retryable = error == ERROR_WINHTTP_CONNECTION_ERROR || error == ERROR_WINHTTP_INVALID_SERVER_RESPONSE;
                throw lost;  // lost: asked again
            }
            throw secureFailure(run, parts, error, secureFlags);
        }
        noteServerDate(request);
        if (IsRedirect(status)) {
            const std::wstring next = resolveRedirect(queryHeader(request, WINHTTP_QUERY_LOCATION), parts);
            UrlParts nextParts;
            if (next.empty() || !crackUrl(next, nextParts) || (parts.secure && !nextParts.secure))
                throw networkError(ERROR_WINHTTP_REDIRECT_FAILED);
            current = next;
            parts = nextParts;
            releaseRequest(slot);
            continue;
        }
        ProbeResult result = readProbeAnswer(request, status, parts);
        result.finalUrl = current;
        result.redirected = redirects > 0;
        result.validator = answerValidator(request);
        result.fileName = fileNameFromContentDisposition(queryHeader(request, WINHTTP_QUERY_CONTENT_DISPOSITION));
        if (result.fileName.empty()) result.fileName = fileNameFromUrl(current);
        return result;
    }
}

Error Download::secureFailure(const RunShared& run, const UrlParts& parts, DWORD error, uint32_t secureFlags) {
    // A session of its own: its unchecked connection must never serve a
    // later request of this job.
    InternetHandle diagnosis = openDiagnosisSession(run.proxy);
    SecureFacts facts;
    if (diagnosis) facts = gatherSecureFacts(diagnosis.get(), parts, error, secureFlags);
    else facts.error = error, facts.flags = secureFlags;
    if (stopRequested_) return Error{};
    std::lock_guard<std::mutex> lock(stateMutex_);
    clockOffer_ = clockToSet(facts);
    return Error{secureFailureText(facts), ErrorKind::Secure};
}

ProbeResult Download::readProbeAnswer(HINTERNET request, DWORD status, const UrlParts& parts) {
    ProbeResult result;
    if (status == 206) {
        const std::wstring range = queryHeader(request, WINHTTP_QUERY_CONTENT_RANGE);
        const size_t slash = range.find(L'/');
        if (slash != std::wstring::npos) {
            std::optional<int64_t> total = ParseStrictNumber(range.substr(slash + 1));
            if (total && *total >= 1) {
                result.totalSize = *total;
                result.acceptsRanges = true;
            }
        }
    } else if (status == 200) {
        if (std::optional<int64_t> length = ParseStrictNumber(queryHeader(request, WINHTTP_QUERY_CONTENT_LENGTH)))
            result.totalSize = *length;
    } else if (isBusyStatus(status)) {
        noteRetryAfter(request, status, hostKey(parts));
        // Refused while other downloads of ours are served: the host's
        // limit, so the next attempt waits for a place among them.
        if (isRefusalStatus(status)) learnLimitFromRefusal(hostKey(parts));
        Error busy = httpStatusError(status);
        busy.retryable = true;
        throw busy;
    } else if (status != 416) {
        throw httpStatusError(status);
    }
    return result;
}

}  // namespace zeb
