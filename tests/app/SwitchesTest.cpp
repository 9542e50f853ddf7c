// The language and theme switches on the real main window: every caption
// and the cue text relabelled, the settings file, the theme button's icon
// and the edit colours; and no GDI object lost on the way.
#include "MainWindowHost.h"

#include "app/Actions.h"
#include "ui/Buttons.h"
#include "ui/Colors.h"
#include "ui/Icons.h"
#include "ui/Surface.h"

TEST_F(Switches, TheLanguageRelabelsEverythingAndSaysSoTheThemeRecoloursSilentlyBothSavedAndBackWhenPressedTwice) {
    const auto vietnamese = Captions();
    main->OnCommand(kLanguageButtonId);
    const auto english = Captions();
    for (size_t i = 0; i < english.size(); ++i) EXPECT_TRUE(!english[i].empty() && english[i] != vietnamese[i]) << i;
    EXPECT_NE(SettingsFile().find("Language=en\r\n"), std::string::npos);
    const std::wstring said = main->StatusText();
    main->OnCommand(kLanguageButtonId);
    EXPECT_EQ(Captions(), vietnamese);
    EXPECT_TRUE(!said.empty() && main->StatusText() != said);  // each names the language it now speaks
    const HWND theme = GetDlgItem(main->Handle(), kThemeButtonId);
    const std::wstring status = main->StatusText();
    const auto dark = std::make_pair(ButtonIcon(theme), EditBrushColour());
    for (const bool nowDark : {false, true}) {
        main->OnCommand(kThemeButtonId);
        const auto now = std::make_pair(ButtonIcon(theme), EditBrushColour());
        EXPECT_TRUE(nowDark ? now == dark : now.first != dark.first && now.second != dark.second);
        EXPECT_NE(SettingsFile().find(nowDark ? "Style=dark\r\n" : "Style=light\r\n"), std::string::npos);
        EXPECT_EQ(main->StatusText(), status);  // a theme switch says nothing
    }
}

TEST_F(Switches, NoGdiObjectIsLostByPaintsSwitchesAndFonts) {
    // Wine reports no GDI counts (GetGuiResources is 0); it fails at its
    // handle ceiling instead. Come within 200 of it, then repeat the work:
    // two objects lost per round would use up the rest.
    std::vector<HBRUSH> filler;
    for (HBRUSH b; filler.size() < 200000 && (b = CreateSolidBrush(RGB(1, 2, 3)));) filler.push_back(b);
    ASSERT_GT(filler.size(), 10000u);
    for (int i = 0; i < 200; ++i) DeleteObject(filler.back()), filler.pop_back();
    HICON icon = LoadIconW(nullptr, IDI_APPLICATION);
    for (int round = 0; round < 120; ++round) {
        main->OnCommand(kThemeButtonId);
        main->OnCommand(kLanguageButtonId);
        EditBrushColour();
        BuildFonts();
        Pump(0);  // the window and its buttons paint
        Surface s = SurfaceCreate(64, 64);
        SurfaceText(s, L"Tải", RECT{0, 0, 64, 64}, 4, RGB(255, 255, 255), kLabelFlags);
        IconImageFromIcon(icon, 20);
        MeasureTextWidth(L"Tải xuống", 3);
    }
    EXPECT_NE(SurfaceCreate(100, 100).pixels(), nullptr);
    EXPECT_TRUE(DeleteObject(CreateSolidBrush(RGB(1, 2, 3))));  // (no object to delete: false)
    for (HBRUSH b : filler) DeleteObject(b);
}
