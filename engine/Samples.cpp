// The choice of byte samples, as plain functions of the segment table, and
// the random place of one.
#include "engine/Samples.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>

#include "engine/Timing.h"

namespace zeb {

std::vector<ByteSpan> doneSpans(const std::vector<Segment>& segments) {
    std::vector<ByteSpan> spans;
    for (const Segment& s : segments)
        if (s.pos > s.start && s.end != INT64_MAX) spans.push_back({s.start, std::min(s.pos, s.end) - s.start});
    std::sort(spans.begin(), spans.end(), [](const ByteSpan& a, const ByteSpan& b) { return a.offset < b.offset; });
    return spans;
}

std::vector<ByteSpan> chooseSamples(const std::vector<Segment>& segments, uint64_t pick) {
    const std::vector<ByteSpan> done = doneSpans(segments);
    if (done.empty()) return {};
    const auto largest = std::max_element(done.begin(), done.end(),
                                          [](const ByteSpan& a, const ByteSpan& b) { return a.length < b.length; });
    const int64_t tail = std::min(largest->length, kSampleBytes);
    std::vector<ByteSpan> samples{{largest->offset + largest->length - tail, tail}};
    // The picked sample looks past the head when there are done bytes there.
    std::vector<ByteSpan> pickable;
    for (const ByteSpan& s : done) {
        const int64_t from = std::max(s.offset, kSampleHeadBytes);
        if (from < s.offset + s.length) pickable.push_back({from, s.offset + s.length - from});
    }
    if (pickable.empty()) pickable = done;
    int64_t total = 0;
    for (const ByteSpan& s : pickable) total += s.length;
    int64_t at = static_cast<int64_t>(pick % static_cast<uint64_t>(total));
    for (const ByteSpan& s : pickable) {
        if (at >= s.length) {
            at -= s.length;
            continue;
        }
        const int64_t length = std::min(s.length, kSampleBytes);
        const ByteSpan second{s.offset + std::min(at, s.length - length), length};
        if (!(second == samples[0])) samples.push_back(second);
        break;
    }
    return samples;
}

int64_t donePrefix(const std::vector<Segment>& segments) {
    for (const ByteSpan& s : doneSpans(segments))
        if (s.offset == 0) return std::min(s.length, kSampleBytes);
    return 0;
}

uint64_t samplePick() {
    if (timing().samplePick) return timing().samplePick;
    uint64_t value = 0;
    ::BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&value), sizeof value, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    return value;
}

}  // namespace zeb
