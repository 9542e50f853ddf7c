// The file services against real files and folders under Wine.
#include "store/FileServices.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "support/TempFolder.h"

namespace {
bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
bool IsFolder(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(FileServices, FolderTreesAreCreatedLevelByLevelButNotThroughAFile) {
    ScratchFolder dir;
    ASSERT_TRUE(CreateDirectoryW((dir / L"a").c_str(), nullptr));
    EXPECT_TRUE(CreateFolderTree(dir / L"a\\b\\c") && IsFolder(dir / L"a\\b\\c"));
    EXPECT_TRUE(CreateFolderTree(dir / L"x/y/z") && IsFolder(dir / L"x\\y\\z"));  // forward slashes too
    EXPECT_TRUE(CreateFolderTree(dir / L"a\\b\\c"));                               // already there
    ASSERT_TRUE(WriteFileAtomic(dir / L"file", "x"));
    EXPECT_FALSE(CreateFolderTree(dir / L"file"));
    EXPECT_FALSE(CreateFolderTree(dir / L"file\\below\\deeper"));
    EXPECT_FALSE(Exists(dir / L"file\\below"));
    EXPECT_FALSE(CreateFolderTree(L""));
}

TEST(FileServices, WholeFileReads) {
    ScratchFolder dir;
    const std::pair<const wchar_t*, std::string> files[] = {
        {L"big", std::string(20 * 1000 * 1000, 'b')}, {L"exact", std::string(kSmallFileLimit, 'e')},
        {L"bom", "\xEF\xBB\xBFZEBLIST 1\r\n\xEF\xBB\xBF"}, {L"short", "\xEF\xBB"}, {L"empty", ""}, {L"open", "abc"}};
    for (const auto& [name, bytes] : files) ASSERT_TRUE(WriteFileAtomic(dir / name, bytes));
    // Another program writing the file does not keep it from being read.
    HANDLE writer = CreateFileW((dir / L"open").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    const struct { std::wstring path; size_t limit; size_t size; ReadStatus status; std::string start; } cases[] = {
        {dir / L"big", 8388608, 8388608, ReadStatus::Truncated, "bbb"},
        {dir / L"big", 10000, 16384, ReadStatus::Truncated, "bbb"},  // the last chunk may pass a limit off 8 KiB
        {dir / L"exact", kSmallFileLimit, kSmallFileLimit, ReadStatus::Complete, "eee"},
        {dir / L"bom", kSmallFileLimit, 14, ReadStatus::Complete, "ZEBLIST 1\r\n\xEF\xBB\xBF"},  // only the first mark goes
        {dir / L"short", kSmallFileLimit, 2, ReadStatus::Complete, "\xEF\xBB"},
        {dir / L"empty", kSmallFileLimit, 0, ReadStatus::Complete, ""},
        {dir / L"open", kSmallFileLimit, 3, ReadStatus::Complete, "abc"},
        {dir / L"absent", kSmallFileLimit, 0, ReadStatus::NotOpened, ""},
        {dir.path(), kSmallFileLimit, 0, ReadStatus::NotOpened, ""}};
    for (const auto& c : cases) {
        ReadStatus status = ReadStatus::NotOpened;
        const std::string got = ReadWholeFile(c.path, c.limit, &status);
        EXPECT_EQ(got.size(), c.size) << ::testing::PrintToString(c.path);
        EXPECT_EQ(got.substr(0, c.start.size()), c.start);
        EXPECT_EQ(status, c.status);
    }
    CloseHandle(writer);
}

TEST(FileServices, AtomicWritesReplaceWholeOrKeepTheOldFile) {
    ScratchFolder dir;
    const std::wstring list = dir / L"list";
    for (const std::string& bytes : {std::string("ZEBLIST 1\r\n\0binary\xFF", 20), std::string("second"), std::string()}) {
        ASSERT_TRUE(WriteFileAtomic(list, bytes));
        EXPECT_EQ(ReadWholeFile(list, kSmallFileLimit), bytes);
    }
    // Held open without delete sharing (as Windows refuses a rename over
    // it), the target keeps its old bytes and no temporary file stays.
    ASSERT_TRUE(WriteFileAtomic(list, "old"));
    HANDLE holder = CreateFileW(list.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_FALSE(WriteFileAtomic(list, "new"));
    CloseHandle(holder);
    EXPECT_EQ(ReadWholeFile(list, kSmallFileLimit), "old");
    EXPECT_FALSE(WriteFileAtomic(dir / L"none\\list", "x"));
    EXPECT_EQ(ScratchFolder::List(dir.path()), std::vector<std::wstring>{L"list"});
}

TEST(FileServices, Utf8AndUtf16BothWays) {
    const std::wstring text = L"Tải xuống — đã xong \U0001F600";
    EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
    EXPECT_EQ(Utf16ToUtf8(L"Lỗi"), "L\xE1\xBB\x97i");
    EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), L"a\uFFFDb");
    EXPECT_EQ(Utf16ToUtf8(std::wstring(L"x\xD800y")), "x\xEF\xBF\xBDy");  // lone surrogate
    EXPECT_EQ(Utf16ToUtf8(L"") + Utf16ToUtf8(Utf8ToUtf16("")), "");
    EXPECT_EQ(Utf8ToUtf16(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
}
}  // namespace
