// This computer's clock held against the servers' "Date" headers: a stick
// booted on a machine whose clock is years off fails every HTTPS download,
// and the user should hear why once. Program-wide; any job thread notes,
// the UI thread takes.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <string>

namespace zeb {

// A FILETIME as one number of 100 ns ticks.
inline int64_t fileTimeTicks(const FILETIME& t) { return (static_cast<int64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; }
// This computer's clock now, in the same ticks (UTC).
int64_t nowTicks();
inline FILETIME fileTimeOf(int64_t ticks) {
    return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32)};
}
// "2031-07-15", or with `minutes` "2031-07-15 12:00 UTC"; "?" for no date.
// Always UTC: Windows PE's time zone is usually as wrong as its clock.
std::wstring utcDateText(int64_t ticks, bool minutes = false);

// Whole days between the two clocks (FILETIME ticks, UTC) when they are more
// than a day apart; 0 otherwise.
int64_t clockSkewDays(int64_t serverTicks, int64_t localTicks);

// The answer's Date as FILETIME ticks (UTC); 0 when it has none, or when
// it came from a cache (an Age header): a cached Date is not the server's
// clock.
int64_t serverDateTicks(HINTERNET request);

// Reads the answer's Date header and remembers the first skew of the run.
void noteServerDate(HINTERNET request);

// The days of the first skew noted, once; 0 when none (or already taken).
int64_t takeClockSkewDays();

}  // namespace zeb
