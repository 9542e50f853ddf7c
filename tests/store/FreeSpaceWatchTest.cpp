// The free-space question: an answer about a folder the user has left must
// not be shown for the new one, and a question that never comes back (a
// disk that went away) must not hold up every later question.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>

#include "store/FreeSpaceWatch.h"

namespace {
// Globals: a question may outlive the case that gave up on it.
HANDLE g_releaseLeft = CreateEventW(nullptr, TRUE, FALSE, nullptr), g_releaseNew = CreateEventW(nullptr, TRUE, FALSE, nullptr),
       g_never = CreateEventW(nullptr, TRUE, FALSE, nullptr), g_stuckArrived = CreateEventW(nullptr, TRUE, FALSE, nullptr);
std::atomic<int> g_stuckAsked{0};

uint64_t Answer(const std::wstring& folder) {
    if (folder == L"left") return WaitForSingleObject(g_releaseLeft, 10000), 111;
    if (folder == L"new") return WaitForSingleObject(g_releaseNew, 10000), 222;
    if (++g_stuckAsked == 1) SetEvent(g_stuckArrived), WaitForSingleObject(g_never, 30000);  // the first never comes back
    return 333;
}

std::optional<uint64_t> AwaitAnswer(FreeSpaceWatch& watch) {
    for (int i = 0; i < 1000; ++i) {
        if (std::optional<uint64_t> a = watch.Take()) return a;
        Sleep(10);
    }
    return std::nullopt;
}
}  // namespace

TEST(FreeSpaceWatch, AnAnswerAboutALeftFolderIsDroppedAndAQuestionThatNeverReturnsHoldsUpNothing) {
    FreeSpaceWatch watch(Answer);
    watch.Ask(L"left", 0);
    watch.Ask(L"new", 500);  // the user chose another folder meanwhile
    SetEvent(g_releaseLeft);  // the left folder's answer comes first
    SetEvent(g_releaseNew);
    EXPECT_EQ(AwaitAnswer(watch), std::optional<uint64_t>(222));

    watch.Ask(L"stuck", 1000);
    ASSERT_EQ(WaitForSingleObject(g_stuckArrived, 10000), WAIT_OBJECT_0);
    watch.Ask(L"stuck", 1000 + FreeSpaceWatch::kStuckMs);
    EXPECT_EQ(AwaitAnswer(watch), std::optional<uint64_t>(333));
    SetEvent(g_never);
}
