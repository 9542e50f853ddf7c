#include "app/MainWindow.h"

#include <shellapi.h>

#include "app/MiniDialog.h"
#include "bridge/HandOver.h"
#include "engine/Download.h"
#include "store/FileServices.h"
#include "store/Format.h"
#include "store/Lang.h"
#include "store/Settings.h"

namespace {
constexpr UINT_PTR kTimer = 1;
constexpr int kLinkBox = 100, kDownloadButton = 101, kListView = 102;
constexpr int kSidebar = 272, kStatusHeight = 32, kTopBar = 66;

struct Action {
    int id;
    const wchar_t* vi;
    const wchar_t* en;
};
const Action kActions[] = {
    {103, L"[1] Thêm liên kết tải…", L"[1] Add Download…"}, {104, L"[2] Tiếp tục tất cả", L"[2] Resume All"},
    {105, L"[3] Tạm dừng tất cả", L"[3] Pause All"},        {106, L"[4] Dọn mục đã xong", L"[4] Clear Finished"},
    {107, L"[5] Mở thư mục lưu", L"[5] Open Download Folder"}, {108, L"[6] Cài đặt", L"[6] Settings"},
};

HINSTANCE Instance() { return reinterpret_cast<HINSTANCE>(::GetModuleHandleW(nullptr)); }
}  // namespace

bool MainWindow::RegisterClasses(HINSTANCE instance) {
    RegisterMiniDialogClass(instance);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = ListProc;
    wc.lpszClassName = L"TidewellPE.List";
    ::RegisterClassExW(&wc);
    wc.style = 0;
    wc.lpfnWndProc = ::DefWindowProcW;  // the details window comes with its own issue
    wc.lpszClassName = L"TidewellPE.Details";
    ::RegisterClassExW(&wc);
    wc.lpfnWndProc = Proc;
    wc.lpszClassName = L"TidewellPE.Main";
    wc.hIcon = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(101), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    wc.hIconSm = wc.hIcon;
    return ::RegisterClassExW(&wc) != 0;
}

HWND MainWindow::Create(HINSTANCE instance, const RECT& place) {
    return ::CreateWindowExW(0, L"TidewellPE.Main", kProductTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, place.left,
                             place.top, place.right - place.left, place.bottom - place.top, nullptr, nullptr, instance,
                             this);
}

LRESULT CALLBACK MainWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
    try {
        return self->Handle(message, wParam, lParam);
    } catch (...) {
        return 0;  // nothing may cross a window procedure
    }
}

LRESULT MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: OnCreate(); return 0;
        case WM_SIZE:
            if (wParam != SIZE_MINIMIZED) Layout(LOWORD(lParam), HIWORD(lParam));
            ::InvalidateRect(window_, nullptr, FALSE);
            return 0;
        case WM_PAINT: Paint(); return 0;
        case WM_ERASEBKGND: return 1;
        case WM_TIMER:
            if (wParam == kTimer && list_) list_->QueueTick();
            return 0;
        case WM_COPYDATA: return OnCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        case WM_COMMAND: OnCommand(LOWORD(wParam)); return 0;
        case WM_CLOSE:
            if (!list_->ExitCheck()) return 0;
            ::KillTimer(window_, kTimer);
            list_->Exit();
            ::DestroyWindow(window_);
            return 0;
        case WM_DESTROY: ::PostQuitMessage(0); return 0;
        default: return ::DefWindowProcW(window_, message, wParam, lParam);
    }
}

void MainWindow::OnCreate() {
    linkBox_ = ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL | WS_BORDER, 0, 0,
                                 0, 0, window_, reinterpret_cast<HMENU>(kLinkBox), Instance(), nullptr);
    ::SendMessageW(linkBox_, EM_LIMITTEXT, 8000, 0);
    ::CreateWindowExW(0, L"BUTTON", Tr(L"Tải xuống", L"Download"), WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 0, 0,
                      window_, reinterpret_cast<HMENU>(kDownloadButton), Instance(), nullptr);
    listView_ = ::CreateWindowExW(0, L"TidewellPE.List", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 0, 0, window_,
                                  reinterpret_cast<HMENU>(kListView), Instance(), nullptr);
    ::SetWindowLongPtrW(listView_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    for (const Action& a : kActions)
        ::CreateWindowExW(0, L"BUTTON", Tr(a.vi, a.en), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_LEFT, 0, 0, 0, 0,
                          window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(a.id)), Instance(), nullptr);
    status_ = Tr(L"Sẵn sàng.", L"Ready.");
    list_ = std::make_unique<DownloadList>(
        *this, dataFolder_ + L"\\downloads.lst",
        QueueSettings{&g_settings.folder, &g_settings.connections, &g_settings.maxDownloads, &g_settings.ignoreCertErrors});
    list_->Load();
    ::SetTimer(window_, kTimer, 300, nullptr);
}

