// The platform's ceiling: a bare WinHTTP loop that downloads one file over
// N ranged connections, 64 KiB reads written at their offsets, and prints
// the seconds it took. No engine, no limits, no state.
//
//   winhttp_loop <url> <size> <threads> <output path>
#include <windows.h>
#include <winhttp.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "engine/Url.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 5) return 2;
    zeb::UrlParts parts;
    if (!zeb::crackUrl(argv[1], parts)) return 2;
    const long long size = _wtoi64(argv[2]);
    const int threads = _wtoi(argv[3]);
    HANDLE file = CreateFileW(argv[4], GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
    HINTERNET session = WinHttpOpen(L"loop", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
    LARGE_INTEGER f, t0, t1;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t0);
    std::vector<std::thread> pool;
    for (int i = 0; i < threads; ++i) {
        pool.emplace_back([&, i] {
            const long long start = size / threads * i, end = i == threads - 1 ? size : size / threads * (i + 1);
            HINTERNET c = WinHttpConnect(session, parts.host.c_str(), parts.port, 0);
            HINTERNET r = WinHttpOpenRequest(c, L"GET", parts.pathAndQuery.c_str(), nullptr, nullptr, nullptr, 0);
            const std::wstring range = L"Range: bytes=" + std::to_wstring(start) + L"-" + std::to_wstring(end - 1);
            WinHttpSendRequest(r, range.c_str(), static_cast<DWORD>(-1), nullptr, 0, 0, 0);
            WinHttpReceiveResponse(r, nullptr);
            std::vector<char> buffer(65536);
            long long pos = start;
            DWORD got = 0;
            while (WinHttpReadData(r, buffer.data(), 65536, &got) && got > 0) {
                OVERLAPPED at{};
                at.Offset = static_cast<DWORD>(pos);
                at.OffsetHigh = static_cast<DWORD>(pos >> 32);
                DWORD written = 0;
                WriteFile(file, buffer.data(), got, &written, &at);
                pos += got;
            }
            WinHttpCloseHandle(r);
            WinHttpCloseHandle(c);
        });
    }
    for (auto& t : pool) t.join();
    QueryPerformanceCounter(&t1);
    CloseHandle(file);
    WinHttpCloseHandle(session);
    std::printf("seconds=%.3f\n", static_cast<double>(t1.QuadPart - t0.QuadPart) / f.QuadPart);
    return 0;
}
