// Pixels of the drawing surface, the blends, the icon images and the
// scroll bar arithmetic, as the painters rely on them.
#include <gtest/gtest.h>

#include <vector>

#include "ui/Colors.h"
#include "ui/Dpi.h"
#include "ui/ScrollBar.h"
#include "ui/Surface.h"

namespace {
struct DpiScope {
    explicit DpiScope(int dpi) { SetCurrentDpi(dpi); }
    ~DpiScope() { SetCurrentDpi(96); }
};

Surface Filled(int w, int h, COLORREF c) {
    Surface s = SurfaceCreate(w, h);
    SurfaceFill(s, RECT{0, 0, w, h}, c);
    return s;
}

bool TopBytesClear(const Surface& s) {
    for (int y = 0; y < s.height(); ++y)
        for (int x = 0; x < s.width(); ++x)
            if (s.at(x, y) >> 24) return false;
    return true;
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
}  // namespace

TEST(Scale, RoundsToNearestAtEachDpi) {
    EXPECT_EQ(Scale(11), 11);
    DpiScope dpi(144);
    EXPECT_EQ(Scale(11), 17);
    EXPECT_EQ(Scale(28), 42);
    SetCurrentDpi(72);  // never below 96
    EXPECT_EQ(CurrentDpi(), 96);
}

TEST(Blend, ExactAtTheEndsAndRoundedBetween) {
    EXPECT_EQ(BlendPixel(0x00123456, 0xFFABCDEF, 255), 0x00ABCDEFu);
    EXPECT_EQ(BlendPixel(0x00123456, 0x00ABCDEF, 0), 0x00123456u);
    EXPECT_EQ(BlendPixel(0x00FFFFFF, 0x00000000, 128), 0x007F7F7Fu);
    EXPECT_EQ(MixColors(RGB(255, 0, 0), RGB(0, 0, 255), 255), RGB(0, 0, 255));
}

TEST(SurfaceFill, ClipsToTheSurfaceAndWritesOpaquePixels) {
    Surface s = Filled(10, 10, RGB(0, 0, 0));
    SurfaceFill(s, RECT{-5, 8, 3, 20}, RGB(1, 2, 3));
    SurfaceFill(s, RECT{6, 0, 6, 10}, RGB(9, 9, 9));  // right <= left: nothing
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) EXPECT_EQ(s.at(x, y), (x < 3 && y >= 8) ? 0x010203u : 0u) << x << "," << y;
}

TEST(SurfaceRoundRect, ClampsTheRadiusAndBlendsEdges) {
    // 10 x 4 with radius 8 uses radius 2: the corner pixel is not fully covered.
    Surface s = Filled(10, 4, RGB(0, 0, 0));
    SurfaceRoundRect(s, RECT{0, 0, 10, 4}, 8, RGB(255, 255, 255), NoColor, 255, 255);
    EXPECT_LT(s.at(0, 0) & 0xFF, 255u);
    EXPECT_GT(s.at(0, 0) & 0xFF, 0u);
    EXPECT_EQ(s.at(2, 0), 0x00FFFFFFu);  // past the corner
    Surface r2 = Filled(10, 4, RGB(0, 0, 0));
    SurfaceRoundRect(r2, RECT{0, 0, 10, 4}, 2, RGB(255, 255, 255), NoColor, 255, 255);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 10; ++x) EXPECT_EQ(s.at(x, y), r2.at(x, y));

    // Radius 0: a plain rectangle with a 1-pixel border band.
    Surface b = Filled(6, 5, RGB(0, 0, 0));
    SurfaceRoundRect(b, RECT{0, 0, 6, 5}, 0, RGB(0, 0, 200), RGB(200, 0, 0), 255, 255);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) {
            const bool band = x == 0 || y == 0 || x == 5 || y == 4;
            EXPECT_EQ(b.at(x, y), band ? 0x00C80000u : 0x000000C8u) << x << "," << y;
        }

    // Straight edges blend with the given alphas.
    Surface a = Filled(20, 20, RGB(10, 20, 30));
    SurfaceRoundRect(a, RECT{0, 0, 20, 20}, 6, RGB(200, 100, 50), RGB(0, 255, 0), 100, 60);
    EXPECT_EQ(a.at(10, 0), BlendPixel(ToPixel(RGB(10, 20, 30)), ToPixel(RGB(0, 255, 0)), 60));
    EXPECT_EQ(a.at(10, 10), BlendPixel(ToPixel(RGB(10, 20, 30)), ToPixel(RGB(200, 100, 50)), 100));
    EXPECT_TRUE(TopBytesClear(a));

    // No colour at all changes nothing, however often.
    Surface n = Filled(8, 8, RGB(7, 8, 9));
    SurfaceRoundRect(n, RECT{0, 0, 8, 8}, 3, NoColor, NoColor, 255, 255);
    SurfaceRoundRect(n, RECT{0, 0, 8, 8}, 3, NoColor, NoColor, 255, 255);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(n.at(x, y), 0x070809u);
}

