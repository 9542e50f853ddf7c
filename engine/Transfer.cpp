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
            Step result;
            try {
                result = transferSegment(index, slot, connection.get(), parts, run, progress, buffer,
                                         *hostConnection, generation);
            } catch (const std::exception&) {
                setError({outOfMemoryText(), ErrorKind::Local});
                result = Step::Retry;
            }
            releaseRequest(slot);
            {
                std::lock_guard<std::mutex> lock(stateMutex_);
                Segment& s = table_.at(static_cast<size_t>(index));
                table_.release(static_cast<size_t>(index), s.pos >= s.end ? SegmentState::Done
                                                                          : (result == Step::Retry ? SegmentState::Retrying : SegmentState::Idle));
                if (result == Step::Retry) ++s.retries;
            }
            // The renewal's own request may need this connection's place at the host.
            hostConnection.reset();
            if (result == Step::Renew) result = renewLink(run, generation, slot, refusedBy_[slot]);
            if (result == Step::Stop) break;
            // The host's limit: this connection steps down, the others take
            // its range, and nothing counts toward giving up. The last one
            // stays (another download may hold every place the host allows):
            // it waits for a place, on the ladder but never giving up.
            if (result == Step::Limited) {
                if (countDown.outUnlessLast()) break;
                if (::WaitForSingleObject(run.stop, retryPauseFor(host, ++refused)) == WAIT_OBJECT_0) break;
                continue;
            }
            refused = 0;
            if (result == Step::Again) continue;  // a settled question: nothing failed
            if (result == Step::Retry) {
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

Download::Step Download::transferSegment(int index, size_t slot, HINTERNET connection, const UrlParts& parts,
                                        const RunShared& run, bool& progress, std::vector<char>& buffer,
                                        HostConnection& hostConnection, uint32_t generation) {
    Piece piece = takePiece(static_cast<size_t>(index));
    if (piece.pos >= piece.end) return Step::Done;
    if (const Step step = sendPiece(piece, slot, connection, parts, run); step != Step::GoOn) return step;
    if (const Step step = judgeAnswer(piece, slot, connection, parts, run, hostConnection, generation); step != Step::GoOn)
        return step;
    return pumpPiece(piece, run, progress, buffer);
}

Download::Piece Download::takePiece(size_t index) {
    Piece piece;
    piece.index = index;
    std::lock_guard<std::mutex> lock(stateMutex_);
    piece.asked = validator_;
    Segment& s = table_.at(index);
    if (!table_.ranges()) {
        table_.rewind(index);  // a plain request always starts at the first byte
        ++plainAttempts_;
    }
    piece.pos = s.pos;
    piece.end = s.end;
    s.state = SegmentState::Connecting;
    piece.ranged = table_.ranges();
    piece.total = table_.total();
    return piece;
}

Download::Step Download::sendPiece(Piece& piece, size_t slot, HINTERNET connection, const UrlParts& parts,
                                   const RunShared& run) {
    HINTERNET request = openRequest(connection, parts, run.ignoreCertErrors);
    if (!request) {
        setError(networkError(::GetLastError()));
        return Step::Retry;
    }
    if (!registerRequest(slot, request)) {
        ::WinHttpCloseHandle(request);
        return Step::Stop;
    }
    piece.request = request;
    // With a validator the server sends the range only from the same
    // version; a changed file comes whole (200).
    piece.ifRange = ifRangeValue(piece.asked);
    const std::wstring extra =
        piece.ranged ? L"Range: bytes=" + std::to_wstring(piece.pos) + L"-" + std::to_wstring(piece.end - 1) + L"\r\n" +
                           (piece.ifRange.empty() ? L"" : L"If-Range: " + piece.ifRange + L"\r\n")
                     : std::wstring();
    DWORD e = 0;
    if (!exchange(run, request, requestHeaders(parts.host, extra), parts, piece.status, e)) {
        if (stopRequested_) return Step::Stop;
        setError(networkError(e));
        return Step::Retry;
    }
    return Step::GoOn;
}

Download::Step Download::judgeAnswer(const Piece& piece, size_t slot, HINTERNET connection, const UrlParts& parts,
                                     const RunShared& run, HostConnection& hostConnection, uint32_t generation) {
    HINTERNET request = piece.request;
    if (piece.status != (piece.ranged ? 206u : 200u)) return judgeRefusal(piece, slot, connection, parts, run, generation);
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
    if (piece.ranged) {
        const ContentRange answered = parseContentRange(queryHeader(request, WINHTTP_QUERY_CONTENT_RANGE));
        if (answered.start != piece.pos || (answered.total && piece.total >= 0 && *answered.total != piece.total)) {
            setError({wrongRangeText(), ErrorKind::ServerFailed});
            return Step::Retry;
        }
        // A part of another version (a server or cache that ignored
        // If-Range), or of the same bytes tagged by another node of a farm.
        if (const ValidatorKind kind = disagreement(piece.asked, answerValidator(request)); kind != ValidatorKind::None)
            return settleSuspicion(kind, valueOf(piece.asked, kind), request, false, slot, connection, parts, run);
    } else if (piece.total >= 0) {
        std::optional<int64_t> length = ParseStrictNumber(queryHeader(request, WINHTTP_QUERY_CONTENT_LENGTH));
        if (length && *length != piece.total) {
            setError({wrongRangeText(), ErrorKind::ServerFailed});
            return Step::Retry;
        }
    }
    return Step::GoOn;
}

Download::Step Download::judgeRefusal(const Piece& piece, size_t slot, HINTERNET connection, const UrlParts& parts,
                                      const RunShared& run, uint32_t generation) {
    const DWORD status = piece.status;
    if (stopRequested_) return Step::Stop;
    if (piece.ranged && status == 200 && !piece.ifRange.empty()) {
        // Another version, or a host whose validator is no witness.
        const ValidatorKind kind = ifRangeKind(piece.asked);
        return settleSuspicion(kind, valueOf(piece.asked, kind), piece.request, true, slot, connection, parts, run);
    }
    const std::wstring host = hostKey(parts);
    noteRetryAfter(piece.request, status, host);  // a limit's refusal too asks to wait
    bool signedServed, everyServed;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        // An answer of an address a renewal has replaced meanwhile says
        // nothing of the new one: the next request goes there.
        if (generation != linkGeneration_) return Step::Again;
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
        return Step::Renew;
    case Refusal::Limit:
        learnLimitFromRefusal(host);
        if (status == 403 && signedServed) setError(httpStatusError(status));
        return Step::Limited;
    case Refusal::Answer:
        break;
    }
    setError(piece.ranged && status == 200 ? Error{rangesStoppedText(), ErrorKind::ServerFailed} : httpStatusError(status));
    return Step::Retry;
}

