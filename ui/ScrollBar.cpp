#include "ui/ScrollBar.h"

#include <algorithm>

#include "ui/Colors.h"
#include "ui/Dpi.h"
#include "ui/Surface.h"

RECT ScrollThumbRect(const ScrollBarState& s, const RECT& track) {
    const int32_t L = track.bottom - track.top;
    const int32_t M = ScrollMax(s);
    int32_t length = s.content >= 1 ? ::MulDiv(L, s.page, s.content) : L;
    length = std::min(std::max(length, Scale(28)), L);
    const int32_t offset = M > 0 ? ::MulDiv(L - length, s.position, M) : 0;
    return RECT{track.left, track.top + offset, track.right, track.top + offset + length};
}

void ScrollBarDraw(const ScrollBarState& s, Surface& surface, const RECT& track) {
    if (s.content <= s.page || track.bottom <= track.top || track.right <= track.left) return;
    const COLORREF colour = MixColors(PaletteColor(6), PaletteColor(8), s.dragging ? 208 : 128);
    SurfaceRoundRect(surface, ScrollThumbRect(s, track), (track.right - track.left) / 2, colour, NoColor, 255, 255);
}

bool ScrollBarMouseDown(ScrollBarState& s, POINT pointer, const RECT& track) {
    if (s.content <= s.page) return false;
    RECT hit = track;
    ::InflateRect(&hit, Scale(5), 0);
    if (!::PtInRect(&hit, pointer)) return false;
    const RECT thumb = ScrollThumbRect(s, track);
    s.dragOffset = pointer.y >= thumb.top && pointer.y < thumb.bottom ? pointer.y - thumb.top
                                                                       : (thumb.bottom - thumb.top) / 2;
    s.dragging = true;
    ScrollBarDrag(s, pointer, track);
    return true;
}

bool ScrollBarDrag(ScrollBarState& s, POINT pointer, const RECT& track) {
    if (!s.dragging) return false;
    const RECT thumb = ScrollThumbRect(s, track);
    const int32_t F = (track.bottom - track.top) - (thumb.bottom - thumb.top);
    const int32_t M = ScrollMax(s);
    int32_t position = F >= 1 ? ::MulDiv(pointer.y - s.dragOffset - track.top, M, F) : 0;
    position = std::clamp(position, 0, M);
    const bool changed = position != s.position;
    s.position = position;
    return changed;
}
