// The language and theme of the main window: setting every caption that
// is not painted on demand, and the two switches (commands 110 and 109).
// UI thread only.
#pragma once

#include <windows.h>

class MainWindow;

// Captions of 101 and 103-110 and the link box's cue text, in the language
// of this moment.
void Relabel(HWND main);
void SwitchLanguage(MainWindow& main);
void SwitchTheme(MainWindow& main);
