// The glyph table: one path per icon number on a 24 x 24 design grid, in
// the small path grammar of Icons.h (M L H V C A Z, upper and lower case).
// Entry 0 is empty (no icon); the numbers are fixed, the windows refer to
// glyphs by number.
#pragma once

constexpr int kIconCount = 39;
extern const char* const kIconPaths[kIconCount];
