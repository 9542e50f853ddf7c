#include "engine/Timing.h"

#include <windows.h>

#include <algorithm>

namespace zeb {
namespace {
Timing g_timing;
}

const Timing& timing() { return g_timing; }
void setTimingForTests(const Timing& t) { g_timing = t; }

double now() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER c;
    ::QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / frequency;
}

int retryPauseMs(int failures) {
    const Timing& t = timing();
    if (failures >= 30) return t.maxRetryPause;
    return static_cast<int>(std::min<int64_t>(static_cast<int64_t>(t.retryPauseBase) << failures, t.maxRetryPause));
}

}  // namespace zeb
