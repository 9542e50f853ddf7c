// The two theme operations every window shares: the colours of EDIT
// controls and the dark title bar. UI thread only.
#pragma once

#include <windows.h>

// Sets the DC's text and background to the theme's input colours and
// returns the brush for WM_CTLCOLOREDIT (created once per theme).
HBRUSH EditColors(HDC dc);
// Drops the cached brush; the next EditColors creates it in the new theme.
void DropEditBrush();
// On WM_SETTINGCHANGE and WM_SYSCOLORCHANGE: follows high contrast turned
// on or off, and the system's colours while it is on; true when the window
// must be drawn again (the edit brush is dropped then).
bool FollowSystemColours();
// Asks the desktop window manager for a dark or light caption. Nothing
// happens where dwmapi is missing, as in Windows PE.
void ApplyDarkTitleBar(HWND window);
