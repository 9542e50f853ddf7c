// This computer's clock, as the list may move it forward when secure links
// fail only because it is behind (Windows PE on a dead CMOS battery). Tests
// put their own in its place: a test never moves the machine's clock.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

struct SystemClock {
    std::function<int64_t()> now;             // FILETIME ticks, UTC
    std::function<bool()> mayMove;            // this process holds the right to set it
    std::function<uint32_t(int64_t)> moveTo;  // FILETIME ticks, UTC; 0, or the system's error code
    std::function<int()> localMinute;         // minutes since local midnight, 0..1439
};

// The machine's own clock.
SystemClock MachineClock();

// Whether `token` holds the privilege `name`, enabled or not. Windows PE's
// programs run as SYSTEM and hold the system-time privilege; a desktop
// program started normally does not, so it is not offered there.
bool TokenHoldsPrivilege(HANDLE token, const wchar_t* name);
