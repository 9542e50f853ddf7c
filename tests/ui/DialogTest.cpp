// The dialog framework in real windows, driven from inside its own loop:
// close paths, button order and focus, keyboard order, Enter on each kind
// of control, required fields, nesting and the end of the
// program during a question. (A DPI change during a form: the main
// window's dialogs test, which reaches the same refresh through the window.)
#include "HostWindow.h"

using namespace ui;

namespace {
// A key at a control of the dialog, given the focus first.
void Press(HWND dialog, int id, WPARAM vk) { SetFocus(GetDlgItem(dialog, id)), PressKey(vk); }
}  // namespace

TEST_F(Dialogs, EscapeTheCloseBoxAndAltF4AnswerMinusOneForBothKinds) {
    const std::pair<const char*, DialogScript::Step> ways[] = {
        {"Escape", [](HWND) { PressKey(VK_ESCAPE); }},
        {"close box", [](HWND d) { PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"Alt+F4", [](HWND) { PressAltF4(); }}};
    for (const auto& [name, way] : ways) {
        EXPECT_EQ(Message({way, [](HWND) { ReleaseModifiers(); }}), -1) << name;
        FormSpec spec;
        EXPECT_TRUE(!Form({way, [](HWND) { ReleaseModifiers(); }}, spec) && spec.fields[0].value == L"old") << name;
        EXPECT_TRUE(FindWindowW(kDialogClass, nullptr) == nullptr && IsWindowEnabled(host.window)) << name;
    }
}

TEST_F(Dialogs, ButtonsStandRightToLeftEnterPressesTheFocusedOneAndAMessageGrowsWithItsText) {
    // The focus index asked for -> the button focused first, which Enter answers.
    for (auto [focus, expected] : {std::pair{-1, 0}, {1, 1}, {7, 0}}) {
        int focused = -1;
        RECT at[3];
        EXPECT_EQ(Message({[&](HWND d) {
                              focused = FocusId();
                              for (int i = 0; i < 3; ++i) GetWindowRect(GetDlgItem(d, 100 + i), &at[i]);
                              PressKey(VK_RETURN);
                          }},
                          focus),
                  expected);
        EXPECT_EQ(focused, 100 + expected) << focus;
        EXPECT_TRUE(at[2].right < at[1].left && at[1].right < at[0].left);  // the first is rightmost
    }
    // Tab moves left to right through the creation order: third, second, first.
    std::vector<int> order;
    const auto note = [&](HWND) { order.push_back(FocusId()), PressKey(order.size() < 3 ? VK_TAB : VK_RETURN); };
    EXPECT_EQ(Message({note, note, note}, 2), 0);
    EXPECT_EQ(order, (std::vector<int>{102, 101, 100}));
    // A message of many lines is as tall as they are.
    LONG heights[2] = {};
    for (int i : {0, 1})
        Message({[&](HWND d) { RECT c{}; GetClientRect(d, &c), heights[i] = c.bottom, PostMessageW(d, WM_COMMAND, IDCANCEL, 0); }}, -1,
                i ? std::wstring(12, L'\n') + L"end" : L"one line");
    EXPECT_GT(heights[1], heights[0] + 10 * LineHeightOf(4));  // every line shows
}

TEST_F(Dialogs, FormKeyboardOrderEnterOnCancelOrAFieldAndRequiredFields) {
    FormSpec spec;
    std::vector<int> order;
    const auto note = [&](HWND) { order.push_back(FocusId()), PressKey(VK_TAB); };
    EXPECT_FALSE(Form({note, note, note, note, note,  // the fields, Cancel, OK and round again
                       [&](HWND) { order.push_back(FocusId()), PressShiftTab(); },
                       // Enter on a focused Cancel cancels.
                       [&](HWND d) { ReleaseModifiers(), order.push_back(FocusId()), Press(d, IDCANCEL, VK_RETURN); }},
                      spec));
    EXPECT_EQ(order, (std::vector<int>{200, 201, 202, IDCANCEL, IDOK, 200, IDOK}));
    // A required field of spaces and a tab keeps the form open, focused on it; Enter in
    // another field accepts, the text fields trimmed.
    int focus = 0;
    EXPECT_TRUE(Form({[](HWND d) { SetWindowTextW(GetDlgItem(d, 200), L"  \t "), Press(d, 202, VK_RETURN); },
                      [&](HWND d) { focus = FocusId(), SetWindowTextW(GetDlgItem(d, 200), L" a "), Press(d, 201, VK_SPACE); },
                      [](HWND d) { Press(d, 202, VK_RETURN); }},
                     spec));
    EXPECT_EQ(std::tie(focus, spec.fields[0].value, spec.fields[1].ticked, spec.fields[2].value),
              std::make_tuple(200, std::wstring(L"a"), true, std::wstring(L"spaced")));
}

TEST_F(Dialogs, NestedQuestionsKeepTheOwnerDisabledAQuitEndsThemAllAndADestroyedOwnerGivesMinusOne) {
    int inner = 99;
    bool disabledBetween = false;
    EXPECT_EQ(Message({[&](HWND) {
                           inner = Scripted({[](HWND) { PressKey(VK_RETURN); }}, [&] {
                               return ShowMessageDialog(host.window, L"B", L"inner", MessageIcon::Warning, {L"yes", L"no"}, 0, 1);
                           });
                           // The inner one must not give the owner back under the outer one.
                           disabledBetween = !IsWindowEnabled(host.window);
                       },
                       [](HWND) { PressKey(VK_RETURN); }},
                      1),
              1);
    EXPECT_EQ(std::make_tuple(inner, disabledBetween, IsWindowEnabled(host.window)), std::make_tuple(1, true, TRUE));
    bool innerAccepted = true;
    EXPECT_EQ(Message({[&](HWND) {
                  FormSpec spec;
                  innerAccepted = Form({[](HWND) { PostQuitMessage(7); }}, spec);
              }}),
              -1);
    EXPECT_FALSE(innerAccepted);
    EXPECT_TRUE(FindWindowW(kDialogClass, nullptr) == nullptr && IsWindowEnabled(host.window));
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && msg.wParam == 7);  // passed on, once
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    HostWindow owner;
    EXPECT_EQ(Scripted({[&](HWND) { DestroyWindow(owner.window); }},
                       [&] { return ShowMessageDialog(owner.window, L"t", L"Remove?", MessageIcon::Warning, {L"a", L"b"}, 0, 1); }),
              -1);
    EXPECT_EQ(FindWindowW(kDialogClass, nullptr), nullptr);
}
