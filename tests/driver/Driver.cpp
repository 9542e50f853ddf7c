// Runs one download job to its end, as the list would, and reports on
// standard output (UTF-8, one line each): first "text <key>=..." (the
// program's own sentences for a full disk, a refused proxy or server
// password and the secure failures as Wine reports them, for the tests to
// compare with), then "progress ..." every 100 ms and "end ..." when the
// job thread has finished. Used by the kill, disk, network and benchmark
// scripts.
//
//   tw_driver <url> <folder> [--name N [--fixed]] [--connections K] [--limit KB] [--fast] [--jobs J] [--seconds S] [--frozen]
//
// --frozen: finished files are not renamed, as after the exit froze renames.
// --proxy user:password@host:port (or host:port), --bypass list: the proxy setting.
// --strict: certificate errors are not ignored.
// --and URL: one more job, of its own link (beside the first).
// --row-limit KB: the first job's own speed limit; --commands: lines on
// standard input "limit KB" change it while it runs, each answered
// "limit ms=<since the start>" once applied.
#include <windows.h>
#include <psapi.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/Credentials.h"
#include "engine/Download.h"
#include "engine/ErrorTexts.h"
#include "engine/SecureFailure.h"
#include "engine/RateLimiter.h"
#include "engine/Timing.h"
#include "store/FileServices.h"

namespace {
void Print(const std::wstring& line) {
    const std::string bytes = Utf16ToUtf8(line + L"\n");
    DWORD done = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}

std::wstring Describe(const DownloadInfo& i) {
    uint32_t retries = 0;
    for (const Segment& s : i.segments) retries += s.retries;
    return L"retries=" + std::to_wstring(retries) + L" state=" + std::to_wstring(static_cast<int>(i.state)) + L" done=" + std::to_wstring(i.doneBytes) +
           L" total=" + std::to_wstring(i.totalSize) + L" fixed=" + std::to_wstring(i.nameFixed ? 1 : 0) +
           L" speed=" + std::to_wstring(static_cast<int64_t>(i.speed)) + L" clock=" + std::to_wstring(i.clockOffer) +
           L" name=" + i.fileName + L" error=" + i.errorText;
}
// The latest "limit KB" read from standard input (-1: none new).
std::atomic<int64_t> g_askedLimitKB{-1};

void ReadCommands() {
    std::string pending;
    char buffer[256];
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr) && got > 0) {
        pending.append(buffer, got);
        for (size_t eol; (eol = pending.find('\n')) != std::string::npos; pending.erase(0, eol + 1))
            if (pending.compare(0, 6, "limit ") == 0) g_askedLimitKB = _atoi64(pending.c_str() + 6);
    }
}
}  // namespace

void PrintTexts() {
    zeb::SecureFacts facts;
    facts.error = ERROR_WINHTTP_SECURE_CHANNEL_ERROR;  // as Wine reports them all
    Print(L"text diskwrite=" + zeb::diskWriteFailedText(L""));
    Print(L"text proxy-auth=" + zeb::httpStatusText(407));
    Print(L"text server-auth=" + zeb::httpStatusText(401));
    Print(L"text cert-protocol=" + zeb::secureFailureText(facts));
    facts.haveCertificate = true;
    facts.validTo = INT64_MAX;
    facts.untrusted = true;
    Print(L"text cert-untrusted=" + zeb::secureFailureText(facts));
    facts.untrusted = false, facts.otherName = true;
    Print(L"text cert-name=" + zeb::secureFailureText(facts));
}

