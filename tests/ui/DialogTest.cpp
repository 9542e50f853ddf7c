// The dialog framework in real windows, driven from inside its own loop:
// close paths, button order and focus, keyboard order, Enter on each kind
// of control, required fields, placement, nesting and the end of the
// program during a question.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HostWindow.h"
#include "store/Lang.h"
#include "support/DialogScript.h"
#include "ui/Colors.h"
#include "ui/ControlText.h"
#include "ui/Dialog.h"
#include "ui/Dpi.h"
#include "ui/FormDialog.h"
#include "ui/Fonts.h"
#include "ui/MessageDialog.h"

using namespace ui;

namespace {
const std::vector<std::wstring> kThree = {L"first", L"second", L"third"};

class Dialogs : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        BuildFonts();
        RegisterDialogClass(GetModuleHandleW(nullptr));
        SetVietnamese(false);
    }
    static void TearDownTestSuite() { SetVietnamese(true); }
    void TearDown() override { ReleaseModifiers(); }

    int Message(std::vector<DialogScript::Step> steps, int danger = -1, int focus = -1,
                const std::vector<std::wstring>& buttons = kThree) {
        DialogScript script(std::move(steps));
        return ShowMessageDialog(host.window, L"Question", L"Is this the text?", MessageIcon::Question, buttons, danger,
                                 focus);
    }

    static FormSpec TwoFields() {
        FormSpec spec;
        spec.title = L"Form";
        spec.intro = L"Intro";
        spec.fields = {{FieldKind::Text, L"Name", L"old", false, true},
                       {FieldKind::Check, L"Tick", L"", false, false},
                       {FieldKind::Text, L"Other", L"  spaced  ", false, false}};
        return spec;
    }

    HostWindow host{700, 500};
};

void Close(HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0); }
}  // namespace

TEST_F(Dialogs, EscapeTheCloseBoxAndAltF4AnswerMinusOneForBothKinds) {
    const std::vector<std::pair<const char*, DialogScript::Step>> ways = {
        {"Escape", [](HWND) { PressKey(VK_ESCAPE); }},
        {"close box", [](HWND d) { PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"Alt+F4", [](HWND) { PressAltF4(); }},
    };
    for (const auto& [name, way] : ways) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Message({way, [](HWND) { ReleaseModifiers(); }}), -1);
        FormSpec spec = TwoFields();
        {
            DialogScript script({way, [](HWND) { ReleaseModifiers(); }});
            EXPECT_FALSE(ShowFormDialog(host.window, spec));
        }
        EXPECT_EQ(spec.fields[0].value, L"old");
        EXPECT_EQ(FindWindowW(kDialogClass, nullptr), nullptr);
        EXPECT_TRUE(IsWindowEnabled(host.window));
    }
}

TEST_F(Dialogs, ButtonsStandRightToLeftAndEnterPressesTheFocusedOne) {
    // focusIndex -> the button focused first, and Enter answers it.
    const struct {
        int focus, expected;
    } cases[] = {{-1, 0}, {0, 0}, {1, 1}, {2, 2}, {7, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.focus);
        int focused = -1;
        RECT places[3];
        const int answer = Message({[&](HWND d) {
                                       focused = FocusId();
                                       for (int i = 0; i < 3; ++i) GetWindowRect(GetDlgItem(d, 100 + i), &places[i]);
                                       PressKey(VK_RETURN);
                                   }},
                                   -1, c.focus);
        EXPECT_EQ(focused, 100 + c.expected);
        EXPECT_EQ(answer, c.expected);
        EXPECT_TRUE(places[2].right < places[1].left && places[1].right < places[0].left);  // the first is rightmost
    }
    // Tab moves left to right through the creation order: third, second, first.
    std::vector<int> order;
    const int answer = Message({[&](HWND) { order.push_back(FocusId()), PressKey(VK_TAB); },
                                [&](HWND) { order.push_back(FocusId()), PressKey(VK_TAB); },
                                [&](HWND) { order.push_back(FocusId()), PressKey(VK_RETURN); }},
                               -1, 2);
    EXPECT_EQ(order, (std::vector<int>{102, 101, 100}));
    EXPECT_EQ(answer, 0);
}

TEST_F(Dialogs, AMessageDialogGrowsWithItsText) {
    LONG heights[2] = {};
    for (int i = 0; i < 2; ++i) {
        DialogScript script({[&](HWND d) {
            RECT client{};
            GetClientRect(d, &client);
            heights[i] = client.bottom;
            Close(d);
        }});
        ShowMessageDialog(host.window, L"t", i ? std::wstring(12, L'\n') + L"end" : L"one line", MessageIcon::Info, {L"OK"}, -1, 0);
    }
    EXPECT_GT(heights[1], heights[0] + 10 * LineHeightOf(4));  // every line shows
}

