// Every finished file is fingerprinted, and checked against the checksum its
// link or the Add form gave: a wrong one never reaches the final name, and
// its next start downloads again. The reference digests come from Python's
// hashlib over the test server's bytes, not from the provider under test.
#include "DownloadTestSupport.h"

#include "engine/Checksum.h"
#include "engine/Sha256.h"
#include "engine/ErrorTexts.h"

namespace {
using Checksums = JobTest;

// Seed 7, more than one 4 MiB read.
constexpr int64_t kSize = 5 * 1048576 + 777;
const std::wstring kSha256 = L"e6d576635aa6f8e7273523b66e068332326eea48863a13ffddbff6fa882daa7b";
const std::wstring kSha1 = L"741e29f9f0205607584a82e9340ad917794c5e04";
const std::wstring kMd5 = L"d6549bf79f10abd4a544721aa8cd0814";
std::wstring g_heldState;  // a state file another program holds open while it is verified
FileHandle g_held;
}  // namespace

TEST(Checksum, Sha256OnTheProcessorsInstructionsGivesTheStandardDigestsHoweverTheBytesCome) {
    // Catches a wrong round, schedule or padding, and bytes lost between two adds.
    if (!zeb::Sha256::available()) GTEST_SKIP() << "this processor has no SHA instructions";
    const std::string million(1000000, 'a');
    const struct { std::string text; const char* digest; } vectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {million, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}};
    for (const auto& v : vectors)
        for (size_t piece : {v.text.size() + 1, size_t{1}, size_t{63}, size_t{65}, size_t{4099}}) {
            zeb::Sha256 sha;
            for (size_t at = 0; at < v.text.size(); at += piece)
                sha.add(reinterpret_cast<const unsigned char*>(v.text.data()) + at, std::min(piece, v.text.size() - at));
            std::string hex;
            for (unsigned char b : sha.finish()) hex += "0123456789abcdef"[b >> 4], hex += "0123456789abcdef"[b & 15];
            EXPECT_EQ(hex, v.digest) << v.text.size() << " bytes in pieces of " << piece;
        }
}

TEST(Checksum, TheLinkFragmentAndTheTypedText) {
    const std::wstring sha = std::wstring(64, L'A'), sha1 = std::wstring(40, L'b'), md5 = std::wstring(32, L'C');
    const std::pair<std::wstring, std::wstring> links[] = {
        {L"https://h/f.iso#sha256=" + sha, std::wstring(64, L'a')}, {L"https://h/f.iso#Md5=" + md5, std::wstring(32, L'c')},
        {L"https://h/f.iso#sha256=" + sha1, L""}, {L"https://h/f.iso#crc32=" + md5, L""}};  // digits of another kind, another kind
    // (The link without its fragment is the same download: ListTest's admission.)
    for (const auto& [link, expected] : links) EXPECT_EQ(zeb::checksumOfLink(link), expected) << ::testing::PrintToString(link);
    EXPECT_EQ(zeb::normalChecksum(L" " + md5 + L"\t"), std::wstring(32, L'c'));
    for (const std::wstring& bad : {std::wstring(31, L'a'), std::wstring(32, L'x')})
        EXPECT_FALSE(zeb::normalChecksum(bad)) << ::testing::PrintToString(bad);
}

TEST_F(Checksums, RightDigestsFinishAndTheFileSha256IsRecorded) {
    for (const auto& [name, fragment, typed] : {std::tuple{L"right1.bin", L"#sha256=" + kSha256, std::wstring()},
                                                {L"right2.bin", L"#md5=" + kMd5, L""}, {L"right3.bin", L"", kSha1}}) {
        auto job = Job(FileUrl(name, kSize) + fragment, name, {.checksum = typed});
        ASSERT_EQ(Run(job), DownloadState::Completed) << job->snapshot(false).errorText;
        ExpectContent(name, kSize);
        EXPECT_EQ(job->snapshot(false).sha256, kSha256);
    }
}

TEST_F(Checksums, ADownloadWithoutRangesThatStartsOverSumsItsLastAttemptOnly) {
    // Catches a sum fed across attempts: without ranges a dropped connection starts over at
    // byte 0, here from a file replaced after the first attempt, and the sum must be of the
    // bytes on disk (the last attempt's), not partly of the first's.
    const std::string sum = HttpGet(Server() + L"/_sha256?seed=8&size=" + std::to_wstring(kSize));
    auto job = Job(FileUrl(L"again.bin", kSize, L"ranges=0&fault=drop&after=3000000&times=1&replace_after=2&rate=4000000") + L"#sha256=" +
                       std::wstring(sum.begin(), sum.end()), L"again.bin");
    ASSERT_EQ(Run(job), DownloadState::Completed) << job->snapshot(false).errorText;
    ExpectContent(L"again.bin", kSize, 8);
}

