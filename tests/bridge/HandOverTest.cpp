#include "bridge/HandOver.h"

#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "bridge/HostIdentity.h"
#include "bridge/HostMessage.h"
#include "bridge/Json.h"

namespace {
TEST(HandOverText, LinesOfSevenFieldsRoundTrip) {
    DownloadRequest full{.url = L"https://h.example/a.iso", .referrer = L"https://page.example/", .fileName = L"a.iso",
                         .userAgent = L"UA/1", .cookies = L"a=1; b=2", .title = L"Tải về", .media = true}, plain;
    plain.url = L"https://h.example/b";
    const std::wstring text = BuildHandOverText({full, plain});
    EXPECT_EQ(text, L"https://h.example/a.iso\thttps://page.example/\ta.iso\tUA/1\ta=1; b=2\t1\tTải về\n"
                    L"https://h.example/b\t\t\t\t\t0\t\n");
    const auto back = ParseHandOverText(text);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(std::tie(back[0].cookies, back[0].media, back[0].title, back[1].media), std::tie(full.cookies, full.media, full.title, plain.media));
}

TEST(HandOverText, PiecesAreWholeLinesWithinTheLimit) {
    // Wine fails a WM_COPYDATA of megabytes before the window sees it: the
    // text goes in pieces, and no piece may cut a line (a link) in two.
    const struct { std::wstring text; size_t max; std::vector<std::wstring> pieces; } cases[] = {
        {L"ab\ncd\nef\n", 6, {L"ab\ncd\n", L"ef\n"}},
        {L"a\nlonger line\nb\n", 4, {L"a\n", L"longer line\n", L"b\n"}},  // a longer line goes alone
        {L"ab\ncd", 4, {L"ab\n", L"cd"}}};
    for (const auto& c : cases) EXPECT_EQ(SplitHandOverText(c.text, c.max), c.pieces) << ::testing::PrintToString(c.text);
    // (100,000 links through Wine's WM_COPYDATA, all listed in order: test_gui_start.)
}

TEST(HandOverText, ControlCharactersInsideFieldsBecomeSpaces) {
    // A NUL would end the receiver's text and drop every later link.
    DownloadRequest r;
    r.url = L"https://h.example/a\tb";
    r.title = std::wstring(L"x\0y\r\nz\x1f", 7);
    DownloadRequest after;
    after.url = L"https://h.example/after";
    const auto back = ParseHandOverText(BuildHandOverText({r, after}));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].url + L"|" + back[0].title + L"|" + back[1].url, L"https://h.example/a b|x y  z |https://h.example/after");
}

JsonValue Json(const std::string& text) {
    JsonValue v;
    JsonCursor c{text.data(), text.data() + text.size()};
    ParseJson(c, v, 0);
    return v;
}

TEST(HostMessage, KindsRequestsCookiesAndReplies) {
    EXPECT_EQ(JoinCookies(Json(R"([{"name":"a","value":"1\n2"},{"name":"","value":"x"},{"name":"d"},5,{"name":"b","value":"2"}])")),
              L"d=; b=2");
    // (The kinds of message and their replies are sent to the real host in test_host_mode.)
    const auto read = [](const std::string& s) { return ReadHostMessage(s.data(), s.size()); };
    HostMessage m = read(R"({"type":"download","userAgent":"UA","items":[{"url":""},{"title":"no url"},7,
        {"url":"https://h.example/v","media":true},{"url":"https://h.example/s","media":"true",
         "cookies":[{"name":"k","value":"v"}],"referrer":"https://p/","fileName":"f","title":"t"}]})");
    ASSERT_EQ(m.kind, HostMessage::Download);
    ASSERT_EQ(m.requests.size(), 2u);
    EXPECT_TRUE(m.requests[0].media && !m.requests[1].media);  // the string "true" is not the boolean
    EXPECT_EQ(m.requests[1].cookies + m.requests[1].userAgent, L"k=vUA");
    EXPECT_TRUE(m.anyUsable);
    EXPECT_FALSE(read(R"({"type":"download","items":[{"url":"https://h.example/v","media":true}]})").anyUsable);
    // The error is escaped into the reply.
    EXPECT_EQ(HostReplyText(false, "say \"hi\""), R"({"ok":false,"version":"1.0.0","edition":"pe","error":"say \"hi\""})");
}

TEST(CommandLine, HostModeAndLinks) {
    EXPECT_TRUE(IsHostModeCommandLine({L"tw.exe", L"CHROME-EXTENSION://abc/", L"--parent-window=0"}));
    EXPECT_TRUE(IsHostModeCommandLine({L"tw.exe", L"C:\\x\\firefox.json", L"COMPANION@TIDEWELL-PE.INVALID"}));
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
}
}  // namespace
