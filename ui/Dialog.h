// The modal dialogs of the program, drawn in its own style: a base that owns
// the window, its placement over the owner, the nested message loop, the
// common background (card body, footer strip and its line) and the close
// paths; the message and form dialogs build on it. UI thread only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "ui/Surface.h"
#include "ui/WindowProc.h"

namespace ui {

constexpr wchar_t kDialogClass[] = L"TidewellPE.Dialog";

// Class style 0, arrow cursor, no background brush.
bool RegisterDialogClass(HINSTANCE instance);

class Dialog {
public:
    Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;
    virtual ~Dialog() = default;

    // Shows the dialog over `owner` (may be null) with a client of cw x ch
    // and runs its loop until it closes: the result CloseDialog stored, or
    // -1 when it ended any other way.
    int RunModal(HWND owner, const std::wstring& title, int cw, int ch);
    HWND Window() const { return window_; }

protected:
    virtual void OnCreate() = 0;
    virtual void OnPaint(Surface& surface, int width, int height) = 0;
    virtual void OnCommand(int id, int code) = 0;
    virtual HWND InitialFocus() = 0;
    virtual void OnTimer(UINT_PTR) {}

    // Stores the result, gives the owner back its input (when this dialog
    // took it) and destroys the window.
    void CloseDialog(int result);

    HWND window_ = nullptr;
    HWND owner_ = nullptr;
    // Only CloseDialog changes it: a dialog destroyed any other way (say with
    // its owner) answers -1, never a stale button index.
    int32_t result_ = -1;
    bool closed_ = false;

private:
    template <typename T>
    friend LRESULT CALLBACK ::ForwardingProc(HWND, UINT, WPARAM, LPARAM) noexcept;
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void GiveOwnerBack();

    // Whether this dialog disabled its owner. A dialog opened over another
    // one finds the owner disabled already and must not enable it under
    // the outer dialog when it closes.
    bool disabledOwner_ = false;
};

// After the shared fonts were rebuilt (a DPI change): hands the new fonts
// to the text boxes of every open dialog, which would otherwise keep
// handles of deleted fonts.
void RefreshDialogFonts();

// The framework's Cancel button text, in the language of the moment.
const wchar_t* CancelText();

// The program's dialog behind a window, or null for any other window.
const Dialog* DialogOf(HWND window);

}  // namespace ui
