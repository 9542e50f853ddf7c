// What an answer's headers say about mirrors and about the file's sum.
#include <gtest/gtest.h>

#include "engine/MirrorHeaders.h"

namespace {
using namespace zeb;

std::wstring Joined(const std::vector<std::wstring>& links) {
    std::wstring all;
    for (const std::wstring& link : links) all += link + L" ";
    return all;
}

TEST(MirrorHeaders, DuplicatesAreSafeLinksInPriOrder) {
    const std::wstring https = L"https://a.example/pub/f.iso", http = L"http://a.example/pub/f.iso";
    std::wstring eleven;
    for (int i = 0; i < 11; ++i) eleven += L"<https://m" + std::to_wstring(i) + L".example/f>; rel=duplicate,";
    const struct {
        std::vector<std::wstring> values;
        std::wstring answer, mirrors;
    } cases[] = {
        // A relative target fetched as written, or resolved against the host's root or the wrong scheme.
        {{L"</b/f.iso>; rel=duplicate, <g.iso>; rel=duplicate, <//m.example/f.iso#x>; rel=duplicate"}, https,
         L"https://a.example/b/f.iso https://a.example/pub/g.iso https://m.example/f.iso "},
        // pri read as text ("10" before "2"), links without pri put first, a second header line lost.
        {{L"<https://m1.example/f>; rel=duplicate; pri=2, <https://m2.example/f>; rel=duplicate",
          L"<https://m3.example/f>; REL=duplicate; pri=10, <https://m4.example/f>; rel=duplicate; PRI=\"1\""}, https,
         L"https://m4.example/f https://m1.example/f https://m3.example/f https://m2.example/f "},
        // A hostile list that is not cut at ten.
        {{eleven}, https, Joined({L"https://m0.example/f", L"https://m1.example/f", L"https://m2.example/f",
                                  L"https://m3.example/f", L"https://m4.example/f", L"https://m5.example/f",
                                  L"https://m6.example/f", L"https://m7.example/f", L"https://m8.example/f",
                                  L"https://m9.example/f"})},
        // An https download continued over plain http; a file: link read as a path; a password sent on.
        {{L"<http://m.example/f>; rel=duplicate, <HTTPS://n.example/f>; rel=duplicate"}, https, L"https://n.example/f "},
        {{L"<http://m.example/f>; rel=duplicate, <https://n.example/f>; rel=duplicate"}, http,
         L"http://m.example/f https://n.example/f "},
        {{L"<file:/etc/f>; rel=duplicate, <ftp://m.example/f>; rel=duplicate, <https://ann:pw@m.example/f>; rel=duplicate"},
         https, L""},
        // rel compared whole or in one letter case; other relations taken for mirrors.
        {{L"<https://m.example/f>; rel=\"describedby Duplicate\", <https://n.example/f>; rel=describedby; pri=1"}, https,
         L"https://m.example/f "},
        // Garbage that crashes, swallows the next link or lends it a mirror; a bad pri that drops the
        // link; the answer itself (or its folder, for "#top"), a repeat or another resource's
        // duplicate (anchor) kept.
        {{L"garbage; rel=duplicate, <https://n.example/f>; rel=duplicate; title=\"a, <b>\"; rel=other",
          L"<https://p.example/f>; rel=duplicate; pri=-1, <https://a.example/pub/f.iso>; rel=duplicate, <#top>; rel=duplicate, <",
          L"<https://n.example/f>; rel=duplicate, <https://q.example/f>; rel=duplicate; anchor=\"/x\", <https://r.example/f>; rel=\"duplicate"},
         https, L"https://n.example/f https://p.example/f "},
    };
    for (const auto& c : cases) EXPECT_EQ(Joined(duplicateLinks(c.values, c.answer)), c.mirrors) << c.values[0];
}

TEST(MirrorHeaders, StatedDigestIsTheStrongestReadableOne) {
    const std::wstring sha256 = L"47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=", sha1 = L"2jmj7l5rSw0yVb/vlWAYkK/YBwk=",
                       md5 = L"1B2M2Y8AsgTpgAmY7PhCfg==", otherSha256 = L"ypeBEsobvcr6wjGzmiPcTaeG7/gUfE5yuYB3ha/uSLs=";
    const std::wstring hex256 = L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855",
                       hex1 = L"da39a3ee5e6b4b0d3255bfef95601890afd80709", hexMd5 = L"d41d8cd98f00b204e9800998ecf8427e";
    const struct {
        std::wstring repr, digest, hex;
    } cases[] = {
        // Digest preferred to Repr-Digest; the first member taken rather than the strongest.
        {L"md5=:" + md5 + L":, sha-256=:" + sha256 + L":;x=1", L"SHA-256=" + otherSha256, hex256},
        // Names compared in one case; "SHA" not read as SHA-1; an unregistered "sha-1" read as SHA-1.
        {L"", L"MD5=" + md5 + L",SHA=" + sha1, hex1},
        {L"", L"sha-1=hvfkN/qlp/zhXR3cuerq6jd2Z7g=, md5=" + md5, hexMd5},
        // A sum decoded around a foreign character or without its padding: other bytes, a good file failed.
        {L"", L"SHA-256=" + sha256.substr(0, 12) + L"." + sha256.substr(13) + L", MD5=" + md5, hexMd5},
        {L"", L"SHA-256=" + sha256.substr(0, 43) + L", MD5=" + md5, hexMd5},
        // A SHA-1 taken as a SHA-256 by its name alone.
        {L"sha-256=:" + sha1 + L":", L"", L""},
        // A Repr-Digest that is no structured field (upper-case key) read anyway.
        {L"SHA-256=:" + otherSha256 + L":", L"sha-256=" + sha256, hex256},
        // A kind we cannot check taken for a sum, or a member its later namesake overrides.
        {L"sha-256=:" + sha256 + L":, sha-512=:" + sha256 + L":, sha-256=?1", L"md5=" + md5, hexMd5},
    };
    for (const auto& c : cases) EXPECT_EQ(statedDigest(c.repr, c.digest), c.hex) << c.repr << L" | " << c.digest;
}
}  // namespace
