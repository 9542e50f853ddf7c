#include "app/MainWindow.h"

#include "ui/WindowProc.h"

#include <shellapi.h>

#include <algorithm>

#include "app/Actions.h"
#include "app/AppDialogs.h"
#include "app/ManyLinks.h"
#include "app/Power.h"
#include "bridge/HandOver.h"
#include "engine/Download.h"
#include "store/DriveRanking.h"
#include "store/FileServices.h"
#include "store/Lang.h"
#include "store/Settings.h"
#include "store/Storage.h"
#include "store/Text.h"
#include "ui/Buttons.h"
#include "ui/ControlText.h"
#include "ui/Dialog.h"
#include "ui/Dpi.h"
#include "ui/Fonts.h"
#include "ui/Keyboard.h"
#include "ui/PasteHook.h"
#include "ui/SpokenNames.h"
#include "ui/Theme.h"

namespace {
constexpr UINT_PTR kTimer = 1;
// Posted: it comes after the messages already waiting, a sent one among them.
constexpr UINT kContinueListText = WM_APP + 1;

HINSTANCE Instance() { return reinterpret_cast<HINSTANCE>(::GetModuleHandleW(nullptr)); }

using DpiForWindow = UINT(WINAPI*)(HWND);
DpiForWindow GetDpiForWindowEntry() {
    // Absent before Windows 10 1607 and in some Windows PE builds.
    static const DpiForWindow entry = reinterpret_cast<DpiForWindow>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    return entry;
}

}  // namespace

std::wstring ClipboardBlockText(const wchar_t* block, size_t bytes, size_t most) {
    if (!block) return {};
    return std::wstring(block, wcsnlen(block, std::min(most, bytes / sizeof(wchar_t))));
}

// Read only as far as its block reaches: another program's block may be
// shorter than asked for and unterminated.
std::wstring ClipboardText(HWND owner, size_t most) {
    std::wstring text;
    if (!::IsClipboardFormatAvailable(CF_UNICODETEXT) || !::OpenClipboard(owner)) return text;
    if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* p = static_cast<const wchar_t*>(::GlobalLock(data))) {
            text = ClipboardBlockText(p, ::GlobalSize(data), most);
            ::GlobalUnlock(data);
        }
    }
    ::CloseClipboard();
    return text;
}

std::wstring ClipboardLink(HWND owner) {
    std::wstring link = Trim(ClipboardText(owner, 8192));
    if (!IsAcceptableLink(link)) link.clear();
    return link;
}

bool MainWindow::RegisterClasses(HINSTANCE instance) {
    ui::RegisterDialogClass(instance);
    ListView::RegisterWindowClass(instance);
    DetailsWindow::RegisterWindowClass(instance);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpfnWndProc = ForwardingProc<MainWindow>;
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

LRESULT MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: OnCreate(); return 0;
        case WM_GETOBJECT:
            if (static_cast<LONG>(static_cast<DWORD>(lParam)) == kAnnouncementObjectId) return announcer_.Answer(wParam);
            return ::DefWindowProcW(window_, message, wParam, lParam);
        case WM_DESTROY:
            announcer_.Disconnect();
            if (listening_) ::RemoveClipboardFormatListener(window_);
            listening_ = false;
            ::PostQuitMessage(0);
            return 0;
        case WM_SIZE:
            if (wParam != SIZE_MINIMIZED) DoLayout(LOWORD(lParam), HIWORD(lParam));
            ::InvalidateRect(window_, nullptr, FALSE);
            return 0;
        case WM_PAINT: Paint(); return 0;
        case WM_ERASEBKGND: return 1;
        case WM_GETMINMAXINFO: {
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            info->ptMinTrackSize = POINT{Scale(780), Scale(540)};
            return 0;
        }
        case WM_TIMER:
            if (wParam == kTimer && list_) {
                list_->QueueTick();
                CheckPowerTool();
                CheckWhenDone();
            }
            return 0;
        case kContinueListText:
            if (list_) list_->ContinueListText();
            return 0;
        case WM_COPYDATA: return OnCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        case WM_DRAWITEM:
        case WM_MEASUREITEM: {
            LRESULT result = 0;
            if (HandleOwnerDraw(message, wParam, lParam, result)) return result;
            return ::DefWindowProcW(window_, message, wParam, lParam);
        }
        case WM_CTLCOLOREDIT: return reinterpret_cast<LRESULT>(EditColors(reinterpret_cast<HDC>(wParam)));
        case WM_COMMAND:
            if (LOWORD(wParam) == kLinkBoxId) {
                if (HIWORD(wParam) == EN_SETFOCUS || HIWORD(wParam) == EN_KILLFOCUS)
                    ::InvalidateRect(window_, &layout_.linkFrame, FALSE);  // its border shows the focus
                return 0;
            }
            OnCommand(LOWORD(wParam));
            return 0;
        case WM_MOUSEWHEEL:
            // The wheel scrolls the list wherever the focus is.
            if (listView_.Handle()) ::SendMessageW(listView_.Handle(), WM_MOUSEWHEEL, wParam, lParam);
            return 0;
        case WM_DPICHANGED: OnDpiChanged(wParam, reinterpret_cast<const RECT*>(lParam)); return 0;
        case WM_CLIPBOARDUPDATE: OnClipboardUpdate(); return 0;
        case WM_ACTIVATE:
            ui::KeepFocusAcrossActivation(window_, wParam);
            return 0;
        case WM_SETTINGCHANGE:
        case WM_SYSCOLORCHANGE:
            if (FollowSystemColours()) RelayoutAndRedraw();
            return 0;
        case WM_CLOSE:
            if (list_->ExitCheck()) ExitWithoutAsking();
            return 0;
        default: return ::DefWindowProcW(window_, message, wParam, lParam);
    }
}

