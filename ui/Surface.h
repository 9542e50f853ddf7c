// The off-screen 32-bit drawing surface every window paints into before one
// BitBlt, and the pixel operations on it. A surface lives for one paint.
// Pixels are 0x00RRGGBB, top row first; every write leaves the top byte 0.
// Without pixels (the DIB section failed) every pixel operation does
// nothing; text still goes to the DC.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "store/Handles.h"

class Surface {
public:
    Surface() = default;
    Surface(Surface&&) noexcept;
    Surface& operator=(Surface&&) noexcept;
    ~Surface();

    HDC dc() const noexcept { return dc_.get(); }
    uint32_t* pixels() const noexcept { return pixels_; }
    int32_t width() const noexcept { return width_; }
    int32_t height() const noexcept { return height_; }
    uint32_t at(int x, int y) const noexcept { return pixels_[static_cast<size_t>(y) * width_ + x]; }

private:
    friend Surface SurfaceCreate(int32_t, int32_t);
    friend void SurfaceDestroy(Surface&);
    MemoryDCHandle dc_;
    BitmapHandle bitmap_;
    HGDIOBJ previous_ = nullptr;  // the DC's own bitmap, put back before deleting ours
    uint32_t* pixels_ = nullptr;
    int32_t width_ = 1, height_ = 1;
};

// Premultiplied 0xAARRGGBB pixels of a square image; side 0 when empty.
struct IconImage {
    int32_t side = 0;
    std::vector<uint32_t> pixels;
};

// The header of a top-down 32-bit BI_RGB bitmap of w x h.
BITMAPINFO TopDownBitmapInfo(int32_t width, int32_t height);

// w and h are at least 1. The pixels are not cleared: fill them first.
Surface SurfaceCreate(int32_t width, int32_t height);
void SurfaceDestroy(Surface& surface);

// Opaque fill of the rectangle clipped to the surface.
void SurfaceFill(Surface& surface, const RECT& rect, COLORREF colour);
// Anti-aliased rounded rectangle with a 1-px border when a border colour is
// given; either colour may be NoColor.
void SurfaceRoundRect(Surface& surface, const RECT& rect, int32_t radius, COLORREF fill, COLORREF border,
                      int fillAlpha, int borderAlpha);
// DrawTextW with the slot's font; the font stays selected in the surface.
void SurfaceText(Surface& surface, const wchar_t* text, int length, const RECT& rect, int slot, COLORREF colour,
                 UINT flags);
inline void SurfaceText(Surface& surface, const std::wstring& text, const RECT& rect, int slot, COLORREF colour,
                        UINT flags) {
    SurfaceText(surface, text.c_str(), static_cast<int>(text.size()), rect, slot, colour, flags);
}
void SurfaceDrawImage(Surface& surface, const IconImage& image, int x, int y);
void SurfaceBlit(const Surface& surface, HDC target, int x, int y);

// The icon scaled to side n by box averaging, premultiplied; empty on any
// failure.
IconImage IconImageFromIcon(HICON icon, int32_t n);

// DrawTextW flag sets.
constexpr UINT kLabelFlags = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;  // 0x8824
constexpr UINT kPathFlags = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_PATH_ELLIPSIS;  // 0x4824
constexpr UINT kParagraphFlags = DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL;             // 0x2810
