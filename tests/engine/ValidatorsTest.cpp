// A resume never stitches two versions of a file together: the version the
// partial file holds is recorded and held against the server's, and every
// ranged request asks for that version only (If-Range).
#include "DownloadTestSupport.h"

#include "engine/ErrorTexts.h"
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
    const zeb::Validator none, tagA{L"\"a\"", L"Mon"}, tagB{L"\"b\"", L"Mon"}, dateOnly{L"", L"Tue"};
    EXPECT_TRUE(zeb::sameVersion(none, tagA) && zeb::sameVersion(tagA, none));  // nothing to compare: resume as before
    EXPECT_FALSE(zeb::sameVersion(tagA, tagB));     // the tag decides, the date agreeing or not
    EXPECT_FALSE(zeb::sameVersion(tagA, dateOnly)); // no tag now: the dates differ
    EXPECT_EQ(zeb::ifRangeValue(tagA) + zeb::ifRangeValue(dateOnly), L"\"a\"Tue");
    // A state file from before validators loads, with none recorded.
    zeb::Validator recorded{L"x", L"y"};
    ASSERT_TRUE(zeb::parseStateText("ZEBSTATE 1\r\nurl=https://h/f\r\ntotal=10\r\nseg=0,10,0\r\n", L"https://h/f", 10, &recorded));
    EXPECT_TRUE(recorded.empty());
}

TEST_F(Validators, APausedFileReplacedStartsOverAsTheNewVersionAndAnUnchangedOneResumes) {
    // A strong tag or a date tells the second version of the file from the first; with a
    // weak tag or none there is no If-Range, and the pause resumes from the saved ranges.
    for (const auto& [validators, replaced] : {std::pair{L"etag", true}, {L"date", true}, {L"weak", false}, {L"none", false}}) {
        token_ += validators;  // the server counts probes (its versions) per token
        const std::wstring name = std::wstring(L"paused-") + validators + L".bin";
        auto job = Job(FileUrl(name, 4 * MiB, std::wstring(L"rate=2000000&validators=") + validators +
                                                  (replaced ? L"&replace_from=2" : L"")));
        const int64_t kept = StartAndPause(job);
        ASSERT_EQ(Run(job, 4), DownloadState::Completed) << ::testing::PrintToString(name);
        ExpectContent(name, 4 * MiB, replaced ? 8 : 7);  // the second version only, or the one version
        EXPECT_EQ(job->snapshot(false).notice, replaced ? zeb::changedOnServerText() : L"") << ::testing::PrintToString(name);
        // Unchanged, it resumed and did not start over: what was sent before the pause is not sent again.
        EXPECT_TRUE(replaced || (SentBytes(Log()) < 4 * MiB + kept && WorkerRequests().withIfRange == 0)) << ::testing::PrintToString(name);
    }
}

TEST_F(Validators, AFileReplacedWhileDownloadingStartsOverOnceThenFailsIfItKeepsChanging) {
    // The file changes after the probe and the first requests: the ranges
    // asked for from then on come whole, and the job starts over once.
    auto job = Job(FileUrl(L"moving.bin", 4 * MiB, L"rate=2000000&replace_after=3&validators=etag"));
    ASSERT_EQ(Run(job, 4), DownloadState::Completed);
    ExpectContent(L"moving.bin", 4 * MiB, 8);
    EXPECT_EQ(job->snapshot(false).notice, zeb::changedOnServerText());
    const Requests asked = WorkerRequests();
    EXPECT_EQ(std::make_pair(asked.ranged > 4, asked.withIfRange), std::make_pair(true, asked.ranged));
    auto restless = Job(FileUrl(L"restless.bin", 4 * MiB, L"rate=2000000&versions_every=3&validators=etag"));
    ASSERT_EQ(Run(restless, 4), DownloadState::Failed);
    EXPECT_EQ(restless->snapshot(false).errorText, zeb::keepsChangingText());
}

TEST_F(Validators, ANewLinkGoesOnFromThePartialDataOnlyWhenItServesTheSameFile) {
    // The link expires (403) halfway; a mirror of the same file finishes
    // what is missing, a mirror with another size starts over and says why.
    const int64_t size = 4 * MiB;
    for (const int64_t mirrorSize : {size, size + 1}) {
        token_ += L"m";
        const std::wstring name = L"mirror" + std::to_wstring(mirrorSize) + L".bin";
        auto job = Job(FileUrl(name, size, L"rate=2000000&validators=etag&gone_from=2"));
        const int64_t kept = StartAndPause(job);
        ASSERT_EQ(Run(job, 4), DownloadState::Failed);  // expired
        token_ += L"-new";
        const std::wstring mirror = FileUrl(L"elsewhere.bin", mirrorSize, L"validators=etag");
        ASSERT_TRUE(job->changeLink(mirror));
        EXPECT_NE(Read(name + L".zebstate").find(Utf16ToUtf8(mirror)), std::string::npos);
        job->requeue();
        ASSERT_EQ(Run(job, 4), DownloadState::Completed) << ::testing::PrintToString(name);
        ExpectContent(name, mirrorSize);
        // The same file: only what was missing (and the probe's one byte); another: all of it, and why.
        const bool same = mirrorSize == size;
        EXPECT_EQ(std::make_pair(SentBytes(Log()), job->snapshot(false).notice),
                  std::make_pair(same ? size - kept + 1 : mirrorSize + 1, same ? std::wstring() : zeb::newLinkDifferentFileText()));
    }
}
}  // namespace
