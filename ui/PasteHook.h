// Lets a window decide what a paste into a text box does before the box
// pastes: Ctrl+V, Shift+Insert, the box's own context menu and WM_PASTE
// itself. UI thread only.
#pragma once

#include <windows.h>

#include <functional>

namespace ui {

// `paste` runs for every paste into `edit`; true: it was dealt with and
// the box pastes nothing; false: the box pastes as usual. The hook goes
// with the box.
bool HookPaste(HWND edit, std::function<bool()> paste);

}  // namespace ui
