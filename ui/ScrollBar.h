// The custom vertical scroll bar of the list view and the details table.
// The owner keeps the state, captures the mouse while dragging and clears
// the dragging flag on release or lost capture. Units: content, page and
// position in the owner's units; offsets and rectangles in pixels.
#pragma once

#include <windows.h>

#include <cstdint>

class Surface;

struct ScrollBarState {
    int32_t content = 0;
    int32_t page = 0;
    int32_t position = 0;
    bool dragging = false;
    int32_t dragOffset = 0;  // pixels from the thumb's top to the pointer
};

inline int32_t ScrollMax(const ScrollBarState& s) noexcept { return s.content > s.page ? s.content - s.page : 0; }

RECT ScrollThumbRect(const ScrollBarState& s, const RECT& track);
void ScrollBarDraw(const ScrollBarState& s, Surface& surface, const RECT& track);
// True when a drag started: a press on the thumb keeps it where it is, a
// press elsewhere on the track puts the thumb's middle under the pointer.
bool ScrollBarMouseDown(ScrollBarState& s, POINT pointer, const RECT& track);
// True when the position changed.
bool ScrollBarDrag(ScrollBarState& s, POINT pointer, const RECT& track);