TEST_F(Checksums, TheSumFedWhileDownloadingCoversTheBytesOnDiskAcrossSplitsRetriesAndAResume) {
    // Catches a sum that skips or repeats bytes (pieces out of order, the splits at the end, a retried range),
    // or one kept across a pause: a byte changed in the partial file while the program was
    // not running must reach the sum, and the expected checksum catches it. And a sum that
    // is not fed while the bytes come: most of the file must be summed by the last byte.
    const int64_t size = 24 * 1048576;
    static int64_t summedByTheEnd = -1;
    zeb::Timing t = zeb::timing();
    t.whileVerifying = [](int64_t summed) { summedByTheEnd = summedByTheEnd < 0 ? summed : summedByTheEnd; };
    zeb::setTimingForTests(t);
    const std::string sum = HttpGet(Server() + L"/_sha256?seed=7&size=" + std::to_wstring(size));
    const std::wstring expected(sum.begin(), sum.end());
    for (const bool changed : {false, true}) {
        token_ += L"s";
        const std::wstring name = changed ? L"changed.bin" : L"fed.bin";
        auto job = Job(FileUrl(name, size, L"rate=3000000&fault=drop&after=300000&times=3") + L"#sha256=" + expected, name);
        job->start(4, false);
        PauseAfter(job, 8 * 1048576);
        uint32_t retries = 0;
        for (const Segment& s : job->snapshot(true).segments) retries += s.retries;
        EXPECT_GT(retries, 0u) << "the ranges were retried";
        if (changed) {  // the first byte, on disk since the first piece
            std::string part = Read(name + L".zebpart");
            part[0] = static_cast<char>(part[0] ^ 1);
            ASSERT_TRUE(WriteFileAtomic(folder_ / (name + L".zebpart"), part));
        }
        job->requeue();
        const DownloadInfo end = (Run(job, 4), job->snapshot(true));
        EXPECT_EQ(std::make_tuple(end.state, end.sha256, end.errorText.empty()),
                  changed ? std::make_tuple(DownloadState::Failed, std::wstring(), false)
                          : std::make_tuple(DownloadState::Completed, expected, true)) << ::testing::PrintToString(name);
        if (!changed) { EXPECT_GE(summedByTheEnd, size / 2); }
    }
}

TEST_F(Checksums, AWrongDigestFailsUnderThePartialNameAndItsResumeDownloadsAgain) {
    // Also catches a state that another program held while it was to be deleted: its
    // "every byte is here" made each later start verify the same bad bytes again.
    const std::wstring wrong = L"0" + kSha256.substr(1);
    zeb::Timing t = zeb::timing();
    t.whileVerifying = [](int64_t) {
        if (!g_held && !g_heldState.empty())
            g_held.reset(CreateFileW(g_heldState.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    };
    zeb::setTimingForTests(t);
    for (const std::wstring name : {L"wrong.bin", L"held.bin"}) {
        auto job = Job(FileUrl(name, kSize) + L"#sha256=" + wrong, name);
        g_heldState = name == L"held.bin" ? folder_ / (name + L".zebstate") : L"";
        for (int run = 1; run <= 2; ++run) {
            const int64_t sentBefore = SentBytes();
            if (run == 2) job->requeue();
            ASSERT_EQ(Run(job), DownloadState::Failed);
            const bool held = static_cast<bool>(g_held);
            EXPECT_EQ(job->snapshot(false).errorText, held ? zeb::stateDeleteFailedText(zeb::systemErrorText(ERROR_SHARING_VIOLATION))
                                                           : zeb::checksumMismatchText(wrong, kSha256));
            EXPECT_TRUE(job->snapshot(false).sha256.empty());
            std::vector<std::wstring> left = {name + L".zebpart"};
            if (held) left.push_back(name + L".zebstate");
            if (name == L"held.bin") left.push_back(L"wrong.bin.zebpart");
            EXPECT_EQ(Files(), left);
            EXPECT_GE(SentBytes() - sentBefore, kSize);  // the whole file again, not a rename of the old data
            g_held.reset(), g_heldState.clear();
        }
    }
}
