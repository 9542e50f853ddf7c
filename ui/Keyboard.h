// Keyboard help shared by the top-level windows. UI thread only.
#pragma once

#include <windows.h>

namespace ui {

// For WM_ACTIVATE of a window that is not a dialog: the child that had the
// focus when the window was left gets it back when the window is active
// again (DefWindowProc would give it to the window itself, and the keys that
// act on the list would find no list).
void KeepFocusAcrossActivation(HWND window, WPARAM activateWParam);

}  // namespace ui
