// Planning the byte ranges of a fresh download and handing them to workers,
// splitting the largest busy range when none is free. Plain functions over
// the segment table; the job calls them under its lock.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/Types.h"

namespace zeb {

constexpr int64_t kPlanningUnit = 1048576;        // at most one segment per whole MiB
constexpr int64_t kSmallestSplittable = 2097151;  // a split needs more than this left
// A file of at least this many bytes per connection comes in pieces of this
// size, handed out in order: the run of finished bytes from byte 0 then
// trails the download closely, and the checksums are fed from it as the
// bytes arrive. A smaller file gets one range per connection (or per MiB).
constexpr int64_t kPieceBytes = 4194304;

std::vector<Segment> planSegments(int64_t totalSize, bool acceptsRanges, int connections);

// Marks and returns the first free unfinished segment, else (ranged only)
// splits the busy segment with the most left and returns the new half; -1
// when there is nothing to do.
int claimSegment(std::vector<Segment>& segments, bool acceptsRanges);

// Bytes on disk according to the table: the sum of pos - start.
int64_t doneBytesOf(const std::vector<Segment>& segments);

bool allDone(const std::vector<Segment>& segments);

// The size a table covers: its furthest end (0 when empty).
int64_t totalOf(const std::vector<Segment>& segments);

// The end of the run of finished bytes that starts at byte 0.
int64_t doneFront(const std::vector<Segment>& segments);

}  // namespace zeb
