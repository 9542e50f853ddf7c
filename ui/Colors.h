// The two theme palettes, the accent colours and the two colour blends
// every painter uses. Interfaces take COLORREF (0x00BBGGRR); surface pixels
// are 0x00RRGGBB, and BlendPixel works on those.
#pragma once

#include <windows.h>

#include <cstdint>

// "No colour": an optional fill or border that is not drawn.
constexpr COLORREF NoColor = 0xFFFFFFFF;

constexpr COLORREF kBlue = RGB(59, 130, 246);
constexpr COLORREF kHoverBlue = RGB(96, 165, 250);
constexpr COLORREF kPressedIndigo = RGB(79, 70, 229);
constexpr COLORREF kGreen = RGB(16, 185, 129);
constexpr COLORREF kAmber = RGB(245, 158, 11);
constexpr COLORREF kRed = RGB(239, 68, 68);
constexpr COLORREF kViolet = RGB(139, 92, 246);
constexpr COLORREF kWhite = RGB(255, 255, 255);

// Palette entries: 0 window, 1 sidebar, 2 panels and buttons, 3 insets and
// footers, 4 hover, 5 selected and pressed, 6 borders, 7 text, 8 secondary
// text, 9 input fields. An entry outside 0..9 reads as 2.
COLORREF PaletteColor(int entry, bool dark) noexcept;
// The entry in the theme of this moment.
COLORREF PaletteColor(int entry) noexcept;

constexpr uint32_t ToPixel(COLORREF c) noexcept {
    return (static_cast<uint32_t>(GetRValue(c)) << 16) | (static_cast<uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
}
constexpr COLORREF FromPixel(uint32_t p) noexcept {
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

// dst and src as 0x00RRGGBB; alpha 0 keeps dst, 255 takes src. The top byte
// of the result is always 0.
uint32_t BlendPixel(uint32_t dst, uint32_t src, int alpha) noexcept;
// BlendPixel on COLORREF values.
COLORREF MixColors(COLORREF base, COLORREF other, int alpha) noexcept;
