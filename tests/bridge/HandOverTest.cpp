#include "bridge/HandOver.h"

#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "bridge/HostIdentity.h"
#include "bridge/HostMessage.h"
#include "bridge/Json.h"

namespace {
DownloadRequest Full() {
    DownloadRequest r;
    r.url = L"https://h.example/a.iso";
    r.referrer = L"https://page.example/";
    r.fileName = L"a.iso";
    r.userAgent = L"UA/1";
    r.cookies = L"a=1; b=2";
    r.media = true;
    r.title = L"Tải về";
    return r;
}

TEST(HandOverText, LinesOfSevenFieldsRoundTrip) {
    DownloadRequest plain;
    plain.url = L"https://h.example/b";
    const std::wstring text = BuildHandOverText({Full(), plain});
    EXPECT_EQ(text,
              L"https://h.example/a.iso\thttps://page.example/\ta.iso\tUA/1\ta=1; b=2\t1\tTải về\n"
              L"https://h.example/b\t\t\t\t\t0\t\n");
    const auto back = ParseHandOverText(text);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(std::tie(back[0].cookies, back[0].media, back[0].title), std::make_tuple(Full().cookies, true, Full().title));
    EXPECT_FALSE(back[1].media);
    EXPECT_EQ(BuildHandOverText({}), L"");
}

TEST(HandOverText, PiecesAreWholeLinesWithinTheLimit) {
    // Wine fails a WM_COPYDATA of megabytes before the window sees it: the
    // text goes in pieces, and no piece may cut a line (a link) in two.
    const struct {
        std::wstring text;
        size_t max;
        std::vector<std::wstring> pieces;
    } cases[] = {
        {L"", 10, {L""}},
        {L"ab\ncd\n", 10, {L"ab\ncd\n"}},
        {L"ab\ncd\nef\n", 6, {L"ab\ncd\n", L"ef\n"}},
        {L"ab\ncd\nef\n", 5, {L"ab\n", L"cd\n", L"ef\n"}},
        {L"a\nlonger line\nb\n", 4, {L"a\n", L"longer line\n", L"b\n"}},  // a longer line goes alone
        {L"ab\ncd", 4, {L"ab\n", L"cd"}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitHandOverText(c.text, c.max), c.pieces) << ::testing::PrintToString(c.text);
    std::wstring big;
    for (int i = 0; i < 100000; ++i) big += L"https://h.example/" + std::to_wstring(i) + L"\t\t\t\t\t0\t\n";
    std::wstring joined;
    for (const std::wstring& piece : SplitHandOverText(big)) {
        EXPECT_LE(piece.size(), kHandOverPieceUnits);
        EXPECT_EQ(piece.back(), L'\n');
        joined += piece;
    }
    EXPECT_TRUE(joined == big);
}

TEST(HandOverText, ControlCharactersInsideFieldsBecomeSpaces) {
    // A NUL would end the receiver's text and drop every later link.
    DownloadRequest r;
    r.url = L"https://h.example/a\tb";
    r.title = std::wstring(L"x\0y\r\nz\x1f", 7);
    DownloadRequest after;
    after.url = L"https://h.example/after";
    const std::wstring text = BuildHandOverText({r, after});
    EXPECT_EQ(text.find(L'\0'), std::wstring::npos);
    const auto back = ParseHandOverText(text);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].url, L"https://h.example/a b");
    EXPECT_EQ(back[0].title, L"x y  z ");
    EXPECT_EQ(back[1].url, L"https://h.example/after");
}

TEST(HandOverText, ReaderPadsCutsAndSkips) {
    auto r = ParseHandOverText(L"u1\tr\nu2");
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].url + L"|" + r[0].referrer + L"|" + r[1].url + L"|" + r[1].referrer, L"u1|r|u2|");
    r = ParseHandOverText(L"u\t\t\t\t\t1\tt\textra\tmore\n\t\tno url\n\n");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_TRUE(r[0].media);
    EXPECT_EQ(r[0].title, L"t");
    EXPECT_TRUE(ParseHandOverText(L"").empty());
    EXPECT_FALSE(ParseHandOverText(L"u\t\t\t\t\ttrue\n")[0].media);  // only "1" is set
}

JsonValue Json(const std::string& text) {
    JsonValue v;
    JsonCursor c{text.data(), text.data() + text.size()};
    ParseJson(c, v, 0);
    return v;
}

