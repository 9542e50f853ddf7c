// Owner-drawn buttons in a real window, driven by SendInput through the
// dialog manager: activation keys, clicks and the focus ring.
#include <gtest/gtest.h>

#include "HostWindow.h"
#include "ui/Colors.h"
#include "ui/Dpi.h"
#include "ui/Fonts.h"
#include "ui/Surface.h"

namespace {
constexpr int kW = 120, kH = 36;

class Buttons : public ::testing::Test {
protected:
    void SetUp() override {
        BuildFonts();
        int y = 20;
        for (auto [id, kind] : {std::pair{11, ButtonKind::Accent}, {12, ButtonKind::Normal}, {14, ButtonKind::Check}}) {
            MoveWindow(CreateStyledButton(host.window, id, L"Caption", ButtonStyle{kind, id == 11 ? 4 : 0, 2, 3, false}),
                       20, y, kW, kH, TRUE);
            y += kH + 10;
        }
        ok = GetDlgItem(host.window, 11), cancel = GetDlgItem(host.window, 12), check = GetDlgItem(host.window, 14);
        SetPropW(check, L"check", reinterpret_cast<HANDLE>(1));
        host.Pump(100);
    }

    // Paints the button from a made-up DRAWITEMSTRUCT into a surface.
    static Surface Paint(HWND button, UINT state) {
        Surface s = SurfaceCreate(kW, kH);
        SurfaceFill(s, RECT{0, 0, kW, kH}, RGB(1, 2, 3));
        DRAWITEMSTRUCT item{ODT_BUTTON, static_cast<UINT>(GetDlgCtrlID(button)), 0, 0, state, button, s.dc(), {0, 0, kW, kH}, 0};
        LRESULT result = 0;
        EXPECT_TRUE(HandleOwnerDraw(WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item), result) && result == TRUE);
        GdiFlush();
        return s;
    }
    // A point of the fill, away from the text and the corners, and of the border.
    static COLORREF Fill(HWND button, UINT state) { return FromPixel(Paint(button, state).at(4, kH / 2)); }
    static COLORREF Border(HWND button, UINT state) { return FromPixel(Paint(button, state).at(kW / 2, 0)); }

    HostWindow host;
    HWND ok{}, cancel{}, check{};
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
    // The dialog manager cannot turn the owner-drawn style into a push style.
    SendMessageW(cancel, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    EXPECT_EQ(GetWindowLongW(cancel, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
}

TEST_F(Buttons, CheckBoxTogglesBySpaceAndByClickAndLeavesEnterToTheDialogADoubleClickIsTwoPresses) {
    SetFocus(check);
    Key(VK_SPACE);
    ASSERT_TRUE(host.Pump(2000, [&] { return IsButtonChecked(check); }));
    MouseTo(CentreOf(check));
    MouseClick();
    ASSERT_TRUE(host.Pump(2000, [&] { return !IsButtonChecked(check); }));
    SetFocus(check);
    Key(VK_RETURN);
    EXPECT_TRUE(host.Pump(2000, [&] { return host.Clicks(IDOK) == 1; }));
    MouseTo(CentreOf(ok));
    host.Pump(50);
    MouseClick();
    MouseClick();
    EXPECT_TRUE(host.Pump(2000, [&] { return host.Clicks(11) == 2; }));
    EXPECT_EQ(host.Clicks(14), 2);
}

TEST_F(Buttons, TheFocusRingOnlyWithKeyboardCuesAndARecordGoesWithItsWindow) {
    EXPECT_EQ(Border(cancel, ODS_FOCUS), kBlue);
    EXPECT_EQ(Border(cancel, ODS_FOCUS | ODS_NOFOCUSRECT), PaletteColor(6));
    EXPECT_EQ(Fill(cancel, ODS_SELECTED), PaletteColor(5));
    // A button's record goes with its window: a window that gets its handle later starts plain.
    DestroyWindow(check);
    EXPECT_FALSE(IsStyledButton(check) || IsButtonChecked(check) || ButtonIcon(check));
}