void MainWindow::AskNewLink(const zeb::Download* job) {
    const auto& entries = list_->Entries();
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].job.get() == job) return ShowChangeLinkDialog(*this, static_cast<int>(i));
}

void MainWindow::ExitWithoutAsking() {
    if (!::IsWindow(window_)) return;
    ::KillTimer(window_, kTimer);
    list_->Exit();
    ::DestroyWindow(window_);
}

void MainWindow::OnCreate() {
    if (const DpiForWindow dpiFor = GetDpiForWindowEntry()) {
        const int dpi = std::max<int>(96, static_cast<int>(dpiFor(window_)));
        if (dpiFor(window_) != 0 && dpi != CurrentDpi()) {
            SetCurrentDpi(dpi);
            BuildFonts();
        }
    }
    LoadLogo();
    ui::CreateNameLabel(window_, L"");  // the link box's name, its cue text (Relabel)
    linkBox_ = ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 0, 0, 0, 0,
                                 window_, reinterpret_cast<HMENU>(kLinkBoxId), Instance(), nullptr);
    ::SendMessageW(linkBox_, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(4)), FALSE);
    ::SendMessageW(linkBox_, EM_LIMITTEXT, 8000, 0);
    ui::HookPaste(linkBox_, [this] { return OnLinkBoxPaste(); });
    CreateStyledButton(window_, kDownloadButtonId, L"", ButtonStyle{ButtonKind::Accent, 33, 2, 3, false});
    listView_.Create(window_, kListViewId, *this);
    for (const Action& a : kActions) {
        const bool first = a.id == kActions[0].id;
        CreateStyledButton(window_, a.id, L"",
                           ButtonStyle{first ? ButtonKind::Accent : ButtonKind::Normal, a.icon, 1, first ? 3 : 2, true});
    }
    CreateStyledButton(window_, kWhenDoneButtonId, L"", ButtonStyle{ButtonKind::Normal, kWhenDoneIcon, 1, 2, true});
    CreateStyledButton(window_, kThemeButtonId, L"", ButtonStyle{ButtonKind::Normal, IsDarkTheme() ? 14 : 13, 1, 3, false});
    CreateStyledButton(window_, kLanguageButtonId, L"", ButtonStyle{ButtonKind::Normal, 32, 1, 3, false});
    status_ = Tr(L"Sẵn sàng.", L"Ready.");
    Relabel(window_);
    ::SetDlgItemTextW(window_, kWhenDoneButtonId, WhenDoneCaption(whenDone_).c_str());
    ApplyDarkTitleBar(window_);
    SyncClipboardListener();
    list_ = std::make_unique<DownloadList>(
        *this, dataFolder_ + L"\\downloads.lst",
        QueueSettings{&g_settings.folder, &g_settings.connections, &g_settings.maxDownloads, &g_settings.ignoreCertErrors,
                      &g_settings.activeHours});
    list_->Load();
    ::SetTimer(window_, kTimer, 300, nullptr);
}

