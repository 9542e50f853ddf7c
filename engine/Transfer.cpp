// Segment workers: claim a range, request it, check that the answer is the
// right part of the same file, and write what arrives at its offset.
// Each worker owns its connection, its request and its read buffer.
#include <algorithm>
#include <optional>

#include "engine/Checksum.h"
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
    } countDown{control_.activeConnections, control_.workersEnded.get()};
    try {
        Connection c;
        c.slot = slot;
        c.buffer.resize(kReadBuffer);
        while (!control_.stopRequested && connectToAddress(c, run)) {
            // Waits while the host asked to be left alone or serves all it allows.
            std::optional<HostConnection> place(std::in_place, c.host, run.stop);
            if (!*place) break;
            int index;
            {
                std::lock_guard<std::mutex> lock(stateMutex_);
                index = table_.claim();
            }
            if (index < 0) break;
            bool progress = false;
            Step result = requestRange(static_cast<size_t>(index), c, run, progress, *place);
            // The renewal's own request may need this connection's place at the host.
            place.reset();
            if (result == Step::Renew) result = renewLink(run, c.generation, slot, address_.refusedBy[slot]);
            // The host's limit: this connection steps down, the others take
            // its range. The last one stays (another download may hold every
            // place the host allows) and waits for a place.
            if (result == Step::Limited && countDown.outUnlessLast()) break;
            if (!waitAfter(c, run, result, progress)) break;
        }
        std::lock_guard<std::mutex> lock(stateMutex_);
        mirrors_->sources.move(c.source, -1);
    } catch (...) {
        setError({outOfMemoryText(), ErrorKind::Local});
    }
    releaseRequest(slot);
}

bool Download::connectToAddress(Connection& c, const RunShared& run) {
    // The address of this run, again after a renewal replaced it; with
    // mirrors, the source the connection reads from.
    std::wstring link;
    bool several;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        several = mirrors_->sources.several();
        if (!several) {
            if (c.handle && c.generation == address_.generation) return true;
            link = address_.resolvedUrl;
            c.generation = address_.generation;
        }
    }
    if (several) {
        if (!chooseSource(c, link)) return false;
        if (link.empty()) return true;  // still on its source
    }
    if (!crackUrl(link, c.parts)) {
        setError({invalidLinkText(), ErrorKind::Link});
        return false;
    }
    c.handle.reset(::WinHttpConnect(run.session, c.parts.host.c_str(), c.parts.port, 0));
    if (!c.handle) {
        setError(networkError(::GetLastError()));
        return false;
    }
    c.host = hostKey(c.parts);
    return true;
}

Download::Step Download::requestRange(size_t index, Connection& c, const RunShared& run, bool& progress,
                                      HostConnection& place) {
    Step result;
    try {
        result = transferSegment(index, c, run, progress, place);
    } catch (const std::exception&) {
        setError({outOfMemoryText(), ErrorKind::Local});
        result = Step::Retry;
    }
    releaseRequest(c.slot);
    std::lock_guard<std::mutex> lock(stateMutex_);
    Segment& s = table_.at(index);
    table_.release(index, s.pos >= s.end ? SegmentState::Done
                                         : (result == Step::Retry ? SegmentState::Retrying : SegmentState::Idle));
    if (result == Step::Retry) ++s.retries;
    return result;
}

bool Download::waitAfter(Connection& c, const RunShared& run, Step result, bool progress) {
    if (result == Step::Stop) return false;
    // Refused for the host's limit: on the ladder, but never giving up.
    if (result == Step::Limited) return ::WaitForSingleObject(run.stop, retryPauseFor(c.host, ++c.refused)) != WAIT_OBJECT_0;
    c.refused = 0;
    if (result == Step::Again) return true;  // a settled question: nothing failed
    if (result != Step::Retry) {
        c.failures = 0;
        return true;
    }
    c.failures = progress ? 1 : c.failures + 1;
    if (c.source >= 0 && c.failures >= (c.source == 0 ? kMaxFailuresWithoutProgress : 3)) {
        // With mirrors a source that keeps failing (or stalls) gives way to the others.
        Error why;
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            why = {shown_.errorText.empty() ? stalledText() : shown_.errorText, shown_.errorKind};
        }
        dropSource(c.source, why);
        return !control_.stopRequested;
    }
    return c.failures <= kMaxFailuresWithoutProgress &&
           ::WaitForSingleObject(run.stop, retryPauseFor(c.host, c.failures)) != WAIT_OBJECT_0;
}

