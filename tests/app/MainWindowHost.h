// A real main window in a temp data folder, opened by the program's own
// start-up path from a settings file, every message pumped through the
// program's own loop step.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "app/MainWindow.h"
#include "app/MessageLoop.h"
#include "app/StartUp.h"
#include "engine/Download.h"
#include "store/FileServices.h"
#include "store/Lang.h"
#include "store/Settings.h"
#include "support/TempFolder.h"
#include "ui/Dpi.h"
#include "ui/Fonts.h"

// A list file of rows: link (a whole one, or a name on a closed port:
// http://127.0.0.1:9/<link>), file name (none: not chosen yet), state word,
// total and done bytes. A failed row's error is "HTTP 404".
struct ListRow {
    const char *link, *file, *state;
    int total, done;
};
inline std::string ListText(std::initializer_list<ListRow> rows, const std::string& folder = "C:\\dl") {
    std::string text = "ZEBLIST 1\r\n";
    for (const ListRow& r : rows)
        text += std::string("[item]\r\nurl=") + (std::string(r.link).rfind("http", 0) ? "http://127.0.0.1:9/" : "") + r.link + "\r\nfolder=" + folder + "\r\nfile=" + r.file +
                "\r\nfixed=" + (*r.file ? "1" : "0") + "\r\ntotal=" + std::to_string(r.total) + "\r\ndone=" +
                std::to_string(r.done) + "\r\nstate=" + r.state + "\r\nerror=" +
                (std::string(r.state) == "failed" ? "HTTP 404" : "") + "\r\n";
    return text;
}

class MainWindowHost {
public:
    // Writes the list file (when given) and opens the window on it.
    bool Open(const char* list, bool clipboard) {
        if (list) WriteFileAtomic(data / L"downloads.lst", list);
        const std::string settings = "Language=" + std::string(IsVietnamese() ? "vi" : "en") +
                                     "\r\nStyle=" + (IsDarkTheme() ? "dark" : "light") + "\r\nFolder=" +
                                     Utf16ToUtf8(data / L"dl") + "\r\nClipboard=" + (clipboard ? "1" : "0") + "\r\n";
        WriteFileAtomic(data / L"settings.cfg", settings);
        LoadSettings(data.path());
        main = OpenMainWindow(GetModuleHandleW(nullptr), data.path(), SW_SHOWNORMAL, {});
        if (!main) return false;
        SetForegroundWindow(main->Handle());
        Pump(100);
        return true;
    }
    ~MainWindowHost() {
        // Rows still downloading from the test server stop before their folder goes.
        if (main) {
            main->List()->PauseAll();
            for (const ListEntry& e : main->List()->Entries()) WaitForSingleObject(e.job->finishedEvent(), 10000);
        }
        if (main && IsWindow(main->Handle())) DestroyWindow(main->Handle());
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {}  // the quit message
        SetVietnamese(true);
        SetDarkTheme(true);
        if (CurrentDpi() != 96) {
            SetCurrentDpi(96);
            BuildFonts();
        }
    }
    // Runs the program's loop step for `ms` milliseconds, or until `done` holds; tells whether it does.
    template <typename Done = bool (*)()>
    bool Pump(int ms, Done done = [] { return false; }) {
        const ULONGLONG end = GetTickCount64() + ms;
        do {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) return done();
                RunLoopStep(msg, *main);
            }
            if (done()) return true;
            Sleep(5);
        } while (GetTickCount64() < end);
        return done();
    }

    std::string SettingsFile() const { return ReadWholeFile(data / L"settings.cfg", 4096); }

    ScratchFolder data;
    std::unique_ptr<MainWindow> main;
};
