// Detached threads: one that ended before its starter let go of it, and
// whose exit is held in the middle, must leave the next detached thread its
// own record in the threads library: that thread runs, and the std::thread
// it starts and joins has an identity of its own. A job thread started
// right after a short free-space question once failed to join its first
// worker that way; with this order held, the thread below never even runs.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "store/DetachedThread.h"
#include "store/Handles.h"

namespace {
constexpr DWORD kBoundMs = 10000;  // only a failing case waits this long

std::atomic<DWORD> g_heldThread{0};
HANDLE g_arrived = CreateEventW(nullptr, TRUE, FALSE, nullptr), g_release = CreateEventW(nullptr, TRUE, FALSE, nullptr),
       g_passed = CreateEventW(nullptr, TRUE, FALSE, nullptr), g_done = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // manual-reset
// What the second thread saw. Globals, as it may outlive a case that gives up on it.
std::atomic<bool> g_workerRan{false};
std::atomic<int> g_joinError{-1};  // of its join of its worker; -1 until then

// Thread-exit callbacks run in the order of their section names; the
// threads library's own runs from .CRT$XLF. HoldExit stops the marked
// thread's exit before it, ExitPassed tells when it has run.
void NTAPI HoldExit(PVOID, DWORD reason, PVOID) {
    if (reason != DLL_THREAD_DETACH || g_heldThread.load() != ::GetCurrentThreadId()) return;
    ::SetEvent(g_arrived);
    ::WaitForSingleObject(g_release, kBoundMs);
}
void NTAPI ExitPassed(PVOID, DWORD reason, PVOID) {
    if (reason == DLL_THREAD_DETACH && g_heldThread.load() == ::GetCurrentThreadId()) ::SetEvent(g_passed);
}
}  // namespace

extern "C" {
__attribute__((section(".CRT$XLE"), used)) PIMAGE_TLS_CALLBACK g_holdExit = HoldExit;
__attribute__((section(".CRT$XLG"), used)) PIMAGE_TLS_CALLBACK g_exitPassed = ExitPassed;
}

TEST(DetachedThread, EndedBeforeItWasLetGoLeavesTheNextOneRunningAndJoiningItsWorker) {
    KernelHandle spare(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    // The threads library reuses the records of ended threads first in,
    // first out: these threads live through the case and take up any that
    // earlier cases left, so the threads below get records in start order.
    std::vector<std::jthread> spares;  // joined at the end of the case, once `wake` has let them go
    for (int i = 0; i < 32; ++i) spares.emplace_back([&spare] { WaitForSingleObject(spare.get(), kBoundMs); });
    const std::unique_ptr<void, BOOL(WINAPI*)(HANDLE)> wake(spare.get(), &SetEvent);

    // The first thread ends and is held in its exit before it is let go.
    SetDetachedStartHookForTests([] { WaitForSingleObject(g_arrived, kBoundMs); });
    const bool first = StartDetachedThread([] { g_heldThread = GetCurrentThreadId(); });
    SetDetachedStartHookForTests(nullptr);
    ASSERT_TRUE(first);
    ASSERT_EQ(WaitForSingleObject(g_arrived, 0), WAIT_OBJECT_0);

    // The second starts meanwhile; once the first's exit is through, it
    // starts a worker of its own and joins it.
    ASSERT_TRUE(StartDetachedThread([] {
        std::thread worker;
        try {
            if (WaitForSingleObject(g_passed, kBoundMs) == WAIT_OBJECT_0) {
                worker = std::thread([] { g_workerRan = true; });
                worker.join();
                g_joinError = 0;
            }
        } catch (const std::system_error& e) {
            g_joinError = e.code().value();
            if (worker.joinable()) worker.detach();
        }
        SetEvent(g_done);
    }));
    SetEvent(g_release);
    EXPECT_EQ(WaitForSingleObject(g_passed, kBoundMs), WAIT_OBJECT_0);
    ASSERT_EQ(WaitForSingleObject(g_done, kBoundMs), WAIT_OBJECT_0) << "the second thread never ran";
    EXPECT_EQ(std::make_pair(g_joinError.load(), g_workerRan.load()), std::make_pair(0, true)) << "its join of its worker failed";
}
