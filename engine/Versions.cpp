// The job's version questions: its partial file's bytes beside the
// server's, for a resume no validator vouches for and for an answer whose
// validator contradicts the recorded version (job and worker threads; one
// question at a time, under the run's version mutex).
#include <algorithm>

#include "engine/ContentRange.h"
#include "engine/Download.h"
#include "engine/Error.h"
#include "engine/ErrorTexts.h"
#include "engine/HostEtiquette.h"
#include "engine/Http.h"
#include "engine/Samples.h"
#include "engine/Timing.h"
#include "store/FileServices.h"

namespace zeb {

bool Download::readPart(int64_t offset, int64_t length, std::string& out) {
    out.assign(static_cast<size_t>(length), '\0');
    OVERLAPPED at = AtOffset(offset);
    DWORD got = 0;
    return ::ReadFile(disk_.file.get(), out.data(), static_cast<DWORD>(length), &got, &at) && got == length;
}

bool Download::readAnswer(HINTERNET request, int64_t length, std::string& out) {
    // Sample bytes are few: they do not wait for the speed limit.
    out.assign(static_cast<size_t>(length), '\0');
    int64_t have = 0;
    while (have < length) {
        DWORD got = 0;
        if (!::WinHttpReadData(request, out.data() + have, static_cast<DWORD>(length - have), &got) || got == 0)
            return false;
        have += got;
    }
    return true;
}

Download::Evidence Download::compareSample(const RunShared& run, HINTERNET connection, const UrlParts& parts,
                                           const ByteSpan& span, int64_t total, Error& failure) {
    InternetHandle request(openRequest(connection, parts, run.ignoreCertErrors));
    if (!request) {
        failure = networkError(::GetLastError());
        return Evidence::Failed;
    }
    // No If-Range: the bytes the server has now, whatever its validators say.
    const std::wstring headers = requestHeaders(
        parts.host, L"Range: bytes=" + std::to_wstring(span.offset) + L"-" + std::to_wstring(span.offset + span.length - 1) + L"\r\n");
    DWORD status = 0, error = 0;
    if (!exchange(run, request.get(), headers, parts, status, error)) {
        failure = networkError(error);
        return Evidence::Failed;
    }
    if (status == 200) return Evidence::Different;  // no ranges any more: nothing can vouch for the bytes
    if (status != 206) {
        const std::wstring host = hostKey(parts);
        noteRetryAfter(request.get(), status, host);
        // Refused while the host serves others of ours: its limit, not a failure.
        if ((status == 429 || status == 503) && learnLimitFromRefusal(host)) return Evidence::Refused;
        failure = httpStatusError(status);
        return Evidence::Failed;
    }
    // Only the bytes asked for, of a file of the known size, are evidence.
    if (!carriesExactly(parseContentRange(queryHeader(request.get(), WINHTTP_QUERY_CONTENT_RANGE)), span.offset,
                        span.length, total)) {
        failure = {wrongRangeText(), ErrorKind::ServerFailed};
        return Evidence::Failed;
    }
    std::string server, disk;
    if (!readAnswer(request.get(), span.length, server)) {
        failure = {closedEarlyText(), ErrorKind::Network};
        return Evidence::Failed;
    }
    if (!readPart(span.offset, span.length, disk)) {
        failure = {checksumReadFailedText(systemErrorText(::GetLastError())), ErrorKind::Disk};
        return Evidence::Failed;
    }
    return server == disk ? Evidence::Same : Evidence::Different;
}

Download::Evidence Download::compareSamples(const RunShared& run, HINTERNET connection, const UrlParts& parts,
                                            const std::vector<ByteSpan>& samples, int64_t total, Error& failure) {
    for (const ByteSpan& span : samples)
        if (const Evidence e = compareSample(run, connection, parts, span, total, failure); e != Evidence::Same)
            return e;
    return samples.empty() ? Evidence::None : Evidence::Same;
}

bool Download::resumeSamplesAgree(const RunShared& run, bool randomOnly) {
    std::vector<ByteSpan> samples;
    std::wstring link;
    int64_t total;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        samples = chooseSamples(table_.segments(), samplePick());
        if (randomOnly && samples.size() > 1) samples.erase(samples.begin());
        link = address_.resolvedUrl;
        total = table_.total();
    }
    UrlParts parts;
    if (!crackUrl(link, parts)) throw Error{invalidLinkText(), ErrorKind::Link};
    const std::wstring host = hostKey(parts);
    // A request to the host like any other: it waits for a place.
    const HostConnection place(host, run.stop);
    if (!place) throw Error{};
    InternetHandle connection(::WinHttpConnect(run.session, parts.host.c_str(), parts.port, 0));
    if (!connection) throw networkError(::GetLastError());
    for (const ByteSpan& span : samples) {
        Error failure;
        // A lost connection, a busy answer or a wrong range is asked again on
        // the pause ladder, as any request; past it the row fails, neither
        // kept nor thrown away (the next attempt samples again). The host's
        // limit is waited out without counting.
        Evidence evidence = Evidence::Failed;
        for (int failures = 0, refused = 0;;) {
            evidence = compareSample(run, connection.get(), parts, span, total, failure);
            if (evidence == Evidence::Same || evidence == Evidence::Different) break;
            if (control_.stopRequested) throw Error{};
            const int step = evidence == Evidence::Refused ? ++refused : ++failures;
            if (failures > kMaxFailuresWithoutProgress ||
                ::WaitForSingleObject(run.stop, retryPauseFor(host, step)) == WAIT_OBJECT_0)
                throw control_.stopRequested ? Error{} : failure;
        }
        if (evidence == Evidence::Different) return false;
    }
    return true;
}

