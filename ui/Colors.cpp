#include "ui/Colors.h"

#include "store/Lang.h"

#include <cwchar>

namespace {
constexpr COLORREF kDark[10] = {
    RGB(13, 17, 23),  RGB(19, 24, 34), RGB(23, 29, 41),    RGB(17, 22, 32),    RGB(31, 39, 55),
    RGB(29, 43, 72),  RGB(38, 47, 66), RGB(241, 245, 249), RGB(148, 163, 184), RGB(18, 23, 33),
};
constexpr COLORREF kLight[10] = {
    RGB(243, 245, 250), RGB(255, 255, 255), RGB(255, 255, 255), RGB(248, 250, 252), RGB(239, 244, 255),
    RGB(224, 234, 255), RGB(220, 227, 240), RGB(15, 23, 42),    RGB(100, 116, 139), RGB(255, 255, 255),
};
// High contrast, entry by entry: the backgrounds are the window, the
// panels, insets, hover and selection the button face (hover and selection
// show by their blue border, which is the highlight), borders the button
// text so every divider stays visible, text the window text, secondary text
// the grey text.
constexpr int kSystem[10] = {
    COLOR_WINDOW,  COLOR_WINDOW,  COLOR_BTNFACE,    COLOR_BTNFACE,   COLOR_BTNFACE,
    COLOR_BTNFACE, COLOR_BTNTEXT, COLOR_WINDOWTEXT, COLOR_GRAYTEXT,  COLOR_WINDOW,
};

bool g_highContrast = false;
}  // namespace

bool IsHighContrast() noexcept { return g_highContrast; }
void SetHighContrast(bool on) noexcept { g_highContrast = on; }

bool HighContrastFlagsOn(const wchar_t* flags) noexcept {
    if (!flags || !*flags) return false;
    wchar_t* end = nullptr;
    const unsigned long value = std::wcstoul(flags, &end, 10);
    return end && *end == L'\0' && (value & HCF_HIGHCONTRASTON);
}

bool SystemHighContrast() noexcept {
    HIGHCONTRASTW hc{};
    hc.cbSize = sizeof hc;
    if (::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof hc, &hc, 0) && (hc.dwFlags & HCF_HIGHCONTRASTON)) return true;
    // Wine answers the call with no flag whatever the theme; Windows keeps
    // the same flag here, so reading it agrees with the call there.
    wchar_t flags[16] = {};
    DWORD bytes = sizeof flags - sizeof(wchar_t);
    if (::RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Accessibility\\HighContrast", L"Flags", RRF_RT_REG_SZ, nullptr,
                       flags, &bytes) != ERROR_SUCCESS)
        return false;
    return HighContrastFlagsOn(flags);
}

bool FollowHighContrast() noexcept {
    const bool now = SystemHighContrast();
    if (now == g_highContrast) return false;
    g_highContrast = now;
    return true;
}

int PaletteSysColor(int entry) noexcept { return kSystem[entry < 0 || entry > 9 ? 2 : entry]; }

COLORREF PaletteColor(int entry, bool dark) noexcept {
    if (entry < 0 || entry > 9) entry = 2;
    return dark ? kDark[entry] : kLight[entry];
}

COLORREF PaletteColor(int entry) noexcept {
    const PaletteSet set = ChoosePalette(g_highContrast, IsDarkTheme());
    return set == PaletteSet::System ? ::GetSysColor(PaletteSysColor(entry)) : PaletteColor(entry, set == PaletteSet::Dark);
}

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
