// Vector icons: a path in a small subset of the SVG path grammar on a
// 24 x 24 design grid, parsed into polygons, scan-converted once per
// (icon, side) into a coverage mask and blended into a surface in any
// colour.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>
#include <vector>

class Surface;

struct IconPoint {
    float x, y;
};
// Always closed: the last point joins the first.
using IconPolygon = std::vector<IconPoint>;

struct IconMask {
    int32_t side = 0;
    std::vector<uint8_t> coverage;  // side x side, row-major, 0 outside .. 255 inside
};

// Whatever polygons were complete before the parse stopped.
std::vector<IconPolygon> ParseIconPath(std::string_view path);
// Non-zero winding, 5 sub-scanlines per row, exact horizontal coverage.
IconMask RasterizeMask(const std::vector<IconPolygon>& polygons, int32_t n);
// The cached mask of icon 1..38 at side n >= 1; an empty (all-zero) mask
// for anything else. The reference stays valid for the life of the process.
const IconMask& GetIconMask(int icon, int32_t n);
// Number of cached masks.
size_t IconCacheSize();
// Blends the icon's coverage in the colour at (x, y), n x n.
void DrawIcon(Surface& surface, int icon, int x, int y, int32_t n, COLORREF colour);
