#include "store/List.h"

#include <gtest/gtest.h>

namespace {
TEST(IsAcceptableLink, Admission) {
    EXPECT_FALSE(IsAcceptableLink(L"http://a/"));   // 9 units
    EXPECT_TRUE(IsAcceptableLink(L"http://a/b"));   // 10 units
    const std::wstring head = L"https://h.example/";
    EXPECT_TRUE(IsAcceptableLink(head + std::wstring(8000 - head.size(), L'x')));
    EXPECT_FALSE(IsAcceptableLink(head + std::wstring(8001 - head.size(), L'x')));
    for (const wchar_t* bad : {L"http://a/b c", L"http://a/b\tc", L"http://a/\"bc", L"http://a/<bc>", L"http://a/b\r\n",
                               L"ftp://host.example/file", L"https:///nohost", L"mailto:someone@example.com"})
        EXPECT_FALSE(IsAcceptableLink(bad)) << ::testing::PrintToString(std::wstring(bad));
    EXPECT_TRUE(IsAcceptableLink(L"HTTPS://Example.COM/Path?q=1#f"));
}
}  // namespace
