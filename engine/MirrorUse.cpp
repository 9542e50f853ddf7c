// One file from several servers: the link's address and its mirrors share
// the connections; a mirror that fails is dropped for this file with a line
// saying why, and the file fails only when none is left. No validator of
// the link's host means anything to a mirror: the size, the publisher's
// piece hashes and the whole file's sum decide.
#include <algorithm>
#include <optional>

#include "engine/ContentRange.h"
#include "engine/Download.h"
#include "engine/Error.h"
#include "engine/ErrorTexts.h"
#include "engine/HostEtiquette.h"
#include "engine/Http.h"
#include "engine/Checksum.h"
#include "engine/Url.h"
#include "store/FileServices.h"

namespace zeb {
namespace {
// Attempts in a row without a byte from a mirror before it is dropped: a
// stalled mirror must not hold its ranges while others serve.
constexpr int kMirrorFailures = 3;
constexpr int kMostMirrorRedirects = 10;

bool IsRedirect(DWORD status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The host as a user knows it: its name, and its port when not the scheme's own.
std::wstring ShownHost(const std::wstring& url) {
    UrlParts parts;
    if (!crackUrl(url, parts)) return url;
    const bool usual = parts.port == (parts.secure ? 443 : 80);
    return usual ? parts.host : parts.host + L":" + std::to_wstring(parts.port);
}
}  // namespace

ProbeResult Download::probeSources(const RunShared& run) {
    bool several;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        mirrors_->sources.assign(address_.url, mirrors_->given);
        several = mirrors_->sources.several();
    }
    const auto otherSize = [&](const ProbeResult& probed) {
        std::lock_guard<std::mutex> lock(stateMutex_);
        return mirrors_->statedSize >= 0 && probed.totalSize >= 0 && probed.totalSize != mirrors_->statedSize;
    };
    std::optional<ProbeResult> probed;
    std::optional<Error> first;
    size_t k = 0;
    for (;; ++k) {
        std::wstring url;
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            if (k >= mirrors_->sources.size()) break;
            url = mirrors_->sources.at(k).url;
        }
        try {
            ProbeResult answer = k == 0 ? probeUntilAnswered(run) : probe(run, 0, &url);
            if (otherSize(answer)) throw Error{otherSizeText(), ErrorKind::ServerFailed};
            probed = std::move(answer);
            break;
        } catch (const Error& e) {
            // A stop, a Metalink, or the link alone: as without mirrors.
            if (control_.stopRequested || e.message.empty() || e.kind == ErrorKind::Metalink || !several) throw;
            if (!first) first = e;
            std::lock_guard<std::mutex> lock(stateMutex_);
            mirrors_->sources.drop(k);
            mirrors_->notes.push_back(sourceDroppedText(ShownHost(url), e.message));
        }
    }
    if (!probed) throw *first;
    std::lock_guard<std::mutex> lock(stateMutex_);
    for (const std::wstring& url : probed->duplicates) mirrors_->sources.addFromHeader(url);
    if (expectedChecksum_.empty()) expectedChecksum_ = probed->statedChecksum;
    return *probed;
}

bool Download::chooseSource(Connection& c, std::wstring& link) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    SourceSet& set = mirrors_->sources;
    const int sole = mirrors_->sole;
    if (c.handle && c.source >= 0 && !set.at(static_cast<size_t>(c.source)).dropped && (sole < 0 || c.source == sole) &&
        (c.source == 0 ? c.generation == address_.generation : c.sourceUrl == set.at(static_cast<size_t>(c.source)).url))
        return true;
    const int next = set.pick(sole);
    if (next < 0) return false;
    set.move(c.source, next);
    if (next != c.source) c.failures = 0;
    c.source = next;
    link = next == 0 ? address_.resolvedUrl : set.at(static_cast<size_t>(next)).url;
    c.sourceUrl = link;
    c.generation = address_.generation;
    return true;
}

