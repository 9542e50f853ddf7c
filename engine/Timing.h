// The engine's clock and the lengths of its waits and timeouts. The program
// always runs with the defaults; tests replace them (setTimingForTests) so
// the retry ladder and the server timeouts take seconds instead of minutes.
#pragma once

#include <cstdint>

namespace zeb {

// The steps of a finish: every byte on disk and recorded, the checksums
// verified, the state naming the final file (before each rename attempt),
// the partial file renamed.
enum class FinishStep { Recorded, Verified, NamesFinal, Renamed };

struct Timing {
    // WinHTTP timeouts, ms.
    int resolveTimeout = 15000;
    int connectTimeout = 20000;
    int sendTimeout = 30000;
    int receiveTimeout = 30000;
    // Each step of the certificate diagnosis, ms: short, because a pause
    // cannot cut a blocked call short under Wine.
    int diagnosisTimeout = 5000;
    // Retry pause: base << failures, at most maxRetryPause, ms.
    int retryPauseBase = 500;
    int maxRetryPause = 15000;
    // Monitor loop period and state save interval.
    int monitorPeriodMs = 200;
    double saveIntervalSeconds = 2.0;
    // How long a finished file's rename is retried while another program holds it, ms.
    int renameRetryMs = 5000;
    // The lab cache: the fetcher's beat, the stillness after which a
    // follower takes over, and how often a follower looks for more bytes, ms.
    int cacheBeatMs = 5000;
    int cacheStaleMs = 20000;
    int cachePollMs = 250;
    // Tests only: called by a job thread while it prepares its file, where
    // a slow disk or share would keep it.
    void (*whilePreparing)() = nullptr;
    // Tests only: called by a job thread right after it created a partial
    // file (throwing there leaves the files as a power cut would).
    void (*partFileCreated)() = nullptr;
    // Tests only: the place of the random byte sample (0: random).
    uint64_t samplePick = 0;
    // Tests only: called by a job thread at each read of its verify pass
    // with the bytes summed so far (at the first call: while downloading).
    void (*whileVerifying)(int64_t summed) = nullptr;
    // Tests only: called by a job thread at each step of a download's
    // finish (throwing there leaves the files as a kill would).
    void (*atFinishStep)(FinishStep step) = nullptr;
    // Tests only: called by a job thread right after it let go of its
    // job, before anything else may start it again.
    void (*afterJobEnded)() = nullptr;
    // Tests only: called by a job thread when a changed file makes it
    // start over, before it clears the stop that asked for it.
    void (*beforeStartingOver)() = nullptr;
};

const Timing& timing();
void setTimingForTests(const Timing& t);

// Seconds on the performance counter.
double now();

// The pause before the next attempt after `failures` failures in a row:
// base x 2^failures, capped.
int retryPauseMs(int failures);

}  // namespace zeb
