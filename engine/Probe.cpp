// The job's requests: the header block, one exchange with its password
// challenges, the request table, and the probe that follows redirects and
// learns size, ranges and name (the job thread; a renewal's probe runs on
// the worker that renews).
#include <cwchar>

#include "engine/Credentials.h"
#include "engine/Download.h"
#include "engine/Error.h"
#include "engine/ErrorTexts.h"
#include "engine/FileNames.h"
#include "engine/Http.h"
#include "engine/Metalink.h"
#include "engine/MirrorHeaders.h"
#include "engine/SecureFailure.h"
#include "engine/ServerClock.h"
#include "engine/StrictNumber.h"
#include "engine/Validator.h"
#include "store/Text.h"

namespace zeb {
namespace {
bool IsRedirect(DWORD status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}
}  // namespace

std::wstring Download::requestHeaders(const std::wstring& requestHost, const std::wstring& extraLines, bool mirror) const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    std::wstring block = L"Accept-Encoding: identity\r\n" + extraLines;
    if (!address_.referer.empty() && !mirror) block += L"Referer: " + address_.referer + L"\r\n";
    if (!address_.userAgent.empty()) block += L"User-Agent: " + address_.userAgent + L"\r\n";
    // Cookies belong to the link's own host, never to one a redirect led to
    // nor to a mirror (on the same host or not).
    if (!address_.cookies.empty() && !mirror && _wcsicmp(requestHost.c_str(), address_.cookieHost.c_str()) == 0)
        block += L"Cookie: " + address_.cookies + L"\r\n";
    return block;
}

bool Download::exchange(const RunShared& run, HINTERNET request, const std::wstring& headers, const UrlParts& parts,
                        DWORD& status, DWORD& error, bool mirror) {
    std::wstring linkHost;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        linkHost = address_.cookieHost;
    }
    // The link's password goes only to the link's own host, never to one a
    // redirect led to.
    const bool ownHost = !mirror && _wcsicmp(parts.host.c_str(), linkHost.c_str()) == 0;
    const Credentials none;
    const Credentials& server = ownHost ? run.linkCredentials : none;
    // The proxy's password goes only to the proxy: a host on the bypass list
    // is reached directly and never sees it, not even when it answers 407.
    const Credentials& proxy = goesThroughProxy(run.proxy, parts.host) ? run.proxy.credentials : none;
    const auto answer = [&](DWORD target, uint32_t scheme, const Credentials& c) {
        return scheme != 0 && ::WinHttpSetCredentials(request, target, scheme, c.user.c_str(), c.password.c_str(), nullptr);
    };
    if (!proxy.empty()) answer(WINHTTP_AUTH_TARGET_PROXY, address_.proxyScheme.load(), proxy);
    if (!server.empty()) answer(WINHTTP_AUTH_TARGET_SERVER, address_.serverScheme.load(), server);
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
        if (c.empty() || answered || control_.stopRequested) return true;
        answered = true;
        DWORD supported = 0, first = 0, target = 0;
        if (!::WinHttpQueryAuthSchemes(request, &supported, &first, &target)) return true;
        const uint32_t scheme = chooseAuthScheme(supported, parts.secure && !toProxy);
        if (!answer(toProxy ? WINHTTP_AUTH_TARGET_PROXY : WINHTTP_AUTH_TARGET_SERVER, scheme, c)) return true;
        (toProxy ? address_.proxyScheme : address_.serverScheme) = scheme;
    }
}

bool Download::registerRequest(size_t slot, HINTERNET request) {
    std::lock_guard<std::mutex> lock(control_.requestMutex);
    if (control_.stopRequested || slot >= control_.requests.size()) return false;
    control_.requests[slot] = request;
    return true;
}

void Download::releaseRequest(size_t slot) {
    HINTERNET request = nullptr;
    {
        std::lock_guard<std::mutex> lock(control_.requestMutex);
        if (slot < control_.requests.size()) std::swap(request, control_.requests[slot]);
    }
    if (request) ::WinHttpCloseHandle(request);
}

ProbeResult Download::probe(const RunShared& run, size_t slot, const std::wstring* mirror) {
    std::wstring current;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        current = mirror ? *mirror : address_.url;
    }
    UrlParts parts;
    if (!crackUrl(current, parts)) throw Error{invalidLinkText(), ErrorKind::Link};
    if (!mirror) {
        std::lock_guard<std::mutex> lock(stateMutex_);
        address_.cookieHost = parts.host;
    }
    // Releases the slot on every way out of an attempt.
    struct SlotGuard {
        Download* job;
        size_t slot;
        ~SlotGuard() { job->releaseRequest(slot); }
    } slotGuard{this, slot};

    for (int redirects = 0;; ++redirects) {
        if (redirects > 10) throw networkError(ERROR_WINHTTP_REDIRECT_FAILED);
        if (!mirror) {
            std::lock_guard<std::mutex> lock(stateMutex_);
            address_.hostKey = hostKey(parts);
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
        const std::wstring headers = requestHeaders(parts.host, L"Range: bytes=0-0\r\n", mirror != nullptr);
        uint32_t secureFlags = 0;
        if (parts.secure) watchSecureFailure(request, &secureFlags);
        DWORD status = 0, error = 0;
        if (!exchange(run, request, headers, parts, status, error, mirror != nullptr)) {
            if (control_.stopRequested) throw Error{};
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
        // A Metalink file is not the download: the files it describes are.
        if ((status == 200 || status == 206) && !address_.metalinkAsFile &&
            (isMetalinkType(queryHeader(request, WINHTTP_QUERY_CONTENT_TYPE)) || isMetalinkLink(current)))
            throw Error{metalinkLinkText(), ErrorKind::Metalink};
        result.finalUrl = current;
        result.redirected = redirects > 0;
        // A mirror's validators are its host's own: they say nothing of the link's.
        if (!mirror) result.validator = answerValidator(request);
        result.duplicates = duplicateLinks(queryNamedHeaders(request, L"Link"), current);
        result.statedChecksum = statedDigest(queryNamedHeader(request, L"Repr-Digest"), queryNamedHeader(request, L"Digest"));
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
    if (control_.stopRequested) return Error{};
    std::lock_guard<std::mutex> lock(stateMutex_);
    shown_.clockOffer = clockToSet(facts);
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
