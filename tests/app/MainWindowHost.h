// A real main window in a temp data folder, opened by the program's own
// start-up path from a settings file, every message pumped through the
// program's own loop step; and the fixtures the window tests share.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/MainWindow.h"
#include "app/MessageLoop.h"
#include "app/StartUp.h"
#include "engine/Download.h"
#include "store/FileServices.h"
#include "store/Lang.h"
#include "store/Settings.h"
#include "support/DialogScript.h"
#include "support/HttpGet.h"
#include "support/TempFolder.h"
#include "ui/ControlText.h"
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
            for (const ListEntry& e : main->List()->Entries())
                if (e.job && e.job->running()) WaitForSingleObject(e.job->finishedEvent(), 10000);
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

// The window tests' fixture: a main window on a list of rows in each state, the
// list view's geometry, and commands whose dialogs a script answers.
class ShellTest : public ::testing::Test, public MainWindowHost {
protected:
    // Finished; paused from a link (with a password) that keeps sending once resumed (a
    // closed port could fail the job between two presses); paused; failed without a name
    // yet. Or no list.
    void OpenRows(bool rows = true, bool clipboard = true) {
        std::wstring link = Server() + L"/file/a.bin?size=100000000&rate=100000";
        const std::string flowing = Utf16ToUtf8(link.insert(link.find(L"//") + 2, L"ann:Tide-s3cret@"));
        const std::string list = ListText({{"done.bin", "done.bin", "completed", 10, 10}, {flowing.c_str(), "a.bin", "paused", 100, 50},
                                           {"b.bin", "b.bin", "paused", 100, 20}, {"c.bin", "", "failed", -1, 0}});
        ASSERT_TRUE(Open(rows ? list.c_str() : nullptr, clipboard));
    }
    DownloadState State(int row) const {
        const ListEntry& e = main->List()->Entries()[static_cast<size_t>(row)];
        return e.job ? e.job->state() : e.cached.state;
    }
    LRESULT ToList(UINT message, POINT p) { return SendMessageW(main->ListViewWindow(), message, 0, MAKELPARAM(p.x, p.y)); }
    RECT Row(int row) const {
        RECT c;
        GetClientRect(main->ListViewWindow(), &c);
        return RowRect(row, c.right, main->View().Scroll().position, main->View().Scroll().content > main->View().Scroll().page);
    }
    POINT ButtonCentre(int row, int k) const {
        const RECT b = RowButtonRect(Row(row), k);
        return POINT{(b.left + b.right) / 2, (b.top + b.bottom) / 2};
    }
    // Runs a command of the main window with the script answering its dialogs.
    void Run(int command, std::vector<DialogScript::Step> steps) {
        DialogScript script(std::move(steps));
        main->OnCommand(command);
        EXPECT_TRUE(script.Finished());
        EXPECT_EQ(DialogScript::Front(), nullptr);
    }
    static void Type(HWND dialog, int id, const std::wstring& text) { SetWindowTextW(GetDlgItem(dialog, id), text.c_str()); }
    static void Click(HWND dialog, int id) { PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
    static std::wstring Field(HWND dialog, int id) { return GetWindowTextString(GetDlgItem(dialog, id)); }
};

// The switch tests' fixture: the window in Vietnamese and dark (the defaults), its
// captions and cue text, and the link box's background.
class Switches : public ShellTest {
protected:
    void SetUp() override { ASSERT_TRUE(Open(nullptr, false)); }  // Vietnamese and dark, the defaults
    // The captions of the download button, the actions, the two switches and the link box's cue text.
    std::vector<std::wstring> Captions() const {
        std::vector<std::wstring> all;
        for (int id : {101, 103, 104, 105, 106, 107, 108, 109, 110}) all.push_back(GetWindowTextString(GetDlgItem(main->Handle(), id)));
        wchar_t cue[128] = {};
        SendMessageW(main->LinkBox(), EM_GETCUEBANNER, reinterpret_cast<WPARAM>(cue), 128);
        all.push_back(cue);
        return all;
    }
    COLORREF EditBrushColour() const {
        HDC dc = GetDC(main->LinkBox());
        auto brush = reinterpret_cast<HBRUSH>(
            SendMessageW(main->Handle(), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(main->LinkBox())));
        ReleaseDC(main->LinkBox(), dc);
        LOGBRUSH lb{};
        GetObjectW(brush, sizeof lb, &lb);
        return lb.lbColor;
    }
};
