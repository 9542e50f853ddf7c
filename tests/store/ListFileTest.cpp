// "downloads.lst": the text byte for byte, the reader's rules, and the file on disk.
#include "store/ListFile.h"

#include <gtest/gtest.h>

#include "engine/Download.h"
#include "store/List.h"
#include "store/FileServices.h"
#include "support/TempFolder.h"

namespace {
DownloadInfo Row(const wchar_t* url, DownloadState state, const wchar_t* file = L"f.bin", bool fixed = true) {
    return {.url = url, .folder = L"D:\\ZEBDownloads", .fileName = file, .totalSize = 1000, .doneBytes = 250, .state = state, .nameFixed = fixed};
}

const std::string kSection =
    "[item]\r\nurl=https://h.example/a.iso\r\nfolder=D:\\Z\r\nfile=a.iso\r\nfixed=1\r\ntotal=100\r\ndone=50\r\n"
    "state=paused\r\nerror=\r\n";

std::string With(std::string s, const std::string& from, const std::string& to) {
    return s.replace(s.find(from), from.size(), to);
}

// The records of a file holding kSection with `from` replaced by `to`.
std::vector<DownloadInfo> Edited(const std::string& from, const std::string& to) {
    return ParseListFile("ZEBLIST 1\r\n" + With(kSection, from, to), true).records;
}

TEST(ParseListFile, RoundTripAndTheReadersRules) {
    // (The lines a reader of an earlier version expects are pinned by kSection below.)
    const DownloadInfo a{.url = L"https://h.example/a", .folder = L"D:\\Z", .fileName = L"tải.bin", .state = DownloadState::Completed,
                         .nameFixed = true, .expectedChecksum = std::wstring(32, L'd'), .sha256 = std::wstring(64, L'e'),
                         .speedLimit = 100 * 1024, .waitingForHours = true};
    // Line breaks in the error must not make a row.
    const DownloadInfo b{.url = L"https://h.example/b?x=1", .folder = L"D:\\Z",
                         .errorText = L"Lỗi mạng\r\n[item]\r\nurl=https://h.example/injected", .doneBytes = 250};
    const ListFileContent back = ParseListFile(ListFileText({a, b}), true);
    ASSERT_EQ(back.records.size(), 2u);
    EXPECT_FALSE(back.damaged);
    const DownloadInfo &a2 = back.records[0], &b2 = back.records[1];
    EXPECT_EQ(std::tie(a2.url, a2.fileName, a2.state, a2.nameFixed, a2.expectedChecksum, a2.sha256, a2.speedLimit, a2.waitingForHours),
              std::tie(a.url, a.fileName, a.state, a.nameFixed, a.expectedChecksum, a.sha256, a.speedLimit, a.waitingForHours));
    EXPECT_EQ(std::make_pair(b2.speedLimit, b2.waitingForHours), std::make_pair(int64_t{0}, false));
    EXPECT_EQ(std::tie(b2.state, b2.totalSize, b2.doneBytes, b2.nameFixed), std::tie(b.state, b.totalSize, b.doneBytes, b.nameFixed));
    EXPECT_EQ(b2.errorText.rfind(L"Lỗi mạng", 0), 0u);
    EXPECT_EQ(ParseListFile("ZEBLIST 2\r\n" + kSection, true).records.size(), 1u);
    EXPECT_TRUE(ParseListFile("garbage that is long", true).damaged);
    EXPECT_FALSE(ParseListFile("", true).damaged);
    EXPECT_EQ(Edited("total=100", "total=").at(0).totalSize, -1);
    EXPECT_EQ(Edited("state=paused", "state=downloading").at(0).state, DownloadState::Paused);
    EXPECT_EQ(Edited("error=", "error=a=b").at(0).errorText, L"a=b");
    EXPECT_TRUE(Edited("url=", "URL=").empty());  // keys are case-sensitive: no link, no row
    EXPECT_TRUE(Edited("https", "ftp").empty());
    // A hand-edited or damaged name must never make a resume write, or a
    // removal delete, outside the folder.
    for (const char* name : {"..\\..\\Windows\\x.dll", "..", "C:evil.txt", "a:stream"})
        EXPECT_FALSE(Edited("file=a.iso", std::string("file=") + name).at(0).nameFixed) << name;
    // A cut file drops its last section and says so.
    const ListFileContent cut = ParseListFile("ZEBLIST 1\r\n" + kSection + kSection.substr(0, 40), false);
    EXPECT_EQ(std::make_tuple(cut.damaged, cut.records.size(), cut.setAside), std::make_tuple(true, size_t{1}, size_t{1}));
}

TEST(ParseListFile, EveryRowItCannotTakeAsWrittenIsCounted) {
    // Catches a damaged row dropped or changed without a word (its record lost at the next
    // save): each damage a failing stick or a cut write leaves counts its row, and a list
    // this program wrote counts none.
    const std::string other = With(With(kSection, "a.iso", "b.iso"), "a.iso", "b.iso");
    const std::string done = With(kSection, "=paused", "=completed");
    const std::tuple<std::string, size_t, size_t> cases[] = {  // the file after the magic, rows loaded, set aside
        {kSection + other, 2, 0},
        {done + done + With(done, "a.iso", "c.iso") + other, 4, 0},   // a link finished twice is no repeat
        {With(kSection, "url=h", "url=\xE8") + other, 1, 1},          // a link that lost a byte
        {kSection + other.substr(0, other.find("folder=") + 3), 1, 1},  // the last line cut
        {kSection + kSection + other, 2, 1},                          // an unfinished row repeated
        {With(kSection, "done=50", "done=5O") + other, 2, 1},         // lines it cannot read...
        {With(kSection, "file=a.iso", "file=a\xFF.iso") + other, 2, 1},
        {With(kSection, "state=paused", "state=pausxd") + other, 2, 1},
        {With(kSection, "fixed=1", "fixed\x01") + With(other, "folder", "folxer"), 1, 2},
        {kSection + With(other, "[item]", "[itxm]"), 1, 1},            // two sections run into one
        {"\r\nstray\r\n" + kSection, 1, 1},
        {kSection + "limit=0\r\n" + other + "limit=12\r\n", 2, 1},  // a row's own limit: none is no line
        {kSection + "wait=soon\r\n" + other + "wait=hours\r\n", 2, 1},
    };
    for (const auto& [body, rows, aside] : cases) {
        const ListFileContent c = ParseListFile("ZEBLIST 1\r\n" + body, true);
        EXPECT_EQ(std::make_tuple(c.records.size(), c.setAside, c.damaged), std::make_tuple(rows, aside, aside > 0)) << body;
    }
    // Another file's magic: nothing loaded, its rows counted.
    EXPECT_EQ(ParseListFile("ZEBLIZT 1\r\n" + kSection + other, true).setAside, 2u);
}

TEST(ListFileText, NoRowOutgrowsItsBound) {
    // The list refuses rows by their bound: a row that later gets its name
    // and an error text must still fit in it, or the reader would cut the file.
    DownloadInfo r{.url = L"https://h.example/a", .folder = L"C:\\a", .fileName = std::wstring(MAX_PATH - 4, L'\u1EA3'),  // three bytes each in UTF-8
                   .errorText = std::wstring(5000, L'\u1EA3'), .totalSize = INT64_MAX, .doneBytes = INT64_MAX, .state = DownloadState::Failed,
                   .expectedChecksum = std::wstring(64, L'f'), .sha256 = std::wstring(64, L'f'), .speedLimit = kMaxRowLimitKb * 1024,
                   .waitingForHours = true};
    EXPECT_LE(ListFileText({r}).size(), kListHeaderBytes + ListRowBound(r.url, r.folder));
    r.errorText = std::wstring(kStoredErrorUnits - 1, L'e') + L"\U0001F600";  // a pair across the cut
    const std::string text = ListFileText({r});
    EXPECT_EQ(text.find("\xEF\xBF\xBD"), std::string::npos);  // no lone surrogate written
}

TEST(ListFileOnDisk, WriteThenReadGivesPausedJobs) {
    ScratchFolder dir;
    std::vector<std::shared_ptr<zeb::Download>> jobs;
    for (DownloadState s : {DownloadState::Downloading, DownloadState::Queued, DownloadState::Completed})
        jobs.push_back(std::make_shared<zeb::Download>(Row((L"https://h.example/r" + std::to_wstring(jobs.size())).c_str(), s)));
    ASSERT_TRUE(WriteListFile(dir / L"downloads.lst", jobs));
    const ListFileContent loaded = ReadListFile(dir / L"downloads.lst");
    ASSERT_EQ(loaded.records.size(), 3u);
    std::vector<DownloadInfo> back;
    for (const DownloadInfo& r : loaded.records) back.push_back(zeb::Download(r).snapshot(false));
    // Nothing starts by itself after a restart; a finished row reports its whole size.
    EXPECT_EQ(std::make_tuple(back[0].state, back[1].state, back[2].doneBytes),
              std::make_tuple(DownloadState::Paused, DownloadState::Paused, int64_t{1000}));
    ASSERT_TRUE(WriteFileAtomic(dir / L"bom.lst", "\xEF\xBB\xBFZEBLIST 1\r\n" + kSection));
    EXPECT_EQ(ReadListFile(dir / L"bom.lst").records.size(), 1u);
}
TEST(IsAcceptableLink, Admission) {
    const std::wstring head = L"https://h.example/";
    EXPECT_TRUE(IsAcceptableLink(L"http://a/b") && IsAcceptableLink(head + std::wstring(8000 - head.size(), L'x')));
    for (const std::wstring& bad : {std::wstring(L"http://a/"), head + std::wstring(8001 - head.size(), L'x'), std::wstring(L"http://a/b c"),
                                    std::wstring(L"http://a/\"bc"), std::wstring(L"http://a/b\r\n"), std::wstring(L"https:///nohost")})
        EXPECT_FALSE(IsAcceptableLink(bad)) << ::testing::PrintToString(bad);
}

TEST(WaitingRows, AFreshLinkMatchesAPausedOrFailedRowByItsFileName) {
    // Catches a finished or running row continued, a row matched twice, the
    // hand-over's name ignored (a signed link's path seldom names the file)
    // and a row's own link taken for a fresh one.
    std::vector<ListEntry> rows(4);
    const std::pair<const wchar_t*, DownloadState> waiting[] = {{L"a.bin", DownloadState::Paused}, {L"Image.ISO", DownloadState::Failed},
                                                                {L"c.bin", DownloadState::Completed}, {L"d.bin", DownloadState::Downloading}};
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i].cached.fileName = waiting[i].first, rows[i].cached.state = waiting[i].second, rows[i].cached.url = L"http://o/" + rows[i].cached.fileName;
    const std::vector<DownloadRequest> links = {{.url = L"http://o/a.bin"}, {.url = L"http://n/c.bin"}, {.url = L"http://n/d.bin"},
                                                {.url = L"http://n/x?sig=1", .fileName = L"image.iso"}, {.url = L"http://n/a.bin?s=2"},
                                                {.url = L"http://m/a.bin?s=3"}};
    EXPECT_EQ(DownloadList::MatchWaitingRows(rows, links), (std::vector<std::pair<size_t, int>>{{3, 1}, {4, 0}}));
}
}  // namespace
