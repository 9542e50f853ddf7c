// The published checksum list read in each of its forms, and the one we
// write in the form sha256sum -c reads back.
#include <gtest/gtest.h>

#include <cctype>

#include "engine/SumsFile.h"

namespace {
using namespace zeb;
const std::string kHex = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
const std::wstring kWide(kHex.begin(), kHex.end()), kOther = L"ca978112ca1bbdcafac231b39a23dc4da786eff8147c4e72b9807785afee48bb";

TEST(SumsFile, EachFormGivesTheNameAsWritten) {
    // Catches the binary "*" kept in the name, a BSD name cut at its first ")", escapes left as written
    // (or a plain line unescaped), upper-case digits kept, CR LF ends kept in the name.
    std::string upper = kHex;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string text = "\xEF\xBB\xBF# sums\r\n" + kHex + "  iso/a.iso\r\n\r\n" + upper + " *b\\n.iso\n" +
                             "SHA256 (c (1).iso) = " + kHex + "\n\\" + kHex + "  d\\\\e\\nf\\r\n" +
                             "\\SHA256 (g\\nh) = " + kHex + "\n  " + kHex + "  \xC4\x91.iso\n";
    const SumsFile file = parseSumsFile(text);
    EXPECT_EQ(file.badLine, 0);
    const Sums expected = {{L"iso/a.iso", kWide}, {L"b\\n.iso", kWide}, {L"c (1).iso", kWide},
                           {L"d\\e\nf\r", kWide}, {L"g\nh", kWide},     {L"\x0111.iso", kWide}};
    EXPECT_EQ(file.sums, expected);
}

TEST(SumsFile, AMalformedLineRefusesTheFileNamingTheLine) {
    // Catches a file half taken, a line count that skips blank or comment lines, and each form read
    // too kindly: one space, 63 digits, a BSD line of another sum or without "=", an unknown escape,
    // bytes of another code page, and a name given twice with two sums.
    const std::string good = kHex + "  a.iso\n";
    const std::pair<std::string, int> cases[] = {
        {good + "\n# x\n" + kHex + " b.iso\n", 4},
        {good + kHex.substr(1) + "  b.iso\n", 2},
        {good + "SHA1 (b.iso) = " + kHex + "\n", 2},
        {good + "SHA256 (b.iso) " + kHex + "\n", 2},
        {good + "\\" + kHex + "  b\\t.iso\n", 2},
        {"\r\n" + kHex + "  \xE9.iso\r\n", 2},
        {good + kHex + "  c.iso\n" + std::string(kOther.begin(), kOther.end()) + " *a.iso\n", 3},
        {good + kHex + "  \n", 2},
    };
    for (const auto& [text, line] : cases) {
        const SumsFile file = parseSumsFile(text);
        EXPECT_EQ(std::make_pair(file.badLine, file.sums.size()), std::make_pair(line, size_t{0})) << text;
    }
    EXPECT_EQ(parseSumsFile(good + good).sums.size(), 1u);  // the same line twice is no conflict
}

TEST(SumsFile, WrittenTextIsWhatSha256sumReads) {
    // Catches Windows separators or line ends, and a name with a line feed or backslash written
    // plainly, which sha256sum -c reads as another file. (The expected lines are sha256sum's own
    // output for such names.) The text also reads back to the same entries.
    const Sums sums = {{L"iso/a b.iso", kWide}, {L"c\\d", kOther}, {L"e\nf", kWide}, {L"\x0111", kWide}};
    const std::string other(kOther.begin(), kOther.end());
    EXPECT_EQ(sumsFileText(sums), "\\" + other + "  c\\\\d\n\\" + kHex + "  e\\nf\n" + kHex + "  iso/a b.iso\n" + kHex +
                                      "  \xC4\x91\n");
    const SumsFile back = parseSumsFile(sumsFileText(sums));
    EXPECT_EQ(std::make_pair(back.badLine, back.sums), std::make_pair(0, sums));
}
}  // namespace