Download::Step Download::transferSegment(size_t index, Connection& c, const RunShared& run, bool& progress,
                                         HostConnection& place) {
    Piece piece = takePiece(index, c);
    if (piece.pos >= piece.end) return Step::Done;
    if (const Step step = sendPiece(piece, c, run); step != Step::GoOn) return step;
    if (const Step step = judgeAnswer(piece, c, run, place); step != Step::GoOn) return step;
    return pumpPiece(piece, c, run, progress);
}

Download::Piece Download::takePiece(size_t index, const Connection& c) {
    Piece piece;
    piece.index = index;
    piece.mirror = c.source > 0;
    std::lock_guard<std::mutex> lock(stateMutex_);
    piece.asked = piece.mirror ? Validator{} : disk_.validator;
    piece.checkPieces = mirrors_->checkPieces;
    Segment& s = table_.at(index);
    s.source = static_cast<int8_t>(c.source);
    if (!table_.ranges()) {
        table_.rewind(index);  // a plain request always starts at the first byte
        ++disk_.plainAttempts;
    }
    piece.pos = s.pos;
    piece.end = s.end;
    s.state = SegmentState::Connecting;
    piece.ranged = table_.ranges();
    piece.total = table_.total();
    return piece;
}

Download::Step Download::sendPiece(Piece& piece, const Connection& c, const RunShared& run) {
    HINTERNET request = openRequest(c.handle.get(), c.parts, run.ignoreCertErrors);
    if (!request) {
        setError(networkError(::GetLastError()));
        return Step::Retry;
    }
    if (!registerRequest(c.slot, request)) {
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
    if (!exchange(run, request, requestHeaders(c.parts.host, extra, piece.mirror), c.parts, piece.status, e, piece.mirror)) {
        if (control_.stopRequested) return Step::Stop;
        setError(networkError(e));
        return Step::Retry;
    }
    return Step::GoOn;
}

Download::Step Download::judgeAnswer(const Piece& piece, Connection& c, const RunShared& run,
                                     HostConnection& place) {
    HINTERNET request = piece.request;
    if (piece.mirror) {
        const Step step = judgeMirrorAnswer(piece, c);
        if (step == Step::GoOn) place.served();
        return step;
    }
    if (piece.status != (piece.ranged ? 206u : 200u)) return judgeRefusal(piece, c, run);
    place.served();
    address_.served = true;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        // Each connection counted once per address.
        if (c.generation == address_.generation && address_.servedAt[c.slot] != c.generation + 1) {
            address_.servedAt[c.slot] = c.generation + 1;
            ++address_.servedOnAddress;
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
            return settleSuspicion(kind, valueOf(piece.asked, kind), request, false, c, run);
    } else if (piece.total >= 0) {
        std::optional<int64_t> length = ParseStrictNumber(queryHeader(request, WINHTTP_QUERY_CONTENT_LENGTH));
        if (length && *length != piece.total) {
            setError({wrongRangeText(), ErrorKind::ServerFailed});
            return Step::Retry;
        }
    }
    return Step::GoOn;
}

Download::Step Download::judgeRefusal(const Piece& piece, const Connection& c, const RunShared& run) {
    const DWORD status = piece.status;
    if (control_.stopRequested) return Step::Stop;
    if (piece.ranged && status == 200 && !piece.ifRange.empty()) {
        // Another version, or a host whose validator is no witness.
        const ValidatorKind kind = ifRangeKind(piece.asked);
        return settleSuspicion(kind, valueOf(piece.asked, kind), piece.request, true, c, run);
    }
    const std::wstring& host = c.host;
    noteRetryAfter(piece.request, status, host);  // a limit's refusal too asks to wait
    bool signedServed, everyServed;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        // An answer of an address a renewal has replaced meanwhile says
        // nothing of the new one: the next request goes there.
        if (c.generation != address_.generation) return Step::Again;
        signedServed = address_.redirected && address_.served;
        everyServed = address_.servedOnAddress >= control_.activeConnections.load();
    }
    // A signed address that served and now refuses has expired: the
    // original link gives a fresh one.
    const RefusalFacts facts{.signedServed = signedServed,
                             .forbiddenTried = status == 403 && signedServed && address_.forbiddenRenewed.exchange(true),
                             .everyConnectionServed = everyServed,
                             .hostServes = hostServes(host)};
    switch (readRefusal(status, facts)) {
    case Refusal::Renew:
        // Kept for this connection: another's error may replace the job's meanwhile.
        address_.refusedBy[c.slot] = httpStatusError(status);
        setError(address_.refusedBy[c.slot]);
        return Step::Renew;
    case Refusal::Limit:
        learnLimitFromRefusal(host);
        if (status == 403 && signedServed) setError(httpStatusError(status));
        return Step::Limited;
    case Refusal::Answer:
        // With mirrors, a link that refuses outright leaves the file to them.
        if (c.source == 0 && status >= 400 && status < 500) {
            dropSource(0, httpStatusError(status));
            return Step::Again;
        }
        break;
    }
    setError(piece.ranged && status == 200 ? Error{rangesStoppedText(), ErrorKind::ServerFailed} : httpStatusError(status));
    return Step::Retry;
}

