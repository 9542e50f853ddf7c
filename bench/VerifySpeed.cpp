// The verify pass over one file, as a finished job runs it: prints the
// seconds and MB/s of SHA-256 alone and of SHA-256 with MD5 beside it.
#include <windows.h>

#include <atomic>
#include <cstdio>

#include "engine/Checksum.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const std::atomic<bool> stop{false};
    for (size_t second : {size_t{0}, size_t{32}}) {
        LARGE_INTEGER f, a, b;
        ::QueryPerformanceFrequency(&f);
        ::QueryPerformanceCounter(&a);
        int64_t bytes = 0;
        zeb::FileDigests out;
        uint32_t error = 0;
        if (zeb::hashFile(argv[1], second, stop, [&](int64_t n) { bytes = n; }, out, error) != zeb::HashOutcome::Done)
            return 1;
        ::QueryPerformanceCounter(&b);
        const double s = static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
        std::printf("%s %.2f s %.0f MB/s %ls\n", second ? "sha256+md5" : "sha256", s, bytes / s / 1e6, out.sha256.c_str());
    }
    return 0;
}
