// Speed limits: the program-wide one, shared by every connection of every
// job, and each job's own (a download limited beside the others).
//
// Each connection asks for a grant before it reads and reads at most that
// many bytes, so the limit holds at any setting: at low limits the grants
// (and the reads) shrink to a twentieth of a second's worth. Credit builds
// up at the current limit and is capped at a tenth of a second's worth, so
// an idle pause gives no burst and a changed limit applies from the next grant in either
// direction. Waits watch the job's stop event.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>

namespace zeb {

// Bytes per second; 0 or less means no limit.
extern std::atomic<int64_t> g_speedLimitBytesPerSecond;
void setSpeedLimit(int64_t bytesPerSecond);

// The arithmetic of the shared budget, without clock or waits.
class RateBudget {
public:
    struct Grant {
        uint32_t bytes;      // granted now (0: wait and ask again)
        double waitSeconds;  // when nothing is granted, how long until a grant is likely
    };
    Grant take(double now, int64_t limit, uint32_t wanted);
    // Bytes granted but not read go back to the budget.
    void giveBack(uint32_t bytes, int64_t limit);

    static uint32_t grantSize(int64_t limit, uint32_t wanted);

private:
    double credit_ = 0;  // bytes
    double last_ = -1;   // seconds
};

// One limit and its budget.
class SpeedLimiter {
public:
    explicit SpeedLimiter(std::atomic<int64_t>& limit) : limit_(limit) {}
    // Waits until `wanted` bytes (or fewer) may be read; returns the number
    // granted, or 0 when stopEvent was signalled. Without a limit returns
    // `wanted` at once, without taking a lock.
    uint32_t acquire(uint32_t wanted, HANDLE stopEvent);
    // Returns what a read did not use.
    void giveBack(uint32_t unused);

private:
    std::atomic<int64_t>& limit_;  // bytes per second; 0 or less: none
    std::mutex mutex_;
    RateBudget budget_;
};

// The program-wide limit's, then (when given) a job's own: a read takes
// from both, so a limited job never exceeds its limit and what it leaves
// unused stays for the others.
uint32_t acquireReadBudget(uint32_t wanted, HANDLE stopEvent, SpeedLimiter* own = nullptr);
void returnReadBudget(uint32_t unused, SpeedLimiter* own = nullptr);

}  // namespace zeb
