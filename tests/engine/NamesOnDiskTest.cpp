// Hostile suggested names reach a real disk under Wine: each becomes an
// ordinary file in the target folder, never a device and never elsewhere.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "engine/FileNames.h"
#include "engine/NameChoice.h"
#include "support/TempFolder.h"

namespace {
const std::wstring kLink = L"https://h.example/x";

// Creates the file and tells whether it is an ordinary disk file.
bool CreateOrdinaryFile(const std::wstring& path, const char* bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool disk = GetFileType(h) == FILE_TYPE_DISK;
    DWORD done = 0;
    const bool written = WriteFile(h, bytes, static_cast<DWORD>(strlen(bytes)), &done, nullptr) && done == strlen(bytes);
    CloseHandle(h);
    return disk && written;
}

std::vector<std::wstring> HostileNames() {
    return {
        L"com5.txt", L"COM1", L"lpt9.log", L"LPT1.txt", L"con", L"CON.txt", L"nul .txt", L"aux.c", L"prn",
        L"conin$", L"CONOUT$", L"com\u00B9.txt",
        L"../../escape.txt", L"..\\..\\windows\\evil.dll", L"C:\\Windows\\x.dll", L"\\\\server\\share\\s.bin",
        L"a<b>c:d\"e|f?g*h", L"ctl\x01\x1f\t.txt", L"name...", L"trailing.  ", L"...", L"",
        std::wstring(300, L'L') + L".iso",
        std::wstring(179, L's') + L"\U0001F600" + std::wstring(40, L't'),
        std::wstring(179, L'd') + L"." + std::wstring(40, L'e'),
        L"movie.zebpart", L"movie.ZEBSTATE", L"movie.zebstate.tmp",
        L"Tải về ảnh mới.jpg",
    };
}

TEST(NamesOnDisk, HostileNamesLandAsOrdinaryFilesInTheTarget) {
    ScratchFolder root;
    ASSERT_TRUE(root.ok());
    const std::wstring target = root / L"target";
    ASSERT_TRUE(CreateDirectoryW(target.c_str(), nullptr));
    const zeb::NameProbe probe = zeb::fileSystemProbe();
    std::set<std::wstring> expected;
    for (const std::wstring& hostile : HostileNames()) {
        const std::wstring name = zeb::chooseFileName(target, hostile, kLink, probe);
        EXPECT_TRUE(CreateOrdinaryFile(target + L"\\" + name, "bytes")) << ::testing::PrintToString(hostile);
        expected.insert(name);
    }
    const std::vector<std::wstring> listed = ScratchFolder::List(target);
    EXPECT_EQ(std::set<std::wstring>(listed.begin(), listed.end()), expected);
    EXPECT_EQ(listed.size(), HostileNames().size());  // numbered, never overwritten
    EXPECT_EQ(ScratchFolder::List(root.path()), std::vector<std::wstring>{L"target"});
}

TEST(NamesOnDisk, DeviceNamesWineOpensAsDevicesAreGuarded) {
    // Unguarded, these names open a serial port or the console instead of a file.
    ScratchFolder root;
    for (const wchar_t* device : {L"com5.txt", L"COM9.log", L"lpt2.txt", L"con.txt", L"CONOUT$"}) {
        const std::wstring name = zeb::sanitizeFileName(device);
        EXPECT_EQ(name[0], L'_');
        EXPECT_TRUE(CreateOrdinaryFile(root / name, "x")) << ::testing::PrintToString(name);
        // The name as the server sent it is not a file at all here.
        EXPECT_FALSE(CreateOrdinaryFile(root / device, "x")) << ::testing::PrintToString(std::wstring(device));
    }
}

TEST(NamesOnDisk, LongFolderStillHoldsEveryCompanionFile) {
    ScratchFolder root;
    ASSERT_TRUE(root.ok());
    std::wstring folder = root.path();
    while (folder.size() < 200) folder += L"\\" + std::wstring(std::min<size_t>(40, 200 - folder.size()), L'f');
    // Create each level.
    for (size_t at = root.path().size() + 1; at <= folder.size(); ++at) {
        if (at == folder.size() || folder[at] == L'\\') CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
    }
    const std::wstring name =
        zeb::chooseFileName(folder, std::wstring(300, L'n') + L".iso", kLink, zeb::fileSystemProbe());
    EXPECT_EQ(name.substr(name.size() - 4), L".iso");
    for (const std::wstring& companion :
         {name + L".zebpart", name + L".zebstate", name + L".zebstate.tmp", zeb::uniqueName(name, 9999) + L".zebstate.tmp"}) {
        const std::wstring full = folder + L"\\" + companion;
        EXPECT_LT(full.size(), static_cast<size_t>(MAX_PATH));
        EXPECT_TRUE(CreateOrdinaryFile(full, "s")) << full.size();
    }
}
}  // namespace
