#include "store/Handles.h"

#include <gtest/gtest.h>

#include <type_traits>

namespace {
bool IsOpen(HANDLE h) {
    DWORD flags;
    return GetHandleInformation(h, &flags) != 0;
}

static_assert(!std::is_copy_constructible_v<KernelHandle> && !std::is_copy_assignable_v<FileHandle>);

TEST(UniqueHandle, MoveTransfersAndClosesOnce) {
    HANDLE raw = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(IsOpen(raw));
    {
        KernelHandle first(raw);
        KernelHandle second(std::move(first));
        EXPECT_FALSE(first);
        EXPECT_EQ(second.get(), raw);
        KernelHandle third;
        third = std::move(second);
        EXPECT_TRUE(IsOpen(raw));
    }
    EXPECT_FALSE(IsOpen(raw));
}

TEST(UniqueHandle, ResetClosesTheOldAndReleaseGivesUp) {
    HANDLE a = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE b = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    KernelHandle owner(a);
    owner.reset(b);
    EXPECT_FALSE(IsOpen(a));
    EXPECT_EQ(owner.release(), b);
    EXPECT_FALSE(owner);
    EXPECT_TRUE(IsOpen(b));
    CloseHandle(b);
}

TEST(UniqueHandle, FileInvalidIsInvalidHandleValue) {
    FileHandle missing(CreateFileW(L"Z:\\tw-no-such\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.get(), INVALID_HANDLE_VALUE);
    KernelHandle none;
    EXPECT_FALSE(none);
    EXPECT_EQ(none.get(), nullptr);
}

TEST(ScopedSelect, PutsTheOldObjectBack) {
    MemoryDCHandle dc(CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc);
    BrushHandle brush(CreateSolidBrush(RGB(1, 2, 3)));
    HGDIOBJ before = GetCurrentObject(dc.get(), OBJ_BRUSH);
    {
        ScopedSelect select(dc.get(), brush.get());
        EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BRUSH), brush.get());
    }
    EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BRUSH), before);
}
}  // namespace
