// Working set of a process with N idle threads: under Wine each thread
// costs about a mebibyte of its own, which the engine's figure includes.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 48;
    std::vector<std::thread> threads;
    for (int i = 0; i < n; ++i) threads.emplace_back([] { Sleep(2000); });
    Sleep(1000);
    PROCESS_MEMORY_COUNTERS m{};
    GetProcessMemoryInfo(GetCurrentProcess(), &m, sizeof m);
    std::printf("%.1f MiB\n", static_cast<double>(m.WorkingSetSize) / 1048576.0);
    for (auto& t : threads) t.join();
    return 0;
}
