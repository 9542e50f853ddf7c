// Signed links: a link that redirects to an address signed for seconds or
// hours (cloud storage, vendor images). When that address stops answering
// where it served before, the original link is asked for a fresh one; if it
// serves the same file, every connection goes on there without losing a byte.
#include <windows.h>

#include <algorithm>

#include "engine/Download.h"
#include "engine/Error.h"
#include "engine/ErrorTexts.h"
#include "engine/Http.h"
#include "engine/Timing.h"
#include "engine/Url.h"

namespace zeb {
namespace {
constexpr size_t kRenewalsPerMinute = 3;
}

Download::Step Download::renewLink(const RunShared& run, uint32_t seen, size_t slot, const Error& refusal) {
    std::lock_guard<std::mutex> one(address_.renewMutex);
    if (control_.stopRequested) return Step::Stop;
    Validator recorded;
    int64_t total;
    std::vector<Segment> table;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (address_.generation != seen) return Step::Again;  // another connection renewed it meanwhile
        recorded = disk_.validator;
        total = table_.total();
        table = table_.segments();
    }
    const double t = now();
    address_.renewals.erase(std::remove_if(address_.renewals.begin(), address_.renewals.end(), [t](double at) { return t - at >= 60; }), address_.renewals.end());
    if (address_.renewals.size() >= kRenewalsPerMinute) {
        failEveryWorker(refusal);
        return Step::Stop;
    }
    address_.renewals.push_back(t);
    ProbeResult fresh;
    try {
        fresh = probe(run, slot);
    } catch (const Error& e) {
        if (control_.stopRequested) return Step::Stop;
        if (e.retryable && ++address_.renewalFailures <= kMaxFailuresWithoutProgress) {
            // A lost connection or a busy answer is no refusal: the worker
            // pauses and its refused request brings it here again.
            address_.renewals.pop_back();
            setError(e);
            return Step::Retry;
        }
        failEveryWorker(e.message.empty() ? refusal : e);
        return Step::Stop;
    }
    // The same file: its size, then the bytes wherever the validators do
    // not vouch for it (none shared, or one that differs: the new address
    // may be another node of a farm), asked of the new address.
    const VersionVerdict verdict = compareVersions(recorded, fresh.validator);
    bool same = fresh.totalSize == total && fresh.acceptsRanges;
    if (same && verdict != VersionVerdict::Same) {
        if (const Step step = sampleRenewedAddress(run, fresh, recorded, table, same); step != Step::GoOn) return step;
    }
    if (!same) {
        // Another file behind the same link now: from byte 0, with its notice.
        restartFromZero();
        return Step::Stop;
    }
    address_.renewalFailures = 0;
    std::lock_guard<std::mutex> lock(stateMutex_);
    address_.resolvedUrl = fresh.finalUrl;
    address_.redirected = fresh.redirected;
    ++address_.generation;
    address_.served = false;
    address_.servedOnAddress = 0;
    return Step::Again;
}

Download::Step Download::sampleRenewedAddress(const RunShared& run, const ProbeResult& fresh, const Validator& recorded,
                                              const std::vector<Segment>& table, bool& same) {
    const int64_t total = fresh.totalSize;
    UrlParts parts;
    if (!crackUrl(fresh.finalUrl, parts)) {
        failEveryWorker({invalidLinkText(), ErrorKind::Link});
        return Step::Stop;
    }
    // A request to the host like any other: it waits for a place.
    const HostConnection place(hostKey(parts), run.stop);
    if (!place) return Step::Stop;
    InternetHandle connection(::WinHttpConnect(run.session, parts.host.c_str(), parts.port, 0));
    Error failure;
    // A connection the host dropped may still wait in the pool: the
    // next request gets a fresh one.
    Evidence evidence = Evidence::Failed;
    for (int attempt = 0; attempt < kMaxFailuresWithoutProgress && evidence == Evidence::Failed && connection &&
                          !control_.stopRequested;
         ++attempt)
        evidence = compareSamples(run, connection.get(), parts, chooseSamples(table, samplePick()),
                                  total, failure);
    if (control_.stopRequested) return Step::Stop;
    if (evidence == Evidence::Refused) {
        address_.renewals.pop_back();  // the host's limit: asked again once there is a place
        return Step::Limited;
    }
    if (evidence == Evidence::Failed) {
        if (++address_.renewalFailures > kMaxFailuresWithoutProgress) {
            failEveryWorker(failure);
            return Step::Stop;
        }
        address_.renewals.pop_back();
        setError(failure);
        return Step::Retry;
    }
    same = evidence != Evidence::Different;
    if (same) for (const ValidatorKind kind : contradictions(recorded, fresh.validator)) retire(kind);
    return Step::GoOn;
}

}  // namespace zeb
