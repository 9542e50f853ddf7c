// How one job's run is stopped and how its workers stand: the flags and
// events every thread of the run watches, the table of open requests and
// the workers still running. A part of a job (engine/Download.h). Flags and
// counts are atomics read without a lock; the request table has a mutex of
// its own, taken last (never under the job's state mutex); workerFailed is
// under the state mutex.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "store/Handles.h"

namespace zeb {

struct RunControl {
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> pauseRequested{false};  // the user's pause, as against a restart's stop
    std::atomic<bool> restartRequested{false};
    std::atomic<int32_t> activeConnections{0};
    bool workerFailed = false;  // state mutex: a worker failed the download
    int32_t workerCount = 1;    // set before the workers start
    // Contradicting answers with no bytes on disk to compare, this run; at
    // twice the workers nobody will bring any.
    std::atomic<int32_t> blindSuspicions{0};
    // Made at the first start: a list of 100,000 rows that never ran must
    // not cost 200,000 kernel objects.
    KernelHandle stopEvent;
    KernelHandle workersEnded;  // set by the last worker, so the monitor ends with it, not at its next tick
    std::mutex versionMutex;    // one version question settled at a time; taken before the state mutex
    std::mutex requestMutex;
    std::vector<HINTERNET> requests;  // one slot per connection; slot 0 also serves the probe
};

}  // namespace zeb
