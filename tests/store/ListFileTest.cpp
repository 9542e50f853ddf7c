// "downloads.lst": the text byte for byte, the reader's rules, and the file on disk.
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

// The records of a file holding kSection with `from` replaced by `to`.
std::vector<DownloadInfo> Edited(const std::string& from, const std::string& to) {
    std::string s = kSection;
    s.replace(s.find(from), from.size(), to);
    return ParseListFile("ZEBLIST 1\r\n" + s, true).records;
}

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
    EXPECT_EQ(ParseListFile("ZEBLIST 2\r\n" + kSection, true).records.size(), 1u);
    EXPECT_EQ(ParseListFile("ZEBLISTxyz\n" + kSection, true).records.size(), 1u);
    EXPECT_TRUE(ParseListFile("ZEBLIS", true).damaged);
    EXPECT_TRUE(ParseListFile("garbage that is long", true).damaged);
    EXPECT_FALSE(ParseListFile("", true).damaged);
    std::string lf;
    for (char c : kSection)
        if (c != '\r') lf += c;
    EXPECT_EQ(ParseListFile("ZEBLIST 1\n" + lf, true).records.at(0).fileName, L"a.iso");
    EXPECT_EQ(Edited("total=100", "total=").at(0).totalSize, -1);
    EXPECT_EQ(Edited("total=100", "total=-1").at(0).totalSize, -1);
    EXPECT_EQ(Edited("done=50", "done=abc").at(0).doneBytes, 0);
    EXPECT_EQ(Edited("state=paused", "state=downloading").at(0).state, DownloadState::Paused);
    EXPECT_EQ(Edited("state=paused", "state=Completed").at(0).state, DownloadState::Paused);
    EXPECT_EQ(Edited("state=paused", "state=queued").at(0).state, DownloadState::Queued);
    EXPECT_EQ(Edited("error=", "error=a=b").at(0).errorText, L"a=b");
    EXPECT_TRUE(Edited("url=", "URL=").empty());  // keys are case-sensitive: no link, no row
    EXPECT_TRUE(Edited("https", "ftp").empty());
    EXPECT_TRUE(Edited("folder=D:\\Z\r\n", "").empty());
    EXPECT_FALSE(Edited("file=a.iso", "file=").at(0).nameFixed);
    EXPECT_EQ(ParseListFile("ZEBLIST 1\r\nurl=outside\r\n" + kSection, true).records.at(0).url, L"https://h.example/a.iso");
}

TEST(ParseListFile, UnsafeStoredNamesAreNotTrusted) {
    // A hand-edited or damaged name must never make a resume write, or a
    // removal delete, outside the folder.
    for (const char* name : {"..\\..\\Windows\\x.dll", "../x", "..", ".", "C:evil.txt", "a:stream", "sub\\f.bin"}) {
        const auto records = Edited("file=a.iso", std::string("file=") + name);
        ASSERT_EQ(records.size(), 1u) << name;
        EXPECT_FALSE(records[0].nameFixed) << name;
    }
    EXPECT_TRUE(IsPlainFileName(L"a..b.txt"));
}

TEST(ParseListFile, CutFileDropsItsLastSectionAndSaysSo) {
    const ListFileContent cut = ParseListFile("ZEBLIST 1\r\n" + kSection + kSection.substr(0, 40), false);
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
    std::vector<std::shared_ptr<zeb::Download>> jobs;
    for (DownloadState s : {DownloadState::Downloading, DownloadState::Queued, DownloadState::Completed})
        jobs.push_back(std::make_shared<zeb::Download>(Row(L"https://h.example/r", s)));
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
