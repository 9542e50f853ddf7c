// Paths as text: the program's folder, roots, and the climb toward a root
// that the free-space question takes.
#include "store/PathRules.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
TEST(PathRules, FoldersRootsAndParentsToCreate) {
    const std::pair<const wchar_t*, const wchar_t*> folders[] = {
        {L"C:\\Tools\\tidewell.exe", L"C:\\Tools"}, {L"C:/Tools/tidewell.exe", L"C:/Tools"},
        {L"X:\\tidewell.exe", L"X:"}, {L"tidewell.exe", L"."}, {L"", L"."}};
    for (const auto& [path, folder] : folders) EXPECT_EQ(FolderOfPath(path), folder) << path;
    const std::pair<const wchar_t*, size_t> roots[] = {
        {L"C:\\x\\y", 3}, {L"c:", 2}, {L"C:x", 2}, {L"\\\\server\\share\\dir", 14}, {L"\\\\server\\share", 14},
        {L"\\\\server", 8}, {L"\\\\?\\Z:\\x", 7}, {L"\\\\?\\UNC\\srv\\sh\\x", 14}, {L"\\\\?\\Volume{1234}\\x", 17},
        {L"\\x", 1}, {L"ab:\\x", 0}, {L"relative\\x", 0}};
    for (const auto& [path, root] : roots) EXPECT_EQ(PathRootLength(path), root) << path;
    EXPECT_EQ(ParentToCreate(L"C:\\a\\b\\c"), L"C:\\a\\b");
    EXPECT_EQ(ParentToCreate(L"C:/a/b"), L"C:/a");
    for (const wchar_t* none : {L"C:\\a", L"a", L"\\a"}) EXPECT_FALSE(ParentToCreate(none)) << none;  // never a drive
}

// Walks the probe chain as GetFreeSpace does when every query fails.
std::vector<std::wstring> ProbeChain(std::wstring path) {
    std::vector<std::wstring> chain{path};
    while (auto next = NextFreeSpaceProbe(chain.back())) {
        chain.push_back(*next);
        if (chain.size() > 64) break;  // a loop; the test then fails on the chain
    }
    return chain;
}

TEST(NextFreeSpaceProbe, ClimbsToTheRootAndEndsWhereACutCannotShorten) {
    using Chain = std::vector<std::wstring>;
    EXPECT_EQ(ProbeChain(L"D:\\no\\such\\folder"), (Chain{L"D:\\no\\such\\folder", L"D:\\no\\such", L"D:\\no", L"D:\\"}));
    EXPECT_EQ(ProbeChain(L"D:\\x\\"), (Chain{L"D:\\x\\", L"D:\\x", L"D:\\"}));
    // Each of these looped forever when the only stop was "3 units or fewer".
    EXPECT_EQ(ProbeChain(L"\\\\?\\Q:\\x"), (Chain{L"\\\\?\\Q:\\x", L"\\\\?\\Q:\\"}));
    EXPECT_EQ(ProbeChain(L"ab:\\x"), (Chain{L"ab:\\x", L"ab:\\"}));
    EXPECT_EQ(ProbeChain(L"\\\\?\\UNC\\srv\\sh\\a\\b").size(), 3u);
    // Cut further, \\srv\share became \\srv and then "\", the current drive.
    EXPECT_EQ(ProbeChain(L"\\\\srv\\share\\dir"), (Chain{L"\\\\srv\\share\\dir", L"\\\\srv\\share"}));
    for (const wchar_t* last : {L"nothing", L"\\x", L""}) EXPECT_FALSE(NextFreeSpaceProbe(last)) << last;
    EXPECT_EQ(NextFreeSpaceProbe(L"a\\b"), L"a");
}
}  // namespace
