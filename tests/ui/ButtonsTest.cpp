// Owner-drawn buttons in a real window, driven by SendInput through the
// dialog manager: activation keys, clicks and the focus ring.
#include "HostWindow.h"
#include "store/Lang.h"

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

TEST_F(Buttons, CheckBoxTogglesByAClickAndLeavesEnterToTheDialog) {
    // (By Space: the Settings form's clipboard box, in the main window's dialogs test.)
    MouseTo(CentreOf(check));
    MouseClick();
    ASSERT_TRUE(host.Pump(2000, [&] { return IsButtonChecked(check); }));
    SetFocus(check);
    Key(VK_RETURN);
    EXPECT_TRUE(host.Pump(2000, [&] { return host.Clicks(IDOK) == 1; }));
    EXPECT_EQ(host.Clicks(14), 1);
}

TEST_F(Buttons, TheFocusRingShowsWhateverTheCuesSayAndARecordGoesWithItsWindow) {
    // Catches a ring hidden while Windows hides keyboard cues (UISF_HIDEFOCUS), in either theme.
    for (bool dark : {true, false}) {
        SetDarkTheme(dark);
        EXPECT_EQ(Border(cancel, ODS_FOCUS), COLORREF{kBlue});
        EXPECT_EQ(Border(cancel, ODS_FOCUS | ODS_NOFOCUSRECT), COLORREF{kBlue});
        EXPECT_EQ(Border(cancel, 0), PaletteColor(6));
    }
    SetDarkTheme(true);
    EXPECT_EQ(Fill(cancel, ODS_SELECTED), PaletteColor(5));
    // A button's record goes with its window: a window that gets its handle later starts plain.
    DestroyWindow(check);
    EXPECT_FALSE(IsStyledButton(check) || IsButtonChecked(check) || ButtonIcon(check));
}
