// The main window's core: the list it drives, the refresh timer, the
// hand-over receiver, the commands and the exit check. It is the list's
// seam to the windows. Drawing is bare until the toolkit and the list view
// arrive; the questions use the plain dialog of MiniDialog.h meanwhile.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "store/List.h"
#include "store/ListWindow.h"
#include "app/Switches.h"

constexpr wchar_t kProductTitle[] = L"Tidewell PE v1.0.0.0";

class MainWindow : public ListWindow, public ShellSeam {
public:
    explicit MainWindow(std::wstring dataFolder) : dataFolder_(std::move(dataFolder)) {}

    // "TidewellPE.Dialog", ".List", ".Details", ".Main", in that order; the
    // result is the main class's registration.
    static bool RegisterClasses(HINSTANCE instance);
    HWND Create(HINSTANCE instance, const RECT& place);
    HWND Handle() const { return window_; }
    DownloadList* List() { return list_.get(); }
    HWND LinkBox() const { return linkBox_; }
    HWND ListView() const { return listView_; }

    // ListWindow
    void SetStatus(const std::wstring& text) override;
    void ShowError(const std::wstring& text) override;
    bool Confirm(const ConfirmQuestion& question) override;
    FinishedRemoval AskFinishedRemoval(const std::wstring& text) override;
    void ScrollIntoView(int) override {}
    void UpdateScrollRange() override {}
    void ResetHover() override {}
    void RepaintList() override;
    void RepaintStatus() override;
    void RefreshDetails() override {}
    void CloseDetailsIfShowing(const zeb::Download*) override {}
    void ShowFreeSpace(uint64_t bytes) override;
    void Beep() override { ::MessageBeep(MB_OK); }

    // ShellSeam
    HWND MainHandle() const override { return window_; }
    bool SaveSettingsFile() override;
    void RelayoutAndRedraw() override;

    void OnCommand(int id);

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    static LRESULT CALLBACK ListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCreate();
    void Layout(int width, int height);
    void Paint();
    void PaintList(HWND window);
    LRESULT OnCopyData(const COPYDATASTRUCT* data);
    void LinkBoxAdd();
    void OpenFolder(const std::wstring& folder, const std::wstring& file);

    std::wstring dataFolder_;
    HWND window_ = nullptr, linkBox_ = nullptr, listView_ = nullptr;
    std::unique_ptr<DownloadList> list_;
    std::wstring status_;
    std::wstring lastPicked_;
    uint64_t freeSpace_ = 0;
};
