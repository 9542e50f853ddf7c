// Draws the toolkit's contact sheet: every icon at 16, 20, 24, 32 and 48 px
// and every button kind in each state and both languages, at 96 and 144
// DPI, in the dark and the light theme. Writes a 32-bit BMP; the script
// tools/contact-sheet.sh turns it into a PNG.
//
//   tw_contact_sheet <output.bmp>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "SheetKit.h"
#include "store/Lang.h"
#include "ui/Buttons.h"
#include "ui/Colors.h"
#include "ui/Dpi.h"
#include "ui/Fonts.h"
#include "ui/IconPaths.h"
#include "ui/Icons.h"
#include "ui/Surface.h"

namespace {
constexpr int kSizes[] = {16, 20, 24, 32, 48};
constexpr int kWidth = 2260;

struct State {
    const wchar_t* name;
    UINT flags;
    bool hot;
};
constexpr State kStates[] = {{L"idle", 0, false},
                             {L"hot", 0, true},
                             {L"pressed", ODS_SELECTED, true},
                             {L"focus", ODS_FOCUS, false},
                             {L"disabled", ODS_DISABLED, false}};

void Label(Surface& s, const std::wstring& text, int x, int y, int w, int h) {
    SurfaceText(s, text, RECT{x, y, x + w, y + h}, 0, PaletteColor(8), kLabelFlags);
}

void PaintButton(Surface& sheet, HWND button, const State& st, int x, int y, int w, int h) {
    if (st.hot) SendMessageW(button, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    else SendMessageW(button, WM_MOUSELEAVE, 0, 0);
    PaintButtonAt(sheet, button, st.flags, x, y, w, h);
}

// Draws one theme's panel from `top`; returns the height used.
int Panel(Surface& sheet, HWND parent, int top, bool draw) {
    int y = top + 10;
    if (draw) {
        SurfaceFill(sheet, RECT{0, top, kWidth, sheet.height()}, PaletteColor(2));
        SurfaceText(sheet, IsDarkTheme() ? L"dark theme" : L"light theme", RECT{10, y, 400, y + 24}, 6, PaletteColor(7),
                    kLabelFlags);
    }
    y += 54;  // the title, then the row of icon numbers
    SetCurrentDpi(96);
    BuildFonts();
    for (int n : kSizes) {
        if (draw) {
            Label(sheet, std::to_wstring(n) + L" px", 10, y, 50, n);
            for (int icon = 1; icon < kIconCount; ++icon) {
                const int x = 70 + (icon - 1) * 57;
                if (n == 16) Label(sheet, std::to_wstring(icon), x, y - 18, 40, 16);
                DrawIcon(sheet, icon, x, y, n, icon % 2 ? PaletteColor(7) : kBlue);
            }
        }
        y += n + 10;
    }
    struct Kind {
        const wchar_t* name;
        ButtonStyle style;
        bool ticked;
    };
    const Kind kinds[] = {{L"normal", {ButtonKind::Normal, 4, 2, 3, false}, false},
                          {L"accent", {ButtonKind::Accent, 33, 2, 3, false}, false},
                          {L"danger", {ButtonKind::Danger, 5, 2, 3, false}, false},
                          {L"left", {ButtonKind::Normal, 12, 2, 2, true}, false},
                          {L"check", {ButtonKind::Check, 0, 2, 4, false}, false},
                          {L"ticked", {ButtonKind::Check, 0, 2, 4, false}, true}};
    for (int dpi : {96, 144}) {
        SetCurrentDpi(dpi);
        BuildFonts();
        const int w = Scale(170), h = Scale(36);
        y += 16;
        if (draw) Label(sheet, std::to_wstring(dpi) + L" DPI", 10, y, 200, 20);
        y += 24;
        for (const Kind& k : kinds) {
            for (bool vi : {true, false}) {
                SetVietnamese(vi);
                const wchar_t* caption = k.style.kind == ButtonKind::Check ? Tr(L"Bỏ qua lỗi chứng chỉ", L"Ignore certificate errors")
                                                                           : Tr(L"Tải xuống", L"Download");
                if (draw) {
                    Label(sheet, std::wstring(k.name) + (vi ? L" vi" : L" en"), 10, y, Scale(88), h);
                    HWND b = CreateStyledButton(parent, 1, caption, k.style);
                    SetButtonChecked(b, k.ticked);
                    for (int i = 0; i < 5; ++i) {
                        if (k.style.kind == ButtonKind::Normal && k.style.leftAligned == false && vi)
                            Label(sheet, kStates[i].name, Scale(100) + i * (w + Scale(12)), y - Scale(20), 100, Scale(16));
                        PaintButton(sheet, b, kStates[i], Scale(100) + i * (w + Scale(12)), y, w, h);
                    }
                    DestroyWindow(b);
                }
                y += h + Scale(10);
            }
        }
    }
    SetVietnamese(true);
    return y - top + 10;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    SetDarkTheme(true);
    Surface measure = SurfaceCreate(1, 1);  // a dry run gives the panel's height
    const int one = Panel(measure, parent, 0, false);
    Surface sheet = SurfaceCreate(kWidth, 2 * one);
    if (!sheet.pixels()) return 1;
    Panel(sheet, parent, 0, true);
    SetDarkTheme(false);
    Panel(sheet, parent, one, true);
    DestroyWindow(parent);
    return WriteBmp(argv[1], sheet) ? 0 : 1;
}
