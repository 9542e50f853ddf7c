// The cost of one queue tick with 1000 rows and the list-file writes of a
// steady phase (progress flowing, no state changes), for bench/run.sh.
//
//   queue_tick <server origin> <data folder> <download folder>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "store/FileServices.h"
#include "store/List.h"
#include "store/ListFile.h"

namespace {
struct QuietWindow : ListWindow {
    void SetStatus(const std::wstring&) override {}
    void ShowError(const std::wstring&) override {}
    bool Confirm(const ConfirmQuestion&) override { return true; }
    FinishedRemoval AskFinishedRemoval(const std::wstring&) override { return FinishedRemoval::Cancel; }
    void ScrollIntoView(int) override {}
    void UpdateScrollRange() override {}
    void ResetHover() override {}
    void RepaintList() override {}
    void RepaintStatus() override {}
    void RefreshDetails() override {}
    void CloseDetailsIfShowing(const zeb::Download*) override {}
    void ShowFreeSpace(uint64_t) override {}
    void Beep() override {}
    // As the window does, after the tick: see TimeTicks.
    void ContinueListTextSoon() override { continueDue = true; }
    bool continueDue = false;
};

struct TickTimes {
    double mean = 0, worst = 0;  // ms
    int writes = 0;              // ticks after which the list file was newer
};

// `ticks` timer steps 300 ms apart, as the window runs them, each followed
// by the slices of a list text it began, each its own message (and step).
TickTimes TimeTicks(DownloadList& list, QuietWindow& window, int ticks, const std::wstring& listPath);

FILETIME WriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA d{};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &d);
    return d.ftLastWriteTime;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) return 2;
    const std::wstring server = argv[1], data = argv[2], folder = argv[3];
    const std::wstring listPath = data + L"\\downloads.lst";
    // 997 paused rows from a list file, as after a restart.
    std::vector<DownloadInfo> rows;
    for (int i = 0; i < 997; ++i) {
        DownloadInfo r;
        r.url = server + L"/file/row" + std::to_wstring(i) + L".bin?size=1000000";
        r.folder = folder;
        r.fileName = L"row" + std::to_wstring(i) + L".bin";
        r.nameFixed = true;
        r.totalSize = 1000000;
        r.doneBytes = 1000 * i;
        r.state = DownloadState::Paused;
        rows.push_back(r);
    }
    WriteFileAtomic(listPath, ListFileText(rows));
    std::wstring folderSetting = folder;
    int32_t connections = 4, maxDownloads = 3;
    bool ignoreCert = false;
    QuietWindow window;
    DownloadList list(window, listPath, QueueSettings{&folderSetting, &connections, &maxDownloads, &ignoreCert});
    list.Load();
    // Three running downloads keep progress flowing.
    for (int i = 0; i < 3; ++i) {
        DownloadRequest r;
        r.url = server + L"/file/flow" + std::to_wstring(i) + L".bin?size=400000000&rate=2000000";
        list.AddDownload(r, folder);
    }
    for (int i = 0; i < 20; ++i) {  // let them reach Downloading
        list.QueueTick();
        Sleep(100);
    }
    const int ticks = 40;  // 12 s of 300 ms ticks
    const TickTimes steady = TimeTicks(list, window, ticks, listPath);
    LARGE_INTEGER f, a, b;
    QueryPerformanceFrequency(&f);
    int64_t done = 0;
    for (const ListEntry& e : list.Entries()) done += e.cached.state == DownloadState::Downloading ? e.cached.doneBytes : 0;
    std::printf("rows=%zu ticks=%d mean_ms=%.3f worst_ms=%.3f list_writes=%d running_bytes=%lld\n", list.Entries().size(),
                ticks, steady.mean, steady.worst, steady.writes, static_cast<long long>(done));
    // A browser hand-over of 100,000 links onto those rows, as one batch.
    std::vector<DownloadRequest> batch(100000);
    for (size_t i = 0; i < batch.size(); ++i)
        batch[i].url = server + L"/file/batch" + std::to_wstring(i) + L".bin?size=10";
    QueryPerformanceCounter(&a);
    list.AddRequests(batch);
    QueryPerformanceCounter(&b);
    std::printf("hand_over_links=%zu rows=%zu add_ms=%.1f\n", batch.size(), list.Entries().size(),
                (b.QuadPart - a.QuadPart) * 1000.0 / f.QuadPart);
    // The tick with that many rows (three of them running).
    const TickTimes crowded = TimeTicks(list, window, 10, listPath);
    std::printf("rows=%zu ticks=10 mean_ms=%.1f worst_ms=%.1f\n", list.Entries().size(), crowded.mean, crowded.worst);
    // Eight small downloads start and finish among them: each change of a
    // row's state saves the list. The worst step (a tick, or a slice of the
    // list text after it: each a message of the window's) is, timed from
    // inside, the longest a message waits meanwhile; bench/answer.py times
    // the window's answer from outside.
    list.PauseAll();
    maxDownloads = 8;
    for (int i = 0; i < 8; ++i) {
        DownloadRequest r;
        r.url = server + L"/file/small" + std::to_wstring(i) + L".bin?size=100000&rate=200000";
        list.AddDownload(r, folder);
    }
    const TickTimes changing = TimeTicks(list, window, 10, listPath);
    std::printf("rows=%zu ticks=10 (8 small downloads start and finish) mean_ms=%.1f worst_ms=%.1f list_writes=%d\n",
                list.Entries().size(), changing.mean, changing.worst, changing.writes);
    list.Exit();
    return 0;
}

namespace {
TickTimes TimeTicks(DownloadList& list, QuietWindow& window, int ticks, const std::wstring& listPath) {
    LARGE_INTEGER f, a, b;
    QueryPerformanceFrequency(&f);
    TickTimes t;
    FILETIME last = WriteTime(listPath);
    for (int i = 0; i < ticks; ++i) {
        QueryPerformanceCounter(&a);
        list.QueueTick();
        QueryPerformanceCounter(&b);
        double ms = (b.QuadPart - a.QuadPart) * 1000.0 / f.QuadPart;
        t.mean += ms / ticks;
        while (window.continueDue) {  // each slice a message of its own
            window.continueDue = false;
            QueryPerformanceCounter(&a);
            list.ContinueListText();
            QueryPerformanceCounter(&b);
            ms = std::max(ms, (b.QuadPart - a.QuadPart) * 1000.0 / f.QuadPart);
        }
        if (ms > t.worst) t.worst = ms;
        const FILETIME now = WriteTime(listPath);
        if (CompareFileTime(&now, &last) != 0) ++t.writes;
        last = now;
        Sleep(300);
    }
    return t;
}
}  // namespace
