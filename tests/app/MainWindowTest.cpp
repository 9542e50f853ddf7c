// The real main window in a temp data folder: commands, the list view's
// mouse and keys, the clipboard pick-up, pumped through IsDialogMessageW
// like the program's loop.
#include "support/TrickleServer.h"  // winsock before windows.h

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "MainWindowHost.h"
#include "app/MainWindow.h"
#include "engine/Download.h"
#include "store/FileServices.h"
#include "store/Lang.h"
#include "store/Settings.h"
#include "support/TempFolder.h"
#include "ui/ControlText.h"
#include "ui/MessageDialog.h"
#include "ui/Fonts.h"

namespace {
// Finished, paused, paused, failed; the links point at a closed port.
const char kList[] =
    "ZEBLIST 1\r\n"
    "[item]\r\nurl=http://127.0.0.1:9/done.bin\r\nfolder=C:\\dl\r\nfile=done.bin\r\nfixed=1\r\ntotal=10\r\ndone=10\r\n"
    "state=completed\r\nerror=\r\n"
    "[item]\r\nurl=http://127.0.0.1:9/a.bin\r\nfolder=C:\\dl\r\nfile=a.bin\r\nfixed=1\r\ntotal=100\r\ndone=50\r\n"
    "state=paused\r\nerror=\r\n"
    "[item]\r\nurl=http://127.0.0.1:9/b.bin\r\nfolder=C:\\dl\r\nfile=b.bin\r\nfixed=1\r\ntotal=100\r\ndone=20\r\n"
    "state=paused\r\nerror=\r\n"
    "[item]\r\nurl=http://127.0.0.1:9/c.bin\r\nfolder=C:\\dl\r\nfile=c.bin\r\nfixed=1\r\ntotal=-1\r\ndone=0\r\n"
    "state=failed\r\nerror=HTTP 404\r\n";

// Ten paused rows: more than a window of the minimum size shows.
std::string LongList() {
    std::string text = "ZEBLIST 1\r\n";
    for (int i = 0; i < 10; ++i)
        text += "[item]\r\nurl=http://127.0.0.1:9/r" + std::to_string(i) +
                ".bin\r\nfolder=C:\\dl\r\nfile=r.bin\r\nfixed=1\r\ntotal=100\r\ndone=5\r\nstate=paused\r\nerror=\r\n";
    return text;
}

class Main : public ::testing::Test, public MainWindowHost {
protected:
    void Open(const char* list) { ASSERT_TRUE(MainWindowHost::Open(list, true)); }
    DownloadState State(int row) const { return main->List()->Entries()[static_cast<size_t>(row)].cached.state; }
    LRESULT ToList(UINT message, POINT p, WPARAM wParam = 0) {
        return SendMessageW(main->ListViewWindow(), message, wParam, MAKELPARAM(p.x, p.y));
    }
    POINT ButtonCentre(int row, int k) {
        RECT c;
        GetClientRect(main->ListViewWindow(), &c);
        const RECT b = RowButtonRect(RowRect(row, c.right, main->View().Scroll().position,
                                             main->View().Scroll().content > main->View().Scroll().page), k);
        return POINT{(b.left + b.right) / 2, (b.top + b.bottom) / 2};
    }

};
}  // namespace

TEST_F(Main, EnterAndSpaceOnAnEmptyListDoNothing) {
    Open(nullptr);
    SetFocus(main->ListViewWindow());
    EXPECT_EQ(main->List()->Selection(), -1);
    main->OnCommand(IDOK);
    main->OnCommand(112);
    main->OnCommand(111);
    EXPECT_EQ(main->DetailsRow(), -1);
    EXPECT_EQ(main->DetailsWindow(), nullptr);
    // Clicking and double-clicking the empty list do nothing either.
    ToList(WM_LBUTTONDOWN, POINT{100, 40});
    ToList(WM_LBUTTONDBLCLK, POINT{100, 40});
    EXPECT_EQ(main->DetailsRow(), -1);
}

TEST_F(Main, EnterOnTheListAndDoubleClickOpenDetailsForThatRow) {
    Open(kList);
    SetFocus(main->ListViewWindow());
    main->List()->Select(2);
    main->OnCommand(IDOK);
    EXPECT_EQ(main->DetailsRow(), 2);
    RECT c;
    GetClientRect(main->ListViewWindow(), &c);
    const RECT r = RowRect(1, c.right, main->View().Scroll().position, false);
    ToList(WM_LBUTTONDOWN, POINT{r.left + 100, r.top + 40});
    ToList(WM_LBUTTONUP, POINT{r.left + 100, r.top + 40});
    ToList(WM_LBUTTONDBLCLK, POINT{r.left + 100, r.top + 40});
    EXPECT_EQ(main->DetailsRow(), 1);
    EXPECT_EQ(main->List()->Selection(), 1);
}

