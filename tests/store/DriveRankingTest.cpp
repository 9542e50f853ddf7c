#include "store/DriveRanking.h"

#include <gtest/gtest.h>

namespace {
constexpr uint64_t GB = 1000ull * 1000 * 1000;

DriveFacts Drive(wchar_t letter, DriveKind kind, uint64_t freeBytes) {
    DriveFacts d;
    d.letter = letter;
    d.kind = kind;
    d.volumeInfoOk = true;
    d.freeSpaceOk = true;
    d.freeBytes = freeBytes;
    return d;
}

DriveFacts ReadOnly(DriveFacts d) {
    d.readOnly = true;
    return d;
}

std::wstring PeFolder(const std::vector<DriveFacts>& drives, wchar_t system = L'X') {
    return ChooseDownloadFolder(true, L"", system, drives);
}

TEST(DriveRanking, FixedBeatsRemovableWhateverTheSpace) {
    EXPECT_EQ(PeFolder({Drive(L'C', DriveKind::Fixed, 10 * GB), Drive(L'D', DriveKind::Fixed, 50 * GB),
                        Drive(L'E', DriveKind::Removable, 200 * GB)}),
              L"D:\\ZEBDownloads");
    EXPECT_EQ(PeFolder({Drive(L'E', DriveKind::Removable, 200 * GB), Drive(L'F', DriveKind::Fixed, 1)}),
              L"F:\\ZEBDownloads");
}

TEST(DriveRanking, EqualSpaceKeepsTheEarlierLetter) {
    EXPECT_EQ(PeFolder({Drive(L'F', DriveKind::Fixed, 7 * GB), Drive(L'D', DriveKind::Fixed, 7 * GB)}),
              L"D:\\ZEBDownloads");
}

TEST(DriveRanking, RemovablesCompareBySpace) {
    EXPECT_EQ(PeFolder({Drive(L'E', DriveKind::Removable, 2 * GB), Drive(L'G', DriveKind::Removable, 3 * GB)}),
              L"G:\\ZEBDownloads");
}

TEST(DriveRanking, FullFixedDriveDoesNotQualify) {
    // A full fixed drive used to win over every removable one, so every
    // download failed for space.
    EXPECT_EQ(PeFolder({Drive(L'C', DriveKind::Fixed, 0), Drive(L'E', DriveKind::Removable, 1 * GB)}),
              L"E:\\ZEBDownloads");
    EXPECT_EQ(PeFolder({Drive(L'C', DriveKind::Fixed, 0)}), L"X:\\Downloads");
}

TEST(DriveRanking, DrivesThatDoNotQualify) {
    DriveFacts noVolume = Drive(L'D', DriveKind::Fixed, 9 * GB);
    noVolume.volumeInfoOk = false;
    DriveFacts noSpace = Drive(L'E', DriveKind::Fixed, 9 * GB);
    noSpace.freeSpaceOk = false;
    const std::vector<DriveFacts> drives = {
        ReadOnly(Drive(L'C', DriveKind::Removable, 5 * GB)),  // a write-protected stick
        noVolume,
        noSpace,
        Drive(L'F', DriveKind::Other, 100 * GB),  // a DVD or a share
        Drive(L'X', DriveKind::Fixed, 100 * GB),  // the system drive
        Drive(L'A', DriveKind::Removable, 1 * GB),  // floppies are never visited
    };
    EXPECT_EQ(PeFolder(drives), L"X:\\Downloads");
    EXPECT_EQ(PeFolder({}, L'Y'), L"Y:\\Downloads");
}

TEST(DriveRanking, OnlyAReadOnlyDvdAndTheSystemDrive) {
    EXPECT_EQ(PeFolder({ReadOnly(Drive(L'D', DriveKind::Other, 0)), Drive(L'X', DriveKind::Fixed, 5 * GB)}),
              L"X:\\Downloads");
}

TEST(DriveRanking, UserProfileOutsideWindowsPE) {
    const std::vector<DriveFacts> drives = {Drive(L'D', DriveKind::Fixed, 50 * GB)};
    EXPECT_EQ(ChooseDownloadFolder(false, L"C:\\Users\\kim", L'C', drives), L"C:\\Users\\kim\\Downloads");
    // In Windows PE the profile is not used even when set.
    EXPECT_EQ(ChooseDownloadFolder(true, L"X:\\windows\\system32\\config\\systemprofile", L'X', drives),
              L"D:\\ZEBDownloads");
    // An unusable profile falls back to the ranking.
    EXPECT_EQ(ChooseDownloadFolder(false, L"", L'C', drives), L"D:\\ZEBDownloads");
    EXPECT_EQ(ChooseDownloadFolder(false, std::wstring(260, L'p'), L'C', drives), L"D:\\ZEBDownloads");
}

TEST(SystemDriveLetter, UpperCasedOrX) {
    EXPECT_EQ(SystemDriveLetter(L"c:\\windows\\system32"), L'C');
    EXPECT_EQ(SystemDriveLetter(L"X:\\Windows\\System32"), L'X');
    EXPECT_EQ(SystemDriveLetter(L""), L'X');
}
}  // namespace
