// Segment workers: claim a range, request it, check that the answer is the
// right part of the same file, and write what arrives at its offset.
// Each worker owns its connection, its request and its read buffer.
#include <algorithm>
#include <optional>

#include "engine/ContentRange.h"
#include "engine/Download.h"
#include "engine/Error.h"
#include "engine/ErrorTexts.h"
#include "engine/Http.h"
#include "engine/RateLimiter.h"
#include "engine/Segments.h"
#include "engine/ServerClock.h"
#include "engine/StrictNumber.h"
#include "engine/Timing.h"
#include "engine/Validator.h"
#include "store/FileServices.h"

namespace zeb {
namespace {
constexpr DWORD kReadBuffer = 65536;
}  // namespace

void Download::workerBody(size_t slot, const RunShared& run) noexcept {
    // Counted down on every way out, or the monitor loop would never end.
    struct CountDown {
        std::atomic<int32_t>& count;
        HANDLE lastOut;
        bool out = false;
        ~CountDown() {
            if (!out && --count == 0) ::SetEvent(lastOut);
        }
        // Counts this worker out unless it is the last one running: true when it may leave.
        bool outUnlessLast() {
            for (int32_t n = count.load(); n > 1;)
                if (count.compare_exchange_weak(n, n - 1)) return out = true;
            return false;
        }
    } countDown{activeConnections_, workersEnded_.get()};
    try {
        UrlParts parts;
        InternetHandle connection;
        std::wstring host;
        uint32_t generation = 0;
        std::vector<char> buffer(kReadBuffer);
        int failures = 0, refused = 0;  // refused: limit refusals in a row
        while (!stopRequested_) {
            // The address of this run, again after a renewal replaced it.
            std::wstring link;
            bool fresh = false;
            {
                std::lock_guard<std::mutex> lock(stateMutex_);
                if (!connection || generation != linkGeneration_) {
                    link = resolvedUrl_;
                    generation = linkGeneration_;
                    fresh = true;
                }
            }
            if (fresh) {
                if (!crackUrl(link, parts)) {
                    setError({invalidLinkText(), ErrorKind::Link});
                    return;
                }
                connection.reset(::WinHttpConnect(run.session, parts.host.c_str(), parts.port, 0));
                if (!connection) {
                    setError(networkError(::GetLastError()));
                    return;
                }
                host = hostKey(parts);
            }
            // Waits while the host asked to be left alone or serves all it allows.
            std::optional<HostConnection> hostConnection(std::in_place, host, run.stop);
            if (!*hostConnection) break;
            int index;
            {
                std::lock_guard<std::mutex> lock(stateMutex_);
                index = table_.claim();
            }
            if (index < 0) break;
            bool progress = false;
            int result;
            try {
                result = transferSegment(index, slot, connection.get(), parts, run, progress, buffer,
                                         *hostConnection, generation);
            } catch (const std::exception&) {
                setError({outOfMemoryText(), ErrorKind::Local});
                result = kRetry;
            }
            releaseRequest(slot);
            {
                std::lock_guard<std::mutex> lock(stateMutex_);
                Segment& s = table_.at(static_cast<size_t>(index));
                table_.release(static_cast<size_t>(index), s.pos >= s.end ? SegmentState::Done
                                                                          : (result == kRetry ? SegmentState::Retrying : SegmentState::Idle));
                if (result == kRetry) ++s.retries;
            }
            // The renewal's own request may need this connection's place at the host.
            hostConnection.reset();
            if (result == kRenew) result = renewLink(run, generation, slot, refusedBy_[slot]);
            if (result == kStop) break;
            // The host's limit: this connection steps down, the others take
            // its range, and nothing counts toward giving up. The last one
            // stays (another download may hold every place the host allows):
            // it waits for a place, on the ladder but never giving up.
            if (result == kLimited) {
                if (countDown.outUnlessLast()) break;
                if (::WaitForSingleObject(run.stop, retryPauseFor(host, ++refused)) == WAIT_OBJECT_0) break;
                continue;
            }
            refused = 0;
            if (result == kAgain) continue;  // a settled question: nothing failed
            if (result == kRetry) {
                failures = progress ? 1 : failures + 1;
                if (failures > kMaxFailuresWithoutProgress) break;
                if (::WaitForSingleObject(run.stop, retryPauseFor(host, failures)) == WAIT_OBJECT_0) break;
            } else {
                failures = 0;
            }
        }
    } catch (...) {
        setError({outOfMemoryText(), ErrorKind::Local});
    }
    releaseRequest(slot);
}

int Download::transferSegment(int index, size_t slot, HINTERNET connection, const UrlParts& parts,
                              const RunShared& run, bool& progress, std::vector<char>& buffer,
                              HostConnection& hostConnection, uint32_t generation) {
    const size_t i = static_cast<size_t>(index);
    int64_t pos, end, total;
    bool ranged;
    Validator asked;  // the version this request asks for
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        asked = validator_;
        Segment& s = table_.at(i);
        if (!table_.ranges()) {
            table_.rewind(i);  // a plain request always starts at the first byte
            ++plainAttempts_;
        }
        pos = s.pos;
        end = s.end;
        s.state = SegmentState::Connecting;
        ranged = table_.ranges();
        total = table_.total();
    }
    if (pos >= end) return kDone;

