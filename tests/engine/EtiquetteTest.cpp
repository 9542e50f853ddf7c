// Hosts that allow fewer connections than asked for, and busy answers: a
// download steps down to what the host serves, keeps what it asks later
// downloads to keep, waits out Retry-After, and finishes exact without
// hammering the host.
#include <gtest/gtest.h>

#include "DownloadTestSupport.h"
#include "engine/ErrorTexts.h"

namespace {
int64_t Number(const JsonValue& r, const char* name) {
    const JsonValue* v = JsonFirstMember(r, name);
    return v ? static_cast<int64_t>(v->number) : -1;
}
double At(const JsonValue& r) { return JsonFirstMember(r, "at")->number; }
}  // namespace

class Etiquette : public JobTest {
protected:
    // Answers other than 200 and 206 the server sent under this test's
    // token, and the seconds from the last of them to the next answer.
    std::pair<size_t, double> Refusals() const {
        size_t n = 0;
        double last = 0, next = 1e9;
        const JsonValue log = Log();
        for (const JsonValue& r : log.elements)
            if (Number(r, "status") != 200 && Number(r, "status") != 206) ++n, last = std::max(last, At(r));
        for (const JsonValue& r : log.elements) next = At(r) > last ? std::min(next, At(r)) : next;
        return {n, next - last};
    }
};

TEST_F(Etiquette, RefusalsAndBusyAnswersEndExactWithFewRefusalsAndEveryWaitAskedFor) {
    // Catches a refusal taken for a failure (the download fails, or retries
    // each refused connection over and over), a refused range left undone, a
    // download that gives up while another one holds every place the host
    // allows (its last connection, or its probe, must wait for one), a limit forgotten by
    // the next download from the host, a busy first answer failing the
    // download, and a pause skipped: the ladder's, or a Retry-After's (on a
    // limit's refusal too), or one given as a date read against this
    // computer's clock instead of the answer's own Date, or a Retry-After kept by the download that
    // was told only (another one from the host, started while it waits, asked at once).
    // Held: another download holds both places before any limit is known (Holds), or was told to
    // wait just before (Told). Limit: the host's limit as
    // learned. Quiet: the least seconds from the last refusal to the next answer (0: not checked; with
    // connections that ask while refusals come back, a request sent before one came may follow it).
    enum class Held { No, Holds, Told };
    const struct { const wchar_t* query; Held held; int limit; double quiet; } cases[] = {
        {L"limit=2&refuse=429&retry_after=1", Held::No, 2, 0}, {L"limit=2&refuse=503", Held::No, 2, 0}, {L"limit=2&refuse=403", Held::No, 2, 0},
        // The first request is let through and the refusals come late: every connection asks before one comes back.
        {L"limit=2&free_probe=1&refuse_ms=300&refuse=503", Held::Holds, 2, 0},
        {L"limit=2&free_probe=1&refuse_ms=300&retry_after=1", Held::Holds, 2, 0.95},
        {L"limit=2&refuse=503&rate=1500000", Held::Holds, 2, 0},  // the probe refused too: it waits for a place
        {L"busy=2", Held::No, 0, zeb::retryPauseMs(2) / 1000.0}, {L"busy=1&busy_code=429&retry_after=1", Held::No, 0, 0.95},
        {L"busy=1&date=Mon,%2001%20Jan%202024%2000:00:00%20GMT&retry_after=Mon,%2001%20Jan%202024%2000:00:01%20GMT", Held::No, 0, 0.95},
        {L"busy=1&busy_code=503&retry_after=2", Held::Told, 0, 1.9},
    };
    const int64_t size = 4 * 1048576;
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.query));
        zeb::forgetHostsForTests();
        token_ += L"r";
        const std::wstring name = L"limited" + std::to_wstring(token_.size()) + L".bin", query = L"rate=4000000&" + std::wstring(c.query);
        if (c.held != Held::No) {
            Job(FileUrl(L"held" + name, size * 3 / 2, query), L"held" + name)->start(2, false);
            ASSERT_TRUE(WaitFor(jobs_.back(), [&](const DownloadInfo& i) {
                return c.held == Held::Told ? i.busySeconds > 0 : std::ranges::count(i.segments, SegmentState::Receiving, &Segment::state) == 2;
            }));
        }
        auto job = Job(FileUrl(name, size, query), name);
        ASSERT_EQ(Run(job, c.held != Held::No ? 6 : 8), DownloadState::Completed) << job->snapshot(false).errorText;
        ExpectContent(name, size);
        const auto [refusals, quiet] = Refusals();
        EXPECT_LE(refusals, 8u);
        if (c.quiet > 0) { EXPECT_GE(quiet, c.quiet); }
        EXPECT_EQ(job->snapshot(false).hostLimit, c.limit);
        if (c.limit == 0) continue;
        token_ += L"n";  // the next download from the host, of several ranges, uses its limit and no more
        ASSERT_EQ(Run(Job(FileUrl(L"next" + name, size, query), L"next" + name), 8), DownloadState::Completed);
        int64_t together = 0;
        for (const JsonValue& r : Log().elements) together = std::max(together, Number(r, "together"));
        EXPECT_EQ(std::make_pair(Refusals().first, together), std::make_pair(size_t{0}, int64_t{c.limit}));
    }
}

TEST_F(Etiquette, ASignedAddressThatExpiresIsRenewedFromTheOriginalLinkWithoutLosingAByte) {
    // Catches a download that fails with the expired address's 403, one that renews by
    // starting over (the server then sends far more than the file), and a renewed address
    // that expires in its turn taken for the host's limit (the host learns one). Addresses
    // that serve 6 requests or are valid for 5 s; past three renewals a minute (addresses
    // that serve 2 requests, then answer 410) the download fails with the refusal's own text.
    // With a limit too: the host's 503s teach it while addresses expire (their 403s are no limit).
    for (const auto& [signing, size, limit] :
         {std::tuple{L"uses=6&valid_ms=60000", int64_t{4 << 20}, 0}, {L"uses=6&valid_ms=60000&limit=2&refuse=503", int64_t{4 << 20}, 2},
          {L"valid_ms=5000", int64_t{8 << 20}, 0}, {L"uses=2&expired_status=410", int64_t{8 << 20}, 0}}) {
        zeb::forgetHostsForTests();
        token_ += L"s";
        const std::wstring name = token_ + L".bin";
        const std::wstring query = L"size=" + std::to_wstring(size) + L"&seed=7&validators=etag&token=" + token_ +
                                   L"&rate=300000&fault=drop&after=400000&times=100000&" + signing;
        auto job = Job(Server() + L"/sign/" + name + L"?" + query, name);
        const DownloadState end = Run(job, 4);
        const JsonValue log = Log();
        size_t signings = 0;
        for (const JsonValue& r : log.elements) signings += JsonFirstMember(r, "path")->text.rfind("/sign/", 0) == 0;
        if (signing[5] == L'2') {
            EXPECT_EQ(std::make_tuple(end, job->snapshot(false).errorText, signings),
                      std::make_tuple(DownloadState::Failed, zeb::httpStatusText(410), 4u));
            continue;
        }
        ASSERT_EQ(end, DownloadState::Completed) << job->snapshot(false).errorText;
        ExpectContent(name, size);
        EXPECT_EQ(std::make_pair(signings >= 2, job->snapshot(false).hostLimit), std::make_pair(true, limit)) << signing;
        EXPECT_LE(SentBytes(), size * 13 / 10);
    }
}
