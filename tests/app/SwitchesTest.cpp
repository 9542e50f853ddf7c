// The language and theme switches on a window with the main window's
// children: captions, cue text, status, the settings file, the icon of the
// theme button and the edit colours; and no GDI object lost on the way.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "app/Actions.h"
#include "app/Switches.h"
#include "store/FileServices.h"
#include "store/Lang.h"
#include "store/Settings.h"
#include "support/TempFolder.h"
#include "ui/Buttons.h"
#include "ui/Colors.h"
#include "ui/Fonts.h"
#include "ui/Surface.h"
#include "ui/Theme.h"
#include "ui/HostWindow.h"

namespace {
class Shell : public ShellSeam, public ::testing::Test {
protected:
    void SetUp() override {
        SetVietnamese(true);
        SetDarkTheme(true);
        DropEditBrush();
        g_settings.folder = data / L"dl";
        BuildFonts();
        HWND main = host.window;
        edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 10, 10, 200, 24,
                               main, reinterpret_cast<HMENU>(kLinkBoxId), nullptr, nullptr);
        CreateStyledButton(main, kDownloadButtonId, L"", ButtonStyle{ButtonKind::Accent, 33, 2, 3, false});
        int y = 40;
        for (const Action& a : kActions) {
            MoveWindow(CreateStyledButton(main, a.id, L"", ButtonStyle{ButtonKind::Normal, a.icon, 1, 2, true}), 10, y,
                       220, 30, TRUE);
            y += 32;
        }
        MoveWindow(CreateStyledButton(main, kThemeButtonId, L"", ButtonStyle{ButtonKind::Normal, 14, 1, 3, false}), 240,
                   40, 100, 30, TRUE);
        MoveWindow(CreateStyledButton(main, kLanguageButtonId, L"", ButtonStyle{ButtonKind::Normal, 32, 1, 3, false}),
                   240, 80, 100, 30, TRUE);
        Relabel(main);
    }
    void TearDown() override {
        SetVietnamese(true);
        SetDarkTheme(true);
        DropEditBrush();
    }

    HWND MainHandle() const override { return host.window; }
    void SetStatus(const std::wstring& text) override { status = text; }
    bool SaveSettingsFile() override { return SaveSettings(data.path()); }
    void RelayoutAndRedraw() override {
        ++redraws;
        RedrawWindow(host.window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    }

    std::wstring Caption(int id) const {
        wchar_t text[128] = {};
        GetDlgItemTextW(host.window, id, text, 128);
        return text;
    }
    std::wstring Cue() const {
        wchar_t text[128] = {};
        SendMessageW(edit, EM_GETCUEBANNER, reinterpret_cast<WPARAM>(text), 128);
        return text;
    }
    std::string SettingsFile() const {
        return ReadWholeFile(data / L"settings.cfg", 4096);
    }
    COLORREF EditBrushColour() {
        HDC dc = GetDC(edit);
        auto brush = reinterpret_cast<HBRUSH>(SendMessageW(host.window, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                                                           reinterpret_cast<LPARAM>(edit)));
        ReleaseDC(edit, dc);
        LOGBRUSH lb{};
        GetObjectW(brush, sizeof lb, &lb);
        return lb.lbColor;
    }

    ScratchFolder data;
    HostWindow host;
    HWND edit{};
    std::wstring status;
    int redraws = 0;
};
}  // namespace

