#include "app/MainWindow.h"

#include <shellapi.h>

#include "app/Actions.h"
#include "app/Switches.h"
#include "app/MiniDialog.h"
#include "bridge/HandOver.h"
#include "engine/Download.h"
#include "store/FileServices.h"
#include "store/Format.h"
#include "store/Lang.h"
#include "store/Settings.h"
#include "ui/Buttons.h"
#include "ui/Colors.h"
#include "ui/ControlText.h"
#include "ui/Dpi.h"
#include "ui/Fonts.h"
#include "ui/Surface.h"
#include "ui/Theme.h"

namespace {
constexpr UINT_PTR kTimer = 1;
constexpr int kLinkBox = kLinkBoxId, kDownloadButton = kDownloadButtonId, kListView = kListViewId;
constexpr int kSidebar = 272, kStatusHeight = 32, kTopBar = 66;

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
        case WM_DRAWITEM:
        case WM_MEASUREITEM: {
            LRESULT result = 0;
            if (HandleOwnerDraw(message, wParam, lParam, result)) return result;
            return ::DefWindowProcW(window_, message, wParam, lParam);
        }
        case WM_CTLCOLOREDIT: return reinterpret_cast<LRESULT>(EditColors(reinterpret_cast<HDC>(wParam)));
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
    linkBox_ = ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 0, 0, 0, 0,
                                 window_, reinterpret_cast<HMENU>(kLinkBox), Instance(), nullptr);
    ::SendMessageW(linkBox_, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(4)), FALSE);
    ::SendMessageW(linkBox_, EM_LIMITTEXT, 8000, 0);
    CreateStyledButton(window_, kDownloadButton, L"", ButtonStyle{ButtonKind::Accent, 33, 2, 3, false});
    listView_ = ::CreateWindowExW(0, L"TidewellPE.List", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 0, 0, window_,
                                  reinterpret_cast<HMENU>(kListView), Instance(), nullptr);
    ::SetWindowLongPtrW(listView_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    for (const Action& a : kActions) {
        const bool first = a.id == kActions[0].id;
        CreateStyledButton(window_, a.id, L"",
                           ButtonStyle{first ? ButtonKind::Accent : ButtonKind::Normal, a.icon, 1, first ? 3 : 2, true});
    }
    CreateStyledButton(window_, kThemeButtonId, L"", ButtonStyle{ButtonKind::Normal, IsDarkTheme() ? 14 : 13, 1, 3, false});
    CreateStyledButton(window_, kLanguageButtonId, L"", ButtonStyle{ButtonKind::Normal, 32, 1, 3, false});
    Relabel(window_);
    ApplyDarkTitleBar(window_);
    status_ = Tr(L"Sẵn sàng.", L"Ready.");
    list_ = std::make_unique<DownloadList>(
        *this, dataFolder_ + L"\\downloads.lst",
        QueueSettings{&g_settings.folder, &g_settings.connections, &g_settings.maxDownloads, &g_settings.ignoreCertErrors});
    list_->Load();
    ::SetTimer(window_, kTimer, 300, nullptr);
}

void MainWindow::Layout(int width, int height) {
    const int m = Scale(16), sidebar = Scale(kSidebar), top = Scale(kTopBar), status = Scale(kStatusHeight);
    const int button = Scale(128);
    ::MoveWindow(::GetDlgItem(window_, kDownloadButton), width - button - m, Scale(15), button, Scale(36), TRUE);
    // From the sidebar's margin to 8 px before the Download button.
    ::MoveWindow(linkBox_, sidebar + m, Scale(20), std::max(0, (width - button - m - Scale(8)) - (sidebar + m)),
                 Scale(26), TRUE);
    ::MoveWindow(listView_, sidebar, top, std::max(0, width - sidebar), std::max(0, height - status - top), TRUE);
    int y = Scale(200);
    for (const Action& a : kActions) {
        ::MoveWindow(::GetDlgItem(window_, a.id), m, y, sidebar - 2 * m, Scale(34), TRUE);
        y += Scale(40);
    }
    const int half = (sidebar - 2 * m - Scale(8)) / 2;
    ::MoveWindow(::GetDlgItem(window_, kThemeButtonId), m, height - status - Scale(50), half, Scale(34), TRUE);
    ::MoveWindow(::GetDlgItem(window_, kLanguageButtonId), m + half + Scale(8), height - status - Scale(50), half,
                 Scale(34), TRUE);
}

void MainWindow::RelayoutAndRedraw() {
    RECT client;
    ::GetClientRect(window_, &client);
    Layout(client.right, client.bottom);
    ::RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

bool MainWindow::SaveSettingsFile() { return SaveSettings(dataFolder_); }

void MainWindow::Paint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(window_, &ps);
    RECT client;
    ::GetClientRect(window_, &client);
    Surface s = SurfaceCreate(client.right, client.bottom);
    const int sidebar = Scale(kSidebar), status = Scale(kStatusHeight);
    SurfaceFill(s, client, PaletteColor(0));
    SurfaceFill(s, RECT{0, 0, sidebar, client.bottom}, PaletteColor(1));
    SurfaceFill(s, RECT{sidebar, client.bottom - status, client.right, client.bottom}, PaletteColor(2));
    SurfaceText(s, L"\u2022  " + status_, RECT{sidebar + Scale(16), client.bottom - status, client.right - Scale(16),
                                               client.bottom}, 0, PaletteColor(8), kLabelFlags);
    SurfaceText(s, L"Tidewell PE", RECT{Scale(16), Scale(16), sidebar - Scale(8), Scale(54)}, 7, PaletteColor(7),
                kLabelFlags);
    SurfaceBlit(s, dc, 0, 0);
    ::EndPaint(window_, &ps);
}

LRESULT CALLBACK MainWindow::ListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_PAINT && self) {
        self->PaintList(window);
        return 0;
    }
    if (message == WM_ERASEBKGND) return 1;
    if (message == WM_LBUTTONDOWN) ::SetFocus(window);
    if (message == WM_GETDLGCODE) return DLGC_WANTARROWS;
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void MainWindow::PaintList(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(window, &ps);
    RECT client;
    ::GetClientRect(window, &client);
    Surface s = SurfaceCreate(client.right, client.bottom);
    SurfaceFill(s, client, PaletteColor(0));
    int y = Scale(8);
    const auto& entries = list_ ? list_->Entries() : std::vector<ListEntry>();
    for (size_t i = 0; i < entries.size() && y < client.bottom; ++i, y += Scale(24)) {
        const DownloadInfo& info = entries[i].cached;
        const std::wstring text = (static_cast<int>(i) == list_->Selection() ? L"> " : L"  ") +
                                  (info.fileName.empty() ? info.url : info.fileName) + L"   " + StatusLabel(info.state) +
                                  L"   " + FormatProgress(info);
        SurfaceText(s, text, RECT{Scale(12), y, client.right - Scale(12), y + Scale(22)}, 2, PaletteColor(7), kLabelFlags);
    }
    SurfaceBlit(s, dc, 0, 0);
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
        case kThemeButtonId: SwitchTheme(*this); break;
        case kLanguageButtonId: SwitchLanguage(*this); break;
        default: break;  // 103 and 108 arrive with the dialogs
    }
}

void MainWindow::LinkBoxAdd() {
    std::wstring text = GetWindowTextString(linkBox_);
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
    if (SetClipboardText(window_, folder))
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
