// A real top-level window for the control tests: it forwards owner-draw
// and edit colours like the program's windows, records every WM_COMMAND,
// toggles check boxes on BN_CLICKED like the form dialog, and pumps its
// messages through IsDialogMessageW like the program's loop; and the
// fixtures of the dialog and button tests.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "support/DialogScript.h"
#include "ui/Buttons.h"
#include "ui/Colors.h"
#include "ui/Dialog.h"
#include "ui/Dpi.h"
#include "ui/Fonts.h"
#include "ui/FormDialog.h"
#include "ui/MessageDialog.h"
#include "ui/Surface.h"
#include "ui/Theme.h"

class HostWindow {
public:
    struct Command {
        int id, code;
    };

    HostWindow(int width = 480, int height = 320) {
        static const ATOM atom = [] {
            WNDCLASSEXW wc{};
            wc.cbSize = sizeof wc;
            wc.lpfnWndProc = Proc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
            wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
            wc.lpszClassName = L"TidewellTest.Host";
            return RegisterClassExW(&wc);
        }();
        (void)atom;
        window = CreateWindowExW(0, L"TidewellTest.Host", L"host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 40, 40, width,
                                 height, nullptr, nullptr, GetModuleHandleW(nullptr), this);
        ShowWindow(window, SW_SHOWNORMAL);
        SetForegroundWindow(window);
        Pump(100);
    }
    ~HostWindow() {
        if (IsWindow(window)) DestroyWindow(window);
    }

    // Runs the window's messages for about `ms` milliseconds, or until the
    // condition holds.
    bool Pump(int ms, const std::function<bool()>& until = nullptr) {
        const ULONGLONG end = GetTickCount64() + ms;
        do {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (IsDialogMessageW(window, &msg)) continue;
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            if (until && until()) return true;
            Sleep(5);
        } while (GetTickCount64() < end);
        return until ? until() : true;
    }

    int Clicks(int id) const {
        int n = 0;
        for (const Command& c : commands) n += c.id == id && c.code == BN_CLICKED;
        return n;
    }

    HWND window = nullptr;
    std::vector<Command> commands;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
        if (message == WM_NCCREATE)
            SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        auto* self = reinterpret_cast<HostWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        LRESULT result = 0;
        if (HandleOwnerDraw(message, wParam, lParam, result)) return result;
        if (message == WM_CTLCOLOREDIT) return reinterpret_cast<LRESULT>(EditColors(reinterpret_cast<HDC>(wParam)));
        if (message == WM_COMMAND && self) {
            self->commands.push_back({LOWORD(wParam), HIWORD(wParam)});
            HWND control = reinterpret_cast<HWND>(lParam);
            // Check boxes (marked by the test with this property) toggle their tick.
            if (HIWORD(wParam) == BN_CLICKED && control && GetPropW(control, L"check"))
                SetButtonChecked(control, !IsButtonChecked(control));
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
};

// Moves the pointer to a point in screen coordinates and optionally clicks.
inline void MouseTo(POINT screen) {
    SetCursorPos(screen.x, screen.y);
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = MulDiv(screen.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    in.mi.dy = MulDiv(screen.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &in, sizeof in);
}

inline void MouseClick() {
    INPUT in[2]{};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, in, sizeof in[0]);
}

inline void Key(WORD vk) {
    INPUT in[2]{};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = vk;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof in[0]);
}

inline POINT CentreOf(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// The dialog tests' fixture: a question and a form over a host window, each
// answered from inside its loop by a script.
class Dialogs : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        BuildFonts();
        ui::RegisterDialogClass(GetModuleHandleW(nullptr));
    }
    void TearDown() override { ReleaseModifiers(); }

    // A question with three buttons, "first" rightmost.
    int Message(std::vector<DialogScript::Step> steps, int focus = -1, const std::wstring& text = L"Is this the text?") {
        return Scripted(std::move(steps), [&] {
            return ui::ShowMessageDialog(host.window, L"Question", text, ui::MessageIcon::Question, {L"first", L"second", L"third"},
                                     -1, focus);
        });
    }
    // A form of a required text field, a check box and another text field.
    bool Form(std::vector<DialogScript::Step> steps, ui::FormSpec& spec) {
        spec.fields = {{ui::FieldKind::Text, L"Name", L"old", false, true},
                       {ui::FieldKind::Check, L"Tick", L"", false, false},
                       {ui::FieldKind::Text, L"Other", L"  spaced  ", false, false}};
        return Scripted(std::move(steps), [&] { return ui::ShowFormDialog(host.window, spec); });
    }

    HostWindow host{700, 500};
};

// The button tests' fixture: an accent, a plain and a check button in a host
// window, and their painted faces.
constexpr int kW = 120, kH = 36;

class Buttons : public ::testing::Test {
protected:
    void SetUp() override {
        BuildFonts();
        int y = 20;
        for (auto [id, kind] : {std::pair{11, ButtonKind::Accent}, {12, ButtonKind::Normal}, {14, ButtonKind::Check}}) {
            MoveWindow(CreateStyledButton(host.window, id, L"Caption", ButtonStyle{kind, id == 11 ? 4 : 0, 2, 3, false}),
                       20, y, kW, kH, TRUE);
            y += kH + 10;
        }
        ok = GetDlgItem(host.window, 11), cancel = GetDlgItem(host.window, 12), check = GetDlgItem(host.window, 14);
        SetPropW(check, L"check", reinterpret_cast<HANDLE>(1));
        host.Pump(100);
    }

    // Paints the button from a made-up DRAWITEMSTRUCT into a surface.
    static Surface Paint(HWND button, UINT state) {
        Surface s = SurfaceCreate(kW, kH);
        SurfaceFill(s, RECT{0, 0, kW, kH}, RGB(1, 2, 3));
        DRAWITEMSTRUCT item{ODT_BUTTON, static_cast<UINT>(GetDlgCtrlID(button)), 0, 0, state, button, s.dc(), {0, 0, kW, kH}, 0};
        LRESULT result = 0;
        EXPECT_TRUE(HandleOwnerDraw(WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item), result) && result == TRUE);
        GdiFlush();
        return s;
    }
    // A point of the fill, away from the text and the corners, and of the border.
    static COLORREF Fill(HWND button, UINT state) { return FromPixel(Paint(button, state).at(4, kH / 2)); }
    static COLORREF Border(HWND button, UINT state) { return FromPixel(Paint(button, state).at(kW / 2, 0)); }

    HostWindow host;
    HWND ok{}, cancel{}, check{};
};
