#include "engine/RateLimiter.h"

#include <algorithm>

#include "engine/Timing.h"

namespace zeb {

std::atomic<int64_t> g_speedLimitBytesPerSecond{0};

void setSpeedLimit(int64_t bytesPerSecond) { g_speedLimitBytesPerSecond.exchange(bytesPerSecond > 0 ? bytesPerSecond : 0); }

uint32_t RateBudget::grantSize(int64_t limit, uint32_t wanted) {
    // A twentieth of a second's worth, so at 1 KB/s reads are ~50 bytes and
    // many connections still share the budget smoothly.
    const int64_t slice = std::max<int64_t>(1, limit / 20);
    return static_cast<uint32_t>(std::min<int64_t>(slice, wanted));
}

namespace {
// Credit beyond this is dropped: a tenth of a second's worth (at least two
// grants), enough to ride out wake-up delays without allowing a burst.
double CreditCap(int64_t limit) {
    return std::max(2.0 * RateBudget::grantSize(limit, 65536), 0.1 * static_cast<double>(limit));
}
}  // namespace

RateBudget::Grant RateBudget::take(double now, int64_t limit, uint32_t wanted) {
    const uint32_t size = grantSize(limit, wanted);
    if (last_ >= 0 && now > last_) credit_ += (now - last_) * static_cast<double>(limit);
    last_ = now;
    credit_ = std::min(credit_, CreditCap(limit));
    if (credit_ >= size) {
        credit_ -= size;
        return {size, 0.0};
    }
    return {0, (size - credit_) / static_cast<double>(limit)};
}

void RateBudget::giveBack(uint32_t bytes, int64_t limit) {
    credit_ = std::min(credit_ + bytes, CreditCap(limit));
}

namespace {
constexpr double kLongestSingleWait = 0.05;  // re-read the limit at least this often
SpeedLimiter g_limiter(g_speedLimitBytesPerSecond);
}  // namespace

uint32_t SpeedLimiter::acquire(uint32_t wanted, HANDLE stopEvent) {
    for (;;) {
        const int64_t limit = limit_.load();
        if (limit <= 0) return wanted;
        RateBudget::Grant g;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            g = budget_.take(now(), limit, wanted);
        }
        if (g.bytes > 0) return g.bytes;
        const double wait = std::min(g.waitSeconds, kLongestSingleWait);
        const DWORD ms = std::max<DWORD>(1, static_cast<DWORD>(wait * 1000.0));
        if (::WaitForSingleObject(stopEvent, ms) == WAIT_OBJECT_0) return 0;
    }
}

void SpeedLimiter::giveBack(uint32_t unused) {
    const int64_t limit = limit_.load();
    if (limit <= 0 || unused == 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    budget_.giveBack(unused, limit);
}

uint32_t acquireReadBudget(uint32_t wanted, HANDLE stopEvent, SpeedLimiter* own) {
    // The job's own first: what it grants is then asked of the shared budget,
    // which a job waiting for its own limit does not hold meanwhile.
    if (own) {
        wanted = own->acquire(wanted, stopEvent);
        if (wanted == 0) return 0;
    }
    const uint32_t granted = g_limiter.acquire(wanted, stopEvent);
    if (own && granted < wanted) own->giveBack(wanted - granted);
    return granted;
}

void returnReadBudget(uint32_t unused, SpeedLimiter* own) {
    g_limiter.giveBack(unused);
    if (own) own->giveBack(unused);
}

}  // namespace zeb
