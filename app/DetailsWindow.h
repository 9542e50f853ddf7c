// The details window ("TidewellPE.Details"): one download in depth, an
// owned non-modal popup of the main window, at most one at a time. It holds
// a shared reference to the job it shows, so a row removed meanwhile still
// has its job until the window closes. The main window's tick refreshes it.
// UI thread only.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "engine/Types.h"
#include "ui/ScrollBar.h"

namespace zeb {
class Download;
}
class DownloadList;
class MainWindow;
struct ListEntry;

class DetailsWindow {
public:
    static bool RegisterWindowClass(HINSTANCE instance);

    explicit DetailsWindow(MainWindow& main) : main_(main) {}
    ~DetailsWindow();
    DetailsWindow(const DetailsWindow&) = delete;
    DetailsWindow& operator=(const DetailsWindow&) = delete;

    // Closes a window already open, then shows the entry's job from row 0.
    bool Open(const ListEntry& entry);
    // A fresh snapshot, the rows clamped, the pause button when the state
    // moved, a repaint. Nothing while closed.
    void Refresh();
    void Close();
    void CloseIfShowing(const zeb::Download* job);

    HWND Handle() const { return window_; }
    const zeb::Download* Job() const { return job_.get(); }
    const DownloadInfo& Snapshot() const { return snapshot_; }
    const ScrollBarState& Rows() const { return rows_; }

private:
    template <typename T>
    friend LRESULT CALLBACK ForwardingProc(HWND, UINT, WPARAM, LPARAM) noexcept;
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCreate();
    void OnCommand(int id);
    void OnWheel(int delta);
    void Paint();
    void UpdatePauseButton();
    void Reset();

    MainWindow& main_;  // the owner
    HWND window_ = nullptr, pause_ = nullptr, copy_ = nullptr, change_ = nullptr, copySha_ = nullptr, limit_ = nullptr;
    std::shared_ptr<zeb::Download> job_;
    DownloadInfo snapshot_;
    int width_ = 0, height_ = 0;  // client size, fixed by the DPI at opening
    ScrollBarState rows_;         // in table rows
};
