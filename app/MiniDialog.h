// A plain modal question of the program's own window class
// "TidewellPE.Dialog" (never a system message box), until the dialog
// framework replaces it: a text and up to three buttons.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

bool RegisterMiniDialogClass(HINSTANCE instance);

// The index of the button pressed, or -1 when the dialog was closed.
int RunMiniDialog(HWND owner, const std::wstring& title, const std::wstring& text,
                  const std::vector<std::wstring>& buttons);
