// Links taken apart, redirects resolved, and the strict number of headers and files.
#include "engine/Url.h"

#include <gtest/gtest.h>

#include "engine/StrictNumber.h"

namespace {
using zeb::UrlParts;

TEST(CrackUrl, SplitsHttpAndHttpsAndRefusesTheRest) {
    const struct { const wchar_t* url; bool secure; const wchar_t* host; uint16_t port; const wchar_t* path; } cases[] = {
        {L"http://example.com/a/b.iso?x=1#frag", false, L"example.com", 80, L"/a/b.iso?x=1"},
        {L"https://example.com", true, L"example.com", 443, L"/"}, {L"https://example.com#top", true, L"example.com", 443, L"/"},
        {L"HTTPS://Example.COM:8443/x", true, L"Example.COM", 8443, L"/x"},
        {L"http://127.0.0.1:8080/?q=a#b#c", false, L"127.0.0.1", 8080, L"/?q=a"},
        {L"http://user:pw@host/file", false, L"host", 80, L"/file"},
        {L"https://example.com?x=1", true, L"example.com", 443, L"/?x=1"},
        {L"http://example.com?x=1#f", false, L"example.com", 80, L"/?x=1"}};
    for (const auto& c : cases) {
        UrlParts p;
        ASSERT_TRUE(zeb::crackUrl(c.url, p)) << ::testing::PrintToString(std::wstring(c.url));
        EXPECT_EQ(std::tie(p.secure, p.host, p.port, p.pathAndQuery),
                  std::make_tuple(c.secure, std::wstring(c.host), c.port, std::wstring(c.path)));
    }
    for (const wchar_t* url : {L"https://#frag", L"ftp://example.com/file", L"file:///C:/x", L"http://", L"http:///path", L"",
                               L"example.com/x", L"javascript:alert(1)"}) {
        UrlParts p;
        p.host = L"unchanged";
        EXPECT_FALSE(zeb::crackUrl(url, p) || p.host != L"unchanged") << ::testing::PrintToString(std::wstring(url));
    }
}

TEST(ResolveRedirect, AgainstAPortAQueryAndTheDefaultPorts) {
    const UrlParts current{false, L"h.example", 8080, L"/dir/page?x=1"};
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"/other?y=2", L"http://h.example:8080/other?y=2"}, {L"next.bin", L"http://h.example:8080/dir/next.bin"},
        {L"?z=3", L"http://h.example:8080/dir/page?z=3"}, {L"//cdn.example/f", L"http://cdn.example/f"},
        {L"https://elsewhere/f", L"https://elsewhere/f"}, {L"ftp://elsewhere/f", L"ftp://elsewhere/f"},
        {L"  /trimmed \r\n", L"http://h.example:8080/trimmed"},
        {L"../up", L"http://h.example:8080/dir/../up"},          // dot segments are not folded
        {L"a/b://c", L"http://h.example:8080/dir/a/b://c"},      // "://" after a slash is not a scheme
        {L"", L""}, {L" \t", L""}};
    for (const auto& [location, result] : cases)
        EXPECT_EQ(zeb::resolveRedirect(location, current), result) << ::testing::PrintToString(std::wstring(location));
    const UrlParts secure{true, L"s.example", 443, L"file"};  // no slash at all
    EXPECT_EQ(zeb::resolveRedirect(L"/x", secure), L"https://s.example/x");
    EXPECT_EQ(zeb::resolveRedirect(L"y", secure), L"https://s.example/y");
    // https's default port on http is not a default.
    EXPECT_EQ(zeb::resolveRedirect(L"/x", UrlParts{false, L"p.example", 443, L"/"}), L"http://p.example:443/x");
}

TEST(StrictNumber, DigitsOnlyAfterTrimming) {
    const std::pair<const wchar_t*, int64_t> good[] = {
        {L"0", 0}, {L" \t1048576\r\n", 1048576}, {L"999999999999999999", 999999999999999999LL}, {L"000000000000000001", 1}};
    for (const auto& [text, value] : good) EXPECT_EQ(ParseStrictNumber(text), value);
    for (const wchar_t* bad : {L"", L"  ", L"-1", L"+1", L"1 2", L"12a", L"0x10", L"1.5", L"1234567890123456789", L"\x0661"})
        EXPECT_FALSE(ParseStrictNumber(bad)) << ::testing::PrintToString(std::wstring(bad));
}
}  // namespace
