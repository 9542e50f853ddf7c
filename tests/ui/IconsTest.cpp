// The path parser, the scan converter, the mask cache and icon drawing.
// Golden masks only where the glyph's path is fixed: the others are judged
// on the contact sheet (tools/contact-sheet.sh).
#include <gtest/gtest.h>

#include <string>

#include "ui/Colors.h"
#include "ui/IconPaths.h"
#include "ui/Icons.h"
#include "ui/Surface.h"

namespace {
int At(const IconMask& m, int row, int col) { return m.coverage[static_cast<size_t>(row) * m.side + col]; }

IconMask Mask(const char* path, int n = 24) { return RasterizeMask(ParseIconPath(path), n); }

bool AllZero(const IconMask& m) {
    for (uint8_t c : m.coverage)
        if (c) return false;
    return true;
}

// The rows and columns inside [r0, r1) x [c0, c1) are 255, all others 0.
void ExpectBars(const IconMask& m, const std::vector<RECT>& bars) {
    for (int r = 0; r < m.side; ++r)
        for (int c = 0; c < m.side; ++c) {
            bool inside = false;
            for (const RECT& b : bars) inside |= c >= b.left && c < b.right && r >= b.top && r < b.bottom;
            EXPECT_EQ(At(m, r, c), inside ? 255 : 0) << "row " << r << " col " << c;
        }
}
}  // namespace

TEST(IconMasks, GlyphsWithFixedPathsAreExactAt24) {
    ExpectBars(GetIconMask(4, 24), {RECT{5, 11, 19, 13}, RECT{11, 5, 13, 19}});  // plus
    ExpectBars(GetIconMask(34, 24), {RECT{6, 5, 10, 19}, RECT{14, 5, 18, 19}});  // pause
    const IconMask& download = GetIconMask(33, 24);
    for (int r = 17; r < 24; ++r)  // the bar under the arrow
        for (int c = 0; c < 24; ++c)
            EXPECT_EQ(At(download, r, c), (r == 18 || r == 19) && c >= 5 && c < 19 ? 255 : 0) << r << "," << c;
}

TEST(IconMasks, TriangleIsFullAboveTheDiagonalAndHalfOnIt) {
    const IconMask m = Mask("M0,0L24,0L24,24Z");
    for (int r = 0; r < 24; ++r)
        for (int c = 0; c < 24; ++c) {
            const int v = At(m, r, c);
            // On the diagonal single precision sums five fifths to a little
            // under or over one half.
            const bool right = c > r ? v == 255 : c < r ? v == 0 : (v == 127 || v == 128);
            EXPECT_TRUE(right) << "row " << r << " col " << c << ": " << v;
        }
}

TEST(IconMasks, ArcTooSmallForItsEndsBecomesAHalfEllipse) {
    const IconMask m = Mask("M2,12A1,1 0 0,1 22,12Z");
    EXPECT_EQ(At(m, 4, 12), 255);  // inside the upper half of the circle of radius 10
    EXPECT_EQ(At(m, 11, 3), 255);
    EXPECT_EQ(At(m, 14, 12), 0);   // nothing below the chord
    EXPECT_EQ(At(m, 1, 12), 0);    // outside the radius
}

TEST(IconParse, GrammarRules) {
    // Two points only: no polygon, nothing drawn.
    EXPECT_TRUE(ParseIconPath("M0,0L24,24").empty());
    EXPECT_TRUE(AllZero(Mask("M0,0L24,24")));
    // Relative commands, the implied L after m, and "1-2" / "1.5.5" splitting.
    auto p = ParseIconPath("m1,1 2,0 0,2z");
    ASSERT_EQ(p.size(), 1u);
    ASSERT_EQ(p[0].size(), 3u);
    EXPECT_EQ(p[0][2].x, 3.0f);
    EXPECT_EQ(p[0][2].y, 3.0f);
    p = ParseIconPath("M0,0H1.5.5V-2-3");
    ASSERT_EQ(p.size(), 1u);
    ASSERT_EQ(p[0].size(), 5u);
    EXPECT_EQ(p[0][2].x, 0.5f);
    EXPECT_EQ(p[0][4].y, -3.0f);
    // A letter outside the grammar stops the parse; what was finished stays.
    p = ParseIconPath("M0,0H12V12H0ZQ1,2,3,4M12,12H24V24H12Z");
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0][1].x, 12.0f);
    // Carriage return is no separator: the parse ends there.
    p = ParseIconPath("M0,0L10,0L10,10\rL0,10");
    ASSERT_EQ(p.size(), 1u);
    for (const IconPoint& q : p[0]) EXPECT_FALSE(q.x == 0.0f && q.y == 10.0f);
    // A number before any command: nothing.
    EXPECT_TRUE(ParseIconPath("5,5L1,1L2,2").empty());
}

