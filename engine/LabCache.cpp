#include "engine/LabCache.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include "engine/Checksum.h"
#include "engine/Credentials.h"
#include "engine/Segments.h"
#include "engine/StrictNumber.h"
#include "store/FileServices.h"
#include "store/Text.h"

namespace zeb {
namespace {
constexpr int64_t kDayTicks = 864000000000;  // 100 ns ticks

std::mutex g_cacheMutex;
std::wstring g_cacheFolder;
std::vector<std::wstring> g_notesSaid;  // g_cacheMutex
std::wstring g_notePending;              // g_cacheMutex

std::wstring Sha256Hex(const std::wstring& text) {
    const std::string bytes = Utf16ToUtf8(text);
    Digest digest;
    digest.add(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<ULONG>(bytes.size()));
    return digest.finish();
}
}  // namespace

void setLabCacheFolder(const std::wstring& folder) {
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    g_cacheFolder = folder;
    while (g_cacheFolder.size() > 3 && (g_cacheFolder.back() == L'\\' || g_cacheFolder.back() == L'/')) g_cacheFolder.pop_back();
}

std::wstring labCacheFolder() {
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    return g_cacheFolder;
}

void noteLabCache(const std::wstring& text) {
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    if (std::find(g_notesSaid.begin(), g_notesSaid.end(), text) != g_notesSaid.end()) return;
    g_notesSaid.push_back(text);
    g_notePending = text;
}

std::wstring takeLabCacheNote() {
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    return std::exchange(g_notePending, {});
}

std::optional<CacheKey> cacheKeyBySum(const std::wstring& sha256) {
    const std::optional<std::wstring> sum = normalChecksum(sha256);
    if (!sum || sum->size() != 64) return std::nullopt;
    return CacheKey{L"sha256-" + *sum, true};
}

std::optional<CacheKey> cacheKeyByLink(const std::wstring& url, int64_t totalSize, const Validator& version) {
    if (totalSize <= 0 || version.empty()) return std::nullopt;
    // The same file under a link signed again: its query and fragment, and
    // any password in it, say nothing of the file.
    std::wstring link = linkWithoutUserInfo(url);
    link = link.substr(0, link.find_first_of(L"?#"));
    const std::wstring seen = version.etag.empty() ? L"date " + version.modified : L"etag " + version.etag;
    const std::wstring hex = Sha256Hex(link + L"\n" + std::to_wstring(totalSize) + L"\n" + seen);
    if (hex.empty()) return std::nullopt;
    return CacheKey{L"link-" + hex, false};
}

std::string cacheLockText(const CacheLock& lock) {
    return "TWLOCK 1\r\nrun=" + Utf16ToUtf8(lock.run) + "\r\ncomputer=" + Utf16ToUtf8(lock.computer) +
           "\r\nbeat=" + std::to_string(lock.beat) + "\r\nend\r\n";
}

std::optional<CacheLock> parseCacheLock(const std::string& text) {
    if (text.compare(0, 8, "TWLOCK 1") != 0) return std::nullopt;
    CacheLock lock;
    bool beat = false, end = false;
    for (const std::string& raw : SplitAtLf(text)) {
        const std::wstring line = Trim(Utf8ToUtf16(raw));
        if (line.compare(0, 4, L"run=") == 0) {
            lock.run = line.substr(4);
        } else if (line.compare(0, 9, L"computer=") == 0) {
            lock.computer = line.substr(9);
        } else if (line.compare(0, 5, L"beat=") == 0) {
            const std::optional<int64_t> n = ParseStrictNumber(line.substr(5));
            beat = n.has_value();
            lock.beat = n ? static_cast<uint64_t>(*n) : 0;
        } else if (line == L"end") {
            end = true;
        }
    }
    // Written whole or not at all by its writer; a reader on another machine
    // may still meet a cut one.
    if (!beat || !end || lock.run.empty()) return std::nullopt;
    return lock;
}

FollowerStep watchLock(LockWatch& watch, const std::optional<CacheLock>& lock, uint64_t nowMs, uint64_t staleMs) {
    if (!lock) return FollowerStep::Fetched;
    if (lock->run != watch.run || lock->beat != watch.beat) {
        watch.run = lock->run;
        watch.beat = lock->beat;
        watch.sinceMs = nowMs;
        return FollowerStep::Wait;
    }
    return nowMs - watch.sinceMs >= staleMs ? FollowerStep::TakeOver : FollowerStep::Wait;
}

bool abandonedFetch(int64_t lockWrittenTicks, int64_t probeWrittenTicks) {
    return probeWrittenTicks - lockWrittenTicks >= kDayTicks;
}

ByteSpan nextToFollow(const std::vector<Segment>& fetcherState, int64_t copied) {
    const int64_t front = doneFront(fetcherState);
    return front > copied ? ByteSpan{copied, front - copied} : ByteSpan{copied, 0};
}

}  // namespace zeb