TEST_F(Main, APressPendingOverAnEraseDoesNotActOnTheNextRow) {
    Open(kList);
    ASSERT_EQ(State(1), DownloadState::Paused);
    const POINT pause = ButtonCentre(1, 0);  // row 1's resume button
    ToList(WM_LBUTTONDOWN, pause);
    EXPECT_EQ(main->View().Pressed().row, 1);
    main->OnCommand(106);  // Clear Finished erases row 0 meanwhile
    ASSERT_EQ(main->List()->Entries().size(), 3u);
    ToList(WM_LBUTTONUP, pause);  // now over the row that was 2
    EXPECT_EQ(State(0), DownloadState::Paused);
    EXPECT_EQ(State(1), DownloadState::Paused);
}

TEST_F(Main, PressMoveOffReleaseDoesNothingAndBackOnActs) {
    Open(kList);
    const POINT pause = ButtonCentre(1, 0);
    ToList(WM_LBUTTONDOWN, pause);
    ToList(WM_MOUSEMOVE, POINT{pause.x - 200, pause.y});
    ToList(WM_LBUTTONUP, POINT{pause.x - 200, pause.y});
    EXPECT_EQ(State(1), DownloadState::Paused);
    ToList(WM_LBUTTONDOWN, pause);
    ToList(WM_MOUSEMOVE, POINT{pause.x - 200, pause.y});
    ToList(WM_MOUSEMOVE, pause);
    ToList(WM_LBUTTONUP, pause);
    EXPECT_NE(main->List()->Entries()[1].job->state(), DownloadState::Paused);  // requeued
}

TEST_F(Main, KeysMoveTheSelectionAndPageDownOnlyScrolls) {
    Open(LongList().c_str());
    SetFocus(main->ListViewWindow());  // focus selects the first row
    EXPECT_EQ(main->List()->Selection(), 0);
    SendMessageW(main->ListViewWindow(), WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(main->List()->Selection(), 1);
    SendMessageW(main->ListViewWindow(), WM_KEYDOWN, VK_END, 0);
    EXPECT_EQ(main->List()->Selection(), 9);
    SendMessageW(main->ListViewWindow(), WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(main->List()->Selection(), 9);
    SendMessageW(main->ListViewWindow(), WM_KEYDOWN, VK_HOME, 0);
    EXPECT_EQ(main->List()->Selection(), 0);
    // The rows do not fit: Page Down scrolls and keeps the selection.
    ASSERT_GT(main->View().Scroll().content, main->View().Scroll().page);
    SendMessageW(main->ListViewWindow(), WM_KEYDOWN, VK_NEXT, 0);
    EXPECT_GT(main->View().Scroll().position, 0);
    EXPECT_EQ(main->List()->Selection(), 0);
}

TEST_F(Main, TheWheelScrollsTheListWhereverTheFocusIs) {
    Open(LongList().c_str());
    SetFocus(main->LinkBox());
    SendMessageW(main->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), 0);
    EXPECT_EQ(main->View().Scroll().position, 64);
    SendMessageW(main->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, 30), 0);
    EXPECT_EQ(main->View().Scroll().position, 48);
    SendMessageW(main->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, 120 * 10), 0);
    EXPECT_EQ(main->View().Scroll().position, 0);
}

TEST(ClipboardBlock, IsReadOnlyToItsEnd) {
    // Another program's block may be shorter than 8192 characters and
    // unterminated: put one right before a page that cannot be read. (Wine's
    // clipboard terminates text blocks itself, so this is shown on the rule.)
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    auto* pages = static_cast<char*>(VirtualAlloc(nullptr, 2 * si.dwPageSize, MEM_COMMIT, PAGE_READWRITE));
    DWORD old;
    VirtualProtect(pages + si.dwPageSize, si.dwPageSize, PAGE_NOACCESS, &old);
    const std::wstring link = L"https://mirror.example/rescue.iso";
    auto* block = reinterpret_cast<wchar_t*>(pages + si.dwPageSize - link.size() * sizeof(wchar_t));
    memcpy(block, link.data(), link.size() * sizeof(wchar_t));
    EXPECT_EQ(ClipboardBlockText(block, link.size() * sizeof(wchar_t)), link);
    EXPECT_EQ(ClipboardBlockText(block, 10), L"https");
    EXPECT_EQ(ClipboardBlockText(nullptr, 100), L"");
    VirtualFree(pages, 0, MEM_RELEASE);
    std::vector<wchar_t> big(9000, L'a');
    EXPECT_EQ(ClipboardBlockText(big.data(), big.size() * sizeof(wchar_t)).size(), 8192u);
}

