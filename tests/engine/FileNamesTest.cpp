#include "engine/FileNames.h"

#include <gtest/gtest.h>

#include <functional>

namespace {
using namespace zeb;

using Rule = std::function<std::wstring(const std::wstring&)>;
struct Case {
    std::wstring in, out;
};

// One rule over a table of inputs and the results they must give.
void ExpectEach(const Rule& rule, std::initializer_list<Case> cases) {
    for (const Case& c : cases) EXPECT_EQ(rule(c.in), c.out) << ::testing::PrintToString(c.in);
}

std::wstring Sanitize(const std::wstring& name) { return sanitizeFileName(name); }

bool HasLoneSurrogate(const std::wstring& s) {
    for (size_t i = 0; i < s.size(); ++i) {
        const bool high = s[i] >= 0xD800 && s[i] <= 0xDBFF, low = s[i] >= 0xDC00 && s[i] <= 0xDFFF;
        if (high && (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF)) return true;
        if (low && (i == 0 || s[i - 1] < 0xD800 || s[i - 1] > 0xDBFF)) return true;
    }
    return false;
}

TEST(SanitizeFileName, EveryReservedDeviceNameGetsAnUnderscore) {
    ExpectEach(Rule(Sanitize), {
        {L"con.txt", L"_con.txt"},     {L"CON", L"_CON"},           {L"prn.log", L"_prn.log"},
        {L"Aux", L"_Aux"},             {L"nul.tar.gz", L"_nul.tar.gz"},
        {L"com5.txt", L"_com5.txt"},   {L"LPT9.log", L"_LPT9.log"}, {L"com0", L"_com0"},
        {L"lpt0.x", L"_lpt0.x"},       {L"COM1", L"_COM1"},          {L"conin$", L"_conin$"},
        {L"CONOUT$.txt", L"_CONOUT$.txt"},
        {L"com\u00B9.txt", L"_com\u00B9.txt"}, {L"LPT\u00B2", L"_LPT\u00B2"}, {L"lpt\u00B3.bin", L"_lpt\u00B3.bin"},
        {L"nul .txt", L"_nul .txt"},   // Windows ignores the trailing space of the stem
        {L"com7  .dat", L"_com7  .dat"},
        // Not devices:
        {L"com10.txt", L"com10.txt"},  {L"console.txt", L"console.txt"}, {L"lpt.txt", L"lpt.txt"},
        {L"comx", L"comx"},            {L"com\u2074.txt", L"com\u2074.txt"}, {L"xcon.txt", L"xcon.txt"},
        {L" con.txt", L"_con.txt"},    // trimmed first, then checked
    });
}

TEST(SanitizeFileName, ProgramSuffixesGetAnUnderscore) {
    ExpectEach(Rule(Sanitize), {
        {L"movie.zebpart", L"movie.zebpart_"},
        {L"Movie.ZEBSTATE", L"Movie.ZEBSTATE_"},
        {L"movie.zebstate.tmp", L"movie.zebstate.tmp_"},
        {L".zebpart", L".zebpart_"},
        {L"movie.zebpart.iso", L"movie.zebpart.iso"},
        {L"movie.zebstatex", L"movie.zebstatex"},
    });
}

TEST(SanitizeFileName, CharactersComponentsAndTrimming) {
    ExpectEach(Rule(Sanitize), {
        {L"a<b>c:d\"e|f?g*h.txt", L"a_b_c_d_e_f_g_h.txt"},
        {L"dir/sub\\file.iso", L"file.iso"},
        {L"..\\..\\windows\\system32\\evil.dll", L"evil.dll"},
        {L"C:file.txt", L"C_file.txt"},
        {L"tab\there\x01.txt", L"tab_here_.txt"},
        {L"  spaced name.txt  ", L"spaced name.txt"},
        {L" name.txt \r\n", L"name.txt __"},  // control characters become "_" before the trim
        {L"name. . .", L"name"},
        {L"...", L"download"},
        {L"", L"download"},
        {L"dir/", L"download"},
        {L"\U0001F600.png", L"\U0001F600.png"},
        {L"Tải về ảnh.jpg", L"Tải về ảnh.jpg"},
    });
}

TEST(SanitizeFileName, LengthCapKeepsShortExtensions) {
    const std::wstring iso = std::wstring(296, L'x') + L".iso";
    std::wstring got = sanitizeFileName(iso);
    EXPECT_EQ(got.size(), 180u);
    EXPECT_EQ(got.substr(176), L".iso");
    // Last dot 20 units from the end: no extension is kept.
    const std::wstring longExt = std::wstring(180, L'y') + L"." + std::wstring(19, L'z');
    EXPECT_EQ(sanitizeFileName(longExt), std::wstring(180, L'y'));
    EXPECT_EQ(sanitizeFileName(std::wstring(180, L'k')), std::wstring(180, L'k'));
}

TEST(SanitizeFileName, CutNeverSplitsASurrogatePair) {
    // The pair sits at units 179-180: a cut at 180 would keep half of it.
    const std::wstring name = std::wstring(179, L'a') + L"\U0001F600" + std::wstring(50, L'b');
    const std::wstring got = sanitizeFileName(name);
    EXPECT_FALSE(HasLoneSurrogate(got));
    EXPECT_EQ(got, std::wstring(179, L'a'));
    const std::wstring withExt = std::wstring(175, L'a') + L"\U0001F600" + std::wstring(50, L'b') + L".mkv";
    const std::wstring got2 = sanitizeFileName(withExt);
    EXPECT_FALSE(HasLoneSurrogate(got2));
    EXPECT_EQ(got2, std::wstring(175, L'a') + L".mkv");
}

TEST(SanitizeFileName, CutLeavesNoTrailingDotOrSpace) {
    EXPECT_EQ(sanitizeFileName(std::wstring(179, L'a') + L"." + std::wstring(50, L'b')), std::wstring(179, L'a'));
    EXPECT_EQ(sanitizeFileName(std::wstring(177, L'a') + L"   " + std::wstring(50, L'b')), std::wstring(177, L'a'));
    EXPECT_EQ(sanitizeFileName(std::wstring(170, L'a') + L" . " + std::wstring(7, L'c') + L" " + std::wstring(30, L'd')),
              std::wstring(170, L'a') + L" . " + std::wstring(7, L'c'));
}

TEST(SanitizeFileName, GuardsStayWithinTheCap) {
    const std::wstring inputs[] = {
        L"con" + std::wstring(300, L'q') + L".txt",
        std::wstring(300, L'm') + L".zebpart",
        L"nul." + std::wstring(300, L'r'),
        std::wstring(10, L'v') + L".zebstate" + std::wstring(200, L'w') + L".tmp",
    };
    for (size_t cap : {size_t(180), size_t(40), size_t(12)}) {
        for (const std::wstring& in : inputs) {
            const std::wstring got = sanitizeFileName(in, cap);
            EXPECT_LE(got.size(), cap) << ::testing::PrintToString(in);
            EXPECT_FALSE(isReservedDeviceName(got)) << ::testing::PrintToString(got);
            EXPECT_FALSE(hasOwnSuffix(got)) << ::testing::PrintToString(got);
        }
    }
}

TEST(UniqueName, NumberGoesBeforeTheLastDot) {
    EXPECT_EQ(uniqueName(L"a.tar.gz", 2), L"a.tar (2).gz");
    EXPECT_EQ(uniqueName(L".bashrc", 1), L".bashrc (1)");
    EXPECT_EQ(uniqueName(L"noext", 3), L"noext (3)");
    EXPECT_EQ(uniqueName(L"file.iso", 0), L"file.iso");
    EXPECT_EQ(uniqueName(L"file.iso", 9999), L"file (9999).iso");
}

TEST(PercentDecode, WholeOrNothing) {
    ExpectEach(Rule(percentDecode), {
        {L"a%20b", L"a b"},
        {L"%E1%BA%A3nh.jpg", L"ảnh.jpg"},
        {L"%e1%ba%a3nh.jpg", L"ảnh.jpg"},
        {L"100%", L"100%"},
        {L"%zz.txt", L"%zz.txt"},
        {L"%41%4", L"A%4"},
        {L"bad%C3.txt", L"bad%C3.txt"},      // not UTF-8: left as received, % included
        {L"%C3%A9%FF%20x", L"%C3%A9%FF%20x"},  // one bad byte spoils the whole
        {L"ả%20b", L"ả b"},
        {L"\U0001F600%21", L"\U0001F600!"},
        {L"plain", L"plain"},
    });
    EXPECT_EQ(percentDecode(L"%00x"), std::wstring(L"\0x", 2));
}

TEST(RepairMisdecodedUtf8, BytesThatArrivedOneByOne) {
    EXPECT_EQ(repairMisdecodedUtf8(L"\u00C3\u00A1.txt"), L"á.txt");                 // C3 A1
    EXPECT_EQ(repairMisdecodedUtf8(L"\u00E1\u00BA\u00A3nh"), L"ảnh");                // E1 BA A3
    EXPECT_EQ(repairMisdecodedUtf8(L"plain.txt"), L"plain.txt");
    EXPECT_EQ(repairMisdecodedUtf8(L"\u00E1.txt"), L"\u00E1.txt");                  // E1 alone is not UTF-8
    EXPECT_EQ(repairMisdecodedUtf8(L"ảnh.jpg"), L"ảnh.jpg");                        // already decoded
}

TEST(FileNameFromContentDisposition, Forms) {
    ExpectEach(Rule(fileNameFromContentDisposition), {
        {L"attachment; filename*=UTF-8''%E1%BA%A3nh%20m%E1%BB%9Bi.jpg", L"ảnh mới.jpg"},
        {L"attachment; filename*=utf-8'vi'b%C3%A0i.pdf; filename=\"bai.pdf\"", L"bài.pdf"},
        {L"attachment; filename=\"a;b.txt\"", L"a;b.txt"},
        {L"attachment; filename*=UTF-8''; filename=\"fallback.bin\"", L"fallback.bin"},
        {L"inline; FILENAME=plain.txt; size=3", L"plain.txt"},
        {L"attachment; filename=\"unterminated.txt", L"unterminated.txt"},
        {L"attachment; filename=\"\u00C3\u00A1.txt\"", L"á.txt"},
        {L"attachment; filename=100%25.txt", L"100%.txt"},
        {L"attachment; filename*=\"UTF-8''quoted%20star.txt\"", L"quoted star.txt"},
        {L"attachment; filename=\"a\\\"b.txt\"", L"a\\"},  // no backslash escapes
        {L"attachment; filename=", L""},
        {L"attachment", L""},
        {L"", L""},
    });
}

TEST(FileNameFromUrl, LastSegment) {
    ExpectEach(Rule(fileNameFromUrl), {
        {L"https://h.example/a/b/", L"b"},
        {L"https://h.example", L""},
        {L"https://h.example/", L""},
        {L"https://h.example?x=/a", L""},
        {L"https://h.example/dir/file.iso?x=/y#z", L"file.iso"},
        {L"https://h.example/%E1%BA%A3nh.jpg", L"ảnh.jpg"},
        {L"https://h.example/a%ZZ", L"a%ZZ"},
        {L"http://h.example:8080/x.tar.gz#frag/ment", L"x.tar.gz"},
        {L"file.iso", L"file.iso"},
    });
}
}  // namespace
