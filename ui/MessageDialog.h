// A question or a message: an icon badge, a wrapped text and a row of
// buttons, the first of them rightmost.
#pragma once

#include <windows.h>

#include <cstdint>
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

// The message an open message dialog shows, for assistive tools and tests;
// empty for any other window.
std::wstring MessageDialogText(HWND dialog);

}  // namespace ui
