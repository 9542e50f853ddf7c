// What the segment table costs the job's lock for a 100 GiB plan (25,600
// pieces, 8 connections): per finished piece, the done front and the claim
// of the next piece; per monitor tick, the bytes done. Each is timed
// computed from scratch over the table (as the job did) and kept as the
// table moves, over the same simulated download: pieces finish in order,
// 8 at a time.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "engine/Segments.h"

namespace {
double Seconds() {
    LARGE_INTEGER f, c;
    ::QueryPerformanceFrequency(&f);
    ::QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}
}  // namespace

int wmain() {
    const int64_t total = int64_t{100} << 30;
    zeb::SegmentTable table;
    table.assign(zeb::planSegments(total, true, 8), total, true);
    std::vector<Segment> plain = table.segments();
    double scratchFront = 0, keptFront = 0, scratchClaim = 0, keptClaim = 0, scratchDone = 0, keptDone = 0;
    int64_t sink = 0, calls = 0;
    // Adds the seconds `f` takes to `into`; what it returns.
    const auto timed = [](double& into, auto f) {
        const double t = Seconds();
        const auto r = f();
        into += Seconds() - t;
        return r;
    };
    for (;;) {
        const int a = timed(scratchClaim, [&] { return zeb::claimSegment(plain, true); });
        const int b = timed(keptClaim, [&] { return table.claim(); });
        if (a < 0 || a != b) break;
        const size_t i = static_cast<size_t>(a);
        plain[i].pos = plain[i].end;
        plain[i].busy = false;
        table.advance(i, table.segments()[i].end);
        table.release(i, SegmentState::Done);
        sink += timed(scratchFront, [&] { return zeb::doneFront(plain); }) + timed(keptFront, [&] { return table.front(); });
        sink += timed(scratchDone, [&] { return zeb::doneBytesOf(plain); }) + timed(keptDone, [&] { return table.doneBytes(); });
        ++calls;
    }
    const auto us = [&](double s) { return s / static_cast<double>(calls) * 1e6; };
    std::printf("pieces %lld (sink %lld)\n", static_cast<long long>(calls), static_cast<long long>(sink % 7));
    std::printf("done front   from scratch %8.2f us/call   kept %6.3f us/call\n", us(scratchFront), us(keptFront));
    std::printf("next piece   from scratch %8.2f us/call   kept %6.3f us/call\n", us(scratchClaim), us(keptClaim));
    std::printf("bytes done   from scratch %8.2f us/call   kept %6.3f us/call\n", us(scratchDone), us(keptDone));
    return 0;
}
