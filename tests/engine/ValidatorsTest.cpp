// A resume never stitches two versions of a file together: the version the
// partial file holds is recorded and held against the server's, and every
// ranged request asks for that version only (If-Range).
#include "DownloadTestSupport.h"

#include "engine/ErrorTexts.h"
#include "engine/Samples.h"
#include "engine/StateFile.h"
#include "engine/Validator.h"

namespace {
constexpr int64_t MiB = 1048576;
using Validators = JobTest;

// Starts the job, pauses it once a MiB is in and queues it again; what it kept.
int64_t StartAndPause(const std::shared_ptr<zeb::Download>& job) {
    job->start(4, false);
    const int64_t kept = JobTest::PauseAfter(job, MiB);
    job->requeue();
    return kept;
}

TEST(Validator, StrongTagsAndTheVersionRule) {
    EXPECT_EQ(zeb::strongEtag(L" \"abc\" ") + zeb::strongEtag(L"W/\"abc\""), L"\"abc\"");  // weak: the bytes may differ
    using V = zeb::VersionVerdict;
    using K = zeb::ValidatorKind;
    const zeb::Validator none, tagA{L"\"a\"", L"Mon"}, tagB{L"\"b\"", L"Mon"}, dateOnly{L"", L"Tue"}, tagOnly{L"\"a\"", L""};
    // Catches a resume let through on size alone where no validator kind is shared (only the bytes can tell).
    const struct { zeb::Validator recorded, now; V verdict; K contradicted; } cases[] = {
        {none, tagA, V::Unknown, K::None}, {tagA, tagB, V::Different, K::Etag}, {tagA, dateOnly, V::Different, K::Modified},
        {tagOnly, dateOnly, V::Unknown, K::None}, {tagA, tagOnly, V::Same, K::None}};
    for (const auto& c : cases)
        EXPECT_EQ(std::make_pair(zeb::compareVersions(c.recorded, c.now), zeb::disagreement(c.recorded, c.now)),
                  std::make_pair(c.verdict, c.contradicted)) << ::testing::PrintToString(c.recorded.etag + c.recorded.modified + L"/" + c.now.etag + c.now.modified);
    EXPECT_EQ(zeb::ifRangeValue(tagA) + zeb::ifRangeValue(dateOnly), L"\"a\"Tue");
    // A state file from before validators loads, with none recorded.
    zeb::Validator recorded{L"x", L"y"};
    ASSERT_TRUE(zeb::parseStateText("ZEBSTATE 1\r\nurl=https://h/f\r\ntotal=10\r\nseg=0,10,0\r\n", L"https://h/f", 10, &recorded));
    EXPECT_TRUE(recorded.empty());
}

TEST(ByteSamples, TheLargestDoneRangesTailAndABitAtThePickedDoneBytePastTheHead) {
    // Catches samples of bytes that are not on disk, or past a range's end, and a picked sample
    // in the file's head (versions of an image often share it) while done bytes lie past it.
    using zeb::kSampleBytes;
    const std::vector<Segment> table = {Segment{0, MiB, 300000}, Segment{MiB, 2 * MiB, 2 * MiB}, Segment{2 * MiB, 3 * MiB, 2 * MiB + 10}};
    const std::vector<Segment> headOnly = {Segment{0, 4 * MiB, 300000}};
    const struct { const std::vector<Segment>& table; uint64_t pick; std::vector<zeb::ByteSpan> samples; } cases[] = {
        {table, 5, {{2 * MiB - kSampleBytes, kSampleBytes}, {MiB + 5, kSampleBytes}}},
        {table, MiB + 3, {{2 * MiB - kSampleBytes, kSampleBytes}, {2 * MiB, 10}}},   // a short range whole
        {table, MiB - 10, {{2 * MiB - kSampleBytes, kSampleBytes}}},                // moved back inside: the same bytes once
        {headOnly, 5, {{300000 - kSampleBytes, kSampleBytes}, {5, kSampleBytes}}},  // nothing past the head: anywhere
    };
    for (const auto& c : cases) EXPECT_EQ(zeb::chooseSamples(c.table, c.pick), c.samples) << c.pick;
    EXPECT_TRUE(zeb::chooseSamples({Segment{0, MiB, 0}}, 7).empty());
}

TEST_F(Validators, APausedFileReplacedStartsOverAsTheNewVersionAndAnUnchangedOneResumes) {
    // A strong tag or a date raises the question whether the server still has the paused
    // version, and samples of the bytes decide it: the second version starts over, the same
    // bytes resume from the saved ranges. Catches: a farm whose nodes tag one file differently
    // losing the partial data at each resume (twice here, the second as a program restart that
    // reads what the state file kept); a sample answered with another range than asked taken
    // for a changed file; with a weak tag or none, an If-Range sent.
    const struct { const wchar_t* name; const wchar_t* query; bool replaced, ifRange; int pauses; } cases[] = {
        {L"etag", L"validators=etag&replace_from=2", true, true, 1},
        {L"date", L"validators=date&replace_from=2", true, true, 1},
        {L"weak", L"validators=weak", false, false, 1},
        {L"none", L"validators=none", false, false, 1},
        {L"wrong-range", L"validators=none&fault=badstart&fault_phase=2&times=1", false, false, 1},
        {L"farm", L"validators=etag&etag_nodes=2&node_by=phase", false, true, 2},
    };
    for (const auto& c : cases) {
        token_ += c.name;  // the server counts probes (its versions) per token
        const std::wstring name = std::wstring(L"paused-") + c.name + L".bin";
        SCOPED_TRACE(::testing::PrintToString(name));
        auto job = Job(FileUrl(name, 4 * MiB, std::wstring(L"rate=2000000&") + c.query));
        int64_t kept = StartAndPause(job);
        if (c.pauses == 2) {
            job->start(4, false);
            kept = PauseAfter(job, kept + MiB);
            job = std::make_shared<zeb::Download>(job->snapshot(false));  // what a restart loads from the list
            jobs_.push_back(job);
            job->requeue();
        }
        ASSERT_EQ(Run(job, 4), DownloadState::Completed);
        ExpectContent(name, 4 * MiB, c.replaced ? 8 : 7);  // the second version only, or the one version
        EXPECT_EQ(job->snapshot(false).notice, c.replaced ? zeb::changedOnServerText() : L"");
        // Unchanged, it resumed and did not start over: what was sent before the pause is not sent again.
        EXPECT_TRUE(c.replaced || SentBytes() < 4 * MiB + kept) << SentBytes();
        EXPECT_EQ(WorkerRequests().withIfRange > 0, c.ifRange);
    }
}

TEST_F(Validators, AnAnswerThatContradictsTheVersionIsJudgedByItsBytes) {
    // Catches: a swap served by a host that ignores If-Range stitched into the file (the 206s
    // carry the new validator, or only the new date); a farm whose nodes tag the same bytes
    // differently failed as "keeps changing"; a 200 to If-Range with the same bytes taken for a change;
    // a new version that begins like the old one stitched to it (its first bytes alone decided); a
    // sample asked beside the contradicting answer on a host that serves one connection.
    const struct { const wchar_t* name; const wchar_t* query; int connections; bool pauseFirst; uint32_t seed; bool restarted; int64_t head = 0; } cases[] = {
        {L"swap.bin", L"validators=etag&ifrange=ignore&replace_after=3", 4, false, 8, true},
        {L"swap-date.bin", L"validators=both&validators206=date&ifrange=ignore&replace_after=3", 4, false, 8, true},
        {L"farm.bin", L"validators=etag&etag_nodes=2", 8, false, 7, false},
        {L"whole.bin", L"validators=etag&fault=range200&fault_phase=2&times=1", 4, true, 7, false},
        // Replaced right after the resume's probe by a version with the same first 256 KiB, on a
        // server that honours If-Range: its whole answer begins like the disk, the rest does not.
        {L"head.bin", L"validators=both&replace_from=2&after_probe=1&same_head=262144", 4, true, 8, true, 262144},
        // A host that serves one connection: the sample of a contradicting answer goes in that
        // answer's place, never beside it (the host refused that one every time).
        {L"one-place.bin", L"validators=etag&etag_nodes=2&ifrange=ignore&limit=1&refuse=429&fault=drop&after=1572864&times=2", 1, false, 7, false}};
    for (const auto& c : cases) {
        token_ += L"q";
        auto job = Job(FileUrl(c.name, 4 * MiB, std::wstring(L"rate=2000000&") + c.query));
        if (c.pauseFirst) StartAndPause(job);
        ASSERT_EQ(Run(job, c.connections), DownloadState::Completed) << ::testing::PrintToString(c.name);
        ExpectContent(c.name, 4 * MiB, c.seed, c.head);
        EXPECT_EQ(job->snapshot(false).notice, c.restarted ? zeb::changedOnServerText() : L"") << ::testing::PrintToString(c.name);
    }
}

TEST_F(Validators, AFileReplacedWhileDownloadingStartsOverOnceThenFailsIfItKeepsChanging) {
    // The file changes after the probe and the first requests: the ranges
    // asked for from then on come whole, and the job starts over once.
    auto job = Job(FileUrl(L"moving.bin", 4 * MiB, L"rate=2000000&replace_after=3&validators=etag"));
    ASSERT_EQ(Run(job, 4), DownloadState::Completed);
    ExpectContent(L"moving.bin", 4 * MiB, 8);
    EXPECT_EQ(job->snapshot(false).notice, zeb::changedOnServerText());
    // Every ranged request carries If-Range but the byte samples (which ask for what is there now).
    size_t ranged = 0, unguarded = 0;
    for (const JsonValue& r : Log().elements) {
        const std::string range = Header(r, "Range");
        if (range == "<none>" || range == "bytes=0-0") continue;
        ++ranged;
        const size_t dash = range.find('-');
        const bool sample = std::stoll(range.substr(dash + 1)) - std::stoll(range.substr(6, dash - 6)) < zeb::kSampleBytes;
        unguarded += Header(r, "If-Range") == "<none>" && !sample;
    }
    EXPECT_EQ(std::make_pair(ranged > 4, unguarded), std::make_pair(true, size_t{0}));
    auto restless = Job(FileUrl(L"restless.bin", 4 * MiB, L"rate=2000000&versions_every=3&validators=etag"));
    ASSERT_EQ(Run(restless, 4), DownloadState::Failed);
    EXPECT_EQ(restless->snapshot(false).errorText, zeb::keepsChangingText());
}

TEST_F(Validators, ANewLinkGoesOnFromThePartialDataOnlyWhenItServesTheSameFile) {
    // The link (its server gives an ETag only) expires (403) halfway; a mirror of the same
    // file finishes what is missing, another file starts over and says why. A mirror that
    // gives only a date shares no validator kind: byte samples decide (catches the old
    // resume on size alone, which stitched another file of the same size); a busy answer to
    // a sample is asked again rather than failing the row.
    const int64_t size = 4 * MiB;
    const struct { int64_t size; uint32_t seed; const wchar_t* validators; } mirrors[] = {
        {size, 7, L"etag"}, {size + 1, 7, L"etag"}, {size, 7, L"date&busy=1&busy_after=1"}, {size, 9, L"date"}};
    for (const auto& m : mirrors) {
        token_ += L"m";
        const std::wstring name = L"mirror" + std::to_wstring(m.size) + m.validators + std::to_wstring(m.seed) + L".bin";
        auto job = Job(FileUrl(name, size, L"rate=2000000&validators=etag&gone_from=2"));
        const int64_t kept = StartAndPause(job);
        ASSERT_EQ(Run(job, 4), DownloadState::Failed);  // expired
        token_ += L"-new";
        const std::wstring mirror = FileUrl(L"elsewhere.bin", m.size, std::wstring(L"validators=") + m.validators, m.seed);
        ASSERT_TRUE(job->changeLink(mirror));
        EXPECT_NE(Read(name + L".zebstate").find(Utf16ToUtf8(mirror)), std::string::npos);
        job->requeue();
        ASSERT_EQ(Run(job, 4), DownloadState::Completed) << ::testing::PrintToString(name);
        ExpectContent(name, m.size, m.seed);
        // The same file: only what was missing, the probe's one byte and the samples (where
        // they decided); another: all of it, and why.
        const bool same = m.size == size && m.seed == 7;
        const int64_t samples = std::wstring(m.validators).starts_with(L"date") ? SentBytes() - (same ? size - kept + 1 : m.size + 1) : 0;
        EXPECT_EQ(std::make_pair(SentBytes() - samples, job->snapshot(false).notice),
                  std::make_pair(same ? size - kept + 1 : m.size + 1, same ? std::wstring() : zeb::newLinkDifferentFileText()));
        EXPECT_TRUE(samples >= 0 && samples <= 2 * zeb::kSampleBytes) << samples;
    }
}
}  // namespace
