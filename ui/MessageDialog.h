// A question or a message: an icon badge, a wrapped text and a row of
// buttons, the first of them rightmost.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ui {

enum class MessageIcon : int32_t { Info = 0, Question = 1, Warning = 2, Error = 3 };

// The index of the button pressed, or -1 when the dialog was closed any
// other way (Escape, the close box, Alt+F4, the end of the program, the
// owner destroyed, or no window at all). Button `dangerIndex` is red;
// `focusIndex` < 0 or past the end focuses the first button.
int ShowMessageDialog(HWND owner, const std::wstring& title, const std::wstring& message, MessageIcon icon,
                      const std::vector<std::wstring>& buttons, int dangerIndex, int focusIndex);

// A question that acts by itself unless answered: once a second its text
// is made again with the seconds left, `still` (when given) tells whether
// it is still wanted, and at zero it answers as if button `atZero` had
// been pressed, or (kCountdownStays) shows its text for zero and waits.
struct Countdown {
    int seconds = 30;
    std::function<std::wstring(int secondsLeft)> text;
    std::function<bool()> still;
    int atZero = 0;
};
constexpr int kCountdownWithdrawn = -2;  // `still` said no
constexpr int kCountdownStays = -3;
int ShowCountdownDialog(HWND owner, const std::wstring& title, MessageIcon icon,
                        const std::vector<std::wstring>& buttons, int dangerIndex, int focusIndex,
                        const Countdown& countdown);

// The message an open message dialog shows, for assistive tools and tests;
// empty for any other window.
std::wstring MessageDialogText(HWND dialog);

}  // namespace ui
