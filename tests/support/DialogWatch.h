// Watches the dialog in front every 50 ms from inside whatever loop runs,
// for questions the program opens by itself: `look` is given each dialog
// once, when it opens (or, with `everyTick`, the front dialog or null at
// every tick). A dialog left in front for 10 s is a failure and is
// cancelled, so that a question nobody answers ends the test, not the run.
#pragma once

#include <windows.h>

#include <functional>
#include <utility>

#include "support/DialogScript.h"

class DialogWatch {
public:
    explicit DialogWatch(std::function<void(HWND)> look, bool everyTick = false)
        : look_(std::move(look)), everyTick_(everyTick) {
        self() = this;
        timer_ = SetTimer(nullptr, 0, 50, Tick);
    }
    ~DialogWatch() {
        KillTimer(nullptr, timer_);
        self() = nullptr;
    }
    DialogWatch(const DialogWatch&) = delete;
    DialogWatch& operator=(const DialogWatch&) = delete;

private:
    static DialogWatch*& self() {
        static DialogWatch* current = nullptr;
        return current;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        DialogWatch* w = self();
        if (!w || w->busy_) return;
        const HWND front = DialogScript::Front();
        const bool fresh = front && front != w->last_;
        w->last_ = front;
        w->stuck_ = fresh || !front ? 0 : w->stuck_ + 1;
        if (w->stuck_ == 200) {
            ADD_FAILURE() << "a dialog stayed open for 10 s";
            PostMessageW(front, WM_COMMAND, IDCANCEL, 0);
        }
        if (!w->everyTick_ && !fresh) return;
        w->busy_ = true;  // a look may run a loop of its own
        w->look_(front);
        w->busy_ = false;
    }

    std::function<void(HWND)> look_;
    bool everyTick_;
    HWND last_ = nullptr;
    bool busy_ = false;
    int stuck_ = 0;  // ticks the same dialog has been in front
    UINT_PTR timer_;
};
