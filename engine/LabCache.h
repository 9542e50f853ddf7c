// The lab cache's decisions, as plain functions of plain data: what a file
// is known by in a folder that every machine of a room reaches, what its
// fetcher's lock says, when a follower takes over from a fetcher that
// stopped, when a fetch was abandoned, and which bytes a follower may copy.
// The folder itself is the only meeting point: nothing here speaks to
// another machine, and no clock but this machine's own tick count (for the
// lock's beat) and the share's own file times (for abandonment) is trusted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/Samples.h"
#include "engine/Types.h"
#include "engine/Validator.h"

namespace zeb {

// The folder every job of this process shares its downloads through (the
// Settings' LabCache, or --cache); empty: none. A job reads it as it starts.
void setLabCacheFolder(const std::wstring& folder);
std::wstring labCacheFolder();
// What the cache could not do (read-only, full, out of reach), said once a
// process: a job notes it, the window's status line or --get's output takes it.
void noteLabCache(const std::wstring& text);
std::wstring takeLabCacheNote();

// What a cached file is known by. With a SHA-256 known before the download
// the key is that sum and a hit needs no origin; otherwise it is the link
// without its query and fragment, the size and the version the probe saw,
// and a hit is confirmed by one sample from the origin.
struct CacheKey {
    std::wstring name;   // a file name in the cache folder: "sha256-<hex>" or "link-<hex of the link, size, version>"
    bool bySum = false;  // a hit needs no origin
};

// The key of a file whose SHA-256 (64 hex digits, any case) is known.
std::optional<CacheKey> cacheKeyBySum(const std::wstring& sha256);
// The key of a file known by its link: none without a size or a version
// (a strong ETag, else a date), which nothing could tell apart from another.
std::optional<CacheKey> cacheKeyByLink(const std::wstring& url, int64_t totalSize, const Validator& version);

// The fetcher's lock: its run (a random id), its computer (for people) and
// a beat it counts up while it fetches.
struct CacheLock {
    std::wstring run;
    std::wstring computer;
    uint64_t beat = 0;
};
std::string cacheLockText(const CacheLock& lock);
// Nothing when the text is not a whole lock (cut, or another's file).
std::optional<CacheLock> parseCacheLock(const std::string& text);

// A follower's watch over a fetcher's lock, on its own tick count: the
// share's file times come from other machines' clocks.
struct LockWatch {
    std::wstring run;      // the run it last saw
    uint64_t beat = 0;     // the beat it last saw
    uint64_t sinceMs = 0;  // its own tick count when it last saw either change
};
enum class FollowerStep { Wait, TakeOver, Fetched };
// What a follower does at `nowMs` on reading the lock (nothing: it is gone,
// the fetch ended or the fetcher gave it up): a beat that stood still for
// `staleMs` means a dead fetcher.
FollowerStep watchLock(LockWatch& watch, const std::optional<CacheLock>& lock, uint64_t nowMs, uint64_t staleMs);

// A fetch abandoned: its lock last written a day or more before a file
// just written to the same share (both times from the share's clock).
bool abandonedFetch(int64_t lockWrittenTicks, int64_t probeWrittenTicks);

// What a follower copies next of the fetcher's partial file: the bytes its
// state says are done from byte 0 on, past the `copied` the follower has
// (none while the front stands; pieces go out in order, so it trails the
// fetch closely).
ByteSpan nextToFollow(const std::vector<Segment>& fetcherState, int64_t copied);

}  // namespace zeb