TEST_F(Dialogs, TheCardTheFooterAndItsLineArePainted) {
    for (const bool dark : {false, true}) {
        SetDarkTheme(dark);
        COLORREF seen[4] = {};
        Message({[&](HWND d) {
            UpdateWindow(d);
            RECT c{};
            GetClientRect(d, &c);
            HDC dc = GetDC(d);
            const POINT at[4] = {{c.right - 5, 5}, {5, c.bottom - 5}, {5, c.bottom - 64}, {24, 38}};
            for (int i = 0; i < 4; ++i) seen[i] = GetPixel(dc, at[i].x, at[i].y);
            ReleaseDC(d, dc);
            Close(d);
        }});
        // The card, the footer, the footer's line and the badge behind the icon.
        const COLORREF expected[4] = {PaletteColor(2), PaletteColor(3), PaletteColor(6), MixColors(PaletteColor(2), kBlue, 36)};
        for (int i = 0; i < 4; ++i) EXPECT_EQ(seen[i], expected[i]) << (dark ? "dark " : "light ") << i;
    }
    SetDarkTheme(false);
}

TEST_F(Dialogs, FormKeyboardOrderEnterAndRequiredFields) {
    FormSpec spec = TwoFields();
    std::vector<int> order;
    std::vector<int> back;
    auto note = [&](HWND) { order.push_back(FocusId()), PressKey(VK_TAB); };
    {
        DialogScript script({note, note, note, note, note,  // fields, Cancel, OK and round again
                             [&](HWND) { back.push_back(FocusId()), PressShiftTab(); },
                             [&](HWND) { ReleaseModifiers(), back.push_back(FocusId()), Close(DialogScript::Front()); }});
        EXPECT_FALSE(ShowFormDialog(host.window, spec));
    }
    EXPECT_EQ(order, (std::vector<int>{200, 201, 202, IDCANCEL, IDOK}));
    EXPECT_EQ(back, (std::vector<int>{200, IDOK}));

    // A required field of spaces and a tab keeps the form open and focused.
    bool stillOpen = false;
    int focus = 0;
    {
        DialogScript script({[](HWND d) {
                                 SetWindowTextW(GetDlgItem(d, 200), L"  \t ");
                                 PostMessageW(GetDlgItem(d, 202), WM_SETFOCUS, 0, 0);
                                 SetFocus(GetDlgItem(d, 202));
                                 PressKey(VK_RETURN);
                             },
                             [&](HWND d) {
                                 stillOpen = d != nullptr;
                                 focus = FocusId();
                                 SetWindowTextW(GetDlgItem(d, 200), L" a ");
                                 SetFocus(GetDlgItem(d, 201));
                                 PressKey(VK_SPACE);  // ticks the check box
                             },
                             [](HWND d) { SetFocus(GetDlgItem(d, 202)), PressKey(VK_RETURN); }});
        EXPECT_TRUE(ShowFormDialog(host.window, spec));
    }
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(focus, 200);
    EXPECT_EQ(spec.fields[0].value, L"a");
    EXPECT_TRUE(spec.fields[1].ticked);
    EXPECT_EQ(spec.fields[2].value, L"spaced");
}

TEST_F(Dialogs, EnterOnAFocusedCancelCancels) {
    FormSpec spec = TwoFields();
    {
        DialogScript script({[](HWND d) { SetFocus(GetDlgItem(d, IDCANCEL)), PressKey(VK_RETURN); }});
        EXPECT_FALSE(ShowFormDialog(host.window, spec));
    }
    EXPECT_EQ(spec.fields[0].value, L"old");
    EXPECT_EQ(spec.fields[2].value, L"  spaced  ");
    // A form without text fields starts on OK: Enter accepts it.
    FormSpec checks;
    checks.fields = {{FieldKind::Check, L"Only", L"", true, false}};
    int focus = 0;
    {
        DialogScript script({[&](HWND) { focus = FocusId(), PressKey(VK_RETURN); }});
        EXPECT_TRUE(ShowFormDialog(host.window, checks));
    }
    EXPECT_EQ(focus, IDOK);
    EXPECT_TRUE(checks.fields[0].ticked);
}

