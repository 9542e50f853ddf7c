#include "store/PathRules.h"

#include <gtest/gtest.h>

namespace {
TEST(FolderOfPath, CutsAtLastSeparatorOfEitherKind) {
    EXPECT_EQ(FolderOfPath(L"C:\\Tools\\tidewell.exe"), L"C:\\Tools");
    EXPECT_EQ(FolderOfPath(L"C:/Tools/tidewell.exe"), L"C:/Tools");
    EXPECT_EQ(FolderOfPath(L"X:\\tidewell.exe"), L"X:");
    EXPECT_EQ(FolderOfPath(L"tidewell.exe"), L".");
    EXPECT_EQ(FolderOfPath(L""), L".");
}

TEST(PathRootLength, DrivesSharesAndDevicePaths) {
    const struct {
        const wchar_t* path;
        size_t root;
    } cases[] = {
        {L"C:\\x\\y", 3},
        {L"c:", 2},
        {L"C:x", 2},
        {L"\\\\server\\share\\dir", 14},
        {L"\\\\server\\share", 14},
        {L"\\\\server", 8},
        {L"\\\\?\\Z:\\x", 7},
        {L"\\\\?\\UNC\\srv\\sh\\x", 14},
        {L"\\\\?\\Volume{1234}\\x", 17},
        {L"\\x", 1},
        {L"ab:\\x", 0},
        {L"relative\\x", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(PathRootLength(c.path), c.root) << c.path;
}

// Walks the probe chain as GetFreeSpace does when every query fails.
std::vector<std::wstring> ProbeChain(std::wstring path) {
    std::vector<std::wstring> chain{path};
    while (auto next = NextFreeSpaceProbe(chain.back())) {
        chain.push_back(*next);
        if (chain.size() > 64) break;  // a loop; the test then fails on the size
    }
    return chain;
}

TEST(NextFreeSpaceProbe, ClimbsToTheDriveRoot) {
    EXPECT_EQ(ProbeChain(L"D:\\no\\such\\folder"),
              (std::vector<std::wstring>{L"D:\\no\\such\\folder", L"D:\\no\\such", L"D:\\no", L"D:\\"}));
    EXPECT_EQ(ProbeChain(L"D:\\x\\"), (std::vector<std::wstring>{L"D:\\x\\", L"D:\\x", L"D:\\"}));
}

TEST(NextFreeSpaceProbe, PathsTheCutCannotShortenEnd) {
    // Each of these looped forever when the only stop was "3 units or fewer".
    EXPECT_EQ(ProbeChain(L"\\\\?\\Q:\\x"), (std::vector<std::wstring>{L"\\\\?\\Q:\\x", L"\\\\?\\Q:\\"}));
    EXPECT_EQ(ProbeChain(L"ab:\\x"), (std::vector<std::wstring>{L"ab:\\x", L"ab:\\"}));
    EXPECT_EQ(ProbeChain(L"\\\\?\\UNC\\srv\\sh\\a\\b").size(), 3u);
}

TEST(NextFreeSpaceProbe, ShareRootIsTheLastQuestion) {
    // Cut further, \\srv\share became \\srv and then "\", the current drive.
    EXPECT_EQ(ProbeChain(L"\\\\srv\\share\\dir"),
              (std::vector<std::wstring>{L"\\\\srv\\share\\dir", L"\\\\srv\\share"}));
}

TEST(NextFreeSpaceProbe, NoSeparatorOrLeadingOnly) {
    EXPECT_FALSE(NextFreeSpaceProbe(L"nothing"));
    EXPECT_FALSE(NextFreeSpaceProbe(L"\\x"));
    EXPECT_FALSE(NextFreeSpaceProbe(L""));
    EXPECT_EQ(NextFreeSpaceProbe(L"a\\b"), L"a");
}

TEST(ParentToCreate, NeverADrive) {
    EXPECT_EQ(ParentToCreate(L"C:\\a\\b\\c"), L"C:\\a\\b");
    EXPECT_EQ(ParentToCreate(L"C:/a/b"), L"C:/a");
    EXPECT_FALSE(ParentToCreate(L"C:\\a"));
    EXPECT_FALSE(ParentToCreate(L"a"));
    EXPECT_FALSE(ParentToCreate(L"\\a"));
}
}  // namespace
