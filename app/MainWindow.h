// The main window: its children, the header, sidebar, top bar and status
// line it draws itself, the refresh timer that drives the queue, the
// hand-over and clipboard receivers, commands and the exit check. It is the
// list's seam to the windows (ListWindow); the list view, the details
// window and the switches call it directly. UI thread only.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/AccessModules.h"
#include "app/Announcer.h"
#include "app/DetailsWindow.h"
#include "app/ListView.h"
#include "app/MainLayout.h"
#include "app/ManyLinks.h"
#include "app/WhenDone.h"
#include "app/Switches.h"
#include "store/Handles.h"
#include "store/List.h"
#include "store/ListWindow.h"
#include "ui/Surface.h"

constexpr wchar_t kProductTitle[] = L"Tidewell PE v1.0.0.0";

// The text of a clipboard block of `bytes` bytes: at most 8192 characters,
// ending at the first NUL or at the block's end, whichever comes first.
std::wstring ClipboardBlockText(const wchar_t* block, size_t bytes, size_t most = 8192);
// The clipboard's text, at most `most` characters.
std::wstring ClipboardText(HWND owner, size_t most);
// The clipboard's text trimmed, when it is an acceptable link; else empty.
std::wstring ClipboardLink(HWND owner);
// The right part of the status line: "↓ speed • n active / m items" (the
// speed part only while something runs); `active` tells which colour.
std::wstring RightStatusText(const std::vector<ListEntry>& entries, bool& active);
// Green from 1 GiB of free space up, amber below it and when unknown.
COLORREF FreeSpaceColour(uint64_t bytes);

class MainWindow : public ListWindow {
public:
    explicit MainWindow(std::wstring dataFolder) : dataFolder_(std::move(dataFolder)) {}

    // "TidewellPE.Dialog", ".List", ".Details", ".Main", in that order; the
    // result is the main class's registration.
    static bool RegisterClasses(HINSTANCE instance);
    HWND Create(HINSTANCE instance, const RECT& place);
    HWND Handle() const { return window_; }
    HWND LinkBox() const { return linkBox_; }
    HWND ListViewWindow() const { return listView_.Handle(); }
    const ListView& View() const { return listView_; }
    const MainLayout& Layout() const { return layout_; }
    const std::wstring& StatusText() const { return status_; }
    // The row the details window was last opened for (-1: never).
    int DetailsRow() const { return detailsRow_; }
    HWND DetailsWindow() const { return details_.Handle(); }
    const ::DetailsWindow& Details() const { return details_; }

    // ListWindow
    void SetStatus(const std::wstring& text) override;
    void SetStatusOf(StatusKind kind, const std::wstring& text) override;
    void RowRefreshing(int row, const ListEntry& entry, const DownloadInfo& next) override {
        listView_.RowRefreshing(row, entry, next);
    }
    void ShowError(const std::wstring& text) override;
    bool Confirm(const ConfirmQuestion& question) override;
    FinishedRemoval AskFinishedRemoval(const std::wstring& text) override;
    void ScrollIntoView(int row) override;
    void UpdateScrollRange() override { listView_.UpdateScrollRange(); }
    void ResetHover() override { listView_.ResetHover(); }
    void RepaintList() override {
        listView_.Repaint();
        listView_.RaiseRowEvents();  // the rows now show what the events tell
    }
    void RepaintStatus() override;
    void RefreshDetails() override { details_.Refresh(); }
    void CloseDetailsIfShowing(const zeb::Download* job) override;
    void ShowFreeSpace(uint64_t bytes) override;
    void Beep() override { ::MessageBeep(MB_OK); }
    void ContinueListTextSoon() override;

    HWND MainHandle() const { return window_; }
    AccessModules& Access() { return access_; }
    DownloadList* List() { return list_.get(); }
    bool SaveSettingsFile();
    // Layout pass from the client size, then RedrawWindow of the window and
    // its children (and of the details window when it is open).
    void RelayoutAndRedraw();
    void OpenDetails(int row);
    void OpenFolder(const std::wstring& folder, const std::wstring& file);
    // The link the program itself put on the clipboard, so that the
    // clipboard pick-up does not take it up again.
    void SetLastPicked(const std::wstring& link) { lastPicked_ = link; }
    // Asks for a new link for this job's row (the Change Link form).
    void AskNewLink(const zeb::Download* job);

    void OnCommand(int id);
    // The exit sequence without the question: every job paused, the list saved, the window gone.
    void ExitWithoutAsking();
    const std::wstring& DataFolder() const { return dataFolder_; }
    // The free-space figure is drawn again at the next paint.
    void InvalidateFreeSpace() { ::InvalidateRect(window_, &layout_.infoBox, FALSE); }
    // Clipboard watching on: the listener registered; off: removed.
    void SyncClipboardListener();

    WhenDone WhenDoneChoice() const { return whenDone_; }
    // Tests: the question's countdown (30 s) made shorter.
    void SetWhenDoneSecondsForTests(int seconds) { whenDoneSeconds_ = seconds; }

private:
    template <typename T>
    friend LRESULT CALLBACK ForwardingProc(HWND, UINT, WPARAM, LPARAM) noexcept;
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCreate();
    void DoLayout(int width, int height);
    void Paint();
    void PaintSidebar(Surface& s);
    void PaintTopAndStatus(Surface& s, int width, int height);
    void LoadLogo();
    LRESULT OnCopyData(const COPYDATASTRUCT* data);
    void OnClipboardUpdate();
    void OnDpiChanged(WPARAM wParam, const RECT* suggested);
    void LinkBoxAdd();
    bool OnLinkBoxPaste();
    // The many-links question, one at a time.
    LinksAnswer OfferLinks(const std::vector<std::wstring>& links);
    void SetWhenDone(WhenDone choice);
    // After each tick: asks, and acts, once the queue is done.
    void CheckWhenDone();
    void ActWhenDone(WhenDone choice);
    // Watches a running wpeutil: its failure is the action's failure.
    void CheckPowerTool();

    std::wstring dataFolder_;
    HWND window_ = nullptr, linkBox_ = nullptr;
    AccessModules access_;  // before the objects that answer through it: it goes last
    ListView listView_;
    Announcer announcer_{access_};
    std::unique_ptr<DownloadList> list_;
    MainLayout layout_{};
    std::wstring status_;
    std::wstring lastPicked_;
    bool listening_ = false;
    uint64_t freeSpace_ = kUnknownFreeSpace;  // until the first answer
    int detailsRow_ = -1;
    ::DetailsWindow details_{*this};  // after the list: closed before the list goes
    IconHandle logoIcon_;  // resource 101 at 256 x 256, loaded once
    IconImage logo_;       // 38 design pixels at the current DPI
    WhenDone whenDone_ = WhenDone::Nothing;
    uint64_t whenDoneMark_ = 0;  // the list's finish count when the choice was made
    bool askingWhenDone_ = false;
    int whenDoneSeconds_ = 30;
    KernelHandle powerTool_;  // wpeutil while it runs
    WhenDone powerChoice_ = WhenDone::Nothing;
    std::wstring lastAskedText_;  // the clipboard text last asked about
    bool offeringLinks_ = false;  // a question about many links is open
};