TEST_F(Shell, LanguageSwitchRelabelsSavesAndSaysSo) {
    EXPECT_EQ(Caption(103), L"[1] Thêm liên kết tải…");
    EXPECT_EQ(Caption(kLanguageButtonId), L"Tiếng Việt");
    EXPECT_EQ(Cue(), L"Dán liên kết tải vào đây rồi nhấn Enter…");
    SwitchLanguage(*this);
    EXPECT_FALSE(IsVietnamese());
    const wchar_t* english[] = {L"[1] Add Download…", L"[2] Resume All",           L"[3] Pause All",
                                L"[4] Clear Finished", L"[5] Open Download Folder", L"[6] Settings"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(Caption(103 + i), english[i]);
    EXPECT_EQ(Caption(kDownloadButtonId), L"Download");
    EXPECT_EQ(Caption(kThemeButtonId), L"Dark");
    EXPECT_EQ(Caption(kLanguageButtonId), L"English");
    EXPECT_EQ(Cue(), L"Paste a download link here, then press Enter…");
    EXPECT_EQ(status, L"Language: English.");
    EXPECT_NE(SettingsFile().find("Language=en\r\n"), std::string::npos);
    EXPECT_EQ(redraws, 1);
    SwitchLanguage(*this);
    EXPECT_EQ(Caption(103), L"[1] Thêm liên kết tải…");
    EXPECT_EQ(Caption(kDownloadButtonId), L"Tải xuống");
    EXPECT_EQ(status, L"Ngôn ngữ: Tiếng Việt.");
    EXPECT_NE(SettingsFile().find("Language=vi\r\n"), std::string::npos);
}

TEST_F(Shell, ThemeSwitchTwiceComesBackWhereItStarted) {
    HWND theme = GetDlgItem(host.window, kThemeButtonId);
    EXPECT_EQ(EditBrushColour(), PaletteColor(9, true));
    SwitchTheme(*this);
    EXPECT_FALSE(IsDarkTheme());
    EXPECT_EQ(ButtonIcon(theme), 13);
    EXPECT_EQ(Caption(kThemeButtonId), L"Sáng");
    EXPECT_EQ(EditBrushColour(), PaletteColor(9, false));
    EXPECT_NE(SettingsFile().find("Style=light\r\n"), std::string::npos);
    EXPECT_TRUE(status.empty());  // a theme switch says nothing
    SwitchTheme(*this);
    EXPECT_TRUE(IsDarkTheme());
    EXPECT_EQ(ButtonIcon(theme), 14);
    EXPECT_EQ(Caption(kThemeButtonId), L"Tối");
    EXPECT_EQ(EditBrushColour(), PaletteColor(9, true));
    EXPECT_NE(SettingsFile().find("Style=dark\r\n"), std::string::npos);
    EXPECT_EQ(redraws, 2);
}

TEST_F(Shell, NoGdiObjectIsLostByPaintsSwitchesAndFonts) {
    // Wine reports no GDI counts (GetGuiResources is 0); it fails at its
    // handle ceiling instead. Come within 1,000 of it, then repeat the work:
    // a few objects lost per round would use up the rest.
    std::vector<HBRUSH> filler;
    while (filler.size() < 200000) {
        HBRUSH b = CreateSolidBrush(RGB(1, 2, 3));
        if (!b) break;
        filler.push_back(b);
    }
    ASSERT_GT(filler.size(), 10000u);
    for (int i = 0; i < 1000; ++i) {
        DeleteObject(filler.back());
        filler.pop_back();
    }
    HICON icon = LoadIconW(nullptr, IDI_APPLICATION);
    for (int round = 0; round < 200; ++round) {
        SwitchTheme(*this);
        SwitchLanguage(*this);
        EditBrushColour();
        BuildFonts();
        host.Pump(0);  // the buttons paint
        UpdateWindow(host.window);
        Surface s = SurfaceCreate(64, 64);
        SurfaceText(s, L"Tải", RECT{0, 0, 64, 64}, 4, RGB(255, 255, 255), kLabelFlags);
        IconImageFromIcon(icon, 20);
        MeasureTextWidth(L"Tải xuống", 3);
    }
    Surface last = SurfaceCreate(100, 100);
    EXPECT_NE(last.pixels(), nullptr);
    HBRUSH more = CreateSolidBrush(RGB(1, 2, 3));
    EXPECT_NE(more, nullptr);
    DeleteObject(more);
    for (HBRUSH b : filler) DeleteObject(b);
}
