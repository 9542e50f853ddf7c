#include "bridge/HandOver.h"

#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "bridge/HostMessage.h"

namespace {
TEST(HandOverText, FieldsRoundTripWithControlCharactersAsSpaces) {
    // A NUL would end the receiver's text and drop every later link. (The text's pieces
    // within the limit: 100,000 links through Wine's WM_COPYDATA in test_gui_start.)
    DownloadRequest r{.url = L"https://h.example/a\tb", .referrer = L"https://page.example/", .userAgent = L"UA/1",
                      .cookies = L"a=1; b=2", .title = std::wstring(L"x\0y\r\nz\x1f", 7), .media = true};
    const auto back = ParseHandOverText(BuildHandOverText({r, DownloadRequest{.url = L"https://h.example/after"}}));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].url + L"|" + back[0].title + L"|" + back[0].referrer + L"|" + back[0].userAgent + L"|" + back[0].cookies + L"|" +
                  back[1].url, L"https://h.example/a b|x y  z |https://page.example/|UA/1|a=1; b=2|https://h.example/after");
    EXPECT_TRUE(back[0].media && !back[1].media);
}

TEST(HostMessage, KindsRequestsCookiesAndReplies) {
    // (The kinds of message and their replies are sent to the real host in test_host_mode.)
    const auto read = [](const std::string& s) { return ReadHostMessage(s.data(), s.size()); };
    HostMessage m = read(R"({"type":"download","userAgent":"UA","items":[{"url":""},{"title":"no url"},7,
        {"url":"https://h.example/v","media":true},{"url":"https://h.example/s","media":"true","referrer":"https://p/","fileName":"f",
         "title":"t","cookies":[{"name":"a","value":"1\n2"},{"name":"","value":"x"},{"name":"d"},5,{"name":"k","value":"v"}]}]})");
    ASSERT_EQ(m.kind, HostMessage::Download);
    ASSERT_EQ(m.requests.size(), 2u);
    EXPECT_TRUE(m.requests[0].media && !m.requests[1].media);  // the string "true" is not the boolean
    EXPECT_EQ(m.requests[1].cookies + m.requests[1].userAgent, L"d=; k=vUA");  // a broken line or no name: no cookie
    EXPECT_TRUE(m.anyUsable);
    // Catches a message of streams only (and links of other schemes) taken as usable: the
    // browser would hear "ok" for links the program skips.
    EXPECT_FALSE(read(R"({"type":"download","items":[{"url":"https://h.example/v","media":true},{"url":"ftp://h.example/f"}]})").anyUsable);
}

TEST(CommandLine, HostModeAndLinks) {
    // (Both browsers' ways of starting the host: test_host_mode.) A link is never taken for them.
    EXPECT_FALSE(IsHostModeCommandLine({L"tw.exe", L"https://h.example/chrome-extension://"}));
    EXPECT_FALSE(IsHostModeCommandLine({L"chrome-extension://x/", L"https://h.example/a"}));  // argument 0 is the program
    const auto links = LinkArguments({L"tw.exe", L"https://h.example/a.iso", L"--flag", L"ftp://x/y", L"http://h.example/b"});
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[1].url, L"http://h.example/b");
}
}  // namespace

