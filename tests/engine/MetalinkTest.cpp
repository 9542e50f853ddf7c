// Metalink files read into plain data: both versions read right, and
// hostile or broken ones refused whole, each with its own kind of fault.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/ErrorTexts.h"
#include "engine/Metalink.h"

namespace {
using namespace zeb;
using Strings = std::vector<std::wstring>;

std::string H(char c) { return std::string(64, c); }
std::wstring W(const std::string& s) { return std::wstring(s.begin(), s.end()); }
std::string V4(const std::string& inside) { return "<metalink xmlns=\"urn:ietf:params:xml:ns:metalink\">" + inside + "</metalink>"; }
std::string File(const std::string& name, const std::string& body) { return "<file name=\"" + name + "\">" + body + "</file>"; }
const std::string kUrl = "<url>https://m.example/a.iso</url>";

// Catches: links tried in the file's order instead of by priority (missing
// last, ties stable), upper-case or other kinds of hash taken, pieces lost,
// subfolders or device names passed through raw, and a foreign element or
// a file:, ftp:, password-carrying or line-breaking link kept.
TEST(Metalink, Version4ReadsHashesPiecesAndLinksByPriority) {
    const std::string xml = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!-- mirrors -->\n"
        "<metalink xmlns=\"urn:ietf:params:xml:ns:metalink\" xmlns:x=\"urn:example:other\">\n"
        " <file name='iso/debian.iso'><size> 2500 </size>\n"
        "  <hash type=\"sha-1\">" + std::string(40, '9') + "</hash><hash type=\"sha-256\">" + std::string(64, 'A') + "</hash>\n"
        "  <pieces length=\"1000\" type=\"sha-256\"><hash>" + H('b') + "</hash><hash>" + H('c') + "</hash><hash>" + H('d') +
        "</hash></pieces>\n"
        "  <url>https://c.example/last</url><url priority=\"2\">http://b.example/two</url>\n"
        "  <url priority=\"1\" location=\"de\">https://a.example/one?x=1&amp;y=&#x32;</url>\n"
        "  <url priority=\"2\">https://b2.example/two-again</url><url priority=\"1\">file:///c:/a.iso</url>\n"
        "  <url priority=\"1\">ftp://f.example/a.iso</url><url priority=\"1\">https://ann:pw@p.example/a.iso</url>\n"
        "  <url priority=\"1\">https://s.example/a\nHost: x</url>\n"
        "  <metaurl mediatype=\"torrent\">https://t.example/a.torrent</metaurl>\n"
        " </file>\n <x:file name=\"foreign\"/>\n"
        " <file name=\"sub/dir/nul.txt\"><url><![CDATA[https://a.example/n.txt?a&b]]></url></file>\n</metalink>\n";
    const MetalinkResult r = parseMetalink(xml);
    ASSERT_EQ(r.fault, MetalinkFault::None) << r.line;
    ASSERT_EQ(r.files.size(), 2u);
    const MetalinkFile& iso = r.files[0];
    EXPECT_EQ(iso.name, L"iso\\debian.iso");
    EXPECT_EQ(iso.size, 2500);
    EXPECT_EQ(iso.sha256, W(H('a')));
    EXPECT_EQ(iso.pieceLength, 1000);
    EXPECT_EQ(iso.pieceSha256, (Strings{W(H('b')), W(H('c')), W(H('d'))}));
    EXPECT_EQ(iso.urls, (Strings{L"https://a.example/one?x=1&y=2", L"http://b.example/two", L"https://b2.example/two-again",
                                 L"https://c.example/last"}));
    EXPECT_EQ(r.files[1].name, L"sub\\dir\\_nul.txt");
    EXPECT_EQ(r.files[1].size, -1);
    EXPECT_EQ(r.files[1].sha256, L"");
    EXPECT_EQ(r.files[1].urls, Strings{L"https://a.example/n.txt?a&b"});
}

// Catches: preference read as Metalink 4's priority (lower first), hashes
// looked for outside <verification>, the "sha256" spelling missed, and
// numbered pieces taken out of order.
TEST(Metalink, Version3ReadsVerificationAndLinksByPreference) {
    const std::string xml = "<metalink version=\"3.0\" xmlns=\"http://www.metalinker.org/\"><files><file name=\"tool.zip\">"
        "<size>10</size><verification><hash type=\"md5\">" + std::string(32, '1') + "</hash><hash type=\"sha256\">" +
        H('e') + "</hash><pieces length=\"4\" type=\"sha256\"><hash piece=\"0\">" + H('1') + "</hash><hash piece=\"1\">" +
        H('2') + "</hash><hash piece=\"2\">" + H('3') + "</hash></pieces></verification><resources>"
        "<url type=\"http\">http://none.example/t.zip</url><url type=\"http\" preference=\"10\">http://low.example/t.zip</url>"
        "<url type=\"http\" preference=\"90\">https://high.example/t.zip</url></resources></file></files></metalink>";
    const MetalinkResult r = parseMetalink(xml);
    ASSERT_EQ(r.fault, MetalinkFault::None) << r.line;
    ASSERT_EQ(r.files.size(), 1u);
    EXPECT_EQ(r.files[0].name, L"tool.zip");
    EXPECT_EQ(r.files[0].size, 10);
    EXPECT_EQ(r.files[0].sha256, W(H('e')));
    EXPECT_EQ(r.files[0].pieceLength, 4);
    EXPECT_EQ(r.files[0].pieceSha256, (Strings{W(H('1')), W(H('2')), W(H('3'))}));
    EXPECT_EQ(r.files[0].urls, (Strings{L"https://high.example/t.zip", L"http://low.example/t.zip", L"http://none.example/t.zip"}));
}

struct Hostile {
    const char* fault;  // what a reader that took this would do wrong
    std::string xml;
    MetalinkFault expected;
    int line = 0;  // the line an XML fault is reported on; 0: not checked
};

// Catches any hostile or broken file read in part: each is refused with
// its own kind, no file at all is returned, and the sentence shown for it
// names the file at fault.
TEST(Metalink, HostileAndBrokenFilesAreRefusedWhole) {
    const std::string ok = File("a.iso", kUrl);
    std::string deep;
    for (int i = 0; i < 100; ++i) deep = "<x>" + deep + "</x>";
    const std::vector<Hostile> table = {
        {"billion laughs: nested entities grow memory without end",
         "<?xml version=\"1.0\"?>\n<!DOCTYPE m [<!ENTITY a \"aaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]><metalink>&b;</metalink>",
         MetalinkFault::Doctype, 2},
        {"external entity: reads a local file into the document",
         "<!DOCTYPE m [<!ENTITY x SYSTEM \"file:///c:/windows/win.ini\">]>" + V4(File("a.iso", "<url>https://m.example/&x;</url>")),
         MetalinkFault::Doctype},
        {"an unknown named entity passed through or dropped", V4(File("a.iso", "<url>https://m.example/&nbsp;</url>")),
         MetalinkFault::Entity},
        {"a character reference to no character", V4(File("a&#xD800;.iso", kUrl)), MetalinkFault::Entity},
        {"a name climbing out with ../", V4(File("x/../../evil.exe", kUrl)), MetalinkFault::BadName},
        {"a name climbing out with ..\\", V4(File("..\\evil.exe", kUrl)), MetalinkFault::BadName},
        {"a name with a drive", V4(File("C:evil.exe", kUrl)), MetalinkFault::BadName},
        {"a name from the root", V4(File("/windows/evil.exe", kUrl)), MetalinkFault::BadName},
        {"a name with an empty segment", V4(File("a//b.iso", kUrl)), MetalinkFault::BadName},
        {"a file with no name", V4("<file>" + kUrl + "</file>"), MetalinkFault::BadName},
        {"a bad second file leaves the first one returned", V4(ok + File("../b.iso", kUrl)), MetalinkFault::BadName},
        {"two files written to one place", V4(ok + File("A.ISO", kUrl)), MetalinkFault::RepeatedName},
        {"a 50 MB input read whole", V4(ok) + std::string(50 << 20, ' '), MetalinkFault::TooLarge},
        {"a file: link fetched", V4(File("a.iso", "<url>file:///c:/a.iso</url>")), MetalinkFault::NoUsableUrl},
        {"a link's password used", V4(File("a.iso", "<url>https://u:p@m.example/a</url>")), MetalinkFault::NoUsableUrl},
        {"pieces that do not cover the size",
         V4(File("a.iso", "<size>2500</size><pieces length=\"1000\" type=\"sha-256\"><hash>" + H('b') + "</hash><hash>" + H('c') +
                               "</hash></pieces>" + kUrl)),
         MetalinkFault::BadPieces},
        {"a piece hash that is no SHA-256",
         V4(File("a.iso", "<pieces length=\"4\" type=\"sha-256\"><hash>" + std::string(40, 'b') + "</hash></pieces>" + kUrl)),
         MetalinkFault::BadPieces},
        {"a short SHA-256", V4(File("a.iso", "<hash type=\"sha-256\">" + std::string(63, 'a') + "</hash>" + kUrl)),
         MetalinkFault::BadHash},
        {"a negative size", V4(File("a.iso", "<size>-1</size>" + kUrl)), MetalinkFault::BadSize},
        {"a size with trailing text", V4(File("a.iso", "<size>12kB</size>" + kUrl)), MetalinkFault::BadSize},
        {"truncated XML", V4(ok).substr(0, 60), MetalinkFault::Malformed},
        {"mismatched tags", "<metalink>\n<file name=\"a.iso\"><url>\nhttps://m.example/a</file></url></metalink>",
         MetalinkFault::Malformed, 3},
        {"text after the root", V4(ok) + "x", MetalinkFault::Malformed},
        {"invalid UTF-8", V4(File("a\xC3\x28.iso", kUrl)), MetalinkFault::NotUtf8},
        {"an overlong \"/\" in UTF-8", V4(File("a\xC0\xAF..\xC0\xAF" "b", kUrl)), MetalinkFault::NotUtf8},
        {"nesting without end exhausting the stack", V4(deep + ok), MetalinkFault::TooDeep},
        {"another XML document taken for a Metalink", "<html><file name=\"a.iso\"/></html>", MetalinkFault::NotMetalink},
        {"a Metalink of no file", V4(""), MetalinkFault::NoFiles},
    };
    for (const Hostile& c : table) {
        const MetalinkResult r = parseMetalink(c.xml);
        EXPECT_EQ(r.fault, c.expected) << c.fault;
        EXPECT_TRUE(r.files.empty()) << c.fault;
        if (c.line) {
            EXPECT_EQ(r.line, c.line) << c.fault;
        }
        const std::wstring text = metalinkErrorText(r);
        EXPECT_FALSE(text.empty()) << c.fault;
        EXPECT_NE(text.find(r.file), std::wstring::npos) << c.fault;
    }
}

}  // namespace
