// The unattended mode's decisions: its command line, its link lists, its
// exit codes and the lines scripts read. (The real program runs them in
// test_get_mode.py.)
#include <gtest/gtest.h>

#include "app/GetOptions.h"
#include "app/GetTexts.h"
#include "engine/ErrorTexts.h"

namespace {
const std::wstring kLink = L"https://h.example/pack.zip";
const std::wstring kSha256(64, L'a'), kSha1(40, L'b'), kMd5(32, L'c');

GetOptions Parse(std::vector<std::wstring> rest) {
    rest.insert(rest.begin(), {L"tidewell.exe", L"--get"});
    GetOptions o = ParseGetArguments(rest);
    CheckGetOptions(o);
    return o;
}

TEST(GetArguments, EachFaultNamesWhatWasWrong) {
    struct Case {
        std::vector<std::wstring> args;
        GetFault fault;
        std::wstring detail;
    } cases[] = {
        {{kLink}, GetFault::None, L""},
        {{L"--to", L"D:\\x", L"--name", L"a.zip", L"--checksum", kMd5, L"--connections", L"16", L"--limit", L"0",
          L"--insecure", L"--lang", L"vi", kLink}, GetFault::None, L""},
        {{kLink, L"--fast"}, GetFault::UnknownOption, L"--fast"},
        {{kLink, L"-x"}, GetFault::UnknownOption, L"-x"},
        {{kLink, L"--to"}, GetFault::MissingValue, L"--to"},
        {{L"--connections", L"0", kLink}, GetFault::BadValue, L"--connections"},
        {{L"--connections", L"17", kLink}, GetFault::BadValue, L"--connections"},
        {{L"--limit", L"-1", kLink}, GetFault::BadValue, L"--limit"},
        {{L"--checksum", std::wstring(63, L'a'), kLink}, GetFault::BadValue, L"--checksum"},
        {{L"--checksum", std::wstring(63, L'a') + L"g", kLink}, GetFault::BadValue, L"--checksum"},
        {{L"--lang", L"fr", kLink}, GetFault::BadValue, L"--lang"},
        {{L"ftp://h.example/a.zip"}, GetFault::NotALink, L"ftp://h.example/a.zip"},
        {{L"--insecure"}, GetFault::NoLink, L""},
        {{L"--name", L"a.zip", kLink, kLink}, GetFault::NameNeedsOneLink, L""},
    };
    for (const Case& c : cases) {
        const GetOptions o = Parse(c.args);
        EXPECT_EQ(static_cast<int>(o.problem.fault), static_cast<int>(c.fault)) << c.args.back();
        EXPECT_EQ(o.problem.detail, c.detail);
    }
}

TEST(GetArguments, ValuesReachEveryLink) {
    const GetOptions o = Parse({L"--to", L"D:\\x", L"--checksum", L" " + kSha1 + L" ", L"--connections", L"3",
                                L"--limit", L"250", L"--lang", L"en", L"--insecure", kLink, kLink + L"2"});
    ASSERT_EQ(o.items.size(), 2u);
    EXPECT_EQ(o.items[1].url + L"|" + o.items[1].checksum + L"|" + o.to, kLink + L"2|" + kSha1 + L"|D:\\x");
    EXPECT_EQ(std::make_tuple(*o.connections, *o.limitKB, *o.vietnamese, o.insecure), std::make_tuple(3, 250, false, true));
    EXPECT_EQ(Parse({L"--name", L"n.zip", kLink}).items[0].name, L"n.zip");
}

TEST(LinkList, OptionsBelowTheirLinkAndCommentsSkipped) {
    const std::string text = "\xEF\xBB\xBF# drivers\r\n" + std::string("https://h.example/a.zip\r\n") +
                             "  out=\xC4\x90\xE1\xBA\xA1i.zip\r\n\tdir=model/x1\r\n   checksum=SHA-256=" +
                             std::string(64, 'A') + "\r\n\r\n  \r\nhttps://h.example/b.zip\n  checksum=md5=" +
                             std::string(32, 'c') + "\nhttps://h.example/c.zip";
    std::vector<GetItem> items;
    ASSERT_EQ(ParseLinkList(text, items).fault, GetFault::None);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].name + L"|" + items[0].dir + L"|" + items[0].checksum, L"Đại.zip|model\\x1|" + kSha256);
    EXPECT_EQ(items[1].url + L"|" + items[1].checksum, L"https://h.example/b.zip|" + kMd5);
    EXPECT_EQ(items[2].url + items[2].name + items[2].dir + items[2].checksum, L"https://h.example/c.zip");
}

