// Watches the dialog in front every 50 ms from inside whatever loop runs,
// for questions the program opens by itself: `look` is given each dialog
// once, when it opens (or, with `everyTick`, the front dialog or null at
// every tick).
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
        if (!w->everyTick_ && !fresh) return;
        w->busy_ = true;  // a look may run a loop of its own
        w->look_(front);
        w->busy_ = false;
    }

    std::function<void(HWND)> look_;
    bool everyTick_;
    HWND last_ = nullptr;
    bool busy_ = false;
    UINT_PTR timer_;
};
