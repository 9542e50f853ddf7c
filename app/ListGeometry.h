// Where the list view's cards, row buttons and scroll bar sit, as plain
// functions of the list's client size, the row count and the scroll
// position. Device pixels at the current DPI; rows in list order.
#pragma once

#include <windows.h>

#include <cstdint>

struct RowHit {
    int row = -1;     // -1: no row
    int button = -1;  // 0..3, -1: none
};

int32_t RowPitch();
// 0 for an empty list.
int32_t ContentHeight(int count);
// Row i of a list whose content is `content` high in a client of w x h.
RECT RowRect(int i, int32_t width, int32_t position, bool scrollBar);
// Row button k (0 pause/resume, 1 details, 2 folder, 3 remove) of a card.
RECT RowButtonRect(const RECT& row, int k);
RECT ScrollTrack(int32_t width, int32_t height);
// The first row containing the point, and its button; button 0 does not
// exist on a finished row (`finished` tells which rows are).
template <typename IsFinished>
RowHit HitTestRows(POINT p, int count, int32_t width, int32_t position, bool scrollBar, IsFinished finished) {
    RowHit hit;
    for (int i = 0; i < count; ++i) {
        const RECT r = RowRect(i, width, position, scrollBar);
        if (!::PtInRect(&r, p)) continue;
        hit.row = i;
        for (int k = finished(i) ? 1 : 0; k < 4; ++k) {
            const RECT b = RowButtonRect(r, k);
            if (::PtInRect(&b, p)) hit.button = k;
        }
        break;
    }
    return hit;
}
// The position that shows row `index` whole, clamped to 0..largest.
int32_t EnsureVisiblePosition(int index, int32_t position, int32_t page, int32_t content);
// The selection after a move: nothing for an empty list; absolute moves
// go to the first (delta < 0) or the last row.
int MovedSelection(int selected, int delta, bool absolute, int count);
