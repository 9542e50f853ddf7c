#include "store/ListFile.h"

#include <gtest/gtest.h>

#include "engine/Download.h"
#include "store/FileServices.h"
#include "support/TempFolder.h"

namespace {
DownloadInfo Row(const wchar_t* url, DownloadState state, const wchar_t* file = L"f.bin", bool fixed = true) {
    DownloadInfo r;
    r.url = url;
    r.folder = L"D:\\ZEBDownloads";
    r.fileName = file;
    r.nameFixed = fixed;
    r.totalSize = 1000;
    r.doneBytes = 250;
    r.state = state;
    return r;
}

const std::string kSection =
    "[item]\r\nurl=https://h.example/a.iso\r\nfolder=D:\\Z\r\nfile=a.iso\r\nfixed=1\r\ntotal=100\r\ndone=50\r\n"
    "state=paused\r\nerror=\r\n";

TEST(ListFileText, ByteForByte) {
    DownloadInfo failed = Row(L"https://h.example/b", DownloadState::Failed, L"tải.bin");
    failed.errorText = L"line one\r\nline two";
    failed.totalSize = -1;
    EXPECT_EQ(ListFileText({Row(L"https://h.example/a", DownloadState::Downloading), failed}),
              "ZEBLIST 1\r\n"
              "[item]\r\nurl=https://h.example/a\r\nfolder=D:\\ZEBDownloads\r\nfile=f.bin\r\nfixed=1\r\ntotal=1000\r\n"
              "done=250\r\nstate=paused\r\nerror=\r\nchecksum=\r\nsha256=\r\n"
              "[item]\r\nurl=https://h.example/b\r\nfolder=D:\\ZEBDownloads\r\nfile=t\xE1\xBA\xA3i.bin\r\nfixed=1\r\n"
              "total=-1\r\ndone=250\r\nstate=failed\r\nerror=line one  line two\r\nchecksum=\r\nsha256=\r\n");
    EXPECT_EQ(ListFileText({}), "ZEBLIST 1\r\n");
}

TEST(ListFileText, StateWords) {
    const std::pair<DownloadState, const char*> words[] = {
        {DownloadState::Queued, "state=queued"},     {DownloadState::Connecting, "state=paused"},
        {DownloadState::Downloading, "state=paused"}, {DownloadState::Paused, "state=paused"},
        {DownloadState::Completed, "state=completed"}, {DownloadState::Failed, "state=failed"}};
    for (const auto& [state, word] : words)
        EXPECT_NE(ListFileText({Row(L"https://h.example/a", state)}).find(word), std::string::npos) << word;
}

TEST(ParseListFile, RoundTrip) {
    DownloadInfo a = Row(L"https://h.example/a", DownloadState::Completed);
    a.expectedChecksum = std::wstring(32, L'd');
    a.sha256 = std::wstring(64, L'e');
    DownloadInfo b = Row(L"https://h.example/b?x=1", DownloadState::Failed, L"", false);
    b.errorText = L"Lỗi mạng 12029.";
    const ListFileContent back = ParseListFile(ListFileText({a, b}), true);
    ASSERT_EQ(back.records.size(), 2u);
    EXPECT_FALSE(back.damaged);
    EXPECT_EQ(back.records[0].url, a.url);
    EXPECT_EQ(back.records[0].state, DownloadState::Completed);
    EXPECT_TRUE(back.records[0].nameFixed);
    EXPECT_EQ(back.records[0].expectedChecksum, a.expectedChecksum);
    EXPECT_EQ(back.records[0].sha256, a.sha256);
    EXPECT_EQ(back.records[1].errorText, b.errorText);
    EXPECT_EQ(back.records[1].totalSize, 1000);
    EXPECT_EQ(back.records[1].doneBytes, 250);
}

TEST(ParseListFile, ReaderRules) {
    const auto one = [](const std::string& body) {
        ListFileContent c = ParseListFile("ZEBLIST 1\r\n" + body, true);
        return c.records.empty() ? DownloadInfo{} : c.records[0];
    };
    EXPECT_EQ(ParseListFile("ZEBLIST 2\r\n" + kSection, true).records.size(), 1u);
    EXPECT_EQ(ParseListFile("ZEBLISTxyz\n" + kSection, true).records.size(), 1u);
    EXPECT_TRUE(ParseListFile("ZEBLIS", true).damaged);
    EXPECT_TRUE(ParseListFile("garbage that is long", true).damaged);
    EXPECT_FALSE(ParseListFile("", true).damaged);
    std::string lf = kSection;
    for (size_t p; (p = lf.find("\r\n")) != std::string::npos;) lf.replace(p, 2, "\n");
    EXPECT_EQ(one(lf).fileName, L"a.iso");
    std::string s = kSection;
    EXPECT_EQ(one(s.replace(s.find("total=100"), 9, "total=")).totalSize, -1);
    s = kSection;
    EXPECT_EQ(one(s.replace(s.find("total=100"), 9, "total=-1")).totalSize, -1);
    s = kSection;
    EXPECT_EQ(one(s.replace(s.find("done=50"), 7, "done=abc")).doneBytes, 0);
    s = kSection;
    EXPECT_EQ(one(s.replace(s.find("state=paused"), 12, "state=downloading")).state, DownloadState::Paused);
    s = kSection;
    EXPECT_EQ(one(s.replace(s.find("state=paused"), 12, "state=Completed")).state, DownloadState::Paused);
    s = kSection;
    EXPECT_EQ(one(s.replace(s.find("state=paused"), 12, "state=queued")).state, DownloadState::Queued);
    s = kSection;
    EXPECT_EQ(one(s.replace(s.find("error="), 6, "error=a=b")).errorText, L"a=b");
    s = kSection;
    EXPECT_TRUE(one(s.replace(s.find("url="), 4, "URL=")).url.empty());  // keys are case-sensitive: dropped
    s = kSection;
    EXPECT_EQ(ParseListFile("ZEBLIST 1\r\n" + s.replace(s.find("https"), 5, "ftp"), true).records.size(), 0u);
    s = kSection;
    EXPECT_EQ(ParseListFile("ZEBLIST 1\r\n" + s.replace(s.find("folder=D:\\Z\r\n"), 13, ""), true).records.size(), 0u);
    s = kSection;
    EXPECT_FALSE(one(s.replace(s.find("file=a.iso"), 10, "file=")).nameFixed);
    EXPECT_EQ(one("url=outside\r\n" + kSection).url, L"https://h.example/a.iso");
}

TEST(ParseListFile, UnsafeStoredNamesAreNotTrusted) {
    // A hand-edited or damaged name must never make a resume write, or a
    // removal delete, outside the folder.
    for (const char* name : {"..\\..\\Windows\\x.dll", "../x", "..", ".", "C:evil.txt", "a:stream", "sub\\f.bin"}) {
        std::string s = kSection;
        s.replace(s.find("file=a.iso"), 10, std::string("file=") + name);
        const ListFileContent c = ParseListFile("ZEBLIST 1\r\n" + s, true);
        ASSERT_EQ(c.records.size(), 1u) << name;
        EXPECT_FALSE(c.records[0].nameFixed) << name;
    }
    EXPECT_TRUE(IsPlainFileName(L"a..b.txt"));
}

TEST(ParseListFile, CutFileDropsItsLastSectionAndSaysSo) {
    const std::string text = "ZEBLIST 1\r\n" + kSection + kSection.substr(0, 40);
    const ListFileContent cut = ParseListFile(text, false);
    EXPECT_TRUE(cut.damaged);
    EXPECT_EQ(cut.records.size(), 1u);
}

TEST(ListFileText, NoRowOutgrowsItsBound) {
    // The list refuses rows by their bound: a row that later gets its name
    // and an error text must still fit in it, or the reader would cut the file.
    DownloadInfo r = Row(L"https://h.example/a", DownloadState::Failed, L"");
    r.folder = L"C:\\a";
    r.totalSize = INT64_MAX;
    r.doneBytes = INT64_MAX;
    r.fileName = std::wstring(MAX_PATH - 4, L'\u1EA3');  // three bytes each in UTF-8
    r.errorText = std::wstring(5000, L'\u1EA3');
    r.expectedChecksum = r.sha256 = std::wstring(64, L'f');
    EXPECT_LE(ListFileText({r}).size(), kListHeaderBytes + ListRowBound(r.url, r.folder));
    r.errorText = std::wstring(kStoredErrorUnits - 1, L'e') + L"\U0001F600";  // a pair across the cut
    const std::string text = ListFileText({r});
    EXPECT_EQ(text.find("\xEF\xBF\xBD"), std::string::npos);  // no lone surrogate written
}

TEST(ListFileOnDisk, WriteThenReadGivesPausedJobs) {
    ScratchFolder dir;
    const std::wstring path = dir / L"downloads.lst";
    DownloadInfo running = Row(L"https://h.example/run", DownloadState::Downloading);
    DownloadInfo queued = Row(L"https://h.example/q", DownloadState::Queued);
    DownloadInfo done = Row(L"https://h.example/d", DownloadState::Completed);
    std::vector<std::shared_ptr<zeb::Download>> jobs = {std::make_shared<zeb::Download>(running),
                                                        std::make_shared<zeb::Download>(queued),
                                                        std::make_shared<zeb::Download>(done)};
    ASSERT_TRUE(WriteListFile(path, jobs));
    LoadedList loaded = ReadListFile(path);
    EXPECT_FALSE(loaded.damaged);
    ASSERT_EQ(loaded.jobs.size(), 3u);
    EXPECT_EQ(loaded.jobs[0]->state(), DownloadState::Paused);
    EXPECT_EQ(loaded.jobs[1]->state(), DownloadState::Paused);  // nothing starts by itself after a restart
    EXPECT_EQ(loaded.jobs[2]->state(), DownloadState::Completed);
    EXPECT_EQ(loaded.jobs[2]->snapshot(false).doneBytes, 1000);
    ASSERT_TRUE(WriteFileAtomic(dir / L"bom.lst", "\xEF\xBB\xBFZEBLIST 1\r\n" + kSection));
    EXPECT_EQ(ReadListFile(dir / L"bom.lst").jobs.size(), 1u);
    EXPECT_TRUE(ReadListFile(dir / L"absent.lst").jobs.empty());
    EXPECT_FALSE(ReadListFile(dir / L"absent.lst").damaged);
}
}  // namespace
