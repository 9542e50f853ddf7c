#include "ui/Fonts.h"

#include <algorithm>
#include <cwchar>

#include "store/Handles.h"
#include "ui/Dpi.h"

namespace {
struct SlotSpec {
    int32_t height;  // design pixels
    enum { Regular, Semibold, Bold, Mono } style;
};
constexpr SlotSpec kSlots[kFontSlots] = {
    {11, SlotSpec::Regular}, {11, SlotSpec::Semibold}, {12, SlotSpec::Regular}, {12, SlotSpec::Semibold},
    {13, SlotSpec::Regular}, {13, SlotSpec::Semibold}, {15, SlotSpec::Bold},    {17, SlotSpec::Bold},
    {16, SlotSpec::Bold},    {12, SlotSpec::Mono},
};

struct FontSet {
    FontHandle font[kFontSlots];
    int32_t lineHeight[kFontSlots] = {};
};
FontSet g_fonts;
MemoryDCHandle g_measuringDC;

bool ValidSlot(int slot) noexcept { return slot >= 0 && slot < kFontSlots; }

int CALLBACK StopAtFirst(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}
}  // namespace

FontFaces ChooseFaces(const std::function<bool(const wchar_t*)>& installed) {
    FontFaces f;
    f.ui = installed(L"Segoe UI") ? L"Segoe UI" : L"Tahoma";
    if (installed(L"Segoe UI Semibold")) {
        f.semibold = L"Segoe UI Semibold";
        f.semiboldWeight = 600;
    } else {
        f.semibold = f.ui;
        f.semiboldWeight = 700;
    }
    // Courier New is taken without asking: every Windows has it.
    f.mono = installed(L"Consolas") ? L"Consolas" : installed(L"Lucida Console") ? L"Lucida Console" : L"Courier New";
    return f;
}

void CopyFaceName(LOGFONTW& font, const std::wstring& face) {
    const size_t n = std::min<size_t>(face.size(), LF_FACESIZE - 1);
    std::wmemcpy(font.lfFaceName, face.data(), n);
    font.lfFaceName[n] = L'\0';
}

LOGFONTW FontRequest(int slot, const FontFaces& faces, int32_t dpi) {
    const SlotSpec spec = kSlots[ValidSlot(slot) ? slot : 0];
    LOGFONTW f{};
    f.lfHeight = -::MulDiv(spec.height, dpi, 96);  // negative: the character height
    f.lfCharSet = DEFAULT_CHARSET;
    f.lfOutPrecision = OUT_DEFAULT_PRECIS;
    f.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    f.lfQuality = CLEARTYPE_QUALITY;
    switch (spec.style) {
        case SlotSpec::Regular: f.lfWeight = FW_NORMAL; CopyFaceName(f, faces.ui); break;
        case SlotSpec::Semibold: f.lfWeight = faces.semiboldWeight; CopyFaceName(f, faces.semibold); break;
        case SlotSpec::Bold: f.lfWeight = FW_BOLD; CopyFaceName(f, faces.ui); break;
        case SlotSpec::Mono:
            f.lfWeight = FW_NORMAL;
            f.lfPitchAndFamily = FIXED_PITCH;
            CopyFaceName(f, faces.mono);
            break;
    }
    return f;
}

HDC MeasuringDC() {
    if (!g_measuringDC) g_measuringDC.reset(::CreateCompatibleDC(nullptr));
    return g_measuringDC.get();
}

bool IsFontInstalled(const std::wstring& face) {
    LOGFONTW f{};
    f.lfCharSet = DEFAULT_CHARSET;
    CopyFaceName(f, face);
    bool found = false;
    ::EnumFontFamiliesExW(MeasuringDC(), &f, StopAtFirst, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

const FontFaces& ChosenFaces() {
    static const FontFaces faces = ChooseFaces([](const wchar_t* face) { return IsFontInstalled(face); });
    return faces;
}

void BuildFonts() {
    const FontFaces& faces = ChosenFaces();
    HDC dc = MeasuringDC();
    // No old font may stay selected while it is deleted.
    ::SelectObject(dc, ::GetStockObject(SYSTEM_FONT));
    for (int slot = 0; slot < kFontSlots; ++slot) {
        // The new font is made before the old one goes, so a window still
        // holding the old handle never finds it reused for another font.
        const LOGFONTW f = FontRequest(slot, faces, CurrentDpi());
        g_fonts.font[slot].reset(::CreateFontIndirectW(&f));
        TEXTMETRICW tm{};
        {
            ScopedSelect select(dc, g_fonts.font[slot].get());
            ::GetTextMetricsW(dc, &tm);
        }
        g_fonts.lineHeight[slot] = tm.tmHeight;
    }
}

HFONT FontOf(int slot) noexcept { return ValidSlot(slot) ? g_fonts.font[slot].get() : nullptr; }

int32_t LineHeightOf(int slot) noexcept { return ValidSlot(slot) ? g_fonts.lineHeight[slot] : 0; }

SIZE MeasureTextWidth(const std::wstring& text, int slot) {
    SIZE size{0, 0};
    if (text.empty() || !ValidSlot(slot)) return size;
    HDC dc = MeasuringDC();
    ScopedSelect select(dc, FontOf(slot));
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    if (size.cx > 0) size.cx += 2;
    return size;
}

int32_t MeasureTextHeight(const std::wstring& text, int slot, int32_t width) {
    if (!ValidSlot(slot)) return 0;
    HDC dc = MeasuringDC();
    ScopedSelect select(dc, FontOf(slot));
    RECT r{0, 0, std::max<int32_t>(width, 1), 0};
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
                DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
    return r.bottom;
}

void DeleteFonts() {
    if (g_measuringDC) ::SelectObject(g_measuringDC.get(), ::GetStockObject(SYSTEM_FONT));
    for (FontHandle& f : g_fonts.font) f.reset();
    g_measuringDC.reset();
}
