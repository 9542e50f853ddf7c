// The drawing toolkit as the painters rely on it: the surface's clipping and
// blending, the logo's image, the scroll bar, the icons and their cache, and
// the fonts (faces, DPI, measuring, the Vietnamese glyphs). The icon paths
// are the program's own constants: their scan is judged on the masks and on
// the contact sheet (tools/contact-sheet.sh), not on paths no one writes.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "ui/Colors.h"
#include "ui/Dpi.h"
#include "ui/Fonts.h"
#include "ui/IconPaths.h"
#include "ui/Icons.h"
#include "ui/ScrollBar.h"
#include "ui/Surface.h"

namespace {
Surface Filled(int w, int h, COLORREF c) {
    Surface s = SurfaceCreate(w, h);
    SurfaceFill(s, RECT{0, 0, w, h}, c);
    return s;
}

// Every pixel of the surface against `expected(x, y)` (0x00RRGGBB).
template <typename F>
void ExpectPixels(const Surface& s, F expected) {
    for (int y = 0; y < s.height(); ++y)
        for (int x = 0; x < s.width(); ++x) ASSERT_EQ(s.at(x, y), expected(x, y)) << x << "," << y;
}

// An icon whose colour bitmap holds exactly these pixels (0xAARRGGBB).
HICON MakeIcon(int side, const std::vector<uint32_t>& pixels) {
    BITMAPINFO bi = TopDownBitmapInfo(side, side);
    void* bits = nullptr;
    HBITMAP colour = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    memcpy(bits, pixels.data(), pixels.size() * 4);
    HBITMAP mask = CreateBitmap(side, side, 1, 1, nullptr);
    ICONINFO info{TRUE, 0, 0, mask, colour};
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(colour);
    DeleteObject(mask);
    return icon;
}

TEST(Surface, FillsAndShapesStayInsideTheirRectangleAndTheSurface) {
    Surface s = Filled(10, 10, RGB(0, 0, 0));
    SurfaceFill(s, RECT{-5, 8, 3, 20}, RGB(1, 2, 3));
    SurfaceFill(s, RECT{6, 0, 6, 10}, RGB(9, 9, 9));  // right <= left: nothing
    ExpectPixels(s, [](int x, int y) { return x < 3 && y >= 8 ? 0x010203u : 0u; });
    // Radius 0: a plain rectangle with a 1-pixel border band.
    Surface b = Filled(6, 5, RGB(0, 0, 0));
    SurfaceRoundRect(b, RECT{0, 0, 6, 5}, 0, RGB(0, 0, 200), RGB(200, 0, 0), 255, 255);
    ExpectPixels(b, [](int x, int y) { return x == 0 || y == 0 || x == 5 || y == 4 ? 0xC80000u : 0xC8u; });
    // A radius too large for the height is clamped to it: the corner pixel only partly covered.
    Surface r8 = Filled(10, 4, RGB(0, 0, 0)), r2 = Filled(10, 4, RGB(0, 0, 0));
    SurfaceRoundRect(r8, RECT{0, 0, 10, 4}, 8, RGB(255, 255, 255), NoColor, 255, 255);
    SurfaceRoundRect(r2, RECT{0, 0, 10, 4}, 2, RGB(255, 255, 255), NoColor, 255, 255);
    EXPECT_TRUE((r8.at(0, 0) & 0xFF) > 0 && (r8.at(0, 0) & 0xFF) < 255);
    ExpectPixels(r8, [&](int x, int y) { return r2.at(x, y); });
    // Edges blend with their alphas and leave the top byte clear; no colour changes nothing.
    Surface a = Filled(20, 20, RGB(10, 20, 30));
    SurfaceRoundRect(a, RECT{0, 0, 20, 20}, 6, RGB(200, 100, 50), RGB(0, 255, 0), 100, 60);
    EXPECT_EQ(a.at(10, 0), BlendPixel(ToPixel(RGB(10, 20, 30)), ToPixel(RGB(0, 255, 0)), 60));
    EXPECT_EQ(a.at(10, 10), BlendPixel(ToPixel(RGB(10, 20, 30)), ToPixel(RGB(200, 100, 50)), 100));
    for (int i = 0; i < 400; ++i) ASSERT_EQ(a.pixels()[i] >> 24, 0u);
    Surface n = Filled(8, 8, RGB(7, 8, 9));
    SurfaceRoundRect(n, RECT{0, 0, 8, 8}, 3, NoColor, NoColor, 255, 255);
    ExpectPixels(n, [](int, int) { return 0x070809u; });
    // A premultiplied image composites over the surface and is clipped away outside.
    Surface d = Filled(2, 1, RGB(0, 0, 200));
    const IconImage img{1, {0x80400000u}};  // half-transparent red
    SurfaceDrawImage(d, img, 1, 0);
    SurfaceDrawImage(d, img, 5, 5);
    EXPECT_EQ(d.at(0, 0), 0x0000C8u);
    EXPECT_EQ(d.at(1, 0), 0x400000u | ((200u * 127 + 127) / 255));
}

TEST(Surface, TheLogoImageAveragesBlocksWhenShrinking) {
    // 32 -> 16 without alpha: each 2 x 2 block holds 0, 40, 80, 120 in blue.
    std::vector<uint32_t> p(32 * 32);
    for (int i = 0; i < 32 * 32; ++i) p[i] = static_cast<uint32_t>(((i / 32 % 2) * 2 + i % 2) * 40);
    HICON opaque = MakeIcon(32, p);
    const IconImage small = IconImageFromIcon(opaque, 16);
    ASSERT_EQ(small.side, 16);
    for (uint32_t px : small.pixels) EXPECT_EQ(px, 0xFF00003Cu);  // opaque, blue (0+40+80+120)/4
    EXPECT_EQ(IconImageFromIcon(nullptr, 16).side, 0);
    DestroyIcon(opaque);
}

TEST(ScrollBar, ThumbFollowsContentPageAndPositionAndPressesMoveIt) {
    const RECT track{0, 0, 10, 200};
    const RECT thumb = ScrollThumbRect(ScrollBarState{1000, 250, 750, false, 0}, track);
    EXPECT_EQ(std::make_pair(thumb.top, thumb.bottom), std::make_pair(150L, 200L));
    const RECT smallest = ScrollThumbRect(ScrollBarState{100000, 250, 0, false, 0}, track);
    EXPECT_EQ(smallest.bottom - smallest.top, Scale(28));
    // A press below the thumb centres it there; a press on it keeps it.
    ScrollBarState s{1000, 250, 0, false, 0};
    ASSERT_TRUE(ScrollBarMouseDown(s, POINT{5, 125}, track));
    const RECT moved = ScrollThumbRect(s, track);
    EXPECT_EQ((moved.top + moved.bottom) / 2, 125);
    EXPECT_TRUE(s.dragging);
    ScrollBarState t{1000, 250, 300, false, 0};
    const RECT before = ScrollThumbRect(t, track);
    ASSERT_TRUE(ScrollBarMouseDown(t, POINT{5, before.top + 3}, track));
    EXPECT_EQ(ScrollThumbRect(t, track).top, before.top);
    EXPECT_TRUE(ScrollBarDrag(t, POINT{5, -400}, track));  // dragged above the track: the top
    EXPECT_EQ(t.position, 0);
    ScrollBarState all{100, 250, 0, false, 0};
    EXPECT_FALSE(ScrollBarMouseDown(all, POINT{5, 50}, track));  // a page that holds all: no drag
    EXPECT_FALSE(ScrollBarMouseDown(s, POINT{40, 50}, track));    // beyond the widened track
}

int At(const IconMask& m, int row, int col) { return m.coverage[static_cast<size_t>(row) * m.side + col]; }
IconMask Mask(const char* path) { return RasterizeMask(ParseIconPath(path), 24); }

TEST(Icons, FixedGlyphsAndTrianglesScanExactly) {
    // Plus and pause are bars on whole pixels; the download arrow stands on one.
    const auto bars = [](const IconMask& m, std::initializer_list<RECT> inside, int fromRow) {
        for (int r = fromRow; r < 24; ++r)
            for (int c = 0; c < 24; ++c) {
                bool in = false;
                for (const RECT& b : inside) in |= c >= b.left && c < b.right && r >= b.top && r < b.bottom;
                ASSERT_EQ(At(m, r, c), in ? 255 : 0) << "row " << r << " col " << c;
            }
    };
    bars(GetIconMask(4, 24), {RECT{5, 11, 19, 13}, RECT{11, 5, 13, 19}}, 0);
    bars(GetIconMask(34, 24), {RECT{6, 5, 10, 19}, RECT{14, 5, 18, 19}}, 0);
    bars(GetIconMask(33, 24), {RECT{5, 18, 19, 20}}, 17);
    // Full above the diagonal, half on it (single precision sums five fifths to a little under or over).
    const IconMask t = Mask("M0,0L24,0L24,24Z");
    for (int r = 0; r < 24; ++r)
        for (int c = 0; c < 24; ++c) {
            const int v = At(t, r, c);
            ASSERT_TRUE(c > r ? v == 255 : c < r ? v == 0 : (v == 127 || v == 128)) << r << "," << c << ": " << v;
        }
    // Every entry of the table draws something.
    for (int icon = 1; icon < kIconCount; ++icon)
        EXPECT_NE(std::set<uint8_t>(GetIconMask(icon, 24).coverage.begin(), GetIconMask(icon, 24).coverage.end()).size(), 1u)
            << icon;
}

TEST(Icons, OneCacheEntryPerIconAndSideAndDrawingClipsAtTheEdges) {
    Surface s = Filled(20, 20, RGB(0, 0, 0));
    const size_t before = IconCacheSize();
    DrawIcon(s, 9, 0, 0, 17, RGB(255, 0, 0));
    DrawIcon(s, 9, 5, 0, 17, RGB(0, 255, 0));  // another colour, same entry
    DrawIcon(s, 9, 0, 5, 19, RGB(0, 0, 255));
    EXPECT_EQ(IconCacheSize(), before + 2);
    // Numbers outside the table and empty sides neither draw nor cache.
    Surface blank = Filled(30, 30, RGB(0, 0, 0));
    for (auto [icon, side] : std::initializer_list<std::pair<int, int>>{{0, 24}, {-1, 24}, {kIconCount, 24}, {1000, 24}, {4, 0}, {4, -5}})
        DrawIcon(blank, icon, 0, 0, side, RGB(255, 255, 255));
    ExpectPixels(blank, [](int, int) { return 0u; });
    EXPECT_EQ(IconCacheSize(), before + 2);
    // Only the plus's lower right part lands on the surface.
    Surface c = Filled(20, 20, RGB(0, 0, 0));
    DrawIcon(c, 4, -12, -12, 24, RGB(255, 255, 255));
    const IconMask& plus = GetIconMask(4, 24);
    ExpectPixels(c, [&](int x, int y) { return BlendPixel(0, 0xFFFFFF, x < 12 && y < 12 ? At(plus, y + 12, x + 12) : 0); });
}

TEST(Fonts, FacesFallBackOneByOneAndScaleWithTheDpi) {
    const auto with = [](std::set<std::wstring> installed) {
        return ChooseFaces([&](const wchar_t* face) { return installed.count(face) > 0; });
    };
    const struct { std::set<std::wstring> installed; const wchar_t *ui, *semibold, *mono; int weight; } cases[] = {
        {{}, L"Tahoma", L"Tahoma", L"Courier New", 700},
        {{L"Segoe UI Semibold", L"Lucida Console"}, L"Tahoma", L"Segoe UI Semibold", L"Lucida Console", 600},
        {{L"Segoe UI", L"Consolas", L"Lucida Console"}, L"Segoe UI", L"Segoe UI", L"Consolas", 700}};
    for (const auto& c : cases) {
        const FontFaces f = with(c.installed);
        EXPECT_EQ(std::tie(f.ui, f.semibold, f.mono, f.semiboldWeight),
                  std::make_tuple(std::wstring(c.ui), std::wstring(c.semibold), std::wstring(c.mono), c.weight));
    }
    // Every slot exists at 96 and at 144 DPI, half as tall again, with its line height from the real metrics.
    std::vector<LONG> heights;
    for (int dpi : {96, 144}) {
        SetCurrentDpi(dpi);
        BuildFonts();
        for (int slot = 0; slot < kFontSlots; ++slot) {
            LOGFONTW lf{};
            ASSERT_EQ(GetObjectW(FontOf(slot), sizeof lf, &lf), static_cast<int>(sizeof lf)) << slot;
            if (dpi == 96) heights.push_back(lf.lfHeight);
            else EXPECT_EQ(lf.lfHeight, MulDiv(heights[slot], 144, 96)) << slot;
            TEXTMETRICW tm{};
            HGDIOBJ old = SelectObject(MeasuringDC(), FontOf(slot));
            GetTextMetricsW(MeasuringDC(), &tm);
            SelectObject(MeasuringDC(), old);
            EXPECT_EQ(LineHeightOf(slot), tm.tmHeight);
        }
    }
    SetCurrentDpi(96);
    BuildFonts();
}

TEST(Fonts, MeasuringWrapsAndVietnameseLettersHaveRealGlyphs) {
    BuildFonts();
    const int one = MeasureTextHeight(L"word", 4, 500);
    EXPECT_EQ(one, LineHeightOf(4));
    EXPECT_GE(MeasureTextHeight(L"word word word word word word", 4, 40), 3 * one);
    EXPECT_GT(MeasureTextWidth(L"WW", 4).cx, MeasureTextWidth(L"W", 4).cx);
    BuildFonts();  // the measuring DC holds no font of ours between calls: they can be rebuilt
    EXPECT_NE(FontOf(4), nullptr);
    // A letter without a glyph in the substitute face draws like a private-use
    // character (a box); every letter of the Vietnamese captions must differ.
    const auto render = [](wchar_t c, int slot) {
        Surface s = Filled(40, 40, RGB(0, 0, 0));
        SurfaceText(s, &c, 1, RECT{0, 0, 40, 40}, slot, RGB(255, 255, 255), DT_SINGLELINE | DT_NOPREFIX);
        GdiFlush();
        return std::vector<uint32_t>(s.pixels(), s.pixels() + 40 * 40);
    };
    const std::wstring letters = L"ăâđêôơưáàảãạấầẩẫậắằẳẵặéèẻẽẹếềểễệíìỉĩịóòỏõọốồổỗộớờởỡợúùủũụứừửữựýỳỷỹỵ"
                                 L"ĂÂĐÊÔƠƯÁÀẢÃẠẤẦẨẪẬẮẰẲẴẶÉÈẺẼẸẾỀỂỄỆÍÌỈĨỊÓÒỎÕỌỐỒỔỖỘỚỜỞỠỢÚÙỦŨỤỨỪỬỮỰÝỲỶỸỴ…";
    for (int slot : {2, 3, 4, 7}) {
        const auto box = render(L'\uE000', slot);
        for (wchar_t c : letters) EXPECT_NE(render(c, slot), box) << "slot " << slot << " U+" << std::hex << int(c);
    }
}
}  // namespace
