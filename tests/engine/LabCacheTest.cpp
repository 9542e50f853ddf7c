// The lab cache's decisions as plain functions: what a file is known by,
// what a fetcher's lock says, when a follower takes over, what it copies.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "engine/LabCache.h"
#include "engine/LabShare.h"
#include "store/FileServices.h"
#include "support/TempFolder.h"

namespace {
using namespace zeb;
constexpr int64_t MiB = 1048576;

TEST(LabCache, AFileIsKnownByItsSumOrByItsLinkSizeAndVersionNeverByItsQuery) {
    // Catches a link signed again (another query, another password) taken for another file, so the
    // room fetches it once per token; and a file without size or version shared, which another file
    // of that link could be taken for.
    const Validator tag{L"\"v1\"", L""}, date{L"", L"Mon, 01 Jan 2024 00:00:00 GMT"};
    const auto key = [](const std::wstring& url, int64_t size, const Validator& v) {
        const auto k = cacheKeyByLink(url, size, v);
        return k ? k->name : L"none";
    };
    const std::wstring base = key(L"https://h.example/a.wim?sig=1", 5 * MiB, tag);
    EXPECT_EQ(key(L"https://ann:pw@h.example/a.wim?sig=2#x", 5 * MiB, tag), base);
    for (const auto& other : {key(L"https://h.example/b.wim", 5 * MiB, tag), key(L"https://h.example/a.wim", 6 * MiB, tag),
                              key(L"https://h.example/a.wim", 5 * MiB, date), key(L"http://h.example/a.wim", 5 * MiB, tag)})
        EXPECT_NE(other, base);
    EXPECT_EQ(key(L"https://h.example/a.wim", -1, tag) + key(L"https://h.example/a.wim", 5 * MiB, {}), L"nonenone");
    const auto bySum = cacheKeyBySum(L" " + std::wstring(64, L'A'));
    ASSERT_TRUE(bySum);
    EXPECT_EQ(std::make_pair(bySum->name, bySum->bySum), std::make_pair(L"sha256-" + std::wstring(64, L'a'), true));
    EXPECT_FALSE(cacheKeyBySum(std::wstring(40, L'a')));  // a SHA-1 is no key
}

TEST(LabCache, AFollowerTakesOverOnlyFromAFetcherWhoseBeatStoodStill) {
    // Catches a cut lock read as a fetcher at beat 0 (taken over at once), a follower that takes over
    // while the beat moves or after another follower took over (a new run), and one that waits on
    // after the lock is gone.
    const CacheLock lock{L"r1", L"PC-07", 41};
    EXPECT_EQ(parseCacheLock(cacheLockText(lock)).value().beat, 41u);
    const std::string text = cacheLockText(lock);
    EXPECT_FALSE(parseCacheLock(text.substr(0, text.size() - 6)));
    LockWatch watch;
    const struct { std::optional<CacheLock> lock; uint64_t now; FollowerStep step; } steps[] = {
        {lock, 1000, FollowerStep::Wait}, {lock, 20999, FollowerStep::Wait}, {CacheLock{L"r1", L"PC-07", 42}, 21000, FollowerStep::Wait},
        {CacheLock{L"r1", L"PC-07", 42}, 40999, FollowerStep::Wait}, {CacheLock{L"r2", L"PC-09", 42}, 41000, FollowerStep::Wait},
        {CacheLock{L"r2", L"PC-09", 42}, 61000, FollowerStep::TakeOver}, {std::nullopt, 61000, FollowerStep::Fetched}};
    for (const auto& s : steps) EXPECT_EQ(watchLock(watch, s.lock, s.now, 20000), s.step) << s.now;
    const int64_t day = 864000000000;
    EXPECT_EQ(std::make_pair(abandonedFetch(5, 5 + day - 1), abandonedFetch(5, 5 + day)), std::make_pair(false, true));
}

TEST(LabCache, AFollowerCopiesOnlyTheFetchersDoneBytesFromByteZero) {
    // Catches a follower that copies bytes the fetcher has not written (zeros of a sparse file),
    // past a gap, or again.
    const std::vector<Segment> state = {Segment{0, 4 * MiB, 4 * MiB}, Segment{4 * MiB, 8 * MiB, 5 * MiB}, Segment{8 * MiB, 12 * MiB, 12 * MiB}};
    EXPECT_EQ(nextToFollow(state, 0), (ByteSpan{0, 5 * MiB}));
    EXPECT_EQ(nextToFollow(state, 5 * MiB), (ByteSpan{5 * MiB, 0}));
}

TEST(LabCache, OneMachineOfARaceTakesTheLockAndOneEntryStaysWhoeverPublishes) {
    // Catches two machines fetching one file (a lock made without CREATE_NEW), a publish that
    // replaces the entry another machine verified or leaves the loser's copy in the cache, and an
    // entry found under another key or with a sum that is not one.
    ScratchFolder cache;
    const std::wstring key = L"link-" + std::wstring(64, L'b'), sum(64, L'c');
    std::atomic<int> taken{0};
    std::vector<std::thread> machines;
    for (int i = 0; i < 8; ++i)
        machines.emplace_back([&] { taken += LabShare(cache.path(), key).claim(newCacheLock()) == LabShare::Claim::Taken; });
    for (std::thread& m : machines) m.join();
    EXPECT_EQ(taken.load(), 1);
    // The second to publish finds the first's entry: it stays as verified, the second copy goes.
    for (const std::string bytes : {"first", "second"}) {
        ASSERT_TRUE(WriteFileAtomic(cache.path() + L"\\fetched", bytes));
        LabShare(cache.path(), key).publish(cache.path() + L"\\fetched", sum);
    }
    EXPECT_EQ(ScratchFolder::List(cache.path()), (std::vector<std::wstring>{key + L".lock", key + L"=" + sum}));
    const auto found = LabShare(cache.path(), key).entry();
    ASSERT_TRUE(found);
    EXPECT_EQ(std::make_pair(found->sha256, ReadWholeFile(found->path, 64)), std::make_pair(sum, std::string("first")));
    for (const std::wstring& name : {L"link-" + std::wstring(64, L'd') + L"=" + sum, key + L"=" + std::wstring(63, L'c'),
                                    key + L"=" + std::wstring(64, L'C'), key + L".fetch"})
        EXPECT_FALSE(entrySumOf(name, key)) << name;
}
}  // namespace