void MainWindow::LoadLogo() {
    if (!logoIcon_)
        logoIcon_.reset(static_cast<HICON>(::LoadImageW(Instance(), MAKEINTRESOURCEW(101), IMAGE_ICON, 256, 256, 0)));
    logo_ = IconImageFromIcon(logoIcon_.get(), Scale(38));
}

void MainWindow::DoLayout(int width, int height) {
    LayoutMeasures m{};
    m.titleWidth = MeasureTextWidth(L"Tidewell", 8).cx;
    HWND download = ::GetDlgItem(window_, kDownloadButtonId);
    const std::wstring caption = GetWindowTextString(download);
    m.downloadPreferred = IsStyledButton(download)
                              ? MeasureTextWidth(caption, 3).cx + 2 * Scale(12) + Scale(15) + (caption.empty() ? 0 : Scale(7))
                              : Scale(80);
    m.linkBoxTextHeight = MeasureTextHeight(L"Ag", 4, 1000);
    layout_ = ComputeMainLayout(width, height, m);
    const auto place = [](HWND child, const RECT& r) {
        ::MoveWindow(child, r.left, r.top, std::max<LONG>(0, r.right - r.left), std::max<LONG>(0, r.bottom - r.top), TRUE);
    };
    place(download, layout_.downloadButton);
    place(linkBox_, layout_.linkBox);
    place(listView_.Handle(), layout_.list);
    for (int i = 0; i < 6; ++i) place(::GetDlgItem(window_, kActions[i].id), layout_.actions[i]);
    place(::GetDlgItem(window_, kWhenDoneButtonId), layout_.actions[6]);
    place(::GetDlgItem(window_, kThemeButtonId), layout_.themeButton);
    place(::GetDlgItem(window_, kLanguageButtonId), layout_.languageButton);
}

void MainWindow::RelayoutAndRedraw() {
    // After every relabel (language, theme): the table does not know the choice.
    ::SetDlgItemTextW(window_, kWhenDoneButtonId, WhenDoneCaption(whenDone_).c_str());
    RECT client;
    ::GetClientRect(window_, &client);
    DoLayout(client.right, client.bottom);
    listView_.UpdateScrollRange();
    ::RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    if (HWND details = details_.Handle()) {
        ApplyDarkTitleBar(details);
        ::RedrawWindow(details, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    }
}

bool MainWindow::SaveSettingsFile() { return SaveSettings(dataFolder_); }

void MainWindow::SyncClipboardListener() {
    if (g_settings.clipboard && !listening_) {
        listening_ = ::AddClipboardFormatListener(window_) != FALSE;
    } else if (!g_settings.clipboard && listening_) {
        ::RemoveClipboardFormatListener(window_);
        listening_ = false;
    }
}

void MainWindow::OnClipboardUpdate() {
    if (!g_settings.clipboard) return;
    const std::wstring text = ClipboardText(window_, kLinkTextUnits);
    const std::vector<std::wstring> links = LinksInText(text);
    if (links.size() > 1) {
        // Asked once per text; a copy made while the question is open waits for the next.
        if (offeringLinks_ || text == lastAskedText_) return;
        lastAskedText_ = text;
        OfferLinks(links);
        return;
    }
    const std::wstring link = links.empty() ? std::wstring() : links[0];
    if (link.empty() || link == lastPicked_) return;
    const std::wstring typed = GetWindowTextString(linkBox_);
    if (typed.empty() || typed == lastPicked_) {
        ::SetWindowTextW(linkBox_, link.c_str());
        SetStatus(Tr(L"Đã bắt liên kết từ bộ nhớ tạm — nhấn Enter hoặc Tải xuống để bắt đầu.",
                     L"Link picked up from the clipboard — press Enter or Download to start."));
    }
    lastPicked_ = link;
}

void MainWindow::OnDpiChanged(WPARAM wParam, const RECT* suggested) {
    const int dpi = std::max<int>(96, HIWORD(wParam));
    if (dpi != CurrentDpi()) {
        SetCurrentDpi(dpi);
        BuildFonts();
        ui::RefreshDialogFonts();  // a question may be open: its boxes held the old fonts
    }
    LoadLogo();
    ::SendMessageW(linkBox_, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(4)), TRUE);
    if (suggested)
        ::SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    details_.Close();  // laid out for one DPI only
    RelayoutAndRedraw();
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
    const bool haveRow = selected >= 0 && selected < static_cast<int>(list_->Entries().size());
    switch (id) {
        case IDOK:
            if (::GetFocus() == linkBox_) LinkBoxAdd();
            else if (::GetFocus() == listView_.Handle() && haveRow) OpenDetails(selected);
            break;
        case kDownloadButtonId: LinkBoxAdd(); break;
        case kResumeAllId: list_->ResumeAll(); break;
        case kPauseAllId: list_->PauseAll(); break;
        case kClearFinishedId: list_->ClearFinished(); break;
        case kOpenFolderId: OpenFolder(g_settings.folder, L""); break;
        case kThemeButtonId: SwitchTheme(*this); break;
        case kLanguageButtonId: SwitchLanguage(*this); break;
        case kRemoveSelectedId:
            if (haveRow) list_->RemoveDownload(selected);
            break;
        case kToggleSelectedId:
            if (haveRow) list_->ToggleItem(selected);
            break;
        case kAddDownloadId: ShowAddDownloadDialog(*this); break;
        case kOpenSelectedFolderId:
            if (haveRow) listView_.RunAction(selected, 2);  // as its row's folder button
            break;
        case kChangeSelectedLinkId:
            if (haveRow) ShowChangeLinkDialog(*this, selected);
            break;
        case kSettingsId: ShowSettingsDialog(*this); break;
        case kWhenDoneButtonId: SetWhenDone(NextWhenDone(whenDone_)); break;
        default: break;
    }
}

