// Threads that nobody joins: a job's own thread and the list file's writer.
//
// They are plain Windows threads, never std::thread objects let go with
// detach(). The toolchain's threads library (winpthreads) puts the record of
// a std::thread that has already ended back up for reuse at detach(), while
// that thread's exit is still on its way to clean the same record up once
// more. A thread started in between gets the record and then loses it: the
// next std::thread is given it too, the two share one identity, and the
// first one's join() of the second fails as "Resource deadlock avoided"
// (a job thread joining its workers ended the program that way). A short
// thread ends before its starter lets go of it whenever the machine is busy.
// A plain thread has no such record unless it asks for one (by joining a
// std::thread, say), and then only its own exit frees it.
#pragma once

#include <functional>

// Runs `body` on a new thread of its own; false when none could be started
// (the body is then destroyed here, never called).
bool StartDetachedThread(std::function<void()> body) noexcept;

// Tests only: called on the starting thread after the start and before the
// starter lets go of the thread, so a test can hold that moment.
void SetDetachedStartHookForTests(void (*hook)());