Download::Step Download::pumpPiece(const Piece& piece, Connection& c, const RunShared& run, bool& progress) {
    if (piece.checkPieces) return pumpCheckedPiece(piece, c, run, progress);
    std::vector<char>& buffer = c.buffer;
    const size_t i = piece.index;
    uint64_t t0 = ::GetTickCount64();
    int64_t bytesSince = 0;
    if (control_.stopRequested) return Step::Stop;
    for (;;) {
        DWORD got = 0;
        if (const Step step = readChunk(piece, buffer, run, got); step != Step::GoOn) return step;
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
            if (!::WriteFile(disk_.file.get(), buffer.data(), static_cast<DWORD>(w), &written, &at) ||
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
            } else if (s.pos > disk_.plainFurthest) {
                disk_.plainFurthest = s.pos;
                progress = true;
            }
            bytesSince += w;
            noteSpeed(s, t0, bytesSince);
            if (s.pos >= s.end) {
                // A finished piece may move the front the checksums are fed from.
                if (disk_.hasher) disk_.hasher->advance(table_.front(), disk_.plainAttempts);
                return Step::Done;
            }
        }
        if (control_.stopRequested) return Step::Stop;
    }
    std::lock_guard<std::mutex> lock(stateMutex_);
    Segment& s = table_.at(i);
    if (s.end == INT64_MAX) table_.endAt(i, s.pos);
    if (s.pos < s.end) {
        shown_.errorText = closedEarlyText();
        shown_.errorKind = ErrorKind::Network;
        return Step::Retry;
    }
    return Step::Done;
}

Download::Step Download::readChunk(const Piece& piece, std::vector<char>& buffer, const RunShared& run, DWORD& got) {
    const DWORD allowed = acquireReadBudget(static_cast<uint32_t>(buffer.size()), run.stop, run.limiter);
    if (allowed == 0) return Step::Stop;
    if (!::WinHttpReadData(piece.request, buffer.data(), allowed, &got)) {
        const DWORD e = ::GetLastError();
        returnReadBudget(allowed, run.limiter);
        if (control_.stopRequested) return Step::Stop;
        setError(networkError(e));
        return Step::Retry;
    }
    returnReadBudget(allowed - got, run.limiter);
    return Step::GoOn;
}

