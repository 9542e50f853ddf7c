// Drives modal dialogs from inside their own message loops: the steps run
// one per tick of a thread timer, which whatever loop is running dispatches,
// each given the dialog window in front (null when none is open). Keys are
// posted to the focused window, as the keyboard would queue them. A dialog
// still open seconds after the last step is a failure, and is cancelled so
// that the test ends instead of waiting for an answer that never comes.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

class DialogScript {
public:
    using Step = std::function<void(HWND dialog)>;

    explicit DialogScript(std::vector<Step> steps, UINT period = 80) : steps_(std::move(steps)) {
        timer_ = SetTimer(nullptr, 0, period, Tick);
        Scripts().push_back(this);
    }
    ~DialogScript() {
        KillTimer(nullptr, timer_);
        auto& all = Scripts();
        for (size_t i = 0; i < all.size(); ++i)
            if (all[i] == this) all.erase(all.begin() + static_cast<long long>(i));
    }
    DialogScript(const DialogScript&) = delete;
    DialogScript& operator=(const DialogScript&) = delete;

    bool Finished() const { return next_ >= steps_.size(); }

    // The dialog in front: the first one in z-order of the program's class.
    static HWND Front() { return FindWindowW(L"TidewellPE.Dialog", nullptr); }

private:
    // Scripts nest with the dialogs they drive; each timer runs its own.
    static std::vector<DialogScript*>& Scripts() {
        static std::vector<DialogScript*> all;
        return all;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR timer, DWORD) {
        DialogScript* self = nullptr;
        for (DialogScript* s : Scripts())
            if (s->timer_ == timer) self = s;
        if (!self || self->running_) return;
        if (self->Finished()) {
            const HWND left = Front();
            if (self == Scripts().back() && left && IsWindowVisible(left) && ++self->idle_ == 40) {
                ADD_FAILURE() << "a dialog was still open after the script's last step";
                PostMessageW(left, WM_COMMAND, IDCANCEL, 0);
                self->idle_ = 0;
            }
            return;
        }
        self->running_ = true;  // a step may run a loop of its own (a nested dialog)
        Step step = self->steps_[self->next_++];
        step(Front());
        self->running_ = false;
    }

    std::vector<Step> steps_;
    size_t next_ = 0;
    bool running_ = false;
    int idle_ = 0;  // ticks since the last step with a dialog still open
    UINT_PTR timer_ = 0;
};

// Shows a dialog (`show` returns its answer) with `steps` answering it from inside its loop.
template <typename Show>
auto Scripted(std::vector<DialogScript::Step> steps, Show show) {
    DialogScript script(std::move(steps));
    return show();
}

inline void SetKeyDown(int vk, bool down) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[vk] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}

// A key press at the focused window.
inline void PressKey(WPARAM vk) {
    HWND focus = GetFocus();
    PostMessageW(focus, WM_KEYDOWN, vk, 1);
    PostMessageW(focus, WM_KEYUP, vk, 0xC0000001);
}

// Shift (or Alt) stays down until the dialog manager has read it: the next
// step releases it with ReleaseModifiers.
inline void PressShiftTab() {
    SetKeyDown(VK_SHIFT, true);
    PostMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 1);
}

inline void PressAltF4() {
    SetKeyDown(VK_MENU, true);
    PostMessageW(GetFocus(), WM_SYSKEYDOWN, VK_F4, 0x20000001);  // context code: Alt is down
}

inline void ReleaseModifiers() {
    SetKeyDown(VK_SHIFT, false);
    SetKeyDown(VK_MENU, false);
}

inline int FocusId() { return GetDlgCtrlID(GetFocus()); }
