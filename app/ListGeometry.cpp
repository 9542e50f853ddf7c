#include "app/ListGeometry.h"

#include <algorithm>

#include "ui/Dpi.h"

namespace {
constexpr int kCard = 86, kGap = 10, kInset = 14;
}  // namespace

int32_t RowPitch() { return Scale(kCard) + Scale(kGap); }

int32_t ContentHeight(int count) {
    return count <= 0 ? 0 : count * RowPitch() + 2 * Scale(kInset) - Scale(kGap);
}

RECT RowRect(int i, int32_t width, int32_t position, bool scrollBar) {
    RECT r;
    r.left = Scale(16);
    r.top = i * RowPitch() - position + Scale(kInset);
    r.right = width - Scale(16) - (scrollBar ? Scale(6) : 0);
    r.bottom = r.top + Scale(kCard);
    return r;
}

RECT RowButtonRect(const RECT& row, int k) {
    RECT b;
    b.left = row.right - (3 - k) * Scale(4) - (4 - k) * Scale(30) - Scale(12);
    b.top = row.top + Scale(9);
    b.right = b.left + Scale(30);
    b.bottom = b.top + Scale(30);
    return b;
}

RECT ScrollTrack(int32_t width, int32_t height) {
    return RECT{width - Scale(11), Scale(8), width - Scale(5), height - Scale(8)};
}

int32_t EnsureVisiblePosition(int index, int32_t position, int32_t page, int32_t content) {
    if (index < 0) return position;
    const int32_t top = index * RowPitch() + Scale(kInset);
    if (top - Scale(kInset) < position) position = top - Scale(kInset);
    else if (top + Scale(kCard) + Scale(kInset) > position + page) position = top + Scale(kCard) + Scale(kInset) - page;
    return std::clamp(position, 0, std::max(content - page, 0));
}

int MovedSelection(int selected, int delta, bool absolute, int count) {
    if (count <= 0) return selected;
    const int target = absolute ? (delta < 0 ? 0 : count - 1) : selected + delta;
    return std::clamp(target, 0, count - 1);
}
