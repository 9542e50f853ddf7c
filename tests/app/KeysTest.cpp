// Keyboard, screen-reader names and high contrast on the real windows: a
// walk by keys alone, what MSAA reads (oleacc loaded at run time, as a
// reader's process has it), and the system's colours followed at run time.
#include <oleacc.h>

#include <cwctype>

#include "MainWindowHost.h"
#include "app/AppDialogs.h"
#include "app/DetailsPaint.h"
#include "store/Format.h"
#include "ui/Colors.h"
#include "ui/Surface.h"

namespace {
using Keys = ShellTest;

// mingw's IID_IAccessible from -loleacc is the import thunk, not the GUID.
constexpr GUID kIAccessible = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

struct Spoken {
    std::wstring name, value;
    bool operator==(const Spoken&) const = default;
};
void PrintTo(const Spoken& s, std::ostream* os) { *os << Utf16ToUtf8(s.name) << " = " << Utf16ToUtf8(s.value); }

template <typename F>
F Entry(const wchar_t* dll, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(dll), name)));
}

// The name and value of a window's client object, as a reader gets them.
Spoken Heard(HWND window) {
    IAccessible* a = nullptr;
    const auto from = Entry<HRESULT(WINAPI*)(HWND, DWORD, REFIID, void**)>(L"oleacc.dll", "AccessibleObjectFromWindow");
    if (from(window, static_cast<DWORD>(OBJID_CLIENT), kIAccessible, reinterpret_cast<void**>(&a)) != S_OK) return {};
    VARIANT self{};
    self.vt = VT_I4;
    BSTR name = nullptr, value = nullptr;
    a->get_accName(self, &name), a->get_accValue(self, &value), a->Release();
    Spoken s{name ? name : L"", value ? value : L""};
    const auto freeString = Entry<void(WINAPI*)(BSTR)>(L"oleaut32.dll", "SysFreeString");
    freeString(name), freeString(value);
    return s;
}

// System colours of this session for one test (Wine keeps SetSysColors until its server ends).
struct SessionColours {
    std::vector<int> indexes;
    std::vector<COLORREF> colours, old;
    SessionColours(std::vector<int> i, std::vector<COLORREF> c) : indexes(std::move(i)), colours(std::move(c)) {
        for (int index : indexes) old.push_back(GetSysColor(index));
        SetSysColors(static_cast<int>(indexes.size()), indexes.data(), colours.data());
    }
    ~SessionColours() { SetSysColors(static_cast<int>(indexes.size()), indexes.data(), old.data()); }
};

std::vector<long long> Numbers(const std::wstring& text) {
    std::vector<long long> all;
    for (size_t i = 0; i < text.size(); ++i)
        if (iswdigit(text[i]) && (i == 0 || !iswdigit(text[i - 1]))) all.push_back(std::wcstoll(text.c_str() + i, nullptr, 10));
    return all;
}
}  // namespace

TEST(KeyTables, ORunsTheRowFolderOnlyFromTheListAndTheDetailsLettersPressTheirButtons) {
    // Catches the folder key missing, or acting while the focus is elsewhere, and a details button without a key.
    EXPECT_EQ(std::make_pair(ShortcutCommand('O', true), ShortcutCommand('O', false)), std::make_pair(int{kOpenSelectedFolderId}, 0));
    for (int id : {kPauseButtonId, kCopyLinkButtonId, kChangeLinkButtonId, kCopySha256ButtonId, kLimitSpeedButtonId}) {
        int keys = 0;
        for (WPARAM k = 'A'; k <= 'Z'; ++k) keys += DetailsShortcutCommand(k) == id;
        EXPECT_EQ(keys, 1) << id;
    }
}

TEST(HighContrastChoice, TheSystemColoursWinOverEitherThemeAndTheRegistryFlagIsBitZero) {
    // Catches the theme's palette kept in high contrast, and a flag text misread.
    EXPECT_EQ((std::vector{ChoosePalette(true, true), ChoosePalette(true, false), ChoosePalette(false, true), ChoosePalette(false, false)}),
              (std::vector{PaletteSet::System, PaletteSet::System, PaletteSet::Dark, PaletteSet::Light}));
    const std::pair<const wchar_t*, bool> flags[] = {{L"127", true}, {L"126", false}, {L"1", true}, {L"", false}, {L"12x", false}, {nullptr, false}};
    for (auto [text, on] : flags) EXPECT_EQ(HighContrastFlagsOn(text), on) << (text ? text : L"null");
}

TEST(SegmentMapWords, SayConnectionsDoneAndPercent) {
    // Catches a summary that counts the wrong rows or rounds the share up.
    DownloadInfo info{.totalSize = 1000, .doneBytes = 619, .state = DownloadState::Downloading};
    for (int i = 0; i < 8; ++i) info.segments.push_back(Segment{i * 125, (i + 1) * 125, i < 4 ? (i + 1) * 125 : i * 125 + 30});
    EXPECT_EQ(Numbers(SegmentMapSummary(info)), (std::vector<long long>{8, 4, 61}));
}