int wmain(int argc, wchar_t** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    if (argc < 3) {
        Print(L"usage: tw_driver <url> <folder> [--name N [--fixed]] [--connections K] [--limit KB] [--fast] [--jobs J] [--seconds S]");
        return 2;
    }
    std::wstring name, proxy, bypass;
    bool fixed = false, strict = false;
    int connections = 8, jobsWanted = 1;
    double seconds = 0;  // pause every job after this long (0: run to the end)
    int64_t rowLimitKB = 0;
    bool commands = false;
    std::vector<std::wstring> more;  // --and
    for (int i = 3; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (a == L"--name" && i + 1 < argc) name = argv[++i];
        else if (a == L"--fixed") fixed = true;
        else if (a == L"--frozen") zeb::freezeFinalRenames(true);
        else if (a == L"--proxy" && i + 1 < argc) proxy = argv[++i];
        else if (a == L"--bypass" && i + 1 < argc) bypass = argv[++i];
        else if (a == L"--strict") strict = true;
        else if (a == L"--connections" && i + 1 < argc) connections = _wtoi(argv[++i]);
        else if (a == L"--limit" && i + 1 < argc) zeb::setSpeedLimit(static_cast<int64_t>(_wtoi(argv[++i])) * 1024);
        else if (a == L"--jobs" && i + 1 < argc) jobsWanted = _wtoi(argv[++i]);
        else if (a == L"--seconds" && i + 1 < argc) seconds = _wtof(argv[++i]);
        else if (a == L"--and" && i + 1 < argc) more.push_back(argv[++i]);
        else if (a == L"--row-limit" && i + 1 < argc) rowLimitKB = _wtoi(argv[++i]);
        else if (a == L"--commands") commands = true;
        else if (a == L"--fast") {
            zeb::Timing t;
            t.retryPauseBase = 10;
            t.maxRetryPause = 150;
            t.receiveTimeout = 3000;
            zeb::setTimingForTests(t);
        }
    }
    PrintTexts();
    zeb::setProxy(zeb::parseProxySetting(proxy, bypass));
    std::vector<std::shared_ptr<zeb::Download>> jobs;
    for (int j = 0; j < jobsWanted; ++j) {
        std::wstring url = argv[1];
        if (jobsWanted > 1) url += (url.find(L'?') == std::wstring::npos ? L"?job=" : L"&job=") + std::to_wstring(j);
        if (fixed) {
            DownloadInfo stored;
            stored.url = url;
            stored.folder = argv[2];
            stored.fileName = name;
            stored.nameFixed = true;
            stored.state = DownloadState::Paused;
            jobs.push_back(std::make_shared<zeb::Download>(stored));
        } else {
            jobs.push_back(std::make_shared<zeb::Download>(url, argv[2], name, zeb::RequestOptions{}));
        }
    }
    for (const std::wstring& url : more) jobs.push_back(std::make_shared<zeb::Download>(url, argv[2], L"", zeb::RequestOptions{}));
    jobs[0]->setSpeedLimit(rowLimitKB * 1024);
    if (commands) std::thread(ReadCommands).detach();  // ends with the process
    for (auto& job : jobs) job->start(connections, !strict);
    const ULONGLONG began = GetTickCount64();
    ULONGLONG lastByte = 0, lastPrint = 0;  // when job 0 had every byte (looked at every 10 ms)
    for (;;) {
        if (seconds > 0 && GetTickCount64() - began >= seconds * 1000)
            for (auto& job : jobs) job->pause();
        if (const int64_t kb = g_askedLimitKB.exchange(-1); kb >= 0) {
            jobs[0]->setSpeedLimit(kb * 1024);
            Print(L"limit ms=" + std::to_wstring(GetTickCount64() - began));
        }
        bool allEnded = true;
        for (auto& job : jobs)
            if (WaitForSingleObject(job->finishedEvent(), 0) != WAIT_OBJECT_0) allEnded = false;
        if (allEnded) break;
        if (!lastByte) {
            const DownloadInfo i = jobs[0]->snapshot(false);
            if (i.totalSize > 0 && i.doneBytes == i.totalSize) lastByte = GetTickCount64();
        }
        if (GetTickCount64() - lastPrint >= 100) {
            lastPrint = GetTickCount64();
            for (size_t j = 0; j < jobs.size(); ++j) Print(L"progress job=" + std::to_wstring(j) + L" " + Describe(jobs[j]->snapshot(true)));
        }
        Sleep(10);
    }
    const ULONGLONG ended = GetTickCount64();
    for (auto& job : jobs) job->forgetFinishedState();  // recorded here, as by the list's write
    Print(L"timing last_byte_ms=" + std::to_wstring(lastByte ? lastByte - began : 0) + L" final_ms=" + std::to_wstring(ended - began));
    PROCESS_MEMORY_COUNTERS memory{};
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    for (size_t j = 0; j < jobs.size(); ++j) Print(L"end job=" + std::to_wstring(j) + L" " + Describe(jobs[j]->snapshot(true)));
    Print(L"memory peak=" + std::to_wstring(memory.PeakWorkingSetSize));
    return 0;
}
