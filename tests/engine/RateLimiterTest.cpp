// The program-wide speed limit as a budget on a simulated clock, its wait,
// and the retry ladder.
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
    for (double t = start; t < start + seconds; t += 0.001)
        for (int c = 0; c < connections; ++c) {
            if (readyAt[c] > t) continue;
            RateBudget::Grant g = budget.take(t, limit, 65536);
            if (g.bytes) granted += g.bytes;
            else readyAt[c] = t + std::min(g.waitSeconds, 0.05);
        }
    return granted / seconds;
}

TEST(RateBudget, HoldsAtEverySettingAcrossManyConnections) {
    for (int64_t kb : {1, 5, 50, 500, 5000}) {
        RateBudget budget;
        EXPECT_NEAR(Simulate(budget, kb * 1024, 24, 20) / (kb * 1024), 1.0, 0.05) << kb << " KB/s";
    }
}

TEST(RateBudget, ChangedLimitAppliesAtOnceBothWaysAndIdleEarnsNoBurst) {
    RateBudget budget;
    Simulate(budget, 1024, 8, 10);  // a long spell at 1 KB/s
    EXPECT_NEAR(Simulate(budget, 1024 * 1024, 8, 2, 10) / (1024 * 1024), 1.0, 0.05);
    EXPECT_NEAR(Simulate(budget, 10 * 1024, 8, 5, 12) / (10 * 1024), 1.0, 0.05);
    RateBudget idle;
    idle.take(0, 100 * 1024, 65536);
    double burst = 0;
    for (int i = 0; i < 100; ++i) burst += idle.take(60.0, 100 * 1024, 65536).bytes;  // a minute later
    EXPECT_LE(burst, 0.1 * 100 * 1024 + 1);
    EXPECT_GT(idle.take(120.0, 100 * 1024, 65536).bytes, 0u);  // the first read after idle does not wait
}

TEST(RateBudget, UnlimitedGrantsAllAndTheStopEventEndsAWait) {
    zeb::setSpeedLimit(0);
    EXPECT_EQ(zeb::acquireReadBudget(65536, nullptr), 65536u);
    zeb::setSpeedLimit(20);  // grants of one byte, a twentieth of a second apart: the second waits
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
    const std::pair<int, int> ladder[] = {{1, 1000}, {2, 2000}, {4, 8000}, {5, 15000}, {6, 15000}, {40, 15000}};
    for (const auto& [failures, ms] : ladder) EXPECT_EQ(zeb::retryPauseMs(failures), ms) << failures;
}
}  // namespace
