#include "engine/Segments.h"

#include <algorithm>

namespace zeb {

std::vector<Segment> planSegments(int64_t totalSize, bool acceptsRanges, int connections, int64_t align) {
    std::vector<Segment> table;
    if (acceptsRanges && totalSize > 0) {
        int64_t n = std::max<int64_t>(1, std::min<int64_t>(totalSize / kPlanningUnit, connections));
        int64_t size = totalSize / n;
        if (totalSize / std::max(connections, 1) >= kPieceBytes) {
            size = kPieceBytes;
            n = (totalSize + kPieceBytes - 1) / kPieceBytes;
        }
        if (align > 1) {
            size = (size + align - 1) / align * align;
            n = (totalSize + size - 1) / size;
        }
        for (int64_t i = 0; i < n; ++i) {
            Segment s;
            s.start = s.pos = i * size;
            s.end = (i == n - 1) ? totalSize : s.start + size;
            table.push_back(s);
        }
    } else {
        Segment s;
        s.end = totalSize >= 0 ? totalSize : INT64_MAX;
        table.push_back(s);
    }
    return table;
}

int claimSegment(std::vector<Segment>& segments, bool acceptsRanges, size_t from, int64_t align) {
    for (size_t i = from; i < segments.size(); ++i) {
        if (!segments[i].busy && segments[i].pos < segments[i].end) {
            segments[i].busy = true;
            return static_cast<int>(i);
        }
    }
    if (!acceptsRanges) return -1;
    int best = -1;
    int64_t bestLeft = kSmallestSplittable, at = 0;
    align = std::max<int64_t>(align, 1);
    for (size_t i = 0; i < segments.size(); ++i) {
        const Segment& s = segments[i];
        if (!s.busy || s.end == INT64_MAX) continue;
        const int64_t left = s.end - s.pos, split = (s.pos + left / 2) / align * align;
        if (left > bestLeft && split > s.pos) {
            bestLeft = left;
            best = static_cast<int>(i);
            at = split;
        }
    }
    if (best < 0) return -1;
    Segment half;
    half.start = half.pos = at;
    half.end = segments[best].end;
    half.busy = true;
    segments[best].end = half.start;
    segments.push_back(half);
    return static_cast<int>(segments.size() - 1);
}

int64_t doneBytesOf(const std::vector<Segment>& segments) {
    int64_t sum = 0;
    for (const Segment& s : segments) sum += s.pos - s.start;
    return sum;
}

bool allDone(const std::vector<Segment>& segments) {
    if (segments.empty()) return false;
    for (const Segment& s : segments)
        if (s.pos < s.end) return false;
    return true;
}

int64_t doneFront(const std::vector<Segment>& segments) {
    std::vector<const Segment*> order;
    order.reserve(segments.size());
    for (const Segment& s : segments) order.push_back(&s);
    std::sort(order.begin(), order.end(), [](const Segment* a, const Segment* b) { return a->start < b->start; });
    int64_t front = 0;
    for (const Segment* s : order) {
        if (s->start != front) break;
        front = s->pos;
        if (s->pos < s->end) break;
    }
    return front;
}

void SegmentTable::assign(std::vector<Segment> segments, int64_t total, bool ranges) {
    segments_ = std::move(segments);
    total_ = total;
    ranges_ = ranges;
    done_ = expected_ = 0;
    bool unbounded = false;
    byStart_.resize(segments_.size());
    for (size_t i = 0; i < segments_.size(); ++i) {
        const Segment& s = segments_[i];
        done_ += s.pos - s.start;
        if (s.end == INT64_MAX) unbounded = true;
        else expected_ += s.end - s.start;
        byStart_[i] = i;
    }
    if (unbounded) expected_ = -1;  // never done before its end is known
    std::sort(byStart_.begin(), byStart_.end(), [&](size_t a, size_t b) { return segments_[a].start < segments_[b].start; });
    firstFree_ = frontAt_ = 0;
    frontBase_ = 0;
    align_ = 1;
}

int SegmentTable::claim() {
    const size_t before = segments_.size();
    const int i = claimSegment(segments_, ranges_, firstFree_, align_);
    if (i < 0 || segments_.size() == before) {
        firstFree_ = i < 0 ? segments_.size() : static_cast<size_t>(i);
        return i;
    }
    // A split: the new half follows the range it was cut from.
    firstFree_ = before;
    const int64_t start = segments_.back().start;
    byStart_.insert(std::lower_bound(byStart_.begin(), byStart_.end(), start,
                                     [&](size_t a, int64_t at) { return segments_[a].start < at; }),
                    segments_.size() - 1);
    return i;
}

void SegmentTable::release(size_t i, SegmentState state) {
    Segment& s = segments_[i];
    s.busy = false;
    s.speed = 0;
    s.state = state;
    if (s.pos < s.end) firstFree_ = std::min(firstFree_, i);
}

void SegmentTable::releaseAll() {
    for (size_t i = 0; i < segments_.size(); ++i)
        release(i, segments_[i].pos >= segments_[i].end ? SegmentState::Done : SegmentState::Idle);
}

void SegmentTable::advance(size_t i, int64_t pos) {
    done_ += pos - segments_[i].pos;
    segments_[i].pos = pos;
}

void SegmentTable::rewind(size_t i) {
    Segment& s = segments_[i];
    done_ -= s.pos - s.start;
    s.pos = s.start;
    frontAt_ = 0;  // the front may go back: found again from byte 0
    frontBase_ = 0;
}

void SegmentTable::endAt(size_t i, int64_t pos) {
    Segment& s = segments_[i];
    expected_ = 0;
    s.end = pos;
    for (const Segment& r : segments_) expected_ += r.end - r.start;
    total_ = pos;
}

int64_t SegmentTable::front() {
    // Ranges only ever finish or split behind the front's range, so the
    // walk goes on from where the last one stopped.
    while (frontAt_ < byStart_.size()) {
        const Segment& s = segments_[byStart_[frontAt_]];
        if (s.start != frontBase_) return frontBase_;
        if (s.pos < s.end) return s.pos;
        frontBase_ = s.end;
        ++frontAt_;
    }
    return frontBase_;
}

int64_t totalOf(const std::vector<Segment>& segments) {
    int64_t total = 0;
    for (const Segment& s : segments) total = std::max(total, s.end);
    return total;
}

}  // namespace zeb
