#include "engine/RateLimiter.h"

#include <gtest/gtest.h>

#include "engine/Timing.h"

namespace {
using zeb::RateBudget;

// Drives the budget like `connections` workers that always want 64 KiB,
// on a simulated clock with 1 ms steps; returns bytes granted per second.
double Simulate(RateBudget& budget, int64_t limit, int connections, double seconds, double start = 0) {
    std::vector<double> readyAt(connections, start);
    double granted = 0;
    for (double t = start; t < start + seconds; t += 0.001) {
        for (int c = 0; c < connections; ++c) {
            if (readyAt[c] > t) continue;
            RateBudget::Grant g = budget.take(t, limit, 65536);
            if (g.bytes) granted += g.bytes;
            else readyAt[c] = t + std::min(g.waitSeconds, 0.05);
        }
    }
    return granted / seconds;
}

TEST(RateBudget, HoldsAtEverySettingAcrossManyConnections) {
    for (int64_t kb : {1, 5, 50, 500, 5000}) {
        RateBudget budget;
        const double rate = Simulate(budget, kb * 1024, 24, 20);
        EXPECT_NEAR(rate / (kb * 1024), 1.0, 0.05) << kb << " KB/s";
    }
}

TEST(RateBudget, GrantsShrinkAtLowLimits) {
    EXPECT_EQ(RateBudget::grantSize(1024, 65536), 51u);
    EXPECT_EQ(RateBudget::grantSize(50 * 1024, 65536), 2560u);
    EXPECT_EQ(RateBudget::grantSize(100 * 1024 * 1024, 65536), 65536u);
    EXPECT_EQ(RateBudget::grantSize(1, 65536), 1u);
}

TEST(RateBudget, ChangedLimitAppliesAtOnceBothWays) {
    RateBudget budget;
    Simulate(budget, 1024, 8, 10);                      // a long spell at 1 KB/s
    const double raised = Simulate(budget, 1024 * 1024, 8, 2, 10);  // then 1 MB/s
    EXPECT_NEAR(raised / (1024 * 1024), 1.0, 0.05);
    const double lowered = Simulate(budget, 10 * 1024, 8, 5, 12);
    EXPECT_NEAR(lowered / (10 * 1024), 1.0, 0.05);
}

TEST(RateBudget, NoBurstAfterIdle) {
    RateBudget budget;
    budget.take(0, 100 * 1024, 65536);
    double burst = 0;
    for (int i = 0; i < 100; ++i) burst += budget.take(60.0, 100 * 1024, 65536).bytes;  // a minute later
    EXPECT_LE(burst, 0.1 * 100 * 1024 + 1);
    EXPECT_GT(budget.take(120.0, 100 * 1024, 65536).bytes, 0u);  // the first read after idle does not wait
}

TEST(Throttle, UnlimitedGrantsEverything) {
    zeb::setSpeedLimit(0);
    EXPECT_EQ(zeb::acquireReadBudget(65536, nullptr), 65536u);
}

TEST(Throttle, StopEventEndsTheWait) {
    zeb::setSpeedLimit(1);  // one byte per second: the second grant waits
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    zeb::acquireReadBudget(65536, stop);
    SetEvent(stop);
    const double t0 = zeb::now();
    EXPECT_EQ(zeb::acquireReadBudget(65536, stop), 0u);
    EXPECT_LT(zeb::now() - t0, 0.5);
    CloseHandle(stop);
    zeb::setSpeedLimit(0);
}

TEST(RetryPause, LadderFromTheDefaults) {
    EXPECT_EQ(zeb::retryPauseMs(1), 1000);
    EXPECT_EQ(zeb::retryPauseMs(2), 2000);
    EXPECT_EQ(zeb::retryPauseMs(4), 8000);
    EXPECT_EQ(zeb::retryPauseMs(5), 15000);
    EXPECT_EQ(zeb::retryPauseMs(6), 15000);
    EXPECT_EQ(zeb::retryPauseMs(40), 15000);
}
}  // namespace
