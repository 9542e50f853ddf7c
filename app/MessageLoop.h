// One step of the program's message loop: the shortcut keys of the main
// window first, then dialog navigation, then the usual dispatch. The start
// and the window tests run every message through it.
#pragma once

#include <windows.h>

class MainWindow;

// The command of a shortcut key, or 0: digits 1-7 (also on the keypad),
// Insert, Delete, and Space and O while the list has the focus.
int ShortcutCommand(WPARAM key, bool listFocused);
// The footer button a key presses in the details window, or 0: P pause,
// resume or retry, C Copy Link, L Change Link, H Copy SHA-256.
int DetailsShortcutCommand(WPARAM key);
// Posts the command of a shortcut key pressed in the main window (never
// into an edit box, never with Ctrl or Alt); true when it did.
bool TranslateShortcut(const MSG& msg, const MainWindow& main);
void RunLoopStep(MSG& msg, const MainWindow& main);