Download::Step Download::pumpPiece(const Piece& piece, const RunShared& run, bool& progress, std::vector<char>& buffer) {
    const size_t i = piece.index;
    uint64_t t0 = ::GetTickCount64();
    int64_t bytesSince = 0;
    if (stopRequested_) return Step::Stop;
    for (;;) {
        const DWORD allowed = acquireReadBudget(static_cast<uint32_t>(buffer.size()), run.stop);
        if (allowed == 0) return Step::Stop;
        DWORD got = 0;
        if (!::WinHttpReadData(piece.request, buffer.data(), allowed, &got)) {
            const DWORD e = ::GetLastError();
            returnReadBudget(allowed);
            if (stopRequested_) return Step::Stop;
            setError(networkError(e));
            return Step::Retry;
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
                return Step::Stop;
            }
        }
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            table_.advance(i, p + w);
            Segment& s = table_.at(i);
            if (piece.ranged) {
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
                return Step::Done;
            }
        }
        if (stopRequested_) return Step::Stop;
    }
    std::lock_guard<std::mutex> lock(stateMutex_);
    Segment& s = table_.at(i);
    if (s.end == INT64_MAX) table_.endAt(i, s.pos);
    if (s.pos < s.end) {
        errorText_ = closedEarlyText();
        errorKind_ = ErrorKind::Network;
        return Step::Retry;
    }
    return Step::Done;
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