TEST_F(Main, ClipboardLinkFillsTheBoxOnce) {
    Open(nullptr);
    const std::wstring link = L"https://mirror.example/rescue.iso";
    ASSERT_TRUE(SetClipboardText(main->Handle(), link));
    SendMessageW(main->Handle(), WM_CLIPBOARDUPDATE, 0, 0);
    EXPECT_EQ(GetWindowTextString(main->LinkBox()), link);
    EXPECT_NE(main->StatusText().find(L"bộ nhớ tạm"), std::wstring::npos);
    // Typed text is kept; the same link again changes nothing.
    SetWindowTextW(main->LinkBox(), L"typed");
    SetClipboardText(main->Handle(), L"  https://mirror.example/other.iso\r\n");
    SendMessageW(main->Handle(), WM_CLIPBOARDUPDATE, 0, 0);
    EXPECT_EQ(GetWindowTextString(main->LinkBox()), L"typed");
    SetWindowTextW(main->LinkBox(), L"");
    SendMessageW(main->Handle(), WM_CLIPBOARDUPDATE, 0, 0);  // already picked
    EXPECT_EQ(GetWindowTextString(main->LinkBox()), L"");
    SetClipboardText(main->Handle(), L"not a link");
    SendMessageW(main->Handle(), WM_CLIPBOARDUPDATE, 0, 0);
    EXPECT_EQ(GetWindowTextString(main->LinkBox()), L"");
}

TEST_F(Main, LinkBoxAddTrimsAndAsksForALink) {
    // A server that keeps sending: a closed port can fail the job, and say
    // so in the status line, before the test reads it.
    TrickleServer server;
    const std::wstring link = server.Url(L"/x.bin");
    Open(nullptr);
    SetVietnamese(false);
    SetWindowTextW(main->LinkBox(), L"  \t ");
    main->OnCommand(101);
    EXPECT_EQ(main->StatusText(), L"Paste a link first.");
    EXPECT_EQ(GetFocus(), main->LinkBox());
    SetWindowTextW(main->LinkBox(), (L"  " + link + L"\t").c_str());
    main->OnCommand(101);
    ASSERT_EQ(main->List()->Entries().size(), 1u);
    EXPECT_EQ(main->List()->Entries()[0].cached.url, link);
    EXPECT_EQ(GetWindowTextString(main->LinkBox()), L"");
    EXPECT_EQ(main->StatusText(), L"Added: " + link);
    server.Stop();
}

namespace {
// Posts a key press to the focused window, as the keyboard would queue it.
void PostKey(WPARAM vk) {
    PostMessageW(GetFocus(), WM_KEYDOWN, vk, 1);
    PostMessageW(GetFocus(), WM_KEYUP, vk, 0xC0000001);
}

void SetControl(bool down) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}
}  // namespace

TEST_F(Main, ShortcutKeysActFromTheListAndTypeIntoTheLinkBox) {
    Open(kList);
    SetVietnamese(false);
    ASSERT_EQ(GetActiveWindow(), main->Handle());
    SetFocus(main->ListViewWindow());
    main->List()->Select(1);
    PostKey(VK_SPACE);  // toggles the selected paused row
    Pump(100);
    EXPECT_NE(main->List()->Entries()[1].job->state(), DownloadState::Paused);
    // With Ctrl held a digit does nothing.
    SetControl(true);
    PostKey('4');
    Pump(100);
    SetControl(false);
    EXPECT_EQ(main->List()->Entries().size(), 4u);
    // Keypad 4 is 4: Clear Finished.
    PostKey(VK_NUMPAD4);
    Pump(100);
    EXPECT_EQ(main->List()->Entries().size(), 3u);
    EXPECT_EQ(main->StatusText(), L"1 finished item(s) cleared (files kept).");
    // In the link box the same digit is typed.
    SetFocus(main->LinkBox());
    PostKey('3');
    Pump(100);
    EXPECT_EQ(GetWindowTextString(main->LinkBox()), L"3");
    EXPECT_EQ(main->StatusText(), L"1 finished item(s) cleared (files kept).");
}

