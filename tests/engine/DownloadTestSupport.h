// Shared pieces of the job tests: the test server's address, fast timing,
// running a job to its end and checking the bytes it left on disk.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <memory>
#include <string>
#include <vector>

#include "bridge/Json.h"
#include "engine/Download.h"
#include "engine/RateLimiter.h"
#include "engine/Timing.h"
#include "store/FileServices.h"
#include "support/Content.h"
#include "support/HttpGet.h"
#include "support/TempFolder.h"


// Timeouts and pauses short enough for tests; the ladder keeps its shape.
inline zeb::Timing FastTiming() {
    return zeb::Timing{.resolveTimeout = 3000, .connectTimeout = 3000, .sendTimeout = 3000, .receiveTimeout = 3000,
                       .retryPauseBase = 10, .maxRetryPause = 150, .monitorPeriodMs = 50, .saveIntervalSeconds = 0.3,
                       .renameRetryMs = 1500};
}

class JobTest : public ::testing::Test {
public:
    static std::string Header(const JsonValue& request, const std::string& name) {
        const JsonValue* headers = JsonFirstMember(request, "headers");
        if (!headers) return "<none>";
        for (const auto& m : headers->members)
            if (_stricmp(m.first.c_str(), name.c_str()) == 0) return m.second.text;
        return "<none>";
    }

    // Waits until the job's snapshot satisfies `ready`.
    template <typename Pred>
    static bool WaitFor(const std::shared_ptr<zeb::Download>& job, Pred ready, DWORD timeoutMs = 20000) {
        const ULONGLONG until = GetTickCount64() + timeoutMs;
        while (GetTickCount64() < until) {
            if (ready(job->snapshot(true))) return true;
            Sleep(10);
        }
        return false;
    }
    // Pauses the job once it has at least `bytes` on disk; the bytes it kept.
    static int64_t PauseAfter(const std::shared_ptr<zeb::Download>& job, int64_t bytes) {
        EXPECT_TRUE(WaitFor(job, [bytes](const DownloadInfo& i) { return i.doneBytes >= bytes; }));
        job->pause();
        EXPECT_EQ(WaitForSingleObject(job->finishedEvent(), 20000), WAIT_OBJECT_0);
        return job->snapshot(false).doneBytes;
    }
    static bool Downloading(const DownloadInfo& i) { return i.state == DownloadState::Downloading; }


protected:
    void SetUp() override {
        ASSERT_FALSE(Server().empty()) << "run through run_gtest.py";
        ASSERT_TRUE(folder_.ok());
        zeb::setTimingForTests(FastTiming());
        zeb::setSpeedLimit(0);
        zeb::forgetHostsForTests();  // every case has the same loopback host
        static int counter = 0;
        token_ = L"t" + std::to_wstring(GetCurrentProcessId()) + L"x" + std::to_wstring(++counter);
    }
    void TearDown() override {
        for (auto& job : jobs_) {
            job->pause();
            WaitForSingleObject(job->finishedEvent(), 20000);
        }
        zeb::setTimingForTests(zeb::Timing());
        zeb::setSpeedLimit(0);
    }

    // A file URL on the test server with this test's token.
    std::wstring FileUrl(const std::wstring& name, int64_t size, const std::wstring& query = L"", uint32_t seed = 7) const {
        return Server() + L"/file/" + name + L"?size=" + std::to_wstring(size) + L"&seed=" + std::to_wstring(seed) +
               L"&token=" + token_ + (query.empty() ? L"" : L"&" + query);
    }

    std::shared_ptr<zeb::Download> Job(const std::wstring& url, const std::wstring& name = L"",
                                       const zeb::RequestOptions& options = {}) {
        auto job = std::make_shared<zeb::Download>(url, folder_.path(), name, options);
        jobs_.push_back(job);
        return job;
    }

    // A row as the list file keeps it: paused, its name settled.
    std::shared_ptr<zeb::Download> StoredJob(const std::wstring& url, const std::wstring& name) {
        jobs_.push_back(std::make_shared<zeb::Download>(
            DownloadInfo{.url = url, .folder = folder_.path(), .fileName = name, .state = DownloadState::Paused, .nameFixed = true}));
        return jobs_.back();
    }

    // Starts the job and waits for its thread to end; a finish is then
    // recorded, as the list's write does.
    static DownloadState Run(const std::shared_ptr<zeb::Download>& job, int connections = 4, bool ignoreCert = false,
                             DWORD timeoutMs = 60000) {
        job->start(connections, ignoreCert);
        if (WaitForSingleObject(job->finishedEvent(), timeoutMs) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "job did not end";
            return DownloadState::Queued;
        }
        job->forgetFinishedState();
        return job->state();
    }

    std::string Read(const std::wstring& name) const { return ReadWholeFile(folder_ / name, 1u << 30); }

    // `head`: the first bytes are those of the version before (seed - 1), as the server's same_head= serves them.
    void ExpectContent(const std::wstring& name, int64_t size, uint32_t seed = 7, int64_t head = 0) const {
        const std::string got = Read(name);
        ASSERT_EQ(static_cast<int64_t>(got.size()), size) << ::testing::PrintToString(name);
        EXPECT_TRUE(got == ContentPiece(seed - 1, 0, head) + ContentPiece(seed, head, size))
            << "bytes differ in " << ::testing::PrintToString(name);
    }

    std::vector<std::wstring> Files() const {
        auto names = ScratchFolder::List(folder_.path());
        std::sort(names.begin(), names.end());
        return names;
    }

    // The requests the server logged under this test's token.
    JsonValue Log() const {
        JsonValue v;
        const std::string body = HttpGet(Server() + L"/_log?token=" + token_);
        ParseJsonDocument(body.data(), body.size(), v);
        const JsonValue* requests = JsonFirstMember(v, "requests");
        return requests ? *requests : JsonValue();
    }
    void Release() const { HttpRelease(token_); }
    // The requests logged after the probes: all of them, the ranged ones, and those of them with If-Range.
    struct Requests {
        size_t all = 0, ranged = 0, withIfRange = 0;
    };
    Requests WorkerRequests() const {
        Requests n;
        for (const JsonValue& r : Log().elements) {
            const std::string range = Header(r, "Range");
            if (range == "bytes=0-0") continue;
            ++n.all;
            n.ranged += range != "<none>";
            n.withIfRange += range != "<none>" && Header(r, "If-Range") != "<none>";
        }
        return n;
    }
    // The body bytes the server sent under this test's token.
    int64_t SentBytes() const { return Logged(token_, "sent"); }

    ScratchFolder folder_;
    std::wstring token_;
    std::vector<std::shared_ptr<zeb::Download>> jobs_;
};
