#include "engine/NameChoice.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

#include "engine/Error.h"
#include "engine/FileNames.h"
#include "support/Language.h"

namespace {
using zeb::chooseFileName;

// A folder's contents as plain data: paths that exist and state files' links.
struct FakeFolder {
    std::set<std::wstring> files;
    std::map<std::wstring, std::wstring> links;  // state path -> recorded link
    zeb::NameProbe probe() const {
        zeb::NameProbe p;
        p.exists = [this](const std::wstring& path) { return files.count(path) > 0; };
        p.recordedLink = [this](const std::wstring& path) {
            auto it = links.find(path);
            return it == links.end() ? std::wstring() : it->second;
        };
        return p;
    }
};

const std::wstring kFolder = L"D:\\ZEBDownloads";
const std::wstring kLink = L"https://h.example/file.iso";

TEST(ChooseFileName, FreeNameTakenNamesAndOwnPartialFile) {
    FakeFolder f;
    EXPECT_EQ(chooseFileName(kFolder, L"file.iso", kLink, f.probe()), L"file.iso");
    f.files = {kFolder + L"\\file.iso", kFolder + L"\\file (1).iso"};
    EXPECT_EQ(chooseFileName(kFolder, L"file.iso", kLink, f.probe()), L"file (2).iso");
    // Another link's partial file holds "file (2).iso"; ours is at (3).
    f.files.insert(kFolder + L"\\file (2).iso.zebpart");
    f.links[kFolder + L"\\file (2).iso.zebstate"] = L"https://other.example/file.iso";
    EXPECT_EQ(chooseFileName(kFolder, L"file.iso", kLink, f.probe()), L"file (3).iso");
    f.files.insert(kFolder + L"\\file (3).iso.zebpart");
    f.links[kFolder + L"\\file (3).iso.zebstate"] = kLink;
    EXPECT_EQ(chooseFileName(kFolder, L"file.iso", kLink, f.probe()), L"file (3).iso");
}

TEST(ChooseFileName, StrayStateFileCountsAsTaken) {
    FakeFolder f;
    f.files = {kFolder + L"\\movie.mkv.zebstate"};
    EXPECT_EQ(chooseFileName(kFolder, L"movie.mkv", kLink, f.probe()), L"movie (1).mkv");
}

TEST(ChooseFileName, SuggestedOwnSuffixCannotShadowAnotherDownload) {
    // A finished file named like another job's partial file must not be
    // taken for it: the suggested name is changed, not the other files.
    FakeFolder f;
    EXPECT_EQ(chooseFileName(kFolder, L"movie.zebpart", kLink, f.probe()), L"movie.zebpart_");
}

TEST(ChooseFileName, GivesUpNumberingAt9999) {
    // Finished files of that name up to 9999: the last number is taken (the
    // final rename numbers again).
    zeb::NameProbe files;
    files.exists = [](const std::wstring& p) { return p.size() < 8 || p.substr(p.size() - 8) != L".zebpart"; };
    files.recordedLink = [](const std::wstring&) { return std::wstring(); };
    EXPECT_EQ(chooseFileName(kFolder, L"a.bin", kLink, files), L"a (9999).bin");
}

TEST(ChooseFileName, NeverTakesOverAnotherLinksPartialFile) {
    // Partial files of another link everywhere: taking the 9999th would
    // truncate that download's data.
    zeb::NameProbe partials;
    partials.exists = [](const std::wstring&) { return true; };
    partials.recordedLink = [](const std::wstring&) { return std::wstring(L"https://other.example/a.bin"); };
    for (bool vi : {true, false}) {
        ScopedLanguage lang(vi);
        try {
            chooseFileName(kFolder, L"a.bin", kLink, partials);
            ADD_FAILURE() << "a name was taken";
        } catch (const zeb::Error& e) {
            EXPECT_EQ(e.message, vi ? L"Không thể chọn tên tệp: đã có quá nhiều tệp cùng tên."
                                    : L"Cannot choose a file name: too many files with this name.");
        }
    }
}

TEST(ChooseFileName, LongFolderShortensTheNameSoEveryCompanionFits) {
    for (size_t folderUnits : {100u, 180u, 200u, 226u}) {
        const std::wstring folder = L"C:\\" + std::wstring(folderUnits - 3, L'f');
        FakeFolder f;
        const std::wstring name = chooseFileName(folder, std::wstring(300, L'n') + L".iso", kLink, f.probe());
        EXPECT_EQ(name.substr(name.size() - 4), L".iso");
        const std::wstring longest = folder + L"\\" + zeb::uniqueName(name, 9999) + L".zebstate.tmp";
        EXPECT_LE(longest.size(), 259u) << folderUnits;
        EXPECT_GE(longest.size(), 250u) << folderUnits;  // shortened no more than needed
    }
}

TEST(ChooseFileName, FolderTooLongIsAClearError) {
    const std::wstring folder = L"C:\\" + std::wstring(230, L'f');
    FakeFolder f;
    for (bool vi : {true, false}) {
        ScopedLanguage lang(vi);
        try {
            chooseFileName(folder, L"a.iso", kLink, f.probe());
            ADD_FAILURE() << "no error";
        } catch (const zeb::Error& e) {
            EXPECT_EQ(e.message, vi ? L"Đường dẫn thư mục quá dài." : L"The folder path is too long.");
        }
    }
}

TEST(RecordedLink, FirstUrlLineTrimmed) {
    EXPECT_EQ(zeb::recordedLinkOf("ZEBSTATE 1\r\nurl= https://a/\xE1\xBA\xA3 \r\nurl=https://b/\r\n"),
              L"https://a/ả");
    EXPECT_EQ(zeb::recordedLinkOf("ZEBSTATE 1\r\ntotal=5\r\n"), L"");
    EXPECT_EQ(zeb::recordedLinkOf(""), L"");
    EXPECT_EQ(zeb::recordedLinkOf("url=https://last-line-without-lf"), L"https://last-line-without-lf");
    EXPECT_EQ(zeb::recordedLinkOf(" url=https://indented"), L"");
}
TEST(MoveToFreeName, NumbersStopAt9999) {
    // Every name up to " (9999)" is taken or another job's partial file:
    // the rename fails instead of inventing " (10000)".
    std::vector<std::wstring> tried;
    const auto taken = [&](const std::wstring& name) -> unsigned long {
        tried.push_back(name);
        return ERROR_ALREADY_EXISTS;
    };
    const auto everyPartExists = [](const std::wstring&) { return true; };
    EXPECT_THROW(zeb::moveToFreeName(L"n.bin", taken, everyPartExists), zeb::Error);
    EXPECT_EQ(tried, std::vector<std::wstring>{L"n.bin"});
    tried.clear();
    EXPECT_THROW(zeb::moveToFreeName(L"n.bin", taken, [](const std::wstring&) { return false; }), zeb::Error);
    EXPECT_EQ(tried.size(), 10000u);
    EXPECT_EQ(tried.back(), L"n (9999).bin");
    // The first free number after skipped partial files is taken.
    const auto freeAt3 = [](const std::wstring& name) -> unsigned long {
        return name == L"n (3).bin" ? 0 : ERROR_FILE_EXISTS;
    };
    EXPECT_EQ(zeb::moveToFreeName(L"n.bin", freeAt3, [](const std::wstring& name) { return name == L"n (2).bin"; }),
              L"n (3).bin");
}
}  // namespace
