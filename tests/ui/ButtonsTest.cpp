// Owner-drawn buttons in a real window, driven by SendInput through the
// dialog manager: activation keys, clicks, hover and the painted colours.
#include <gtest/gtest.h>

#include "HostWindow.h"
#include "store/Lang.h"
#include "ui/Colors.h"
#include "ui/ControlText.h"
#include "ui/Dpi.h"
#include "ui/Fonts.h"
#include "ui/Surface.h"

namespace {
constexpr int kW = 120, kH = 36;

class Buttons : public ::testing::Test {
protected:
    void SetUp() override {
        BuildFonts();
        ok = Make(11, ButtonKind::Accent);
        cancel = Make(12, ButtonKind::Normal);
        danger = Make(13, ButtonKind::Danger);
        check = Make(14, ButtonKind::Check);
        SetPropW(check, L"check", reinterpret_cast<HANDLE>(1));
        host.Pump(100);
    }
    void TearDown() override { RemovePropW(check, L"check"); }

    HWND Make(int id, ButtonKind kind) {
        HWND b = CreateStyledButton(host.window, id, L"Caption", ButtonStyle{kind, id == 11 ? 4 : 0, 2, 3, false});
        MoveWindow(b, 20, 20 + (id - 11) * (kH + 10), kW, kH, TRUE);
        return b;
    }

    // Paints the button from a made-up DRAWITEMSTRUCT into a surface.
    Surface Paint(HWND button, UINT state) {
        Surface s = SurfaceCreate(kW, kH);
        SurfaceFill(s, RECT{0, 0, kW, kH}, RGB(1, 2, 3));
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_BUTTON;
        item.CtlID = GetDlgCtrlID(button);
        item.itemState = state;
        item.hwndItem = button;
        item.hDC = s.dc();
        item.rcItem = RECT{0, 0, kW, kH};
        LRESULT result = 0;
        EXPECT_TRUE(HandleOwnerDraw(WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item), result));
        EXPECT_EQ(result, TRUE);
        GdiFlush();
        return s;
    }
    // A point of the fill, away from the text and the corners.
    static COLORREF Fill(const Surface& s) { return FromPixel(s.at(4, kH / 2)); }
    static COLORREF Border(const Surface& s) { return FromPixel(s.at(kW / 2, 0)); }

    HostWindow host;
    HWND ok{}, cancel{}, danger{}, check{};
};
}  // namespace