void MainWindow::LinkBoxAdd() {
    std::wstring text = GetWindowTextString(linkBox_);
    // Spaces and tabs only: a CR or LF inside the box stays and fails the link check.
    text = Trim(text, L" \t");
    if (text.empty()) {
        ::SetFocus(linkBox_);
        SetStatus(Tr(L"Hãy dán liên kết trước.", L"Paste a link first."));
        return;
    }
    DownloadRequest r;
    r.url = text;
    if (list_->AddDownload(r, g_settings.folder)) ::SetWindowTextW(linkBox_, L"");
}

LinksAnswer MainWindow::OfferLinks(const std::vector<std::wstring>& links) {
    offeringLinks_ = true;
    const LinksAnswer answer = OfferManyLinks(window_, *list_, *this, links, g_settings.folder);
    offeringLinks_ = false;
    return answer;
}

bool MainWindow::OnLinkBoxPaste() {
    if (offeringLinks_) return true;
    const std::vector<std::wstring> links = LinksInText(ClipboardText(window_, kLinkTextUnits));
    // One link or none, or the question declined: the box pastes as ever.
    if (links.size() < 2 || OfferLinks(links) != LinksAnswer::Added) return false;
    ::SetWindowTextW(linkBox_, L"");
    return true;
}

void MainWindow::SetWhenDone(WhenDone choice) {
    whenDone_ = choice;
    whenDoneMark_ = list_->FinishedCount();
    ::SetDlgItemTextW(window_, kWhenDoneButtonId, WhenDoneCaption(choice).c_str());
    SetStatus(WhenDoneText(choice) + L".");
}

