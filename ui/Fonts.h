// The ten process-wide UI fonts, the one memory DC all measuring shares,
// and text measuring. UI thread only; the faces are chosen once per
// process, the fonts once per DPI.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

constexpr int kFontSlots = 10;

struct FontFaces {
    std::wstring ui;        // "Segoe UI", else "Tahoma"
    std::wstring semibold;  // "Segoe UI Semibold", else the UI face
    int32_t semiboldWeight = 700;  // 600 with the semibold face, 700 with the UI face
    std::wstring mono;      // "Consolas", "Lucida Console", else "Courier New"
};

// The face choice as a function of an "is this family installed?" test.
FontFaces ChooseFaces(const std::function<bool(const wchar_t*)>& installed);

// The font BuildFonts creates for a slot at a DPI. Slots outside 0..9 give
// slot 0's request.
LOGFONTW FontRequest(int slot, const FontFaces& faces, int32_t dpi);

// Copies at most 31 characters and always terminates (a 32-character face
// would otherwise leave lfFaceName without its NUL).
void CopyFaceName(LOGFONTW& font, const std::wstring& face);

bool IsFontInstalled(const std::wstring& face);
// Creates the ten fonts for the current DPI, replacing the old ones slot by
// slot: handles taken earlier become invalid.
void BuildFonts();
// The faces the first BuildFonts chose.
const FontFaces& ChosenFaces();

// Null and 0 for a slot outside 0..9 or before BuildFonts.
HFONT FontOf(int slot) noexcept;
int32_t LineHeightOf(int slot) noexcept;

// The shared measuring DC, created at first use. It never holds one of our
// fonts between calls.
HDC MeasuringDC();

// GDI extent of the text, its width + 2 when above 0; empty text: 0 x 0.
SIZE MeasureTextWidth(const std::wstring& text, int slot);
// Height of the text word-wrapped to the width.
int32_t MeasureTextHeight(const std::wstring& text, int slot, int32_t width);

// At exit: the fonts and the measuring DC.
void DeleteFonts();
