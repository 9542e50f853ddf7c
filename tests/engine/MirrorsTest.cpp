// One file from several servers: real jobs against the loopback test server,
// each mirror logged under a token of its own.
#include "DownloadTestSupport.h"

#include "engine/Checksum.h"

namespace {
constexpr int64_t KiB = 1024, MiB = 1048576;

class Mirrors : public JobTest {
protected:
    // The file at the server under a mirror's own token; `host` may name the
    // loopback another way, so that the mirror is another host to the job.
    std::wstring MirrorUrl(const std::wstring& mirror, int64_t size, const std::wstring& query = L"",
                           const std::wstring& host = L"") const {
        std::wstring url = FileUrl(L"m.bin", size, query);
        url.replace(url.find(L"token=" + token_), 6 + token_.size(), L"token=" + token_ + mirror);
        if (!host.empty()) url.replace(url.find(L"127.0.0.1"), 9, host);
        return url;
    }
    // A link as a query value.
    static std::wstring Escaped(const std::wstring& text) {
        std::wstring out;
        for (const wchar_t ch : text) {
            if (ch == L'&' || ch == L'=' || ch == L'?' || ch == L'%') {
                wchar_t hex[4];
                swprintf(hex, 4, L"%%%02X", static_cast<unsigned>(ch));
                out += hex;
            } else {
                out += ch;
            }
        }
        return out;
    }
    int64_t Sent(const std::wstring& mirror) const { return Logged(token_ + mirror, "sent"); }
    static std::wstring Sum(int64_t from, int64_t to, uint32_t seed = 7) {
        const std::string bytes = ContentPiece(seed, from, to);
        zeb::Digest digest;
        digest.add(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<ULONG>(bytes.size()));
        return digest.finish();
    }
    static zeb::PieceHashes Pieces(int64_t size, int64_t length) {
        zeb::PieceHashes pieces{length, {}};
        for (int64_t at = 0; at < size; at += length) pieces.sha256.push_back(Sum(at, std::min(size, at + length)));
        return pieces;
    }
};

TEST_F(Mirrors, ComeFromEverySoundMirrorAtOnceWithTheFailingOnesDroppedAndABadPieceFetchedAgain) {
    // Catches: a link that fails ending the file while mirrors could serve it;
    // connections kept on one server; a mirror's wrong bytes written as the
    // file (or the mirror kept); a piece fetched again from the mirror that
    // spoiled it; a mirror that states another size kept.
    const int64_t size = 8 * MiB + 5;
    zeb::RequestOptions options;
    options.mirrors = {MirrorUrl(L"bad", size, L"corrupt=100000:65536"), MirrorUrl(L"c", size),
                       MirrorUrl(L"d", size, L"", L"localhost"), MirrorUrl(L"other", size, L"fault=total&total2=99")};
    options.pieces = Pieces(size, 256 * KiB);
    options.expectedSize = size;
    auto job = Job(MirrorUrl(L"gone", size, L"probe_status=404&status=404"), L"m.bin", options);
    ASSERT_EQ(Run(job, 8), DownloadState::Completed) << job->snapshot(false).errorText;
    ExpectContent(L"m.bin", size);
    EXPECT_EQ(Files(), std::vector<std::wstring>{L"m.bin"});  // no partial file, state or meta left
    const DownloadInfo info = job->snapshot(false);
    EXPECT_EQ(std::make_pair(info.sourceHosts.size(), info.sourceNotes.size()), std::make_pair(size_t{5}, size_t{3}))
        << ::testing::PrintToString(info.sourceNotes);
    EXPECT_GT(Sent(L"c"), 0);
    EXPECT_GT(Sent(L"d"), 0);
    EXPECT_GT(Sent(L"bad"), 0);  // it was asked, and its piece came again from the others
}

TEST_F(Mirrors, MirrorsAnAnswerNamesGetNoneOfTheLinksPasswordCookiesOrReferer) {
    // Catches the link's cookies, referer or password sent to a mirror a
    // Link header named (a mirror on the link's own host included).
    const int64_t size = 6 * MiB;
    const std::wstring same = MirrorUrl(L"same", size), other = MirrorUrl(L"other", size, L"need_auth=u:p");
    std::wstring link = MirrorUrl(L"link", size, L"need_auth=u:p&digest=repr&links=" + Escaped(same + L"|" + other));
    link.insert(link.find(L"127.0.0.1"), L"u:p@");
    auto job = Job(link, L"m.bin", {.referer = L"https://page.example/", .cookies = L"session=1"});
    ASSERT_EQ(Run(job, 6), DownloadState::Completed) << job->snapshot(false).errorText;
    ExpectContent(L"m.bin", size);
    EXPECT_GT(Sent(L"same"), 0);
    for (const wchar_t* mirror : {L"same", L"other"}) {
        const std::wstring token = token_ + mirror;
        JsonValue v;
        const std::string body = HttpGet(Server() + L"/_log?token=" + token);
        ParseJsonDocument(body.data(), body.size(), v);
        const JsonValue* requests = JsonFirstMember(v, "requests");
        ASSERT_TRUE(requests && !requests->elements.empty()) << ::testing::PrintToString(token);
        for (const JsonValue& r : requests->elements)
            EXPECT_EQ(Header(r, "Cookie") + Header(r, "Referer") + Header(r, "Authorization"), "<none><none><none>");
    }
    EXPECT_EQ(job->snapshot(false).sourceNotes.size(), 1u);  // the mirror that asked for a password
}

TEST_F(Mirrors, AWholeFileThatDoesNotMatchComesAgainFromOneSourceAtATimeAndIsNeverHandedOut) {
    // Catches, without piece hashes: a file stitched from a bad mirror handed
    // out, or failed while one source alone serves it whole; and a file no
    // source serves right given any name.
    const int64_t size = 8 * MiB;
    zeb::RequestOptions options;
    options.mirrors = {MirrorUrl(L"bad", size, L"corrupt=100000:65536")};
    options.checksum = Sum(0, size);
    auto job = Job(MirrorUrl(L"link", size), L"m.bin", options);
    ASSERT_EQ(Run(job, 8), DownloadState::Completed) << job->snapshot(false).errorText;
    ExpectContent(L"m.bin", size);
    EXPECT_GT(Sent(L"bad"), 0);  // the first pass had its wrong bytes
    auto spoiled = Job(MirrorUrl(L"bad2", size, L"corrupt=1:1"), L"w.bin", options);
    ASSERT_EQ(Run(spoiled, 8), DownloadState::Failed);
    EXPECT_EQ(spoiled->snapshot(false).errorKind, ErrorKind::Checksum);
    const std::vector<std::wstring> files = Files();
    EXPECT_EQ(std::count(files.begin(), files.end(), L"w.bin"), 0) << ::testing::PrintToString(files);
}

TEST_F(Mirrors, ServersThatStateAnotherSizeThanThePublisherServeAnotherFile) {
    // Catches a Metalink's size ignored: the servers' file taken for the one described.
    const int64_t size = 3 * MiB;
    zeb::RequestOptions options;
    options.mirrors = {MirrorUrl(L"b", size)};
    options.expectedSize = size + 1;
    auto job = Job(MirrorUrl(L"a", size), L"m.bin", options);
    ASSERT_EQ(Run(job, 4), DownloadState::Failed);
    EXPECT_FALSE(job->snapshot(false).errorText.empty());
    EXPECT_EQ(Files(), std::vector<std::wstring>{});
}

TEST_F(Mirrors, AResumedRowFindsItsMirrorsAndPiecesBesideItsPartialFile) {
    // Catches mirrors kept only in memory: after a restart the row (its link
    // gone meanwhile) fails although its mirrors could finish it.
    const int64_t size = 8 * MiB;
    zeb::RequestOptions options;
    options.mirrors = {MirrorUrl(L"c", size, L"rate=1000000")};
    options.pieces = Pieces(size, MiB);
    const std::wstring link = MirrorUrl(L"link", size, L"rate=1000000&gone_from=2");
    auto first = Job(link, L"m.bin", options);
    first->start(4, false);
    PauseAfter(first, 2 * MiB);
    auto stored = StoredJob(link, L"m.bin");
    ASSERT_EQ(Run(stored, 4), DownloadState::Completed) << stored->snapshot(false).errorText;
    ExpectContent(L"m.bin", size);
    EXPECT_EQ(Files(), std::vector<std::wstring>{L"m.bin"});
}

}  // namespace
