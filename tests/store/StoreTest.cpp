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
#include "support/Language.h"
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

constexpr uint64_t GB = 1000ull * 1000 * 1000;
enum Mark { Plain, ReadOnly, NoVolume, NoSpace };

DriveFacts D(wchar_t letter, DriveKind kind, uint64_t freeBytes, Mark mark = Plain) {
    return DriveFacts{letter, kind, mark != NoVolume, mark == ReadOnly, mark != NoSpace, freeBytes};
}
constexpr DriveKind Fixed = DriveKind::Fixed, Removable = DriveKind::Removable, Other = DriveKind::Other;

TEST(DriveRanking, FixedThenSpaceThenLetterAndOnlyDrivesThatCanTakeAFile) {
    const struct { std::vector<DriveFacts> drives; const wchar_t* folder; } cases[] = {
        {{D('C', Fixed, 10 * GB), D('D', Fixed, 50 * GB), D('E', Removable, 200 * GB)}, L"D:\\ZEBDownloads"},
        {{D('E', Removable, 200 * GB), D('F', Fixed, 1)}, L"F:\\ZEBDownloads"},
        {{D('F', Fixed, 7 * GB), D('D', Fixed, 7 * GB)}, L"D:\\ZEBDownloads"},
        {{D('E', Removable, 2 * GB), D('G', Removable, 3 * GB)}, L"G:\\ZEBDownloads"},
        // A full fixed drive used to win over every removable one, so every download failed for space.
        {{D('C', Fixed, 0), D('E', Removable, GB)}, L"E:\\ZEBDownloads"},
        {{D('C', Fixed, 0)}, L"X:\\Downloads"},
        // A write-protected stick, failed queries, a DVD or share, the system drive, a floppy.
        {{D('C', Removable, 5 * GB, ReadOnly), D('D', Fixed, 9 * GB, NoVolume), D('E', Fixed, 9 * GB, NoSpace),
          D('F', Other, 100 * GB), D('X', Fixed, 100 * GB), D('A', Removable, GB)}, L"X:\\Downloads"},
        {{D('D', Other, 0, ReadOnly), D('X', Fixed, 5 * GB)}, L"X:\\Downloads"},
        {{}, L"X:\\Downloads"}};
    for (const auto& c : cases) EXPECT_EQ(ChooseDownloadFolder(true, L"", L'X', c.drives), c.folder) << c.folder;
}

TEST(DriveRanking, UserProfileOutsideWindowsPEOnly) {
    const std::vector<DriveFacts> drives = {D('D', Fixed, 50 * GB)};
    EXPECT_EQ(ChooseDownloadFolder(false, L"C:\\Users\\kim", L'C', drives), L"C:\\Users\\kim\\Downloads");
    EXPECT_EQ(ChooseDownloadFolder(true, L"X:\\windows\\system32\\config\\systemprofile", L'X', drives), L"D:\\ZEBDownloads");
    for (const std::wstring& unusable : {std::wstring(), std::wstring(260, L'p')})
        EXPECT_EQ(ChooseDownloadFolder(false, unusable, L'C', drives), L"D:\\ZEBDownloads");
    EXPECT_EQ(ChooseDownloadFolder(true, L"", L'Y', {}), L"Y:\\Downloads");
    EXPECT_EQ(SystemDriveLetter(L"c:\\windows\\system32"), L'C');
    EXPECT_EQ(SystemDriveLetter(L""), L'X');
}

TEST(FormatSize, UnitThresholdsRoundingAndSpeeds) {
    const std::pair<int64_t, const wchar_t*> sizes[] = {
        {0, L"0 B"}, {1023, L"1023 B"}, {1024, L"1.0 KB"}, {1536, L"1.5 KB"},
        {1048575, L"1024.0 KB"},  // just under a unit rounds up within the smaller one
        {1048576, L"1.0 MB"}, {1073741823, L"1024.0 MB"}, {1073741824, L"1.00 GB"}, {5492165909, L"5.11 GB"},
        {INT64_MAX, L"8589934592.00 GB"}, {-1, L"\u2014"}, {INT64_MIN, L"\u2014"}};
    for (const auto& [bytes, text] : sizes) EXPECT_EQ(FormatSize(bytes), text) << bytes;
    // Speeds are truncated toward zero; out of range they stay defined.
    const std::pair<double, std::wstring> speeds[] = {
        {0.9, L"0 B/s"}, {2048.7, L"2.0 KB/s"}, {1023.99, L"1023 B/s"}, {-0.5, L"0 B/s"},
        {1e30, FormatSize(INT64_MAX) + L"/s"}, {-1e30, L"\u2014/s"}};
    for (const auto& [speed, text] : speeds) EXPECT_EQ(FormatSpeed(speed), text) << speed;
}

DownloadInfo Record(int64_t total, int64_t done, double speed) {
    DownloadInfo info;
    info.totalSize = total;
    info.doneBytes = done;
    info.speed = speed;
    return info;
}

TEST(FormatDuration, DurationsProgressAndTimeLeft) {
    ScopedLanguage en(false);
    const std::pair<int64_t, const wchar_t*> durations[] = {
        {0, L"0s"}, {59, L"59s"}, {60, L"1m 0s"}, {3599, L"59m 59s"}, {3600, L"1h 0m"}, {90061, L"25h 1m"}, {-5, L"0s"}};
    for (const auto& [seconds, text] : durations) EXPECT_EQ(FormatDuration(seconds), text) << seconds;
    EXPECT_EQ(FormatProgress(Record(-1, 2048, 0)), L"2.0 KB");
    EXPECT_EQ(FormatProgress(Record(1048576, 1536, 0)), L"1.5 KB / 1.0 MB");
    EXPECT_EQ(FormatProgress(Record(0, 0, 0)), L"0 B / 0 B");
    // Time left needs a total and a speed of at least a byte a second.
    for (const DownloadInfo& none : {Record(-1, 0, 1000), Record(1000, 0, 0.5)}) EXPECT_EQ(FormatTimeLeft(none), L"");
    EXPECT_EQ(FormatTimeLeft(Record(1000, 0, 3.0)), L"5m 33s");  // 333.3 truncated
    EXPECT_EQ(FormatTimeLeft(Record(1000, 2000, 10)), L"0s");    // more done than total
    // A state the program does not know is shown as a failure.
    EXPECT_EQ(StatusLabel(static_cast<DownloadState>(42)), StatusLabel(DownloadState::Failed));
}
}  // namespace
