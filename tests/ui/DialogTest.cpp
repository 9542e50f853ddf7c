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
        std::vector<RECT> places(3);
        RECT client{};
        const int answer = Message(
            {[&](HWND d) {
                 focused = FocusId();
                 GetClientRect(d, &client);
                 for (int i = 0; i < 3; ++i) {
                     GetWindowRect(GetDlgItem(d, 100 + i), &places[i]);
                     MapWindowPoints(nullptr, d, reinterpret_cast<POINT*>(&places[i]), 2);
                 }
                 PressKey(VK_RETURN);
             }},
            -1, c.focus);
        EXPECT_EQ(focused, 100 + c.expected);
        EXPECT_EQ(answer, c.expected);
        EXPECT_EQ(places[0].right, client.right - Scale(20));  // the first is rightmost
        EXPECT_EQ(places[1].right + Scale(8), places[0].left);
        EXPECT_EQ(places[2].right + Scale(8), places[1].left);
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

TEST_F(Dialogs, MessageSizeFollowsItsText) {
    RECT client{};
    const int text = MeasureTextHeight(L"Is this the text?", 4, Scale(500) - Scale(72) - Scale(22));
    Message({[&](HWND d) { GetClientRect(d, &client), Close(d); }});
    EXPECT_EQ(client.right, 500);
    EXPECT_EQ(client.bottom, std::max(36, text) + 64 + 44);
    EXPECT_EQ(MessageDialogText(host.window), L"");
}

TEST_F(Dialogs, TheCardTheFooterAndItsLineArePainted) {
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        SetDarkTheme(dark);
        COLORREF card = 0, footer = 0, line = 0, badge = 0;
        Message({[&](HWND d) {
            UpdateWindow(d);
            RECT c{};
            GetClientRect(d, &c);
            HDC dc = GetDC(d);
            card = GetPixel(dc, c.right - 5, 5);
            footer = GetPixel(dc, 5, c.bottom - 5);
            line = GetPixel(dc, 5, c.bottom - 64);
            badge = GetPixel(dc, 24, 38);
            ReleaseDC(d, dc);
            Close(d);
        }});
        EXPECT_EQ(card, PaletteColor(2));
        EXPECT_EQ(footer, PaletteColor(3));
        EXPECT_EQ(line, PaletteColor(6));
        EXPECT_EQ(badge, MixColors(PaletteColor(2), kBlue, 36));
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
    SetWindowPos(host.window, nullptr, work.right - 150, work.bottom - 100, 700, 500, SWP_NOZORDER);
    RECT placed{};
    Message({[&](HWND d) { GetWindowRect(d, &placed), Close(d); }});
    EXPECT_EQ(placed.right, work.right);
    EXPECT_EQ(placed.bottom, work.bottom);
    SetWindowPos(host.window, nullptr, work.left - 400, work.top - 300, 700, 500, SWP_NOZORDER);
    Message({[&](HWND d) { GetWindowRect(d, &placed), Close(d); }});
    EXPECT_EQ(placed.left, work.left);
    EXPECT_EQ(placed.top, work.top);

    RECT primary;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &primary, 0);
    {
        DialogScript script({[&](HWND d) { GetWindowRect(d, &placed), Close(d); }});
        EXPECT_EQ(ShowMessageDialog(nullptr, L"t", L"m", MessageIcon::Info, {L"OK"}, -1, 0), -1);
    }
    const int w = placed.right - placed.left, h = placed.bottom - placed.top;
    EXPECT_EQ(placed.left, primary.left + (primary.right - primary.left - w) / 2);
    EXPECT_EQ(placed.top, primary.top + (primary.bottom - primary.top - h) / 2);
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
    int quits = 0;
    WPARAM code = 0;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message == WM_QUIT) ++quits, code = msg.wParam;
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(code, 7u);
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
    HFONT font = nullptr;
    LOGFONTW described{};
    int described_ok = 0;
    {
        DialogScript script({[&](HWND d) {
            SetCurrentDpi(144);
            BuildFonts();
            RefreshDialogFonts();
            font = reinterpret_cast<HFONT>(SendMessageW(GetDlgItem(d, 200), WM_GETFONT, 0, 0));
            described_ok = GetObjectW(font, sizeof described, &described);
            Close(d);
        }});
        ShowFormDialog(host.window, spec);
    }
    SetCurrentDpi(96);
    BuildFonts();
    EXPECT_NE(described_ok, 0);  // a live font, not a deleted handle
    EXPECT_EQ(described.lfHeight, LOGFONTW(FontRequest(4, ChosenFaces(), 144)).lfHeight);
}
