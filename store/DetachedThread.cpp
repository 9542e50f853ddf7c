#include "store/DetachedThread.h"

#include <windows.h>
#include <process.h>

#include <atomic>
#include <memory>
#include <new>

#include "store/Handles.h"

namespace {
std::atomic<void (*)()> g_startHook{nullptr};

unsigned __stdcall ThreadMain(void* argument) noexcept {
    const std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
    (*body)();
    return 0;
}
}  // namespace

bool StartDetachedThread(std::function<void()> body) noexcept {
    std::unique_ptr<std::function<void()>> owned(new (std::nothrow) std::function<void()>(std::move(body)));
    if (!owned) return false;
    // _beginthreadex rather than CreateThread: the bodies use the C runtime.
    const KernelHandle thread(
        reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, ThreadMain, owned.get(), 0, nullptr)));
    if (!thread) return false;
    owned.release();  // the thread's now
    if (void (*hook)() = g_startHook.load()) hook();
    return true;
}

void SetDetachedStartHookForTests(void (*hook)()) { g_startHook = hook; }
