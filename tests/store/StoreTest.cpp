// The ground floor: file services against real files under Wine, the
// handle owners, path rules, the drive ranking and the display formatters.
#include <windows.h>

#include <gtest/gtest.h>

#include <type_traits>
#include <vector>

#include "store/DriveRanking.h"
#include "store/FileServices.h"
#include "store/Format.h"
#include "store/Handles.h"
#include "store/PathRules.h"
#include "support/TempFolder.h"

namespace {
bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

TEST(FileServices, FolderTreesReadsAtomicWritesAndTextBothWays) {
    ScratchFolder dir;
    EXPECT_TRUE(CreateFolderTree(dir / L"x/y\\z") && Exists(dir / L"x\\y\\z"));
    ASSERT_TRUE(WriteFileAtomic(dir / L"file", std::string(20000, 'b')));
    EXPECT_FALSE(CreateFolderTree(dir / L"file\\below\\deeper") || Exists(dir / L"file\\below"));
    // Another program writing the file does not keep it from being read; a limit off 8 KiB is passed by the last chunk.
    HANDLE writer = CreateFileW((dir / L"file").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    for (auto [path, limit, size, status] : {std::tuple{dir / L"file", size_t{10000}, size_t{16384}, ReadStatus::Truncated},
                                             {dir / L"file", kSmallFileLimit, size_t{20000}, ReadStatus::Complete},
                                             {dir / L"absent", kSmallFileLimit, size_t{0}, ReadStatus::NotOpened},
                                             {dir.path(), kSmallFileLimit, size_t{0}, ReadStatus::NotOpened}}) {
        ReadStatus got = ReadStatus::NotOpened;
        EXPECT_EQ(std::make_pair(ReadWholeFile(path, limit, &got).size(), got), std::make_pair(size, status)) << ::testing::PrintToString(path);
    }
    // Held open without delete sharing (as Windows refuses a rename over
    // it), the target keeps its old bytes and no temporary file stays.
    EXPECT_FALSE(WriteFileAtomic(dir / L"file", "new"));  // (its old bytes stay: ListTest)
    CloseHandle(writer);
    EXPECT_FALSE(Exists(dir / L"file.tmp"));
    ASSERT_TRUE(WriteFileAtomic(dir / L"file", std::string("ZEBLIST 1\r\n\0binary\xFF", 20)));
    EXPECT_EQ(ReadWholeFile(dir / L"file", kSmallFileLimit), std::string("ZEBLIST 1\r\n\0binary\xFF", 20));
    const std::wstring text = L"Tải xuống — đã xong \U0001F600";
    EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
    EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), L"a\uFFFDb");
    EXPECT_EQ(Utf16ToUtf8(std::wstring(L"x\xD800y")), "x\xEF\xBF\xBDy");  // lone surrogate
}

bool IsOpen(HANDLE h) {
    DWORD flags;
    return GetHandleInformation(h, &flags) != 0;
}

static_assert(!std::is_copy_constructible_v<KernelHandle> && !std::is_copy_assignable_v<FileHandle>);

