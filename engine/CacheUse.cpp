// The lab cache as a job uses it: a file the room has is copied from the
// cache; a file another machine fetches is followed as its bytes land; a
// file nobody has is fetched once into the cache by this machine (a job of
// its own, whose partial file the others follow) and copied from there like
// everyone's. The server is the way out whenever the cache cannot serve: the
// bytes already copied stay and the download resumes from them.
#include <windows.h>

#include <algorithm>
#include <functional>
#include <numeric>

#include "engine/Download.h"
#include "engine/Error.h"
#include "engine/ErrorTexts.h"
#include "engine/FileNames.h"
#include "engine/LabCache.h"
#include "engine/LabShare.h"
#include "engine/NameChoice.h"
#include "engine/Timing.h"
#include "store/FileServices.h"

namespace zeb {
namespace {
constexpr DWORD kCopyChunk = 1048576;
// What one look copies at most, so that a fetcher's beat is never held up
// by its own copy to a slow folder.
constexpr int64_t kCopyPerLook = 32 * kCopyChunk;

FileHandle OpenShared(const std::wstring& path) {
    // Shared every way: the fetcher goes on writing, and renames the file
    // when it is done.
    return FileHandle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// This machine's fetch for the room: its job and its lock. Let go on every
// way out (a stop, a failure, the end), so that the room is never left
// waiting on a lock nobody beats.
class RoomFetch {
public:
    explicit RoomFetch(LabShare& share) : share_(share), lock_(newCacheLock()) {}
    ~RoomFetch() { end(); }
    RoomFetch(const RoomFetch&) = delete;
    RoomFetch& operator=(const RoomFetch&) = delete;

    const CacheLock& lock() const { return lock_; }
    Download* job() const { return job_.get(); }
    bool fetching() const { return job_ != nullptr; }
    void start(const std::wstring& url, const RequestOptions& options, int connections, bool ignoreCertErrors) {
        share_.adoptFetchState(url);
        job_ = std::make_shared<Download>(url, share_.folder(), share_.fetchName(), options);
        job_->start(connections, ignoreCertErrors);
        beatAt_ = ::GetTickCount64();
    }
    // Beats when it is time: false when the lock was lost (another machine
    // took over after beats that did not land): the fetch stops.
    bool beat() {
        if (::GetTickCount64() - beatAt_ < static_cast<uint64_t>(timing().cacheBeatMs)) return true;
        beatAt_ = ::GetTickCount64();
        if (share_.beat(lock_)) return true;
        stopJob();
        job_.reset();
        return false;
    }
    // The fetch ended: its last snapshot; the lock goes.
    DownloadInfo ended() {
        const DownloadInfo info = job_->snapshot(false);
        if (info.state == DownloadState::Completed) job_->forgetFinishedState();
        job_.reset();
        share_.release(lock_);
        return info;
    }
    void end() {
        if (!job_) return;
        stopJob();
        job_.reset();
        share_.release(lock_);
    }

private:
    void stopJob() {
        job_->pause();
        ::WaitForSingleObject(job_->finishedEvent(), INFINITE);  // its state saved for whoever takes over
    }

    LabShare& share_;
    CacheLock lock_;
    std::shared_ptr<Download> job_;
    uint64_t beatAt_ = 0;
};

// One look at the room: this machine's fetch ended (published) or beats
// on; else the lock is made, followed, or taken over from a fetcher whose
// beat stood still. The note to go to the server with, when it must.
std::optional<std::wstring> lookAtRoom(LabShare& share, RoomFetch& fetch, LockWatch& watch,
                                       std::optional<CacheEntry>& entry, const std::function<void()>& startFetch) {
    if (fetch.fetching() && !fetch.job()->running()) {
        const DownloadInfo info = fetch.ended();
        if (info.state == DownloadState::Completed) {
            entry = share.publish(share.folder() + L"\\" + info.fileName, info.sha256);
            if (!entry) entry = CacheEntry{share.folder() + L"\\" + info.fileName, info.sha256};  // unpublished, still whole
        } else if (info.state == DownloadState::Failed) {
            if (info.errorKind == ErrorKind::Disk) return labCacheFullText();
            throw Error{info.errorText, info.errorKind};
        }
        return std::nullopt;
    }
    if (fetch.fetching()) {
        fetch.beat();
        return std::nullopt;
    }
    if (entry) return std::nullopt;
    const LockReading reading = share.readLock();
    if (!reading.present) {
        switch (share.claim(fetch.lock())) {
            case LabShare::Claim::Taken: startFetch(); break;
            case LabShare::Claim::Held: break;  // another machine was first: follow it
            case LabShare::Claim::ReadOnly: return labCacheReadOnlyText();
            case LabShare::Claim::Unreachable: return labCacheUnreachableText();
            case LabShare::Claim::Failed: return labCacheFullText();
        }
        return std::nullopt;
    }
    // A lock read cut stands for the one seen before: a fetcher that died
    // while writing it goes stale like any other.
    std::optional<CacheLock> seen = reading.lock;
    if (!seen) seen = CacheLock{watch.run.empty() ? std::wstring(L"?") : watch.run, L"", watch.beat};
    if (watchLock(watch, seen, ::GetTickCount64(), static_cast<uint64_t>(timing().cacheStaleMs)) != FollowerStep::TakeOver)
        return std::nullopt;
    watch = {};
    if (!share.takeOver(fetch.lock())) return std::nullopt;  // another follower was faster
    // A dead machine's handle may still hold the partial file: nobody can
    // go on with it; this machine asks the server.
    if (fileSystemProbe().heldOpen(share.fetchPartPath())) {
        share.release(fetch.lock());
        return std::wstring();
    }
    startFetch();
    return std::nullopt;
}
}  // namespace

bool Download::throughLabCache(const RunShared& run, int connections, std::optional<ProbeResult>& probed) {
    const std::wstring folder = labCacheFolder();
    std::wstring url, expected;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (disk_.intoLabCache || newLink_.trial) return false;
        url = address_.url;
        expected = expectedChecksum_;
    }
    if (folder.empty()) return false;
    std::optional<CacheKey> key = cacheKeyBySum(expected);
    if (key) {
        // Known by its sum: a lab that is offline still gets what it has.
        LabShare share(folder, key->name);
        if (const std::optional<CacheEntry> entry = share.entry()) {
            LARGE_INTEGER size{};
            FileHandle file = OpenShared(entry->path);
            if (file && ::GetFileSizeEx(file.get(), &size) && size.QuadPart > 0) {
                ProbeResult offline;
                offline.finalUrl = url;
                offline.fileName = fileNameFromUrl(url);
                offline.totalSize = size.QuadPart;
                offline.acceptsRanges = true;
                file.reset();
                if (shareWithRoom(run, offline, share, connections, true) || control_.stopRequested) return true;
            }
        }
    }
    probed = probeUntilAnswered(run);
    if (control_.stopRequested) return true;
    if (!key) key = cacheKeyByLink(url, probed->totalSize, probed->validator);
    // A copy known by its link is confirmed by one sample of its server.
    if (!key || probed->totalSize <= 0 || (!key->bySum && !probed->acceptsRanges)) return false;
    LabShare share(folder, key->name);
    return shareWithRoom(run, *probed, share, connections, key->bySum) || control_.stopRequested;
}

bool Download::shareWithRoom(const RunShared& run, const ProbeResult& probed, LabShare& share, int connections,
                             bool bySum) {
    if (!prepareFile(probed, 1, disk_.startOver)) return true;
    if (disk_.samplesBeforeResume) {
        // Bytes of a version nothing vouches for: the copy starts afresh.
        disk_.file.reset();
        prepareFile(probed, 1, true);
    }
    startHashing(expectedChecksumLength());
    const int64_t total = probed.totalSize;
    int64_t copied;
    RequestOptions options;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        state_ = DownloadState::Downloading;
        copied = table_.front();
        options = {address_.referer, address_.cookies, address_.userAgent, expectedChecksum_};
        options.intoLabCache = true;
    }
    // Back to the server: the bytes copied so far are recorded and stay.
    const auto toServer = [&](const std::wstring& note) {
        if (!note.empty()) noteCache(note);
        saveState();
        disk_.hasher.reset();
        disk_.file.reset();
        return false;
    };
    RoomFetch fetch(share);
    bool fetchedHere = false;
    const auto startFetch = [&] {
        fetch.start(address_.url, options, connections, run.ignoreCertErrors);
        fetchedHere = true;
    };
    LockWatch watch;
    std::optional<CacheEntry> entry;
    FileHandle source;
    bool sourceIsEntry = false;
    double savedAt = now();
    for (;;) {
        if (control_.stopRequested) {
            fetch.end();
            saveState();
            return true;
        }
        if (!entry) entry = share.entry();
        if (const std::optional<std::wstring> note = lookAtRoom(share, fetch, watch, entry, startFetch)) return toServer(*note);
        // What there is to copy: the whole entry, or the fetch's bytes from
        // byte 0 as its state records them.
        if (entry && !sourceIsEntry) {
            source = OpenShared(entry->path);
            sourceIsEntry = true;
            if (!source) return toServer(labCacheUnreachableText());
        }
        int64_t upTo = copied;
        if (sourceIsEntry) {
            upTo = total;
        } else if (const std::optional<std::vector<Segment>> state = share.fetchState()) {
            if (totalOf(*state) != total) return toServer(L"");  // another size: not this file
            if (!source) source = OpenShared(share.fetchPartPath());
            if (source) {
                const ByteSpan next = nextToFollow(*state, copied);
                upTo = next.offset + next.length;
            }
        }
        upTo = std::min(upTo, copied + kCopyPerLook);
        const int64_t before = copied;
        if (upTo > copied && !copyFromCache(source.get(), copied, upTo)) {
            if (sourceIsEntry) return toServer(labCacheUnreachableText());
            source.reset();  // the fetch's file moved on (renamed into its entry)
        }
        if (copied >= total && sourceIsEntry) break;
        if (now() - savedAt >= timing().saveIntervalSeconds) {
            saveState();
            savedAt = now();
        }
        if (copied == before) ::WaitForSingleObject(run.stop, static_cast<DWORD>(timing().cachePollMs));
    }
    source.reset();
    fetch.end();
    return finishFromCache(run, share, *entry, fetchedHere, bySum) || toServer(L"");
}

