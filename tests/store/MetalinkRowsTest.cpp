// The rows a Metalink file becomes: a plain function of what was read and the row's folder.
#include "store/MetalinkRows.h"

#include <gtest/gtest.h>

namespace {
TEST(MetalinkRowsOf, EachFileInItsSubfolderWithItsOtherLinksAsMirrors) {
    // Catches a subfolder lost or doubled at a drive's root, the name's folders left in the
    // file name, the first link also kept as a mirror, and the piece hashes or size dropped.
    zeb::MetalinkResult read;
    read.files = {{L"a.iso", 10, L"ab", 0, {}, {L"https://one.example/a.iso"}},
                  {L"x\\y\\b.iso", 5, L"", 4, {L"p1", L"p2"}, {L"https://one.example/b.iso", L"https://two.example/b.iso"}}};
    struct Case {
        const wchar_t* folder;
        const wchar_t* sub;  // the second file's folder
    } cases[] = {{L"C:\\Downloads", L"C:\\Downloads\\x\\y"}, {L"D:\\", L"D:\\x\\y"}};
    for (const Case& c : cases) {
        const std::vector<MetalinkRow> rows = MetalinkRowsOf(read, c.folder);
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(std::make_tuple(rows[0].folder, rows[0].request.fileName, rows[0].request.checksum, rows[0].more.mirrors.size()),
                  std::make_tuple(std::wstring(c.folder), std::wstring(L"a.iso"), std::wstring(L"ab"), 0u));
        EXPECT_EQ(std::make_tuple(rows[1].folder, rows[1].request.url, rows[1].request.fileName, rows[1].more.mirrors,
                                  rows[1].more.pieces.length, rows[1].more.pieces.sha256.size(), rows[1].more.expectedSize),
                  std::make_tuple(std::wstring(c.sub), read.files[1].urls[0], std::wstring(L"b.iso"),
                                  std::vector<std::wstring>{read.files[1].urls[1]}, 4, 2u, 5));
    }
}
}  // namespace
