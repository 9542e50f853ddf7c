// Byte samples: where a validator cannot say whether the server still has
// the version the partial file holds, a few of the bytes already on disk
// are compared with the same bytes from the server. A sample is evidence,
// not proof (a checksum given by the user is).
#pragma once

#include <cstdint>
#include <vector>

#include "engine/Types.h"

namespace zeb {

constexpr int64_t kSampleBytes = 65536;

struct ByteSpan {
    int64_t offset = 0;
    int64_t length = 0;
    bool operator==(const ByteSpan&) const = default;
};

// The bytes on disk according to the table ([start, pos) of each range).
std::vector<ByteSpan> doneSpans(const std::vector<Segment>& segments);

// Where samples look past a file's head: images and firmware of different
// versions often share their first bytes (a header, zeros).
constexpr int64_t kSampleHeadBytes = 1048576;

// What decides a version question: the last kSampleBytes of the largest
// done range (all of it when shorter) and kSampleBytes at the `pick`-th done
// byte past the head when done bytes reach past it, else anywhere (taken
// modulo those bytes; moved back to fit its range). One span when both fall
// alike; none when nothing is done.
std::vector<ByteSpan> chooseSamples(const std::vector<Segment>& segments, uint64_t pick);

// The run of done bytes from byte 0, at most kSampleBytes long.
int64_t donePrefix(const std::vector<Segment>& segments);

// A random place for the second sample (tests may fix it).
uint64_t samplePick();

}  // namespace zeb
