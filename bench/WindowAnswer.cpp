// How long a window takes to answer, timed from outside: a WM_NULL sent
// every 10 ms for a while to the first window of a class, each round trip
// timed. A window answers a sent message only between the messages it
// handles, so the slowest round trip is its longest pause. For bench/answer.py.
//
//   window_answer <window class> <seconds>
// prints: sent=N lost=L max_ms=.. p99_ms=.. p50_ms=.. over_50ms=..
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
constexpr double kPeriodMs = 10;
constexpr UINT kGiveUpMs = 5000;  // a round trip this long counts as lost

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to, const LARGE_INTEGER& frequency) {
    return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    const double seconds = _wtof(argv[2]);
    HWND window = nullptr;
    for (int i = 0; i < 600 && !window; ++i) {
        window = ::FindWindowW(argv[1], nullptr);
        if (!window) ::Sleep(50);
    }
    if (!window) {
        std::printf("no window\n");
        return 1;
    }
    LARGE_INTEGER frequency, start, sent, answered;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    std::vector<double> trips;
    int lost = 0;
    for (int k = 0;; ++k) {
        // Sent on a fixed schedule, not 10 ms after each answer: a long
        // pause is followed by a send at once.
        LARGE_INTEGER now;
        ::QueryPerformanceCounter(&now);
        const double due = k * kPeriodMs, at = Milliseconds(start, now, frequency);
        if (at >= seconds * 1000) break;
        if (due > at) ::Sleep(static_cast<DWORD>(due - at));
        ::QueryPerformanceCounter(&sent);
        DWORD_PTR result = 0;
        const bool answeredInTime =
            ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kGiveUpMs, &result) != 0;
        ::QueryPerformanceCounter(&answered);
        if (!answeredInTime) {
            if (!::IsWindow(window)) break;
            ++lost;
        }
        trips.push_back(Milliseconds(sent, answered, frequency));
    }
    if (trips.empty()) return 1;
    std::sort(trips.begin(), trips.end());
    const auto at = [&](double share) { return trips[std::min(trips.size() - 1, static_cast<size_t>(share * trips.size()))]; };
    const auto over = std::count_if(trips.begin(), trips.end(), [](double ms) { return ms > 50; });
    std::printf("sent=%zu lost=%d max_ms=%.1f p99_ms=%.1f p50_ms=%.2f over_50ms=%lld\n", trips.size(), lost, trips.back(),
                at(0.99), at(0.5), static_cast<long long>(over));
    return 0;
}