Download::Step Download::judgeMirrorAnswer(const Piece& piece, Connection& c) {
    const DWORD status = piece.status;
    if (control_.stopRequested) return Step::Stop;
    if (status == 206) {
        const ContentRange answered = parseContentRange(queryHeader(piece.request, WINHTTP_QUERY_CONTENT_RANGE));
        if (answered.total && piece.total >= 0 && *answered.total != piece.total) {
            dropSource(c.source, {otherSizeText(), ErrorKind::ServerFailed});
            return Step::Again;
        }
        if (answered.start != piece.pos) {
            setError({wrongRangeText(), ErrorKind::ServerFailed});
            return Step::Retry;
        }
        return Step::GoOn;
    }
    if (IsRedirect(status) && ++c.redirects <= kMostMirrorRedirects) {
        // Mirror lists often name a redirector: its answer is where to go.
        const std::wstring next = resolveRedirect(queryHeader(piece.request, WINHTTP_QUERY_LOCATION), c.parts);
        UrlParts nextParts;
        size_t begin, end;
        if (!next.empty() && crackUrl(next, nextParts) && (nextParts.secure || !c.parts.secure) &&
            !userInfoSpan(next, begin, end)) {
            std::lock_guard<std::mutex> lock(stateMutex_);
            Source& s = mirrors_->sources.at(static_cast<size_t>(c.source));
            if (s.url == c.sourceUrl) s.url = next;
            return Step::Again;
        }
    }
    noteRetryAfter(piece.request, status, c.host);
    if (isBusyStatus(status)) {
        if (isRefusalStatus(status) && hostServes(c.host) && learnLimitFromRefusal(c.host)) return Step::Limited;
        setError(httpStatusError(status));
        return Step::Retry;
    }
    if (status >= 500) {
        setError(httpStatusError(status));
        return Step::Retry;
    }
    dropSource(c.source, status == 200 ? Error{rangesStoppedText(), ErrorKind::ServerFailed} : httpStatusError(status));
    return Step::Again;
}

void Download::dropSource(int source, const Error& why) {
    bool noneLeft;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        SourceSet& set = mirrors_->sources;
        if (source < 0 || !set.drop(static_cast<size_t>(source))) return;
        const std::wstring& url = source == 0 ? address_.resolvedUrl : set.at(static_cast<size_t>(source)).url;
        mirrors_->notes.push_back(sourceDroppedText(ShownHost(url), why.message));
        noneLeft = set.pick(mirrors_->sole) < 0;
    }
    if (noneLeft) failEveryWorker(why);
}

bool Download::repairFromOneSource() {
    std::lock_guard<std::mutex> lock(stateMutex_);
    const SourceSet& set = mirrors_->sources;
    if (!set.several() || mirrors_->checkPieces) return false;
    if (mirrors_->sole >= 0) {
        // The one asked alone sent a file that does not match either.
        const Source& alone = set.all()[static_cast<size_t>(mirrors_->sole)];
        mirrors_->notes.push_back(sourceDroppedText(ShownHost(mirrors_->sole == 0 ? address_.url : alone.url), wholeFileMismatchText()));
    }
    size_t next = static_cast<size_t>(mirrors_->sole + 1);
    while (next < set.size() && set.all()[next].dropped) ++next;
    if (next >= set.size()) return false;
    mirrors_->sole = static_cast<int>(next);
    return true;
}

bool Download::pieceMatches(size_t piece, const std::wstring& sum, int source) {
    std::wstring expected;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        expected = piece < mirrors_->pieces.sha256.size() ? mirrors_->pieces.sha256[piece] : std::wstring();
    }
    if (expected.empty() || sum == expected) return true;
    dropSource(source, {pieceMismatchText(), ErrorKind::Checksum});
    return false;
}

void Download::writeSourcesMeta(const std::wstring& partPath) {
    SourcesMeta meta;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        meta.mirrors = mirrors_->given;
        meta.pieces = mirrors_->pieces;
        meta.size = mirrors_->statedSize;
    }
    const std::wstring path = sourcesMetaPath(partPath);
    // Nothing to keep: an older meta of another file under this name goes.
    if (meta.empty()) ::DeleteFileW(path.c_str());
    else WriteFileAtomic(path, sourcesMetaText(meta));
}

void Download::readSourcesMeta(const std::wstring& partPath) {
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (!mirrors_->given.empty() || !mirrors_->pieces.empty()) return;  // the request named them
    }
    SourcesMeta meta;
    if (!parseSourcesMeta(ReadWholeFile(sourcesMetaPath(partPath), 64 * 1024 * 1024), meta)) return;
    std::lock_guard<std::mutex> lock(stateMutex_);
    mirrors_->given = std::move(meta.mirrors);
    mirrors_->pieces = std::move(meta.pieces);
    if (mirrors_->statedSize < 0) mirrors_->statedSize = meta.size;
}

}  // namespace zeb
