// How soon 3,000 copied links are asked about and how long Add all takes,
// through a real main window with clipboard watching on, beside the list's
// own batch add of 3,000 other links (the hand-over path) in the same run.
//
//   many_links <data folder>
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/MainWindow.h"
#include "app/MessageLoop.h"
#include "app/StartUp.h"
#include "store/FileServices.h"
#include "store/Settings.h"
#include "ui/ControlText.h"

namespace {
LARGE_INTEGER g_frequency;
double Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart * 1000.0 / g_frequency.QuadPart;
}
double g_seen = 0, g_pressed = 0;

// Runs inside the question's own loop: notes when it is there and presses Add all.
void CALLBACK Look(HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = FindWindowW(L"TidewellPE.Dialog", nullptr);
    if (!dialog || g_seen) return;
    g_seen = Now();
    g_pressed = Now();
    PostMessageW(dialog, WM_COMMAND, 100, 0);
}

std::wstring Links(const wchar_t* stem) {
    std::wstring text;
    for (int i = 0; i < 3000; ++i) text += L"http://127.0.0.1:9/" + std::wstring(stem) + std::to_wstring(i) + L".bin\r\n";
    return text;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    QueryPerformanceFrequency(&g_frequency);
    const std::wstring data = argv[1];
    WriteFileAtomic(data + L"\\settings.cfg", "Clipboard=1\r\nMaxDownloads=1\r\nFolder=" + Utf16ToUtf8(data) + "\\dl\r\n");
    LoadSettings(data);
    auto main = OpenMainWindow(GetModuleHandleW(nullptr), data, SW_SHOWNORMAL, {});
    if (!main) return 1;
    SetTimer(nullptr, 0, 5, Look);
    const double start = Now();
    SetClipboardText(main->Handle(), Links(L"copied"));
    double added = 0;
    while (!added && Now() - start < 30000) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) RunLoopStep(msg, *main);
        if (main->List()->Entries().size() >= 3000) added = Now();
        Sleep(1);
    }
    std::vector<DownloadRequest> batch(3000);
    const std::wstring other = Links(L"handed");
    for (size_t i = 0, at = 0; i < batch.size(); ++i) {
        const size_t end = other.find(L"\r\n", at);
        batch[i].url = other.substr(at, end - at);
        at = end + 2;
    }
    const double before = Now();
    main->List()->AddRequests(batch);
    const double handOver = Now() - before;
    std::printf("copied_links=3000 question_ms=%.0f add_all_ms=%.0f rows=%zu\n", g_seen - start, added - g_pressed,
                main->List()->Entries().size());
    std::printf("hand_over_links=3000 add_ms=%.0f (the same batch path, no question)\n", handOver);
    main->ExitWithoutAsking();
    return 0;
}
