// Where downloads go without a folder in the settings, as a decision over
// drives given as data.
#include "store/DriveRanking.h"

#include <gtest/gtest.h>

namespace {
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
}  // namespace