TEST(JoinCookies, NamesValuesAndDroppedEntries) {
    EXPECT_EQ(JoinCookies(Json(R"([{"name":"a","value":"1"},{"name":"","value":"x"},{"name":"b","value":"2"}])")),
              L"a=1; b=2");
    EXPECT_EQ(JoinCookies(Json(R"([{"name":"a","value":"1\n2"},{"name":"c\t","value":"3"},{"name":"d"},5])")), L"d=");
    EXPECT_EQ(JoinCookies(Json("[]")), L"");
}

TEST(HostMessage, KindsRequestsAndReplies) {
    const auto read = [](const std::string& s) { return ReadHostMessage(s.data(), s.size()); };
    EXPECT_EQ(read(R"({"type":"ping"})").kind, HostMessage::Ping);
    EXPECT_EQ(read(R"({"type":"PING"})").kind, HostMessage::Unknown);
    EXPECT_EQ(read(R"({"items":[]})").kind, HostMessage::Unknown);
    EXPECT_EQ(read(R"({"type":"ping"} x)").kind, HostMessage::Invalid);
    EXPECT_EQ(read(R"(["type","ping"])").kind, HostMessage::Invalid);
    HostMessage m = read(R"({"type":"download","userAgent":"UA","items":[{"url":""},{"title":"no url"},7,
        {"url":"https://h.example/v","media":true},{"url":"https://h.example/s","media":"true",
         "cookies":[{"name":"k","value":"v"}],"referrer":"https://p/","fileName":"f","title":"t"}]})");
    ASSERT_EQ(m.kind, HostMessage::Download);
    ASSERT_EQ(m.requests.size(), 2u);
    EXPECT_TRUE(m.requests[0].media);
    EXPECT_FALSE(m.requests[1].media);  // the string "true" is not the boolean
    EXPECT_EQ(m.requests[1].cookies, L"k=v");
    EXPECT_EQ(m.requests[1].userAgent, L"UA");
    EXPECT_TRUE(m.anyUsable);
    EXPECT_FALSE(read(R"({"type":"download","items":[{"url":"https://h.example/v","media":true}]})").anyUsable);
    // The error is escaped into the reply.
    EXPECT_EQ(HostReplyText(false, "say \"hi\""), R"({"ok":false,"version":"1.0.0","edition":"pe","error":"say \"hi\""})");
}

TEST(CommandLine, HostModeAndLinks) {
    EXPECT_TRUE(IsHostModeCommandLine({L"tw.exe", L"chrome-extension://abcdefghijklmnop/"}));
    EXPECT_TRUE(IsHostModeCommandLine({L"tw.exe", L"CHROME-EXTENSION://abc/", L"--parent-window=0"}));
    EXPECT_TRUE(IsHostModeCommandLine({L"tw.exe", L"C:\\x\\firefox.json", L"COMPANION@TIDEWELL-PE.INVALID"}));
    EXPECT_TRUE(IsHostModeCommandLine({L"tw.exe", kFirefoxAddonId}));
    EXPECT_FALSE(IsHostModeCommandLine({L"tw.exe"}));
    EXPECT_FALSE(IsHostModeCommandLine({L"tw.exe", L"https://h.example/chrome-extension://"}));
    EXPECT_FALSE(IsHostModeCommandLine({L"chrome-extension://x/", L"https://h.example/a"}));  // argument 0 is the program
    const auto links = LinkArguments({L"tw.exe", L"https://h.example/a.iso", L"--flag", L"ftp://x/y", L"http://h.example/b"});
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[1].url, L"http://h.example/b");
}
}  // namespace

#include "bridge/Registration.h"

namespace {
TEST(ManifestText, ExactBytes) {
    EXPECT_EQ(ManifestText(L"C:\\Tools\\Tải\\tidewell.exe", "allowed_origins",
                           {"chrome-extension://aaaa/", "chrome-extension://bbbb/"}),
              "{\n  \"name\": \"pe.tidewell.host\",\n  \"description\": \"Tidewell\",\n"
              "  \"path\": \"C:\\\\Tools\\\\T\xE1\xBA\xA3i\\\\tidewell.exe\",\n  \"type\": \"stdio\",\n"
              "  \"allowed_origins\": [\n    \"chrome-extension://aaaa/\",\n    \"chrome-extension://bbbb/\"\n  ]\n}");
    EXPECT_EQ(ManifestText(L"X:\\t.exe", "allowed_extensions", {"companion@tidewell-pe.invalid"}),
              "{\n  \"name\": \"pe.tidewell.host\",\n  \"description\": \"Tidewell\",\n  \"path\": \"X:\\\\t.exe\",\n"
              "  \"type\": \"stdio\",\n  \"allowed_extensions\": [\n    \"companion@tidewell-pe.invalid\"\n  ]\n}");
}
}  // namespace
