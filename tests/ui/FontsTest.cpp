// The ten fonts as requested from GDI, the face choice, and measuring.
// Wine draws the requested faces with substitutes, so the requests (the
// LOGFONT of each slot) are asserted, and line heights come from metrics.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "ui/Dpi.h"
#include "ui/Fonts.h"
#include "ui/Surface.h"

namespace {
FontFaces With(std::set<std::wstring> installed) {
    return ChooseFaces([&](const wchar_t* face) { return installed.count(face) > 0; });
}
}  // namespace

TEST(FontFaces, FallBackFaceByFace) {
    FontFaces f = With({});
    EXPECT_EQ(f.ui, L"Tahoma");
    EXPECT_EQ(f.semibold, L"Tahoma");
    EXPECT_EQ(f.semiboldWeight, 700);
    EXPECT_EQ(f.mono, L"Courier New");
    f = With({L"Segoe UI Semibold", L"Lucida Console"});  // Segoe UI itself missing
    EXPECT_EQ(f.ui, L"Tahoma");
    EXPECT_EQ(f.semibold, L"Segoe UI Semibold");
    EXPECT_EQ(f.semiboldWeight, 600);
    EXPECT_EQ(f.mono, L"Lucida Console");
    f = With({L"Segoe UI", L"Consolas", L"Lucida Console"});
    EXPECT_EQ(f.ui, L"Segoe UI");
    EXPECT_EQ(f.semibold, L"Segoe UI");
    EXPECT_EQ(f.mono, L"Consolas");
}

TEST(FontFaces, LongFaceNamesStayTerminated) {
    LOGFONTW f;
    memset(&f, 0xAB, sizeof f);
    CopyFaceName(f, std::wstring(40, L'x'));
    EXPECT_EQ(std::wstring(f.lfFaceName), std::wstring(31, L'x'));
    CopyFaceName(f, L"Tahoma");
    EXPECT_STREQ(f.lfFaceName, L"Tahoma");
}

TEST(BuildFonts, EachSlotIsCreatedAsRequestedAtTheDpi) {
    struct Expect {
        int height, weight;
        bool semibold, mono;
    };
    const Expect slots[kFontSlots] = {{11, 400, false, false}, {11, 0, true, false},  {12, 400, false, false},
                                      {12, 0, true, false},    {13, 400, false, false}, {13, 0, true, false},
                                      {15, 700, false, false}, {17, 700, false, false}, {16, 700, false, false},
                                      {12, 400, false, true}};
    for (int dpi : {96, 144}) {
        SetCurrentDpi(dpi);
        BuildFonts();
        const FontFaces& faces = ChosenFaces();
        for (int slot = 0; slot < kFontSlots; ++slot) {
            SCOPED_TRACE("dpi " + std::to_string(dpi) + " slot " + std::to_string(slot));
            LOGFONTW f{};
            ASSERT_EQ(GetObjectW(FontOf(slot), sizeof f, &f), static_cast<int>(sizeof f));
            const Expect& e = slots[slot];
            EXPECT_EQ(f.lfHeight, -MulDiv(e.height, dpi, 96));
            EXPECT_EQ(f.lfWeight, e.semibold ? faces.semiboldWeight : e.weight);
            EXPECT_EQ(std::wstring(f.lfFaceName), e.mono ? faces.mono : e.semibold ? faces.semibold : faces.ui);
            EXPECT_EQ(f.lfPitchAndFamily, e.mono ? FIXED_PITCH : 0);
            EXPECT_EQ(f.lfQuality, CLEARTYPE_QUALITY);
            EXPECT_EQ(f.lfCharSet, DEFAULT_CHARSET);
            TEXTMETRICW tm{};
            HDC dc = MeasuringDC();
            HGDIOBJ old = SelectObject(dc, FontOf(slot));
            GetTextMetricsW(dc, &tm);
            SelectObject(dc, old);
            EXPECT_EQ(LineHeightOf(slot), tm.tmHeight);
            EXPECT_GT(tm.tmHeight, 0);
        }
    }
    SetCurrentDpi(96);
    BuildFonts();
    // A fresh Wine prefix has none of the Windows faces: the fallbacks.
    EXPECT_EQ(ChosenFaces().ui, L"Tahoma");
    EXPECT_EQ(ChosenFaces().mono, L"Courier New");
    EXPECT_EQ(FontOf(10), nullptr);
    EXPECT_EQ(FontOf(-1), nullptr);
    EXPECT_EQ(LineHeightOf(10), 0);
}

TEST(Measure, WidthIsTheExtentPlusTwoAndHeightWraps) {
    BuildFonts();
    EXPECT_EQ(MeasureTextWidth(L"", 4).cx, 0);
    HDC dc = MeasuringDC();
    HGDIOBJ old = SelectObject(dc, FontOf(4));
    SIZE gdi{};
    GetTextExtentPoint32W(dc, L"W", 1, &gdi);
    SelectObject(dc, old);
    EXPECT_EQ(MeasureTextWidth(L"W", 4).cx, gdi.cx + 2);
    EXPECT_EQ(MeasureTextWidth(L"W", 12).cx, 0);  // no such slot
    const int one = MeasureTextHeight(L"word", 4, 500);
    EXPECT_EQ(one, LineHeightOf(4));
    EXPECT_GE(MeasureTextHeight(L"word word word word word word", 4, 40), 3 * one);
    // The measuring DC holds no font of ours between calls: the fonts can be rebuilt.
    BuildFonts();
    EXPECT_NE(FontOf(4), nullptr);
}

TEST(Measure, VietnameseCaptionsHaveRealGlyphs) {
    // A letter without a glyph in the substitute face draws like a private-use
    // character (a box); every letter of the Vietnamese captions must differ.
    BuildFonts();
    const auto render = [](wchar_t c, int slot) {
        Surface s = SurfaceCreate(40, 40);
        SurfaceFill(s, RECT{0, 0, 40, 40}, RGB(0, 0, 0));
        SurfaceText(s, &c, 1, RECT{0, 0, 40, 40}, slot, RGB(255, 255, 255), DT_SINGLELINE | DT_NOPREFIX);
        GdiFlush();
        return std::vector<uint32_t>(s.pixels(), s.pixels() + 40 * 40);
    };
    const std::wstring captions = L"Thêm liên kết tải… Tiếp tục tất cả Tạm dừng Dọn mục đã xong Mở thư mục lưu Cài đặt "
                                  L"Sáng Tối Tiếng Việt Dán liên kết tải vào đây rồi nhấn Enter Huỷ bỏ Xoá cả tệp";
    for (int slot : {2, 3, 4, 7}) {
        const auto box = render(L'\uE000', slot);
        for (wchar_t c : captions)
            if (c != L' ') {
                EXPECT_NE(render(c, slot), box) << "slot " << slot << " letter U+" << std::hex << int(c);
            }
    }
}