void MainWindow::CheckWhenDone() {
    const auto due = [this] { return WhenDoneDue(whenDone_, list_->Entries(), list_->FinishedCount() - whenDoneMark_); };
    if (askingWhenDone_ || !due()) return;
    askingWhenDone_ = true;
    const WhenDone choice = whenDone_;
    // Files that a shutdown would take with it (Windows PE's RAM drive):
    // the question says so, Now is drawn as the dangerous button, and zero
    // does not act.
    const std::wstring loss =
        WhenDoneLossDrive(choice, list_->Entries(), IsWindowsPE(), SystemDriveLetter(GetSystemFolder()));
    ui::Countdown countdown;
    countdown.seconds = whenDoneSeconds_;
    countdown.text = [choice, loss](int seconds) { return WhenDoneCountdownText(choice, seconds, loss); };
    countdown.still = due;  // new work arrived: ask again when it is done
    countdown.atZero = loss.empty() ? 0 : ui::kCountdownStays;
    const int answer = ui::ShowCountdownDialog(window_, L"Tidewell PE", ui::MessageIcon::Warning,
                                               {Tr(L"Làm ngay", L"Now"), ui::CancelText()}, loss.empty() ? -1 : 0, 1,
                                               countdown);
    askingWhenDone_ = false;
    if (answer == ui::kCountdownWithdrawn || !::IsWindow(window_)) return;
    if (answer != 0) return SetWhenDone(WhenDone::Nothing);
    // Looked at again as it acts: a question answered while this one
    // counted ("Add all" of copied links, Change Link) may have started new
    // downloads since the last look. They withdraw it, as a hand-over does.
    list_->RefreshEntries();
    if (!due()) return;
    ActWhenDone(choice);
}

void MainWindow::ActWhenDone(WhenDone choice) {
    if (choice == WhenDone::Close) return ExitWithoutAsking();
    // Acted on once: a failure or a shutdown someone cancels must not ask again.
    SetWhenDone(WhenDone::Nothing);
    // Saved as the exit saves, before the machine goes down.
    list_->RefreshEntries();
    list_->SaveListIfChanged(true);
    KernelHandle tool;
    std::wstring reason;
    if (!StartPowerAction(choice == WhenDone::Restart, tool, reason)) return ShowError(WhenDoneFailedText(choice, reason));
    powerTool_ = std::move(tool);
    powerChoice_ = choice;
}

void MainWindow::CheckPowerTool() {
    if (!powerTool_ || ::WaitForSingleObject(powerTool_.get(), 0) != WAIT_OBJECT_0) return;
    DWORD code = 0;
    ::GetExitCodeProcess(powerTool_.get(), &code);
    powerTool_.reset();
    if (code != 0)
        ShowError(WhenDoneFailedText(powerChoice_, Tr(L"wpeutil.exe kết thúc với mã ", L"wpeutil.exe ended with code ") +
                                                       std::to_wstring(code)));
}

void MainWindow::OpenDetails(int row) {
    if (!list_ || row < 0 || row >= static_cast<int>(list_->Entries().size())) return;
    detailsRow_ = row;
    list_->JobFor(row);  // a finished row's record becomes a job while its details are open
    details_.Open(list_->Entries()[static_cast<size_t>(row)]);
}

void MainWindow::CloseDetailsIfShowing(const zeb::Download* job) { details_.CloseIfShowing(job); }

void MainWindow::ScrollIntoView(int row) {
    listView_.UpdateScrollRange();
    listView_.EnsureVisible(row);
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

void MainWindow::SetStatus(const std::wstring& text) { SetStatusOf(StatusKind::Message, text); }

void MainWindow::SetStatusOf(StatusKind kind, const std::wstring& text) {
    status_ = text;
    RepaintStatus();
    announcer_.Announce(window_, kind, text);
}

void MainWindow::ShowError(const std::wstring& text) { ::ShowError(window_, text); }

bool MainWindow::Confirm(const ConfirmQuestion& q) {
    return ui::ShowMessageDialog(window_, L"Tidewell PE", q.text, q.question ? ui::MessageIcon::Question : ui::MessageIcon::Warning,
                                 {q.confirmLabel, q.otherLabel.empty() ? ui::CancelText() : q.otherLabel},
                                 q.danger ? 0 : -1, q.confirmFocused ? 0 : 1) == 0;
}

FinishedRemoval MainWindow::AskFinishedRemoval(const std::wstring& text) { return ::AskFinishedRemoval(window_, text); }

void MainWindow::RepaintStatus() {
    if (window_) ::InvalidateRect(window_, &layout_.status, FALSE);
}

void MainWindow::ContinueListTextSoon() {
    if (window_) ::PostMessageW(window_, kContinueListText, 0, 0);
}

void MainWindow::ShowFreeSpace(uint64_t bytes) {
    if (bytes == freeSpace_) return;
    freeSpace_ = bytes;
    ::InvalidateRect(window_, &layout_.infoBox, FALSE);
}