    HINTERNET request = openRequest(connection, parts, run.ignoreCertErrors);
    if (!request) {
        setError(networkError(::GetLastError()));
        return kRetry;
    }
    if (!registerRequest(slot, request)) {
        ::WinHttpCloseHandle(request);
        return kStop;
    }
    // With a validator the server sends the range only from the same
    // version; a changed file comes whole (200).
    const std::wstring ifRange = ifRangeValue(asked);
    const std::wstring extra =
        ranged ? L"Range: bytes=" + std::to_wstring(pos) + L"-" + std::to_wstring(end - 1) + L"\r\n" +
                     (ifRange.empty() ? L"" : L"If-Range: " + ifRange + L"\r\n")
               : std::wstring();
    const std::wstring headers = requestHeaders(parts.host, extra);
    DWORD status = 0, e = 0;
    if (!exchange(run, request, headers, parts, status, e)) {
        if (stopRequested_) return kStop;
        setError(networkError(e));
        return kRetry;
    }
    if (status != (ranged ? 206u : 200u)) {
        if (stopRequested_) return kStop;
        if (ranged && status == 200 && !ifRange.empty()) {
            // Another version, or a host whose validator is no witness.
            const ValidatorKind kind = ifRangeKind(asked);
            return settleSuspicion(kind, valueOf(asked, kind), request, true, slot, connection, parts, run);
        }
        const std::wstring host = hostKey(parts);
        noteRetryAfter(request, status, host);  // a limit's refusal too asks to wait
        bool signedServed, everyServed;
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            // An answer of an address a renewal has replaced meanwhile says
            // nothing of the new one: the next request goes there.
            if (generation != linkGeneration_) return kAgain;
            signedServed = redirected_ && addressServed_;
            everyServed = servedOnAddress_ >= activeConnections_.load();
        }
        // A signed address that served and now refuses has expired: the
        // original link gives a fresh one.
        switch (readRefusal(status, signedServed, status == 403 && signedServed && forbiddenRenewed_.exchange(true),
                            everyServed, hostServes(host))) {
        case Refusal::Renew:
            // Kept for this connection: another's error may replace the job's meanwhile.
            refusedBy_[slot] = httpStatusError(status);
            setError(refusedBy_[slot]);
            return kRenew;
        case Refusal::Limit:
            learnLimitFromRefusal(host);
            if (status == 403 && signedServed) setError(httpStatusError(status));
            return kLimited;
        case Refusal::Answer:
            break;
        }
        setError(ranged && status == 200 ? Error{rangesStoppedText(), ErrorKind::ServerFailed} : httpStatusError(status));
        return kRetry;
    }
    hostConnection.served();
    addressServed_ = true;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        // Each connection counted once per address.
        if (generation == linkGeneration_ && servedAt_[slot] != generation + 1) {
            servedAt_[slot] = generation + 1;
            ++servedOnAddress_;
        }
    }
    // The answer must be this part of the same file: a file replaced on the
    // server shows another total, and stitching two versions together would
    // be reported as a finished download.
    if (ranged) {
        const std::wstring range = queryHeader(request, WINHTTP_QUERY_CONTENT_RANGE);
        const ContentRange answered = parseContentRange(range);
        if (answered.start != pos || (answered.total && total >= 0 && *answered.total != total)) {
            setError({wrongRangeText(), ErrorKind::ServerFailed});
            return kRetry;
        }
        // A part of another version (a server or cache that ignored
        // If-Range), or of the same bytes tagged by another node of a farm.
        if (const ValidatorKind kind = disagreement(asked, answerValidator(request)); kind != ValidatorKind::None) {
            const int verdict = settleSuspicion(kind, valueOf(asked, kind), request, false, slot, connection, parts, run);
            if (verdict != kGoOn) return verdict;
        }
    } else if (total >= 0) {
        std::optional<int64_t> length = ParseStrictNumber(queryHeader(request, WINHTTP_QUERY_CONTENT_LENGTH));
        if (length && *length != total) {
            setError({wrongRangeText(), ErrorKind::ServerFailed});
            return kRetry;
        }
    }

    uint64_t t0 = ::GetTickCount64();
    int64_t bytesSince = 0;
    if (stopRequested_) return kStop;
    for (;;) {
        const DWORD allowed = acquireReadBudget(static_cast<uint32_t>(buffer.size()), run.stop);
        if (allowed == 0) return kStop;
        DWORD got = 0;
        if (!::WinHttpReadData(request, buffer.data(), allowed, &got)) {
            const DWORD e = ::GetLastError();
            returnReadBudget(allowed);
            if (stopRequested_) return kStop;
            setError(networkError(e));
            return kRetry;
        }
        returnReadBudget(allowed - got);
        if (got == 0) break;
        int64_t p, w;
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            Segment& s = table_.at(i);
            p = s.pos;
            w = std::min<int64_t>(s.end - p, got);  // a split may have moved the end
            s.state = SegmentState::Receiving;
        }
        if (w > 0) {
            OVERLAPPED at = AtOffset(p);
            DWORD written = 0;
            if (!::WriteFile(file_.get(), buffer.data(), static_cast<DWORD>(w), &written, &at) ||
                written != static_cast<DWORD>(w)) {
                diskFailure(::GetLastError());
                return kStop;
            }
        }
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            table_.advance(i, p + w);
            Segment& s = table_.at(i);
            if (ranged) {
                if (w > 0) progress = true;
            } else if (s.pos > plainFurthest_) {
                plainFurthest_ = s.pos;
                progress = true;
            }
            bytesSince += w;
            const uint64_t t = ::GetTickCount64();
            if (t - t0 >= 500) {
                s.speed = static_cast<double>(bytesSince) * 1000.0 / static_cast<double>(t - t0);
                t0 = t;
                bytesSince = 0;
            }
            if (s.pos >= s.end) {
                // A finished piece may move the front the checksums are fed from.
                if (hasher_) hasher_->advance(table_.front(), plainAttempts_);
                return kDone;
            }
        }
        if (stopRequested_) return kStop;
    }
    std::lock_guard<std::mutex> lock(stateMutex_);
    Segment& s = table_.at(i);
    if (s.end == INT64_MAX) table_.endAt(i, s.pos);
    if (s.pos < s.end) {
        errorText_ = closedEarlyText();
        errorKind_ = ErrorKind::Network;
        return kRetry;
    }
    return kDone;
}

void Download::noteRetryAfter(HINTERNET request, DWORD status, const std::wstring& host) {
    if (status != 429 && status != 503) return;
    if (std::optional<int64_t> ms = retryAfterMs(queryHeader(request, WINHTTP_QUERY_RETRY_AFTER), serverDateTicks(request)))
        hostAskedToWait(host, *ms);
}

void Download::restartFromZero() {
    restartRequested_ = true;
    stopRequested_ = true;
    ::SetEvent(stopEvent_.get());
}

void Download::diskFailure(DWORD error) {
    failEveryWorker({diskWriteFailedText(error != 0 ? systemErrorText(error) : diskFullDetail()), ErrorKind::Disk});
}

void Download::failEveryWorker(const Error& error) {
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (!workerFailed_) {
            errorText_ = error.message;
            errorKind_ = error.kind;
        }
        workerFailed_ = true;
    }
    // Every worker stops at its next check or wait; each closes its own request.
    stopRequested_ = true;
    ::SetEvent(stopEvent_.get());
}

}  // namespace zeb