void MainWindow::Layout(int width, int height) {
    const int m = 16;
    ::MoveWindow(::GetDlgItem(window_, kDownloadButton), width - 128 - m, 15, 128, 36, TRUE);
    // From the sidebar's margin to 8 px before the Download button.
    ::MoveWindow(linkBox_, kSidebar + m, 20, std::max(0, (width - 128 - m - 8) - (kSidebar + m)), 26, TRUE);
    ::MoveWindow(listView_, kSidebar, kTopBar, std::max(0, width - kSidebar),
                 std::max(0, height - kStatusHeight - kTopBar), TRUE);
    int y = 200;
    for (const Action& a : kActions) {
        ::MoveWindow(::GetDlgItem(window_, a.id), m, y, kSidebar - 2 * m, 34, TRUE);
        y += 40;
    }
}

void MainWindow::Paint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(window_, &ps);
    RECT client;
    ::GetClientRect(window_, &client);
    ::FillRect(dc, &client, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    RECT status{kSidebar + 16, client.bottom - kStatusHeight, client.right - 16, client.bottom};
    ::SetBkMode(dc, TRANSPARENT);
    const std::wstring line = L"\u2022  " + status_;
    ::DrawTextW(dc, line.c_str(), -1, &status, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
    RECT title{16, 16, kSidebar - 8, 54};
    ::DrawTextW(dc, L"Tidewell PE", -1, &title, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    ::EndPaint(window_, &ps);
}

LRESULT CALLBACK MainWindow::ListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_PAINT && self) {
        self->PaintList(window);
        return 0;
    }
    if (message == WM_LBUTTONDOWN) ::SetFocus(window);
    if (message == WM_GETDLGCODE) return DLGC_WANTARROWS;
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void MainWindow::PaintList(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(window, &ps);
    RECT client;
    ::GetClientRect(window, &client);
    ::FillRect(dc, &client, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    ::SetBkMode(dc, TRANSPARENT);
    int y = 8;
    const auto& entries = list_ ? list_->Entries() : std::vector<ListEntry>();
    for (size_t i = 0; i < entries.size() && y < client.bottom; ++i, y += 24) {
        const DownloadInfo& info = entries[i].cached;
        const std::wstring text = (static_cast<int>(i) == list_->Selection() ? L"> " : L"  ") +
                                  (info.fileName.empty() ? info.url : info.fileName) + L"   " + StatusLabel(info.state) +
                                  L"   " + FormatProgress(info);
        RECT row{12, y, client.right - 12, y + 22};
        ::DrawTextW(dc, text.c_str(), -1, &row, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
    }
    ::EndPaint(window, &ps);
}

LRESULT MainWindow::OnCopyData(const COPYDATASTRUCT* data) {
    if (!data || data->dwData != kHandOverTag) return 0;
    if (::IsIconic(window_)) ::ShowWindow(window_, SW_RESTORE);
    ::SetForegroundWindow(window_);
    if (!data->lpData || data->cbData < 2) return 1;
    const wchar_t* text = static_cast<const wchar_t*>(data->lpData);
    const size_t most = data->cbData / sizeof(wchar_t);
    std::wstring copy(text, wcsnlen(text, most));
    // The sender waits at most 10 s; thousands of links take longer to add.
    // It has its answer as soon as the text is copied.
    ::ReplyMessage(1);
    list_->AddRequests(ParseHandOverText(copy));
    return 1;
}

void MainWindow::OnCommand(int id) {
    const int selected = list_ ? list_->Selection() : -1;
    switch (id) {
        case IDOK:
            if (::GetFocus() == linkBox_) LinkBoxAdd();
            break;
        case kDownloadButton: LinkBoxAdd(); break;
        case 104: list_->ResumeAll(); break;
        case 105: list_->PauseAll(); break;
        case 106: list_->ClearFinished(); break;
        case 107: OpenFolder(g_settings.folder, L""); break;
        case 111: list_->RemoveDownload(selected); break;
        case 112: list_->ToggleItem(selected); break;
        default: break;  // 103, 108-110 arrive with the dialogs and the toolkit
    }
}

void MainWindow::LinkBoxAdd() {
    wchar_t buffer[8001];
    ::GetWindowTextW(linkBox_, buffer, 8001);
    std::wstring text = buffer;
    while (!text.empty() && (text.front() == L' ' || text.front() == L'\t')) text.erase(0, 1);
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\t')) text.pop_back();
    if (text.empty()) {
        ::SetFocus(linkBox_);
        SetStatus(Tr(L"Hãy dán liên kết trước.", L"Paste a link first."));
        return;
    }
    DownloadRequest r;
    r.url = text;
    if (list_->AddDownload(r, g_settings.folder)) ::SetWindowTextW(linkBox_, L"");
}

bool MainWindow::SetClipboard(const std::wstring& text) {
    if (!::OpenClipboard(window_)) return false;
    bool ok = false;
    if (::EmptyClipboard()) {
        const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
        if (HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes)) {
            if (void* p = ::GlobalLock(memory)) {
                memcpy(p, text.c_str(), bytes);
                ::GlobalUnlock(memory);
                ok = ::SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
            }
            if (!ok) ::GlobalFree(memory);
        }
    }
    ::CloseClipboard();
    return ok;
}

void MainWindow::OpenFolder(const std::wstring& folder, const std::wstring& file) {
    CreateFolderTree(folder);
    const std::wstring parameters = (!file.empty() && ::GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES)
                                        ? L"/select,\"" + file + L"\""
                                        : L"\"" + folder + L"\"";
    const auto result = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(window_, L"open", L"explorer.exe", parameters.c_str(), nullptr, SW_SHOWNORMAL));
    if (result > 32) return;
    lastPicked_ = folder;  // the clipboard pick-up must not take it for a link
    // Say "copied" only when it was.
    if (SetClipboard(folder))
        SetStatus(Tr(L"Không có trình quản lý tệp — đã sao chép đường dẫn: ",
                     L"No file manager here — path copied to the clipboard: ") +
                  folder);
    else
        SetStatus(Tr(L"Không có trình quản lý tệp: ", L"No file manager here: ") + folder);
}

void MainWindow::SetStatus(const std::wstring& text) {
    status_ = text;
    RepaintStatus();
}

void MainWindow::ShowError(const std::wstring& text) { RunMiniDialog(window_, L"Tidewell PE", text, {L"OK"}); }

bool MainWindow::Confirm(const ConfirmQuestion& q) {
    return RunMiniDialog(window_, q.title, q.text, {q.confirmLabel, Tr(L"Huỷ bỏ", L"Cancel")}) == 0;
}

FinishedRemoval MainWindow::AskFinishedRemoval(const std::wstring& text) {
    switch (RunMiniDialog(window_, L"Tidewell PE", text,
                          {Tr(L"Xoá khỏi danh sách", L"Remove from list"), Tr(L"Xoá cả tệp", L"Delete the file too"),
                           Tr(L"Huỷ bỏ", L"Cancel")})) {
        case 0: return FinishedRemoval::RemoveFromList;
        case 1: return FinishedRemoval::DeleteFile;
        default: return FinishedRemoval::Cancel;
    }
}

void MainWindow::RepaintList() {
    if (listView_) ::InvalidateRect(listView_, nullptr, FALSE);
}

void MainWindow::RepaintStatus() {
    if (!window_) return;
    RECT client;
    ::GetClientRect(window_, &client);
    RECT status{kSidebar, client.bottom - kStatusHeight, client.right, client.bottom};
    ::InvalidateRect(window_, &status, FALSE);
}

void MainWindow::ShowFreeSpace(uint64_t bytes) { freeSpace_ = bytes; }