TEST(UniqueHandle, MovesResetAndReleaseCloseEachHandleOnce) {
    HANDLE a = CreateEventW(nullptr, TRUE, FALSE, nullptr), b = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    {
        KernelHandle first(a), second;
        second = std::move(first);
        EXPECT_TRUE(!first && second.get() == a && IsOpen(a));
        second.reset(b);
        EXPECT_FALSE(IsOpen(a));
        EXPECT_EQ(second.release(), b);
    }
    EXPECT_TRUE(CloseHandle(b));  // still open: released, not closed
    // Each kind's own "invalid": a failed CreateFileW is not an open file.
    EXPECT_FALSE(FileHandle(CreateFileW(L"Z:\\tw-no-such\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)));
}

TEST(PathRules, FoldersRootsParentsAndTheFreeSpaceClimb) {
    EXPECT_EQ(FolderOfPath(L"C:/Tools/tidewell.exe") + FolderOfPath(L"X:\\tidewell.exe") + FolderOfPath(L"tidewell.exe"), L"C:/ToolsX:.");
    for (const auto& [path, root] : {std::pair{L"C:x", 2u}, {L"\\\\server\\share\\dir", 14u}, {L"\\\\?\\UNC\\srv\\sh\\x", 14u}, {L"ab:\\x", 0u}})
        EXPECT_EQ(PathRootLength(path), root) << path;
    EXPECT_EQ(ParentToCreate(L"C:\\a\\b\\c"), L"C:\\a\\b");
    EXPECT_FALSE(ParentToCreate(L"C:\\a"));  // never a drive
    // A share stays a share. (The climb from a folder that does not exist yet to its drive: test_storage_world.)
    EXPECT_EQ(NextFreeSpaceProbe(L"\\\\srv\\share\\dir"), L"\\\\srv\\share");
    EXPECT_FALSE(NextFreeSpaceProbe(L"\\\\srv\\share"));
}

constexpr uint64_t GB = 1000ull * 1000 * 1000;
enum Mark { Plain, ReadOnly, NoVolume, NoSpace };

DriveFacts D(wchar_t letter, DriveKind kind, uint64_t freeBytes, Mark mark = Plain) {
    return DriveFacts{letter, kind, mark != NoVolume, mark == ReadOnly, mark != NoSpace, freeBytes};
}
constexpr DriveKind Fixed = DriveKind::Fixed, Removable = DriveKind::Removable, Other = DriveKind::Other;

TEST(DriveRanking, FixedThenSpaceThenLetterOnlyDrivesThatCanTakeAFileAndTheProfileOutsideWindowsPE) {
    const struct { std::vector<DriveFacts> drives; const wchar_t* folder; } cases[] = {
        {{D('C', Fixed, 10 * GB), D('D', Fixed, 50 * GB), D('E', Removable, 200 * GB)}, L"D:\\ZEBDownloads"},
        {{D('F', Fixed, 7 * GB), D('D', Fixed, 7 * GB)}, L"D:\\ZEBDownloads"},
        // A full fixed drive used to win over every removable one, so every download failed for space.
        {{D('C', Fixed, 0), D('E', Removable, GB)}, L"E:\\ZEBDownloads"},
        // A write-protected stick, failed queries, a DVD or share, the system drive, a floppy.
        {{D('C', Removable, 5 * GB, ReadOnly), D('D', Fixed, 9 * GB, NoVolume), D('E', Fixed, 9 * GB, NoSpace),
          D('F', Other, 100 * GB), D('X', Fixed, 100 * GB), D('A', Removable, GB)}, L"X:\\Downloads"}};
    for (const auto& c : cases) EXPECT_EQ(ChooseDownloadFolder(true, L"", L'X', c.drives), c.folder) << c.folder;
    const std::vector<DriveFacts> drives = {D('D', Fixed, 50 * GB)};
    EXPECT_EQ(ChooseDownloadFolder(false, L"C:\\Users\\kim", L'C', drives), L"C:\\Users\\kim\\Downloads");
    EXPECT_EQ(ChooseDownloadFolder(true, L"X:\\windows\\system32\\config\\systemprofile", L'X', drives), L"D:\\ZEBDownloads");
    EXPECT_EQ(ChooseDownloadFolder(false, std::wstring(260, L'p'), L'C', drives), L"D:\\ZEBDownloads");
}

TEST(Format, WhatCannotBeMeasuredIsShownAsNothingOrAsAFailure) {
    // (The numbers' own layout is the formatter's to choose; what is guarded is that nothing
    // unknown, out of range or unheard-of reaches the window as a number or an empty state.)
    // An unknown size, a speed out of range, the time left at less than a byte a second.
    for (const std::wstring& shown : {FormatSize(-1), FormatSpeed(-1e30), FormatTimeLeft(DownloadInfo{.totalSize = 1000, .speed = 0.5})})
        EXPECT_EQ(shown.find_first_of(L"0123456789"), std::wstring::npos) << shown;
    EXPECT_EQ(StatusLabel(static_cast<DownloadState>(42)), StatusLabel(DownloadState::Failed));
}
}  // namespace