TEST(LinkList, RefusedWholeNamingTheLine) {
    const std::string link = "https://h.example/a.zip\n";
    struct Case {
        std::string text;
        GetFault fault;
        int line;
    } cases[] = {
        {link + link + "  mirror=x\n", GetFault::UnknownListOption, 3},
        {link + "  out\n", GetFault::UnknownListOption, 2},
        {"\n  out=a\n" + link, GetFault::OptionBeforeLink, 2},
        {link + "# c\nh.example/b.zip\n", GetFault::NotALink, 3},
        {link + "  checksum=sha-1=" + std::string(64, 'a') + "\n", GetFault::BadValue, 2},
        {link + "  checksum=" + std::string(64, 'a') + "\n", GetFault::BadValue, 2},
        {link + "  dir=..\\up\n", GetFault::BadValue, 2},
        {link + "  dir=C:\\abs\n", GetFault::BadValue, 2},
        {link + "  out=\n", GetFault::BadValue, 2},
        {link + "  out=a\n  out=b\n", GetFault::Repeated, 3},
        {link + link + "https://h.example/\xFF.zip\n", GetFault::Unreadable, 3},
    };
    for (const Case& c : cases) {
        std::vector<GetItem> items;
        const GetProblem p = ParseLinkList(c.text, items);
        EXPECT_EQ(std::make_pair(static_cast<int>(p.fault), p.line), std::make_pair(static_cast<int>(c.fault), c.line))
            << c.text;
        EXPECT_TRUE(items.empty()) << c.text;  // nothing of a refused list is kept
    }
}

TEST(GetExitCodes, EachCauseHasItsCode) {
    // The kinds come from where the errors arise; these are the ones the
    // engine gives network codes and statuses.
    const std::pair<ErrorKind, int> cases[] = {
        {zeb::networkErrorKind(12029), 2}, {zeb::networkErrorKind(12002), 2}, {zeb::networkErrorKind(12175), 3},
        {zeb::networkErrorKind(12157), 3}, {zeb::httpStatusKind(404), 4},     {zeb::httpStatusKind(401), 4},
        {zeb::httpStatusKind(503), 5},     {zeb::httpStatusKind(304), 5},     {ErrorKind::Link, 1},
        {ErrorKind::Checksum, 6},          {ErrorKind::Disk, 7},              {ErrorKind::Local, 7},
    };
    for (const auto& [kind, code] : cases) EXPECT_EQ(ExitCodeOf(kind), code) << static_cast<int>(kind);
}

TEST(GetLines, TheLastLineOfEachFileInFixedWords) {
    EXPECT_EQ(OkLine(1234, kSha256, L"Đại lý.zip"), L"OK 1234 sha256=" + kSha256 + L" Đại lý.zip");
    EXPECT_EQ(FailedLine(4, L"a.zip", L"why"), L"FAILED 4 a.zip: why");
    const std::wstring progress = ProgressLine(DownloadInfo{.fileName = L"a.zip", .totalSize = 200, .doneBytes = 90});
    EXPECT_EQ(progress.substr(0, 4) + L"|" + progress.substr(progress.size() - 5), L" 45%|a.zip");
}
}  // namespace
