// Planning the byte ranges of a fresh download and handing them to workers,
// splitting the largest busy range when none is free. Plain functions over
// the segment table; the job calls them under its lock.
#pragma once

#include <algorithm>
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

// `align`: every boundary falls on a multiple of it (the publisher's
// pieces, each checked whole by the connection that brings it).
std::vector<Segment> planSegments(int64_t totalSize, bool acceptsRanges, int connections, int64_t align = 1);

// Marks and returns the first free unfinished segment (none before `from`
// is free), else (ranged only) splits the busy segment with the most left
// (at a multiple of `align`) and returns the new half, appended; -1 when
// there is nothing to do.
int claimSegment(std::vector<Segment>& segments, bool acceptsRanges, size_t from = 0, int64_t align = 1);

// Bytes on disk according to the table: the sum of pos - start.
int64_t doneBytesOf(const std::vector<Segment>& segments);

bool allDone(const std::vector<Segment>& segments);

// The size a table covers: its furthest end (0 when empty).
int64_t totalOf(const std::vector<Segment>& segments);

// The end of the run of finished bytes that starts at byte 0.
int64_t doneFront(const std::vector<Segment>& segments);

// The segment table of one download: its ranges, the file's total and
// whether the server takes ranges, with the bytes done, the first free
// range and the done front kept as they move. A 100 GiB plan has 25,600
// pieces: nothing here walks them on a read or a finished piece. Plain
// data; the job guards it with its state mutex. A range's position moves
// only through advance(), rewind() and endAt(); its other fields (state,
// busy, speed, retries) are the caller's through at().
class SegmentTable {
public:
    // The ranges of a run (resets what is kept); `total` -1 when unknown.
    void assign(std::vector<Segment> segments, int64_t total, bool ranges);
    // Splits fall on multiples of `align` from now on (1: anywhere).
    void setAlign(int64_t align) { align_ = std::max<int64_t>(align, 1); }
    void clear() { assign({}, total_, ranges_); }
    // What the server said, before the ranges are known.
    void setShape(int64_t total, bool ranges) { total_ = total, ranges_ = ranges; }

    const std::vector<Segment>& segments() const { return segments_; }
    Segment& at(size_t i) { return segments_[i]; }
    bool empty() const { return segments_.empty(); }
    int64_t total() const { return total_; }
    bool ranges() const { return ranges_; }
    int64_t doneBytes() const { return done_; }
    bool allDone() const { return !segments_.empty() && done_ == expected_; }

    // claimSegment over the table, from the first range that may be free.
    int claim();
    // The worker lets go of range `i`: no longer busy, idle at speed 0.
    void release(size_t i, SegmentState state);
    // Every range let go (the run ended).
    void releaseAll();
    void advance(size_t i, int64_t pos);
    // A plain request starts again at the range's first byte.
    void rewind(size_t i);
    // A range of unknown size ended at `pos`: the file's total.
    void endAt(size_t i, int64_t pos);
    // doneFront, moved on from where it was.
    int64_t front();

private:
    std::vector<Segment> segments_;
    int64_t total_ = -1;
    bool ranges_ = false;
    int64_t done_ = 0;      // the sum of pos - start
    int64_t expected_ = 0;  // the sum of end - start (INT64_MAX ends: never reached)
    size_t firstFree_ = 0;  // no range before it is free and unfinished
    int64_t align_ = 1;
    std::vector<size_t> byStart_;  // indices in order of start
    size_t frontAt_ = 0;           // in byStart_: the first range not known finished from byte 0
    int64_t frontBase_ = 0;        // where that range must start for the run to go on
};

}  // namespace zeb