TEST_F(Main, DoubleClickOnThePauseButtonPausesAndResumesAgain) {
    // Row 1 from a server that keeps sending: a closed port could fail the
    // job between the two presses on a busy machine.
    TrickleServer server;
    std::string list = kList;
    const std::string closed = "http://127.0.0.1:9/a.bin";
    list.replace(list.find(closed), closed.size(), Utf16ToUtf8(server.Url(L"/a.bin")));
    Open(list.c_str());
    const POINT resume = ButtonCentre(1, 0);
    ToList(WM_LBUTTONDOWN, resume);
    ToList(WM_LBUTTONUP, resume);
    ASSERT_NE(main->List()->Entries()[1].job->state(), DownloadState::Paused);
    // The second press of a double-click is one more press of the button.
    ToList(WM_LBUTTONDBLCLK, resume);
    ToList(WM_LBUTTONUP, resume);
    const auto& job = *main->List()->Entries()[1].job;
    const ULONGLONG end = GetTickCount64() + 5000;  // the job thread ends on its own time
    while (GetTickCount64() < end && job.state() != DownloadState::Paused) Sleep(20);
    EXPECT_EQ(job.state(), DownloadState::Paused);
    EXPECT_EQ(main->DetailsRow(), -1);  // never the details window
    server.Stop();
}

TEST_F(Main, TheClipboardListenerFires) {
    Open(nullptr);
    ASSERT_TRUE(SetClipboardText(main->Handle(), L"https://mirror.example/listener.iso"));
    const ULONGLONG end = GetTickCount64() + 3000;
    while (GetTickCount64() < end && GetWindowTextString(main->LinkBox()).empty()) Pump(20);
    EXPECT_EQ(GetWindowTextString(main->LinkBox()), L"https://mirror.example/listener.iso");
}

TEST(MainClipboard, WatchingOffTakesNothing) {
    MainWindowHost host;
    ASSERT_TRUE(host.Open(nullptr, false));
    ASSERT_TRUE(SetClipboardText(host.main->Handle(), L"https://mirror.example/off.iso"));
    SendMessageW(host.main->Handle(), WM_CLIPBOARDUPDATE, 0, 0);
    host.Pump(300);
    EXPECT_EQ(GetWindowTextString(host.main->LinkBox()), L"");
}

TEST_F(Main, CommandStatusTextsInBothLanguages) {
    Open(kList);
    struct Case {
        int command;
        const wchar_t* vi;
        const wchar_t* en;
    };
    const Case cases[] = {
        {105, L"Đã tạm dừng mọi mục tải.", L"Every download was paused."},
        {104, L"Đang tiếp tục mọi mục chưa xong.", L"Resuming every unfinished download."},
        {105, L"Đã tạm dừng mọi mục tải.", L"Every download was paused."},
    };
    for (bool vi : {true, false}) {
        SetVietnamese(vi);
        for (const Case& c : cases) {
            main->OnCommand(c.command);
            EXPECT_EQ(main->StatusText(), vi ? c.vi : c.en) << c.command;
        }
    }
    main->OnCommand(110);  // the language switch says which language it now speaks
    EXPECT_EQ(main->StatusText(), L"Ngôn ngữ: Tiếng Việt.");
    main->OnCommand(106);
    EXPECT_EQ(main->StatusText(), L"1 mục đã xong được dọn khỏi danh sách (giữ nguyên tệp).");
    main->OnCommand(110);
    main->OnCommand(106);
    EXPECT_EQ(main->StatusText(), L"0 finished item(s) cleared (files kept).");
}

namespace {
std::wstring g_shownError;

// Runs inside the question's own message loop: reads its text and closes it.
void CALLBACK AnswerTheDialog(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = FindWindowW(L"TidewellPE.Dialog", nullptr);
    if (!dialog) return;
    g_shownError = GetWindowTextString(dialog) + L"|" + ui::MessageDialogText(dialog);
    PostMessageW(dialog, WM_COMMAND, 100, 0);  // its one button
    KillTimer(nullptr, timer);
}
}  // namespace

TEST_F(Main, EnterWithAnInvalidLinkShowsTheErrorAndKeepsTheText) {
    Open(nullptr);
    SetVietnamese(false);
    SetFocus(main->LinkBox());
    SetWindowTextW(main->LinkBox(), L"ftp://old.example/file");
    g_shownError.clear();
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, AnswerTheDialog);
    PostMessageW(main->LinkBox(), WM_KEYDOWN, VK_RETURN, 1);  // Enter through the dialog manager: IDOK
    Pump(1500);
    KillTimer(nullptr, timer);
    EXPECT_EQ(g_shownError, L"Tidewell PE — Error|This is not a valid http:// or https:// link:\n\nftp://old.example/file");
    EXPECT_EQ(GetWindowTextString(main->LinkBox()), L"ftp://old.example/file");
    EXPECT_TRUE(main->List()->Entries().empty());
}