TEST_F(Dialogs, PlacedInsideTheOwnersWorkAreaOrCentredWithoutOwner) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(host.window, MONITOR_DEFAULTTONEAREST), &info));
    const RECT work = info.rcWork;
    RECT placed{};
    SetWindowPos(host.window, nullptr, work.right - 150, work.bottom - 100, 700, 500, SWP_NOZORDER);
    Message({[&](HWND d) { GetWindowRect(d, &placed), Close(d); }});
    EXPECT_EQ(std::make_pair(placed.right, placed.bottom), std::make_pair(work.right, work.bottom));
    SetWindowPos(host.window, nullptr, work.left - 400, work.top - 300, 700, 500, SWP_NOZORDER);
    Message({[&](HWND d) { GetWindowRect(d, &placed), Close(d); }});
    EXPECT_EQ(std::make_pair(placed.left, placed.top), std::make_pair(work.left, work.top));
    RECT primary;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &primary, 0);
    {
        DialogScript script({[&](HWND d) { GetWindowRect(d, &placed), Close(d); }});
        EXPECT_EQ(ShowMessageDialog(nullptr, L"t", L"m", MessageIcon::Info, {L"OK"}, -1, 0), -1);
    }
    EXPECT_NEAR(placed.left + placed.right, primary.left + primary.right, 1);  // centred without an owner
    EXPECT_NEAR(placed.top + placed.bottom, primary.top + primary.bottom, 1);
}

TEST_F(Dialogs, ANestedQuestionLeavesTheOwnerDisabledUntilTheOuterCloses) {
    int inner = 99;
    bool disabledBetween = false;
    const int outer = Message({[&](HWND) {
                                   {
                                       DialogScript nested({[](HWND) { PressKey(VK_RETURN); }});
                                       inner = ShowMessageDialog(host.window, L"B", L"inner", MessageIcon::Warning,
                                                                 {L"yes", L"no"}, 0, 1);
                                   }
                                   // The inner one must not give the owner back under the outer one.
                                   disabledBetween = !IsWindowEnabled(host.window);
                               },
                               [](HWND) { PressKey(VK_RETURN); }},
                              -1, 1);
    EXPECT_EQ(inner, 1);
    EXPECT_TRUE(disabledBetween);
    EXPECT_EQ(outer, 1);
    EXPECT_TRUE(IsWindowEnabled(host.window));
}

TEST_F(Dialogs, QuitDuringNestedQuestionsEndsBothAndReachesTheOuterLoop) {
    int inner = 99;
    bool innerFormAccepted = true;
    const int outer = Message({[&](HWND) {
        FormSpec spec = TwoFields();
        DialogScript nested({[](HWND) { PostQuitMessage(7); }});
        innerFormAccepted = ShowFormDialog(host.window, spec);
        inner = 0;
    }});
    EXPECT_FALSE(innerFormAccepted);
    EXPECT_EQ(inner, 0);
    EXPECT_EQ(outer, -1);
    EXPECT_EQ(FindWindowW(kDialogClass, nullptr), nullptr);
    EXPECT_TRUE(IsWindowEnabled(host.window));
    MSG msg;
    std::vector<WPARAM> quits;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message == WM_QUIT) quits.push_back(msg.wParam);
    EXPECT_EQ(quits, std::vector<WPARAM>{7});
}

TEST_F(Dialogs, AnOwnerDestroyedDuringTheQuestionGivesMinusOne) {
    // A dialog that answered before leaves no trace in the next one.
    EXPECT_EQ(Message({[](HWND) { PressKey(VK_RETURN); }}, -1, 0), 0);
    HostWindow owner;
    int answer = 5;
    {
        DialogScript script({[&](HWND) { DestroyWindow(owner.window); }});
        answer = ShowMessageDialog(owner.window, L"t", L"Remove?", MessageIcon::Warning, {L"Remove", L"Cancel"}, 0, 1);
    }
    EXPECT_EQ(answer, -1);
    EXPECT_EQ(FindWindowW(kDialogClass, nullptr), nullptr);
}

TEST_F(Dialogs, ADpiChangeGivesAnOpenFormsBoxesTheNewFonts) {
    FormSpec spec = TwoFields();
    LOGFONTW described{};
    int live = 0;
    {
        DialogScript script({[&](HWND d) {
            SetCurrentDpi(144);
            BuildFonts();
            RefreshDialogFonts();
            const auto font = reinterpret_cast<HFONT>(SendMessageW(GetDlgItem(d, 200), WM_GETFONT, 0, 0));
            live = GetObjectW(font, sizeof described, &described);
            Close(d);
        }});
        ShowFormDialog(host.window, spec);
    }
    SetCurrentDpi(96);
    BuildFonts();
    EXPECT_NE(live, 0);  // a live font, not a deleted handle
    EXPECT_EQ(described.lfHeight, FontRequest(4, ChosenFaces(), 144).lfHeight);
}
