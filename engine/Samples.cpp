// The choice of byte samples (plain functions) and the job's comparisons
// of its partial file with the server's bytes (job and worker threads).
#include "engine/Samples.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>

#include "engine/Download.h"
#include "engine/Error.h"
#include "engine/ErrorTexts.h"
#include "engine/HostEtiquette.h"
#include "engine/Http.h"
#include "engine/Timing.h"
#include "store/FileServices.h"

namespace zeb {

std::vector<ByteSpan> doneSpans(const std::vector<Segment>& segments) {
    std::vector<ByteSpan> spans;
    for (const Segment& s : segments)
        if (s.pos > s.start && s.end != INT64_MAX) spans.push_back({s.start, std::min(s.pos, s.end) - s.start});
    std::sort(spans.begin(), spans.end(), [](const ByteSpan& a, const ByteSpan& b) { return a.offset < b.offset; });
    return spans;
}

std::vector<ByteSpan> chooseSamples(const std::vector<Segment>& segments, uint64_t pick) {
    const std::vector<ByteSpan> done = doneSpans(segments);
    if (done.empty()) return {};
    const auto largest = std::max_element(done.begin(), done.end(),
                                          [](const ByteSpan& a, const ByteSpan& b) { return a.length < b.length; });
    const int64_t tail = std::min(largest->length, kSampleBytes);
    std::vector<ByteSpan> samples{{largest->offset + largest->length - tail, tail}};
    int64_t total = 0;
    for (const ByteSpan& s : done) total += s.length;
    int64_t at = static_cast<int64_t>(pick % static_cast<uint64_t>(total));
    for (const ByteSpan& s : done) {
        if (at >= s.length) {
            at -= s.length;
            continue;
        }
        const int64_t length = std::min(s.length, kSampleBytes);
        const ByteSpan second{s.offset + std::min(at, s.length - length), length};
        if (!(second == samples[0])) samples.push_back(second);
        break;
    }
    return samples;
}

int64_t donePrefix(const std::vector<Segment>& segments) {
    for (const ByteSpan& s : doneSpans(segments))
        if (s.offset == 0) return std::min(s.length, kSampleBytes);
    return 0;
}

uint64_t samplePick() {
    if (timing().samplePick) return timing().samplePick;
    uint64_t value = 0;
    ::BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&value), sizeof value, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    return value;
}

bool Download::readPart(int64_t offset, int64_t length, std::string& out) {
    out.assign(static_cast<size_t>(length), '\0');
    OVERLAPPED at = AtOffset(offset);
    DWORD got = 0;
    return ::ReadFile(file_.get(), out.data(), static_cast<DWORD>(length), &got, &at) && got == length;
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

Download::Evidence Download::compareSample(HINTERNET connection, const UrlParts& parts, bool ignoreCertErrors,
                                           const ByteSpan& span, Error& failure) {
    InternetHandle request(openRequest(connection, parts, ignoreCertErrors));
    if (!request) {
        failure = networkError(::GetLastError());
        return Evidence::Failed;
    }
    // No If-Range: the bytes the server has now, whatever its validators say.
    const std::wstring headers = requestHeaders(
        parts.host, L"Range: bytes=" + std::to_wstring(span.offset) + L"-" + std::to_wstring(span.offset + span.length - 1) + L"\r\n");
    DWORD status = 0, error = 0;
    if (!exchange(request.get(), headers, parts, status, error)) {
        failure = networkError(error);
        return Evidence::Failed;
    }
    if (status == 200) return Evidence::Different;  // no ranges any more: nothing can vouch for the bytes
    if (status != 206) {
        failure = httpStatusError(status);
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

bool Download::resumeSamplesAgree(HINTERNET session, bool ignoreCertErrors) {
    std::vector<ByteSpan> samples;
    std::wstring link;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        samples = chooseSamples(segments_, samplePick());
        link = resolvedUrl_;
    }
    UrlParts parts;
    if (!crackUrl(link, parts)) throw Error{invalidLinkText(), ErrorKind::Link};
    InternetHandle connection(::WinHttpConnect(session, parts.host.c_str(), parts.port, 0));
    if (!connection) throw networkError(::GetLastError());
    for (const ByteSpan& span : samples) {
        Error failure;
        // A lost connection or a busy answer is asked again on the pause
        // ladder, as any request; past it the row fails, neither kept nor
        // thrown away (the next attempt samples again).
        Evidence evidence = Evidence::Failed;
        for (int failures = 1; evidence == Evidence::Failed || evidence == Evidence::None; ++failures) {
            evidence = compareSample(connection.get(), parts, ignoreCertErrors, span, failure);
            if (evidence == Evidence::Same || evidence == Evidence::Different) break;
            if (stopRequested_) throw Error{};
            if (failures > kMaxFailuresWithoutProgress ||
                ::WaitForSingleObject(stopEvent_.get(), retryPauseFor(hostKey(parts), failures)) == WAIT_OBJECT_0)
                throw stopRequested_ ? Error{} : failure;
        }
        if (evidence == Evidence::Different) return false;
    }
    return true;
}

int Download::settleSuspicion(ValidatorKind kind, const std::wstring& suspected, HINTERNET answer, bool answerFromZero,
                              HINTERNET connection, const UrlParts& parts, bool ignoreCertErrors) {
    // One judgement at a time: answers on many connections may raise the
    // same question, and the first verdict settles it for all.
    std::lock_guard<std::mutex> one(versionMutex_);
    if (stopRequested_) return kStop;
    std::vector<Segment> table;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (valueOf(validator_, kind) != suspected) return answerFromZero ? kAgain : kGoOn;  // settled already
        table = segments_;
    }
    Evidence evidence = Evidence::None;
    Error failure;
    // A whole file's first bytes are compared where the disk holds them;
    // otherwise a sample of bytes on disk is asked for.
    if (const int64_t prefix = answerFromZero ? donePrefix(table) : 0; prefix > 0) {
        std::string server, disk;
        if (!readAnswer(answer, prefix, server) || !readPart(0, prefix, disk)) evidence = Evidence::Failed;
        else evidence = server == disk ? Evidence::Same : Evidence::Different;
    } else if (const std::vector<ByteSpan> samples = chooseSamples(table, 0); !samples.empty()) {
        evidence = compareSample(connection, parts, ignoreCertErrors, samples[0], failure);
    }
    switch (evidence) {
        case Evidence::Same: {
            // The host's validator of this kind does not tell versions apart.
            std::lock_guard<std::mutex> lock(stateMutex_);
            forget(validator_, kind);
            retired_[static_cast<size_t>(kind)] = true;  // at later starts too
            savedDoneBytes_ = -1;  // the state file stops recording it at the next save
            return answerFromZero ? kAgain : kGoOn;
        }
        case Evidence::Different:
            restartFromZero();
            return kStop;
        case Evidence::None:
            // Nothing on disk to compare with yet: ask again after a pause
            // (on a farm the next answer may well agree, and other
            // connections bring bytes meanwhile). When every answer keeps
            // contradicting, the file changed: start over, nothing is lost.
            if (++blindSuspicions_ >= 2 * workerCount_) {
                restartFromZero();
                return kStop;
            }
            return kRetry;
        default:
            if (stopRequested_) return kStop;
            if (!failure.message.empty()) setError(failure);
            return kRetry;
    }
}

}  // namespace zeb
