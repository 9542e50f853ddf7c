#include "ui/Colors.h"

#include "store/Lang.h"

namespace {
constexpr COLORREF kDark[10] = {
    RGB(13, 17, 23),  RGB(19, 24, 34), RGB(23, 29, 41),    RGB(17, 22, 32),    RGB(31, 39, 55),
    RGB(29, 43, 72),  RGB(38, 47, 66), RGB(241, 245, 249), RGB(148, 163, 184), RGB(18, 23, 33),
};
constexpr COLORREF kLight[10] = {
    RGB(243, 245, 250), RGB(255, 255, 255), RGB(255, 255, 255), RGB(248, 250, 252), RGB(239, 244, 255),
    RGB(224, 234, 255), RGB(220, 227, 240), RGB(15, 23, 42),    RGB(100, 116, 139), RGB(255, 255, 255),
};
}  // namespace

COLORREF PaletteColor(int entry, bool dark) noexcept {
    if (entry < 0 || entry > 9) entry = 2;
    return dark ? kDark[entry] : kLight[entry];
}

COLORREF PaletteColor(int entry) noexcept { return PaletteColor(entry, IsDarkTheme()); }

uint32_t BlendPixel(uint32_t dst, uint32_t src, int alpha) noexcept {
    if (alpha >= 255) return src & 0x00FFFFFF;
    if (alpha <= 0) return dst;
    const uint32_t a = static_cast<uint32_t>(alpha);
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const uint32_t d = (dst >> shift) & 0xFF, s = (src >> shift) & 0xFF;
        out |= ((d * (255 - a) + s * a + 127) / 255) << shift;
    }
    return out;
}

COLORREF MixColors(COLORREF base, COLORREF other, int alpha) noexcept {
    return FromPixel(BlendPixel(ToPixel(base), ToPixel(other), alpha));
}
