// The right to set the clock, read from real tokens: Wine's process token
// is an administrator's, which holds it; the same token with it removed
// (as a desktop user's never had it) does not.
#include <windows.h>

#include <gtest/gtest.h>

#include "store/Handles.h"
#include "store/SystemClock.h"

TEST(SystemClock, TheRightToSetTheClockIsReadFromTheToken) {
    // Catches a check that answers yes for every token (a desktop user asked
    // a question whose Set can only fail) or no for one that holds it.
    HANDLE raw = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY, &raw));
    const KernelHandle own(raw);
    LUID_AND_ATTRIBUTES removed{};
    ASSERT_TRUE(LookupPrivilegeValueW(nullptr, SE_SYSTEMTIME_NAME, &removed.Luid));
    HANDLE restrictedRaw = nullptr;
    ASSERT_TRUE(CreateRestrictedToken(own.get(), 0, 0, nullptr, 1, &removed, 0, nullptr, &restrictedRaw));
    const KernelHandle restricted(restrictedRaw);
    EXPECT_EQ(std::make_pair(TokenHoldsPrivilege(own.get(), SE_SYSTEMTIME_NAME),
                             TokenHoldsPrivilege(restricted.get(), SE_SYSTEMTIME_NAME)),
              std::make_pair(true, false));
    EXPECT_EQ(MachineClock().mayMove(), true);
}