void Download::retire(ValidatorKind kind) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    forget(disk_.validator, kind);
    address_.retired[static_cast<size_t>(kind)] = true;  // at later starts too
    disk_.savedDoneBytes = -1;  // the state file stops recording it at the next save
}

Download::Step Download::settleSuspicion(ValidatorKind kind, const std::wstring& suspected, HINTERNET answer,
                                         bool answerFromZero, const Connection& c, const RunShared& run) {
    const size_t slot = c.slot;
    const HINTERNET connection = c.handle.get();
    const UrlParts& parts = c.parts;
    // One judgement at a time: answers on many connections may raise the
    // same question, and the first verdict settles it for all.
    std::lock_guard<std::mutex> one(control_.versionMutex);
    if (control_.stopRequested) return Step::Stop;
    std::vector<Segment> table;
    int64_t total;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (valueOf(disk_.validator, kind) != suspected) return answerFromZero ? Step::Again : Step::GoOn;  // settled already
        table = table_.segments();
        total = table_.total();
    }
    Evidence evidence = Evidence::None;
    Error failure;
    // A whole file's first bytes are compared where the disk holds them...
    if (const int64_t prefix = answerFromZero ? donePrefix(table) : 0; prefix > 0) {
        std::string server, disk;
        if (!readAnswer(answer, prefix, server) || !readPart(0, prefix, disk)) {
            failure = {closedEarlyText(), ErrorKind::Network};
            evidence = Evidence::Failed;
        } else {
            evidence = server == disk ? Evidence::Same : Evidence::Different;
        }
    }
    // ...and, since versions often share their head, so are samples from
    // several places. They use this connection's place at the host: its
    // answer is closed first (a host that allows one connection would
    // refuse a second).
    releaseRequest(slot);
    if (evidence == Evidence::None || evidence == Evidence::Same) {
        const Evidence sampled =
            compareSamples(run, connection, parts, chooseSamples(table, samplePick()), total, failure);
        if (sampled != Evidence::None) evidence = sampled;
    }
    switch (evidence) {
        case Evidence::Same:
            // The host's validator of this kind does not tell versions apart.
            retire(kind);
            return Step::Again;
        case Evidence::Different:
            restartFromZero();
            return Step::Stop;
        case Evidence::None:
            // Nothing on disk to compare with yet: ask again after a pause
            // (on a farm the next answer may well agree, and other
            // connections bring bytes meanwhile). When every answer keeps
            // contradicting, the file changed: start over, nothing is lost.
            if (++control_.blindSuspicions >= 2 * control_.workerCount) {
                restartFromZero();
                return Step::Stop;
            }
            return Step::Retry;
        case Evidence::Refused:
            return Step::Limited;
        default:
            if (control_.stopRequested) return Step::Stop;
            if (!failure.message.empty()) setError(failure);
            return Step::Retry;
    }
}

}  // namespace zeb
