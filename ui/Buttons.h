// Owner-drawn push buttons and check boxes: standard BUTTON windows (so the
// dialog manager, focus, Tab, Space, Enter and WM_COMMAND all work as
// usual), subclassed to track the mouse and painted here in the theme's
// colours with an optional vector icon. The parent passes WM_DRAWITEM to
// HandleOwnerDraw. The registry of records belongs to the UI thread.
#pragma once

#include <windows.h>

#include <cstdint>

enum class ButtonKind : int32_t { Normal = 0, Accent = 1, Danger = 2, Check = 5 };

struct ButtonStyle {
    ButtonKind kind = ButtonKind::Normal;
    int32_t icon = 0;        // icon number, 0 for none
    int32_t background = 2;  // palette entry (0..3) the button sits on; other values count as 2
    int32_t font = 3;        // font slot
    bool leftAligned = false;
};

// Created at (0, 0) with size 0 x 0; null when the window cannot be made.
HWND CreateStyledButton(HWND parent, int id, const wchar_t* text, const ButtonStyle& style);
void SetButtonChecked(HWND button, bool checked);
// False for a window without a record.
bool IsButtonChecked(HWND button);
void SetButtonIcon(HWND button, int32_t icon);
// The icon of a button's record; 0 without one.
int32_t ButtonIcon(HWND button);
// Whether the window has a record (removed at WM_NCDESTROY).
bool IsStyledButton(HWND button);

// For WM_DRAWITEM and WM_MEASUREITEM: true (result TRUE) when it painted a
// button, or a button without a record; false for everything else.
bool HandleOwnerDraw(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

// Fill, border (NoColor when absent) and text colour of a button in one state.
struct ButtonColors {
    COLORREF fill, border, text;
};
ButtonColors ButtonColorsFor(ButtonKind kind, COLORREF background, bool disabled, bool pressed, bool hot,
                             bool focusRing);