void Download::noteSpeed(Segment& s, uint64_t& t0, int64_t& bytesSince) {
    const uint64_t t = ::GetTickCount64();
    if (t - t0 < 500) return;
    s.speed = static_cast<double>(bytesSince) * 1000.0 / static_cast<double>(t - t0);
    t0 = t;
    bytesSince = 0;
}

Download::Step Download::pumpCheckedPiece(const Piece& piece, Connection& c, const RunShared& run, bool& progress) {
    // The range's position moves only past pieces that matched their hash:
    // a kill or a bad piece never leaves unchecked bytes counted as done.
    std::vector<char>& buffer = c.buffer;
    const size_t i = piece.index;
    int64_t cur = piece.pos, pieceEnd, total;
    size_t number;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        total = table_.total();
        number = mirrors_->pieces.pieceOf(cur);
        pieceEnd = mirrors_->pieces.pieceEnd(number, total);
    }
    Digest sum;
    uint64_t t0 = ::GetTickCount64();
    int64_t bytesSince = 0;
    for (;;) {
        if (control_.stopRequested) return Step::Stop;
        DWORD got = 0;
        if (const Step step = readChunk(piece, buffer, run, got); step != Step::GoOn) return step;
        if (got == 0) break;
        int64_t end;
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            Segment& s = table_.at(i);
            end = s.end;  // a split may have moved it (to a piece's start)
            s.state = SegmentState::Receiving;
        }
        for (DWORD off = 0; off < got && cur < end;) {
            const DWORD n = static_cast<DWORD>(std::min<int64_t>(got - off, pieceEnd - cur));
            OVERLAPPED at = AtOffset(cur);
            DWORD written = 0;
            if (!::WriteFile(disk_.file.get(), buffer.data() + off, n, &written, &at) || written != n) {
                diskFailure(::GetLastError());
                return Step::Stop;
            }
            sum.add(reinterpret_cast<const unsigned char*>(buffer.data()) + off, n);
            off += n;
            cur += n;
            progress = true;
            bytesSince += n;
            if (cur < pieceEnd) continue;
            if (!pieceMatches(number, sum.finish(), c.source)) return Step::Again;  // asked again elsewhere
            sum = Digest();
            std::lock_guard<std::mutex> lock(stateMutex_);
            table_.advance(i, cur);
            Segment& s = table_.at(i);
            noteSpeed(s, t0, bytesSince);
            if (s.pos >= s.end) {
                if (disk_.hasher) disk_.hasher->advance(table_.front(), disk_.plainAttempts);
                return Step::Done;
            }
            number += 1;
            pieceEnd = mirrors_->pieces.pieceEnd(number, total);
        }
        if (cur >= end) return Step::Done;  // split off behind the piece it finished
    }
    std::lock_guard<std::mutex> lock(stateMutex_);
    shown_.errorText = closedEarlyText();
    shown_.errorKind = ErrorKind::Network;
    return Step::Retry;
}

void Download::noteRetryAfter(HINTERNET request, DWORD status, const std::wstring& host) {
    if (status != 429 && status != 503) return;
    if (std::optional<int64_t> ms = retryAfterMs(queryHeader(request, WINHTTP_QUERY_RETRY_AFTER), serverDateTicks(request)))
        hostAskedToWait(host, *ms);
}

void Download::restartFromZero() {
    control_.restartRequested = true;
    control_.stopRequested = true;
    ::SetEvent(control_.stopEvent.get());
}

void Download::diskFailure(DWORD error) {
    failEveryWorker({diskWriteFailedText(error != 0 ? systemErrorText(error) : diskFullDetail()), ErrorKind::Disk});
}

void Download::failEveryWorker(const Error& error) {
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (!control_.workerFailed) {
            shown_.errorText = error.message;
            shown_.errorKind = error.kind;
        }
        control_.workerFailed = true;
    }
    // Every worker stops at its next check or wait; each closes its own request.
    control_.stopRequested = true;
    ::SetEvent(control_.stopEvent.get());
}

}  // namespace zeb
