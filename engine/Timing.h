// The engine's clock and the lengths of its waits and timeouts. The program
// always runs with the defaults; tests replace them (setTimingForTests) so
// the retry ladder and the server timeouts take seconds instead of minutes.
#pragma once

#include <cstdint>

namespace zeb {

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
    // Tests only: called by a job thread while it prepares its file, where
    // a slow disk or share would keep it.
    void (*whilePreparing)() = nullptr;
    // Tests only: called by a job thread right after it created a partial
    // file (throwing there leaves the files as a power cut would).
    void (*partFileCreated)() = nullptr;
    // Tests only: the place of the random byte sample (0: random).
    uint64_t samplePick = 0;
    // Tests only: called by a job thread at each read of its verify pass.
    void (*whileVerifying)() = nullptr;
};

const Timing& timing();
void setTimingForTests(const Timing& t);

// Seconds on the performance counter.
double now();

// The pause before the next attempt after `failures` failures in a row:
// base x 2^failures, capped.
int retryPauseMs(int failures);

}  // namespace zeb