TEST(IconImage, AveragesBlocksWhenShrinkingAndRepeatsWhenEnlarging) {
    // 32 x 32 without alpha: each 2 x 2 block holds 0, 40, 80, 120 in blue.
    std::vector<uint32_t> p(32 * 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) p[y * 32 + x] = static_cast<uint32_t>(((y % 2) * 2 + x % 2) * 40);
    HICON opaque = MakeIcon(32, p);
    const IconImage small = IconImageFromIcon(opaque, 16);
    ASSERT_EQ(small.side, 16);
    for (uint32_t px : small.pixels) EXPECT_EQ(px, 0xFF00003Cu);  // alpha 255, blue (0+40+80+120)/4
    DestroyIcon(opaque);

    // 16 -> 32 repeats each source pixel in a 2 x 2 block.
    std::vector<uint32_t> q(16 * 16);
    for (int i = 0; i < 256; ++i) q[i] = 0xFF000000u | static_cast<uint32_t>(i);
    HICON grow = MakeIcon(16, q);
    const IconImage big = IconImageFromIcon(grow, 32);
    ASSERT_EQ(big.side, 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) EXPECT_EQ(big.pixels[y * 32 + x], q[(y / 2) * 16 + x / 2]);
    DestroyIcon(grow);

    // 48 -> 20: blocks of 2 or 3 rows and columns, average alpha and
    // premultiplied colour.
    std::vector<uint32_t> r(48 * 48);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x) r[y * 48 + x] = (x % 2 ? 0x80u : 0xFFu) << 24 | 0x00FF0000u;
    HICON half = MakeIcon(48, r);
    const IconImage twenty = IconImageFromIcon(half, 20);
    ASSERT_EQ(twenty.side, 20);
    // Column 0 takes source columns 0..1 (alpha 255, 128), column 2 takes 4..6.
    EXPECT_EQ(twenty.pixels[0], (((255u + 128) / 2) << 24) | (((255u * 255 + 255 * 128) / (2 * 255)) << 16));
    EXPECT_EQ(twenty.pixels[2] >> 24, (255u + 128 + 255) / 3);
    DestroyIcon(half);

    EXPECT_EQ(IconImageFromIcon(nullptr, 16).side, 0);
}

TEST(SurfaceDrawImage, CompositesPremultipliedPixels) {
    Surface s = Filled(2, 1, RGB(0, 0, 200));
    IconImage img;
    img.side = 1;
    img.pixels = {0x80400000u};  // half-transparent red, premultiplied
    SurfaceDrawImage(s, img, 1, 0);
    SurfaceDrawImage(s, img, 5, 5);  // outside: nothing
    EXPECT_EQ(s.at(0, 0), 0x0000C8u);
    EXPECT_EQ(s.at(1, 0), 0x400000u | ((200u * 127 + 127) / 255));
}

TEST(ScrollBar, ThumbFollowsContentPageAndPosition) {
    const RECT track{0, 0, 10, 200};
    ScrollBarState s{1000, 250, 750, false, 0};
    RECT thumb = ScrollThumbRect(s, track);
    EXPECT_EQ(thumb.bottom - thumb.top, 50);
    EXPECT_EQ(thumb.top, 150);
    s.content = 100000;
    thumb = ScrollThumbRect(s, track);
    EXPECT_EQ(thumb.bottom - thumb.top, Scale(28));
}

TEST(ScrollBar, PressBelowTheThumbCentresItAndAPressOnItKeepsIt) {
    const RECT track{0, 0, 10, 200};
    ScrollBarState s{1000, 250, 0, false, 0};
    ASSERT_TRUE(ScrollBarMouseDown(s, POINT{5, 125}, track));
    RECT thumb = ScrollThumbRect(s, track);
    EXPECT_EQ((thumb.top + thumb.bottom) / 2, 125);
    EXPECT_TRUE(s.dragging);

    ScrollBarState t{1000, 250, 300, false, 0};
    const RECT before = ScrollThumbRect(t, track);
    ASSERT_TRUE(ScrollBarMouseDown(t, POINT{5, before.top + 3}, track));
    EXPECT_EQ(ScrollThumbRect(t, track).top, before.top);
    // Dragging above the track gives position 0; a page that holds all gives no drag.
    EXPECT_TRUE(ScrollBarDrag(t, POINT{5, -400}, track));
    EXPECT_EQ(t.position, 0);
    ScrollBarState all{100, 250, 0, false, 0};
    EXPECT_FALSE(ScrollBarMouseDown(all, POINT{5, 50}, track));
    EXPECT_FALSE(ScrollBarMouseDown(s, POINT{40, 50}, track));  // beyond the widened track
}
