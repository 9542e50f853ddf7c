// The two theme palettes, the accent colours and the two colour blends
// every painter uses. Interfaces take COLORREF (0x00BBGGRR); surface pixels
// are 0x00RRGGBB, and BlendPixel works on those.
#pragma once

#include <windows.h>

#include <cstdint>

// "No colour": an optional fill or border that is not drawn.
constexpr COLORREF NoColor = 0xFFFFFFFF;

// High contrast: when Windows runs a high-contrast theme, every colour is
// one of the system's (GetSysColor) instead of the dark or light palette.
// The flag is process-wide, UI thread only; SetHighContrast is also the
// tests' seam, as Wine never reports the theme.
bool IsHighContrast() noexcept;
void SetHighContrast(bool on) noexcept;
// What Windows says now: SPI_GETHIGHCONTRAST, or the value it keeps under
// HKCU\Control Panel\Accessibility\HighContrast (Flags).
bool SystemHighContrast() noexcept;
// The registry's Flags text ("127"): HCF_HIGHCONTRASTON is bit 0.
bool HighContrastFlagsOn(const wchar_t* flags) noexcept;
// Re-reads the system's answer; true when the flag changed (the caller
// redraws and drops what it cached in the old colours).
bool FollowHighContrast() noexcept;

enum class PaletteSet { Dark, Light, System };
// Which colours to draw with: the system's in high contrast, else the theme's.
constexpr PaletteSet ChoosePalette(bool highContrast, bool dark) noexcept {
    return highContrast ? PaletteSet::System : dark ? PaletteSet::Dark : PaletteSet::Light;
}
// The GetSysColor entry standing for a palette entry (0..9, others as 2) in high contrast.
int PaletteSysColor(int entry) noexcept;

// An accent or state colour: its own value, or in high contrast the system
// colour that takes its role. Converts wherever a COLORREF is wanted, so the
// painters name it as before.
struct AccentColor {
    COLORREF own;
    int sysColor;  // COLOR_* index
    operator COLORREF() const noexcept { return IsHighContrast() ? ::GetSysColor(sysColor) : own; }
};

// High contrast: running states and focus are the highlight; what merely
// draws the eye (hover, paused, failed, the write position) is the hot light;
// finished and the version are plain text; white text on an accent fill is
// the highlight's text.
constexpr AccentColor kBlue{RGB(59, 130, 246), COLOR_HIGHLIGHT};
constexpr AccentColor kHoverBlue{RGB(96, 165, 250), COLOR_HOTLIGHT};
constexpr AccentColor kPressedIndigo{RGB(79, 70, 229), COLOR_HIGHLIGHT};
constexpr AccentColor kGreen{RGB(16, 185, 129), COLOR_WINDOWTEXT};
constexpr AccentColor kAmber{RGB(245, 158, 11), COLOR_HOTLIGHT};
constexpr AccentColor kRed{RGB(239, 68, 68), COLOR_HOTLIGHT};
constexpr AccentColor kViolet{RGB(139, 92, 246), COLOR_WINDOWTEXT};
constexpr AccentColor kWhite{RGB(255, 255, 255), COLOR_HIGHLIGHTTEXT};

// Palette entries: 0 window, 1 sidebar, 2 panels and buttons, 3 insets and
// footers, 4 hover, 5 selected and pressed, 6 borders, 7 text, 8 secondary
// text, 9 input fields. An entry outside 0..9 reads as 2.
COLORREF PaletteColor(int entry, bool dark) noexcept;
// The entry in the theme of this moment (the system's in high contrast).
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
