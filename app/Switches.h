// The language and theme of the main window: setting every caption that
// is not painted on demand, and the two switches (commands 110 and 109).
// UI thread only.
#pragma once

#include <windows.h>

#include <string>

// What the switches need from the window that owns the children 100-110.
class ShellSeam {
public:
    virtual HWND MainHandle() const = 0;
    virtual void SetStatus(const std::wstring& text) = 0;
    virtual bool SaveSettingsFile() = 0;
    // Layout pass from the client size, then RedrawWindow of the window and
    // its children (and of the details window when it is open).
    virtual void RelayoutAndRedraw() = 0;

protected:
    ~ShellSeam() = default;
};

// Captions of 101 and 103-110 and the link box's cue text, in the language
// of this moment.
void Relabel(HWND main);
void SwitchLanguage(ShellSeam& shell);
void SwitchTheme(ShellSeam& shell);
