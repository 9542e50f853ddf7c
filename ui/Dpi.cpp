#include "ui/Dpi.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

namespace {
// Read by every paint on the UI thread; atomic only so that a stray reader
// elsewhere never sees a torn value.
std::atomic<int32_t> g_dpi{96};
}  // namespace

int32_t CurrentDpi() noexcept { return g_dpi.load(std::memory_order_relaxed); }

void SetCurrentDpi(int32_t dpi) noexcept { g_dpi.store(std::max<int32_t>(96, dpi), std::memory_order_relaxed); }

int32_t Scale(int32_t length) noexcept { return ::MulDiv(length, CurrentDpi(), 96); }
