// Hosts that allow fewer connections than asked for, and busy answers: a
// download steps down to what the host serves, keeps what it asks later
// downloads to keep, waits out Retry-After, and finishes exact without
// hammering the host.
#include <gtest/gtest.h>

#include "DownloadTestSupport.h"

namespace {
int64_t Number(const JsonValue& r, const char* name) {
    const JsonValue* v = JsonFirstMember(r, name);
    return v ? static_cast<int64_t>(v->number) : -1;
}
}  // namespace

class Etiquette : public JobTest {
protected:
    // Answers other than 200 and 206 the server sent under this test's token.
    size_t Refusals() const {
        size_t n = 0;
        for (const JsonValue& r : Log().elements) n += Number(r, "status") != 200 && Number(r, "status") != 206;
        return n;
    }
};

TEST_F(Etiquette, AHostThatAllowsTwoConnectionsIsAskedForTwoAndEveryRefusalKindEndsExact) {
    // Catches a refusal taken for a failure (the download fails, or retries
    // each refused connection over and over), a refused range left undone,
    // and a limit forgotten by the next download from the same host.
    const int64_t size = 6 * 1048576;
    for (const wchar_t* refusal : {L"refuse=429&retry_after=1", L"refuse=503", L"refuse=403"}) {
        zeb::forgetHostsForTests();
        token_ += L"r";
        const std::wstring name = L"limited" + std::to_wstring(token_.size()) + L".bin";
        auto job = Job(FileUrl(name, size, L"limit=2&rate=4000000&" + std::wstring(refusal)), name);
        ASSERT_EQ(Run(job, 8), DownloadState::Completed) << job->snapshot(false).errorText;
        ExpectContent(name, size);
        EXPECT_LE(Refusals(), 8u) << ::testing::PrintToString(refusal);
        EXPECT_EQ(job->snapshot(false).hostLimit, 2);

        token_ += L"n";  // the next download from the host starts within its limit
        auto next = Job(FileUrl(L"next" + name, 1048576, L"limit=2&" + std::wstring(refusal)), L"next" + name);
        ASSERT_EQ(Run(next, 8), DownloadState::Completed);
        EXPECT_EQ(Refusals(), 0u) << ::testing::PrintToString(refusal);
    }
}

TEST_F(Etiquette, BusyAnswersToTheProbeAreAskedAgainAndRetryAfterIsWaitedOut) {
    // Catches a busy first answer failing the download, a Retry-After not
    // waited for (the next request comes at once), and one given as a date
    // read against this computer's clock instead of the answer's own Date.
    struct Case {
        const wchar_t* query;
        int64_t gapMs;  // the least time between the first two requests
    } cases[] = {
        {L"busy=2", 0},
        {L"busy=1&busy_code=429&retry_after=1", 950},
        {L"busy=1&date=Mon,%2001%20Jan%202024%2000:00:00%20GMT&retry_after=Mon,%2001%20Jan%202024%2000:00:01%20GMT", 950},
    };
    for (const Case& c : cases) {
        zeb::forgetHostsForTests();
        token_ += L"b";
        const std::wstring name = L"busy" + std::to_wstring(token_.size()) + L".bin";
        auto job = Job(FileUrl(name, 100000, c.query), name);
        ASSERT_EQ(Run(job, 2), DownloadState::Completed) << ::testing::PrintToString(c.query);
        ExpectContent(name, 100000);
        const JsonValue log = Log();
        ASSERT_GE(log.elements.size(), 2u);
        const double gap = JsonFirstMember(log.elements[1], "at")->number - JsonFirstMember(log.elements[0], "at")->number;
        EXPECT_GE(gap * 1000, static_cast<double>(c.gapMs)) << ::testing::PrintToString(c.query);
    }
}

TEST_F(Etiquette, ASignedAddressThatExpiresIsRenewedFromTheOriginalLinkWithoutLosingAByte) {
    // Catches a download that fails with the expired address's 403, and one
    // that renews by starting over (the server then sends far more than the file).
    const int64_t size = 8 * 1048576;
    const std::wstring query = L"size=" + std::to_wstring(size) + L"&seed=7&token=" + token_ +
                               L"&valid_ms=5000&rate=300000&fault=drop&after=400000&times=100000";
    auto job = Job(Server() + L"/sign/signed.bin?" + query, L"signed.bin");
    ASSERT_EQ(Run(job, 4), DownloadState::Completed) << job->snapshot(false).errorText;
    ExpectContent(L"signed.bin", size);
    const JsonValue log = Log();
    size_t signings = 0;
    for (const JsonValue& r : log.elements) signings += JsonFirstMember(r, "path")->text.rfind("/sign/", 0) == 0;
    EXPECT_GE(signings, 2u) << "renewed at least once";
    EXPECT_LE(SentBytes(log), size * 13 / 10);
}