bool Download::finishFromCache(const RunShared& run, LabShare& share, const CacheEntry& entry, bool fetchedHere,
                               bool bySum) {
    const std::wstring aside = randomRunId();  // names the set-aside copy
    if (!bySum && !fetchedHere && !resumeSamplesAgree(run, true)) {
        // The server's bytes are not the entry's: never handed out.
        share.setAside(entry, aside);
        disk_.startOver = true;
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        disk_.cacheSum = entry.sha256;
        shown_.fromLabCache = !fetchedHere;
        shown_.speed = 0;
    }
    try {
        finalize();
    } catch (const DamagedEntry&) {
        share.setAside(entry, aside);
        std::lock_guard<std::mutex> lock(stateMutex_);
        shown_.fromLabCache = false;
        disk_.startOver = true;  // the copied bytes are not the file
        return false;
    }
    return true;
}

bool Download::copyFromCache(HANDLE source, int64_t& copied, int64_t to) {
    std::vector<char> buffer(kCopyChunk);
    const double startedAt = now();
    const int64_t from = copied;
    size_t next = 0;  // the ranges lie in order of start (a plan, or a state as written)
    while (copied < to && !control_.stopRequested) {
        const DWORD want = static_cast<DWORD>(std::min<int64_t>(kCopyChunk, to - copied));
        DWORD got = 0, wrote = 0;
        OVERLAPPED readAt = AtOffset(copied);
        if (!::ReadFile(source, buffer.data(), want, &got, &readAt) || got == 0) return false;
        OVERLAPPED writeAt = AtOffset(copied);
        if (!::WriteFile(disk_.file.get(), buffer.data(), got, &wrote, &writeAt) || wrote != got)
            throw Error{diskWriteFailedText(systemErrorText(::GetLastError())), ErrorKind::Disk};
        copied += got;
        std::lock_guard<std::mutex> lock(stateMutex_);
        // Every range the copied bytes reach moves up to them.
        for (size_t i = next; i < table_.segments().size() && table_.segments()[i].start < copied; ++i) {
            const Segment& s = table_.segments()[i];
            if (s.pos < std::min(s.end, copied)) table_.advance(i, std::min(s.end, copied));
            if (s.end <= copied && i == next) ++next;
        }
        if (disk_.hasher) disk_.hasher->advance(table_.front(), disk_.plainAttempts);
        const double took = now() - startedAt;
        if (took > 0.2) shown_.speed = static_cast<double>(copied - from) / took;
    }
    return true;
}

void Download::noteCache(const std::wstring& text) { noteLabCache(text); }

}  // namespace zeb