TEST_F(Keys, AReaderHearsTheSettingsBoxesByTheirLabelsAndTheDetailsFiguresByName) {
    // Catches a text box with no name (its label only drawn) and figures that exist only as pixels.
    OpenRows();
    std::vector<Spoken> heard, want;
    Run(kSettingsId, {[&](HWND d) {
        const ui::FormSpec form = SettingsForm(g_settings);
        for (size_t i = 0; i < form.fields.size(); ++i) {
            if (form.fields[i].kind != ui::FieldKind::Text) continue;
            heard.push_back({Heard(GetDlgItem(d, 200 + static_cast<int>(i))).name});
            want.push_back({form.fields[i].label});
        }
        PressKey(VK_ESCAPE);
    }});
    EXPECT_EQ(heard, want);
    EXPECT_FALSE(want.empty());
    main->OpenDetails(0);  // finished: size, downloaded and the full map
    // Under Wine the objects AccessibleChildren gives for child windows carry no name; their client objects do.
    std::vector<Spoken> children;
    for (HWND c = GetWindow(main->DetailsWindow(), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) children.push_back(Heard(c));
    const DownloadInfo& shown = main->Details().Snapshot();
    for (const ui::Figure& f : DetailsFigures(shown, g_settings.connections))
        EXPECT_NE(std::find(children.begin(), children.end(), Spoken{f.name, f.value}), children.end()) << f.name;
    EXPECT_NE(std::find(children.begin(), children.end(), Spoken{FactLabel(1), FormatSize(shown.totalSize)}), children.end());
}

TEST_F(Keys, AKeyboardAloneAddsOpensPausesRemovesAndCloses) {
    // Catches a control Tab skips or visits out of order, a dialog Escape leaves open,
    // details that cannot be reached or used by keys, and focus lost after a window closes.
    ASSERT_TRUE(Open(nullptr, false));
    std::vector<int> order;
    for (int i = 0; i < 12; ++i) PressKey(VK_TAB), Pump(100), order.push_back(FocusId());
    EXPECT_EQ(order, (std::vector<int>{101, 102, 103, 104, 105, 106, 107, 108, 114, 109, 110, 100}));
    for (WPARAM key : {WPARAM{VK_INSERT}, WPARAM{'6'}}) {
        SetFocus(main->ListViewWindow());
        DialogScript script({[](HWND) { PressKey(VK_ESCAPE); }});
        PressKey(key);
        EXPECT_TRUE(Pump(3000, [&] { return script.Finished() && DialogScript::Front() == nullptr; })) << key;
    }
    SetFocus(main->LinkBox());
    for (wchar_t c : Server() + L"/file/k.bin?size=100000000&rate=100000") PostMessageW(main->LinkBox(), WM_CHAR, c, 1);
    PressKey(VK_RETURN);
    ASSERT_TRUE(Pump(2000, [&] { return main->List()->Entries().size() == 1; }));
    PressKey(VK_TAB), Pump(100), PressKey(VK_TAB);
    ASSERT_TRUE(Pump(1000, [&] { return GetFocus() == main->ListViewWindow(); }));
    PressKey(VK_RETURN);
    ASSERT_TRUE(Pump(2000, [&] { return main->DetailsWindow() && FocusId() == kPauseButtonId; }));
    PressKey('P');
    EXPECT_TRUE(Pump(3000, [&] { return State(0) == DownloadState::Paused; }));
    PressKey(VK_ESCAPE);
    ASSERT_TRUE(Pump(2000, [&] { return !main->DetailsWindow() && GetFocus() == main->ListViewWindow(); }));
    DialogScript remove({[](HWND) { PressKey(VK_TAB); }, [](HWND) { PressKey(VK_RETURN); }});  // from Cancel to Remove
    PressKey(VK_DELETE);
    EXPECT_TRUE(Pump(3000, [&] { return main->List()->Entries().empty(); }));
    PressAltF4();
    EXPECT_TRUE(Pump(3000, [&] { return !IsWindow(main->Handle()); }));
    ReleaseModifiers();
}

using Contrast = Switches;

TEST_F(Contrast, HighContrastDrawsInTheSystemColoursAndTheWindowFollowsItsSwitch) {
    // Catches the palette kept in high contrast, text on a highlight in another colour than its
    // own, and a window that needs a restart to follow the switch.
    const COLORREF window = RGB(0, 0, 96), face = RGB(20, 0, 40), text = RGB(255, 255, 0), highlight = RGB(0, 255, 255),
                   onHighlight = RGB(0, 0, 1);
    SessionColours colours({COLOR_WINDOW, COLOR_BTNFACE, COLOR_WINDOWTEXT, COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT},
                           {window, face, text, highlight, onHighlight});
    EXPECT_EQ(EditBrushColour(), PaletteColor(9, true));
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Accessibility\\HighContrast", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr), ERROR_SUCCESS);
    RegSetValueExW(key, L"Flags", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"127"), 8);
    SendMessageW(main->Handle(), WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
    const COLORREF during = EditBrushColour();
    Surface s = SurfaceCreate(680, 520);
    PaintDetails(s, DownloadInfo{.totalSize = 10, .doneBytes = 10, .state = DownloadState::Completed}, 0, 8, 680, 520);
    GdiFlush();
    // The body (a panel), the full map (finished); accent fills are the highlight, the white on them its text.
    EXPECT_EQ(std::make_tuple(FromPixel(s.at(5, 5)), FromPixel(s.at(300, 184)), COLORREF{kBlue}, COLORREF{kWhite}),
              std::make_tuple(face, text, highlight, onHighlight));
    RegDeleteValueW(key, L"Flags");
    RegCloseKey(key);
    SendMessageW(main->Handle(), WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
    EXPECT_EQ(std::make_pair(during, EditBrushColour()), std::make_pair(window, PaletteColor(9, true)));
}
