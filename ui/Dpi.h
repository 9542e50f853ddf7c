// The process-wide DPI and the one scaling rule for design lengths. Every
// layout length in the windows is given at 96 DPI and goes through Scale.
#pragma once

#include <cstdint>

int32_t CurrentDpi() noexcept;
// Never below 96. Whoever changes it rebuilds the fonts (BuildFonts).
void SetCurrentDpi(int32_t dpi) noexcept;
// MulDiv(length, dpi, 96): rounded to nearest.
int32_t Scale(int32_t length) noexcept;