TEST(IconParse, NonFiniteAndHugeNumbersStayInsideTheMask) {
    // Each would write outside the mask or spin for a very long time if its
    // coordinates were turned into columns unclamped.
    for (const char* path : {"Mnan,12L24,0L24,24Z", "M1e10,0L2e10,0L2e10,24Z", "M-1e30,0L1e30,0L0,24Z",
                             "Minf,0L24,0L24,24Z", "M0,0A1e38,1e38 0 1,1 24,24Z", "M0,0Ainf,1 0 1 1 24 24L0,24Z",
                             "M0,0A1,1 nan 1 1 24 24L0,24Z"}) {
        SCOPED_TRACE(path);
        const auto polys = ParseIconPath(path);
        for (const IconPolygon& poly : polys) EXPECT_LE(poly.size(), 100u);
        const IconMask m = RasterizeMask(polys, 24);
        EXPECT_EQ(m.coverage.size(), 24u * 24u);
    }
    // The wide band still covers the mask it crosses.
    EXPECT_EQ(At(Mask("M-1e30,0L1e30,0L1e30,24L-1e30,24Z"), 12, 12), 255);
}

TEST(IconCache, OneEntryPerIconAndSide) {
    Surface s = SurfaceCreate(64, 64);
    SurfaceFill(s, RECT{0, 0, 64, 64}, RGB(0, 0, 0));
    const size_t before = IconCacheSize();
    const IconMask* first = &GetIconMask(9, 17);
    DrawIcon(s, 9, 0, 0, 17, RGB(255, 0, 0));
    DrawIcon(s, 9, 20, 0, 17, RGB(0, 255, 0));  // another colour, same entry
    EXPECT_EQ(IconCacheSize(), before + 1);
    EXPECT_EQ(&GetIconMask(9, 17), first);
    DrawIcon(s, 9, 0, 20, 19, RGB(0, 0, 255));
    EXPECT_EQ(IconCacheSize(), before + 2);
    // Numbers outside the table and empty sides neither draw nor cache.
    Surface blank = SurfaceCreate(30, 30);
    SurfaceFill(blank, RECT{0, 0, 30, 30}, RGB(0, 0, 0));
    for (int icon : {0, -1, 39, 1000}) DrawIcon(blank, icon, 0, 0, 24, RGB(255, 255, 255));
    DrawIcon(blank, 4, 0, 0, 0, RGB(255, 255, 255));
    DrawIcon(blank, 4, 0, 0, -5, RGB(255, 255, 255));
    for (int i = 0; i < 30 * 30; ++i) EXPECT_EQ(blank.pixels()[i], 0u);
    EXPECT_EQ(IconCacheSize(), before + 2);
    EXPECT_EQ(GetIconMask(-1, 24).side, 0);
    EXPECT_EQ(GetIconMask(39, 24).side, 0);
    EXPECT_EQ(GetIconMask(4, 0).side, 0);
}

TEST(DrawIcon, BlendsCoverageAndClipsAtTheEdges) {
    Surface s = SurfaceCreate(20, 20);
    SurfaceFill(s, RECT{0, 0, 20, 20}, RGB(0, 0, 0));
    DrawIcon(s, 4, -12, -12, 24, RGB(255, 255, 255));  // only the plus's lower right part lands
    const IconMask& plus = GetIconMask(4, 24);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            const int m = x + 12 < 24 && y + 12 < 24 ? At(plus, y + 12, x + 12) : 0;
            EXPECT_EQ(s.at(x, y), BlendPixel(0, 0xFFFFFF, m)) << x << "," << y;
        }
    // Every entry of the table parses into something drawable.
    for (int icon = 1; icon < kIconCount; ++icon) EXPECT_FALSE(AllZero(GetIconMask(icon, 24))) << icon;
}
