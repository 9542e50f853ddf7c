#include "engine/Segments.h"

#include <algorithm>

namespace zeb {

std::vector<Segment> planSegments(int64_t totalSize, bool acceptsRanges, int connections) {
    std::vector<Segment> table;
    if (acceptsRanges && totalSize > 0) {
        int64_t n = std::max<int64_t>(1, std::min<int64_t>(totalSize / kPlanningUnit, connections));
        int64_t size = totalSize / n;
        if (totalSize / std::max(connections, 1) >= kPieceBytes) {
            size = kPieceBytes;
            n = (totalSize + kPieceBytes - 1) / kPieceBytes;
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

int claimSegment(std::vector<Segment>& segments, bool acceptsRanges) {
    for (size_t i = 0; i < segments.size(); ++i) {
        if (!segments[i].busy && segments[i].pos < segments[i].end) {
            segments[i].busy = true;
            return static_cast<int>(i);
        }
    }
    if (!acceptsRanges) return -1;
    int best = -1;
    int64_t bestLeft = kSmallestSplittable;
    for (size_t i = 0; i < segments.size(); ++i) {
        const Segment& s = segments[i];
        if (!s.busy || s.end == INT64_MAX) continue;
        const int64_t left = s.end - s.pos;
        if (left > bestLeft) {
            bestLeft = left;
            best = static_cast<int>(i);
        }
    }
    if (best < 0) return -1;
    Segment half;
    half.start = half.pos = segments[best].pos + bestLeft / 2;
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

int64_t totalOf(const std::vector<Segment>& segments) {
    int64_t total = 0;
    for (const Segment& s : segments) total = std::max(total, s.end);
    return total;
}

}  // namespace zeb