TEST_F(Buttons, SpaceAndEnterPressTheFocusedButton) {
    SetFocus(cancel);
    Key(VK_SPACE);
    ASSERT_TRUE(host.Pump(2000, [&] { return host.Clicks(12) == 1; }));
    // Enter on a focused push button sends its own id, not IDOK: Enter on a
    // focused Cancel must not accept a form.
    Key(VK_RETURN);
    ASSERT_TRUE(host.Pump(2000, [&] { return host.Clicks(12) == 2; }));
    EXPECT_EQ(host.Clicks(IDOK), 0);
    EXPECT_EQ(SendMessageW(cancel, WM_GETDLGCODE, 0, 0), DLGC_BUTTON | DLGC_DEFPUSHBUTTON);
    EXPECT_EQ(SendMessageW(ok, WM_GETDLGCODE, 0, 0), DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON);
    EXPECT_EQ(SendMessageW(check, WM_GETDLGCODE, 0, 0), DLGC_BUTTON);
    // The dialog manager cannot turn the owner-drawn style into a push style.
    SendMessageW(cancel, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    EXPECT_EQ(GetWindowLongW(cancel, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
}

TEST_F(Buttons, CheckBoxTogglesBySpaceAndByClickAndLeavesEnterToTheDialog) {
    SetFocus(check);
    Key(VK_SPACE);
    ASSERT_TRUE(host.Pump(2000, [&] { return IsButtonChecked(check); }));
    MouseTo(CentreOf(check));
    MouseClick();
    ASSERT_TRUE(host.Pump(2000, [&] { return !IsButtonChecked(check); }));
    EXPECT_EQ(host.Clicks(14), 2);
    SetFocus(check);
    Key(VK_RETURN);
    EXPECT_TRUE(host.Pump(2000, [&] { return host.Clicks(IDOK) == 1; }));
    EXPECT_FALSE(IsButtonChecked(ok));  // push buttons have no tick
}

TEST_F(Buttons, DoubleClickIsTwoPresses) {
    MouseTo(CentreOf(ok));
    host.Pump(50);
    MouseClick();
    MouseClick();
    EXPECT_TRUE(host.Pump(2000, [&] { return host.Clicks(11) == 2; }));
    host.Pump(200);
    EXPECT_EQ(host.Clicks(11), 2);
}

TEST_F(Buttons, HoverAndStateColours) {
    const COLORREF bg = PaletteColor(2);
    EXPECT_EQ(Fill(Paint(cancel, 0)), PaletteColor(2));
    EXPECT_EQ(Fill(Paint(cancel, ODS_SELECTED)), PaletteColor(5));
    MouseTo(CentreOf(cancel));
    ASSERT_TRUE(host.Pump(2000, [&] { return Fill(Paint(cancel, 0)) == PaletteColor(4); }));
    EXPECT_EQ(Fill(Paint(cancel, ODS_SELECTED)), PaletteColor(5));  // pressed wins over hot
    MouseTo(POINT{2, 2});  // leaving clears the hover
    EXPECT_TRUE(host.Pump(2000, [&] { return Fill(Paint(cancel, 0)) == PaletteColor(2); }));

    EXPECT_EQ(Fill(Paint(ok, 0)), kBlue);
    EXPECT_EQ(Fill(Paint(ok, ODS_SELECTED)), kPressedIndigo);
    // Disabled: fill moved toward the background by 112/255.
    EXPECT_EQ(Fill(Paint(ok, ODS_DISABLED | ODS_SELECTED)), MixColors(bg, kBlue, 112));
    EXPECT_EQ(Fill(Paint(danger, 0)), MixColors(bg, kRed, 32));
    EXPECT_EQ(Border(Paint(danger, 0)), MixColors(bg, kRed, 85));
    EXPECT_EQ(Fill(Paint(danger, ODS_SELECTED)), kRed);
    // The focus ring only while keyboard cues are on.
    EXPECT_EQ(Border(Paint(cancel, ODS_FOCUS)), kBlue);
    EXPECT_EQ(Border(Paint(cancel, ODS_FOCUS | ODS_NOFOCUSRECT)), PaletteColor(6));
    // The check box: no fill of its own, the ticked box in blue.
    EXPECT_EQ(FromPixel(Paint(check, 0).at(kW - 2, 2)), bg);
    SetButtonChecked(check, true);
    const Surface ticked = Paint(check, 0);
    EXPECT_EQ(FromPixel(ticked.at(Scale(3), kH / 2 - Scale(8))), kBlue);
    SetButtonChecked(check, false);
}

TEST_F(Buttons, DisabledTextAndAWindowWithoutRecord) {
    const ButtonColors c = ButtonColorsFor(ButtonKind::Accent, PaletteColor(2), true, false, false, false);
    EXPECT_EQ(c.text, MixColors(PaletteColor(2), kWhite, 112));
    // A plain button has no record: nothing painted, still handled.
    HWND plain = CreateWindowExW(0, L"BUTTON", L"x", WS_CHILD | BS_OWNERDRAW, 0, 0, kW, kH, host.window, nullptr,
                                 nullptr, nullptr);
    EXPECT_EQ(Fill(Paint(plain, 0)), RGB(1, 2, 3));
    LRESULT result = 0;
    EXPECT_FALSE(HandleOwnerDraw(WM_MEASUREITEM, 0, 0, result));
    // The record goes with the window.
    EXPECT_TRUE(IsStyledButton(ok));
    SetButtonChecked(ok, true);
    DestroyWindow(ok);
    EXPECT_FALSE(IsStyledButton(ok));
    EXPECT_FALSE(IsButtonChecked(ok));
    EXPECT_EQ(ButtonIcon(ok), 0);
}

TEST_F(Buttons, ClipboardAndWindowText) {
    ASSERT_TRUE(SetClipboardText(host.window, L""));
    ASSERT_TRUE(OpenClipboard(host.window));
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    ASSERT_NE(data, nullptr);
    EXPECT_STREQ(static_cast<const wchar_t*>(GlobalLock(data)), L"");
    GlobalUnlock(data);
    CloseClipboard();
    ASSERT_TRUE(SetClipboardText(host.window, L"C:\\Tải xuống"));
    ASSERT_TRUE(OpenClipboard(host.window));
    EXPECT_STREQ(static_cast<const wchar_t*>(GlobalLock(GetClipboardData(CF_UNICODETEXT))), L"C:\\Tải xuống");
    GlobalUnlock(GetClipboardData(CF_UNICODETEXT));
    CloseClipboard();

    HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD, 0, 0, 100, 20, host.window, nullptr, nullptr, nullptr);
    EXPECT_EQ(GetWindowTextString(edit), L"");
    SetWindowTextW(edit, L"Tiếng Việt");
    EXPECT_EQ(GetWindowTextString(edit), L"Tiếng Việt");
}
