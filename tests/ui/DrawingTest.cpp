// The drawing toolkit as the painters rely on it: the surface's clipping,
// the icons, and
// the fonts (faces, DPI, measuring, the Vietnamese glyphs). The icons'
// shapes are judged on the contact sheet (tools/contact-sheet.sh).
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "ui/Colors.h"
#include "ui/Dpi.h"
#include "ui/Fonts.h"
#include "ui/IconPaths.h"
#include "ui/Icons.h"
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

TEST(Surface, FillsStayInsideTheirRectangleAndTheSurfaceAndEdgesLeaveTheTopByteClear) {
    Surface s = Filled(10, 10, RGB(0, 0, 0));
    SurfaceFill(s, RECT{-5, 8, 3, 20}, RGB(1, 2, 3));
    SurfaceFill(s, RECT{6, 0, 6, 10}, RGB(9, 9, 9));  // right <= left: nothing
    ExpectPixels(s, [](int x, int y) { return x < 3 && y >= 8 ? 0x010203u : 0u; });
    Surface a = Filled(20, 20, RGB(10, 20, 30));
    SurfaceRoundRect(a, RECT{-4, -4, 24, 24}, 6, RGB(200, 100, 50), RGB(0, 255, 0), 100, 60);
    for (int i = 0; i < 400; ++i) ASSERT_EQ(a.pixels()[i] >> 24, 0u);  // edges blend and leave the top byte clear
}

TEST(Icons, EveryEntryDrawsAndNumbersOutsideTheTableDrawNothing) {
    for (int icon = 1; icon < kIconCount; ++icon)
        EXPECT_NE(std::set<uint8_t>(GetIconMask(icon, 24).coverage.begin(), GetIconMask(icon, 24).coverage.end()).size(), 1u)
            << icon;
    Surface blank = Filled(30, 30, RGB(0, 0, 0));
    for (auto [icon, side] : {std::pair{0, 24}, {kIconCount, 24}, {4, 0}}) DrawIcon(blank, icon, 0, 0, side, RGB(255, 255, 255));
    ExpectPixels(blank, [](int, int) { return 0u; });
}

TEST(Fonts, FacesFallBackOneByOneAndScaleWithTheDpi) {
    const FontFaces f = ChooseFaces([](const wchar_t* face) { return std::wstring(face) == L"Segoe UI Semibold"; });
    EXPECT_EQ(std::tie(f.ui, f.semibold, f.mono, f.semiboldWeight),
              std::make_tuple(std::wstring(L"Tahoma"), std::wstring(L"Segoe UI Semibold"), std::wstring(L"Courier New"), 600));
    // At 144 DPI half as tall again as at 96.
    LOGFONTW at[2]{};
    for (int i : {0, 1}) SetCurrentDpi(i ? 144 : 96), BuildFonts(), GetObjectW(FontOf(4), sizeof at[i], &at[i]);
    SetCurrentDpi(96), BuildFonts();
    EXPECT_TRUE(at[0].lfHeight != 0 && at[1].lfHeight == MulDiv(at[0].lfHeight, 144, 96)) << at[0].lfHeight << " " << at[1].lfHeight;
}

TEST(Fonts, MeasuringWrapsAndVietnameseLettersHaveRealGlyphs) {
    BuildFonts();
    EXPECT_GE(MeasureTextHeight(L"word word word word word word", 4, 40), 3 * MeasureTextHeight(L"word", 4, 500));
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
