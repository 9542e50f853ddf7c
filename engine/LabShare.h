// The lab cache folder as one machine meets it, for one file: its published
// entry, its fetcher's lock, and the partial file the fetcher writes. The
// only calls that decide between machines are a lock made with CREATE_NEW
// and a rename that replaces nothing: both are atomic on NTFS and on a
// share alike, and nothing else here is trusted to be.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/LabCache.h"
#include "engine/Types.h"

namespace zeb {

// A published file: whole, verified, named "<key>=<its SHA-256>".
struct CacheEntry {
    std::wstring path;
    std::wstring sha256;
};

// An entry's SHA-256 by its file name, when the name is this key's entry.
std::optional<std::wstring> entrySumOf(const std::wstring& fileName, const std::wstring& keyName);

// What a lock file says as it is read: gone, there but not whole (being
// written, or cut by a machine that died while writing), or a lock.
struct LockReading {
    bool present = false;
    std::optional<CacheLock> lock;
};

class LabShare {
public:
    LabShare(std::wstring folder, std::wstring keyName);

    // The fetch's file names: the partial file the fetcher's download writes
    // (its state beside it), and the name that download finishes under.
    std::wstring fetchName() const { return key_ + L".fetch"; }
    const std::wstring& folder() const { return folder_; }
    std::wstring fetchPartPath() const;
    std::wstring fetchStatePath() const;

    std::optional<CacheEntry> entry() const;

    enum class Claim { Taken, Held, ReadOnly, Unreachable, Failed };
    // Makes the lock for `lock`'s run unless one is there. A lock whose
    // fetch was abandoned for a day by the share's own clock is removed
    // first, with its partial file and state.
    Claim claim(const CacheLock& lock);
    LockReading readLock() const;
    // Writes `lock`'s next beat: false when the lock is no longer this run's.
    bool beat(CacheLock& lock);
    // Removes the lock if it is still this run's.
    void release(const CacheLock& lock);
    // A stale lock renamed aside (only one follower's rename succeeds), then
    // a fresh lock of this run's: false when another was faster.
    bool takeOver(const CacheLock& lock);
    // The fetcher's partial file's ranges, by its state (none when there is
    // no whole state to read).
    std::optional<std::vector<Segment>> fetchState() const;
    // The fetcher's state names this link from now on (a follower that took
    // over asks with its own link, signed for it).
    void adoptFetchState(const std::wstring& url) const;
    // The finished fetch `finishedPath` becomes this key's entry, unless one
    // is there already (another machine's; this one then goes). The entry
    // there afterwards, if any.
    std::optional<CacheEntry> publish(const std::wstring& finishedPath, const std::wstring& sha256);
    // A damaged entry is renamed aside for every machine, never deleted.
    void setAside(const CacheEntry& damaged, const std::wstring& run) const;

private:
    std::wstring path(const std::wstring& name) const { return folder_ + L"\\" + name; }
    bool abandoned() const;
    void removeAbandoned();

    std::wstring folder_, key_;
};

// 16 random hex digits: a run's id, or a name of its own for a file set aside.
std::wstring randomRunId();
// A new run id and this computer's name, for a lock.
CacheLock newCacheLock();

}  // namespace zeb
