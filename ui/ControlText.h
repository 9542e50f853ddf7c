// Two small window utilities several windows share.
#pragma once

#include <windows.h>

#include <string>

// Puts the text on the clipboard as Unicode text. On a failure after the
// clipboard was opened it stays emptied.
bool SetClipboardText(HWND owner, const std::wstring& text);
// The window's text; empty without asking GetWindowTextW when it has none.
std::wstring GetWindowTextString(HWND window);
