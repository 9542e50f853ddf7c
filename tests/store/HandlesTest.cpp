// The handle owners: each closes its handle exactly once, whatever moves it.
#include "store/Handles.h"

#include <gtest/gtest.h>

#include <type_traits>

namespace {
bool IsOpen(HANDLE h) {
    DWORD flags;
    return GetHandleInformation(h, &flags) != 0;
}

static_assert(!std::is_copy_constructible_v<KernelHandle> && !std::is_copy_assignable_v<FileHandle>);

TEST(UniqueHandle, MovesResetAndReleaseCloseEachHandleOnce) {
    HANDLE a = CreateEventW(nullptr, TRUE, FALSE, nullptr), b = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    {
        KernelHandle first(a);
        KernelHandle second(std::move(first));
        KernelHandle third;
        third = std::move(second);
        EXPECT_FALSE(first || second);
        EXPECT_EQ(third.get(), a);
        EXPECT_TRUE(IsOpen(a));
        third.reset(b);
        EXPECT_FALSE(IsOpen(a));
        EXPECT_EQ(third.release(), b);
        EXPECT_FALSE(third);
    }
    EXPECT_TRUE(IsOpen(b));
    CloseHandle(b);
    // Each kind's own "invalid": a failed CreateFileW is not an open file.
    FileHandle missing(CreateFileW(L"Z:\\tw-no-such\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(KernelHandle().get(), nullptr);
}

TEST(ScopedSelect, PutsTheOldObjectBack) {
    MemoryDCHandle dc(CreateCompatibleDC(nullptr));
    BrushHandle brush(CreateSolidBrush(RGB(1, 2, 3)));
    HGDIOBJ before = GetCurrentObject(dc.get(), OBJ_BRUSH);
    {
        ScopedSelect select(dc.get(), brush.get());
        EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BRUSH), brush.get());
    }
    EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BRUSH), before);
}
}  // namespace
