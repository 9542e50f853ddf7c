// A real main window in a temp data folder for the window tests, every
// message pumped through the program's own loop step.
#pragma once

#include <windows.h>

#include <memory>

#include "app/MainWindow.h"
#include "app/MessageLoop.h"
#include "store/FileServices.h"
#include "store/Lang.h"
#include "store/Settings.h"
#include "support/TempFolder.h"
#include "ui/Dpi.h"
#include "ui/Fonts.h"

class MainWindowHost {
public:
    // Writes the list file (when given) and opens the window on it.
    bool Open(const char* list, bool clipboard) {
        if (list) WriteFileAtomic(data / L"downloads.lst", list);
        g_settings = AppSettings{};
        g_settings.folder = data / L"dl";
        g_settings.clipboard = clipboard;
        static const bool registered = MainWindow::RegisterClasses(GetModuleHandleW(nullptr));
        if (!registered) return false;
        BuildFonts();
        main = std::make_unique<MainWindow>(data.path());
        if (!main->Create(GetModuleHandleW(nullptr), RECT{0, 0, 1100, 720})) return false;
        ShowWindow(main->Handle(), SW_SHOW);
        SetForegroundWindow(main->Handle());
        Pump(100);
        return true;
    }
    ~MainWindowHost() {
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
    void Pump(int ms) {
        const ULONGLONG end = GetTickCount64() + ms;
        do {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) return;
                RunLoopStep(msg, *main);
            }
            Sleep(5);
        } while (GetTickCount64() < end);
    }

    ScratchFolder data;
    std::unique_ptr<MainWindow> main;
};
