// The real main window in a temp data folder: commands, the list view's
// mouse and keys, the clipboard pick-up, pumped through IsDialogMessageW
// like the program's loop.
#include <gtest/gtest.h>

#include "MainWindowHost.h"
#include "support/HttpGet.h"
#include "ui/ControlText.h"
#include "ui/MessageDialog.h"

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
    EXPECT_GT(main->View().Scroll().position, 0);  // scrolled to show it
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
    // The listener fires for a copied link...
    ASSERT_TRUE(SetClipboardText(main->Handle(), L"https://mirror.example/rescue.iso"));
    Pump(3000, [&] { return !GetWindowTextString(main->LinkBox()).empty(); });
    EXPECT_EQ(GetWindowTextString(main->LinkBox()), L"https://mirror.example/rescue.iso");
    // ...then, one update each (what was copied, the box before -> after): typed text is
    // kept, a link already picked is not taken again, other text is no link.
    const struct { const wchar_t *copied, *before, *after; } cases[] = {
        {L"  https://mirror.example/other.iso\r\n", L"typed", L"typed"}, {nullptr, L"", L""}, {L"not a link", L"", L""}};
    for (const auto& c : cases) {
        if (c.copied) SetClipboardText(main->Handle(), c.copied);
        SetWindowTextW(main->LinkBox(), c.before);
        SendMessageW(main->Handle(), WM_CLIPBOARDUPDATE, 0, 0);
        EXPECT_EQ(GetWindowTextString(main->LinkBox()), c.after) << ::testing::PrintToString(std::wstring(c.before));
    }
}

TEST_F(Main, LinkBoxAddTrimsAndAsksForALink) {
    // A server that keeps sending: a closed port can fail the job, and say
    // so in the status line, before the test reads it.
    const std::wstring link = Server() + L"/file/x.bin?size=100000000&rate=100000";
    Open(nullptr);
    SetWindowTextW(main->LinkBox(), L"  \t ");
    main->OnCommand(101);
    EXPECT_FALSE(main->StatusText().empty());  // asks for a link
    EXPECT_TRUE(main->List()->Entries().empty());
    EXPECT_EQ(GetFocus(), main->LinkBox());
    SetWindowTextW(main->LinkBox(), (L"  " + link + L"\t").c_str());
    main->OnCommand(101);
    ASSERT_EQ(main->List()->Entries().size(), 1u);
    EXPECT_EQ(main->List()->Entries()[0].cached.url, link);
    EXPECT_EQ(GetWindowTextString(main->LinkBox()), L"");
    EXPECT_EQ(main->StatusText().substr(main->StatusText().size() - link.size()), link);
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
    ASSERT_EQ(GetActiveWindow(), main->Handle());
    SetFocus(main->ListViewWindow());
    main->List()->Select(1);
    PostKey(VK_SPACE);  // toggles the selected paused row
    EXPECT_TRUE(Pump(1000, [&] { return main->List()->Entries()[1].job->state() != DownloadState::Paused; }));
    // With Ctrl held a digit does nothing.
    SetControl(true);
    PostKey('4');
    Pump(100);
    SetControl(false);
    EXPECT_EQ(main->List()->Entries().size(), 4u);
    // Keypad 4 is 4: Clear Finished.
    PostKey(VK_NUMPAD4);
    ASSERT_TRUE(Pump(1000, [&] { return main->List()->Entries().size() == 3u; }));
    const std::wstring status = main->StatusText();
    // In the link box the same digit is typed and nothing else happens.
    SetFocus(main->LinkBox());
    PostKey('3');
    ASSERT_TRUE(Pump(1000, [&] { return GetWindowTextString(main->LinkBox()) == L"3"; }));
    EXPECT_EQ(main->StatusText(), status);
}

TEST_F(Main, DoubleClickOnThePauseButtonPausesAndResumesAgain) {
    // Row 1 from a server that keeps sending: a closed port could fail the
    // job between the two presses on a busy machine.
    std::string list = kList;
    const std::string closed = "http://127.0.0.1:9/a.bin";
    list.replace(list.find(closed), closed.size(), Utf16ToUtf8(Server() + L"/file/a.bin?size=100000000&rate=100000"));
    Open(list.c_str());
    const POINT resume = ButtonCentre(1, 0);
    ToList(WM_LBUTTONDOWN, resume);
    ToList(WM_LBUTTONUP, resume);
    ASSERT_NE(main->List()->Entries()[1].job->state(), DownloadState::Paused);
    // The second press of a double-click is one more press of the button.
    ToList(WM_LBUTTONDBLCLK, resume);
    ToList(WM_LBUTTONUP, resume);
    const auto& job = *main->List()->Entries()[1].job;
    EXPECT_TRUE(Pump(5000, [&] { return job.state() == DownloadState::Paused; }));  // the job thread ends on its own time
    EXPECT_EQ(main->DetailsRow(), -1);  // never the details window
}

TEST(MainClipboard, WatchingOffTakesNothing) {
    MainWindowHost host;
    ASSERT_TRUE(host.Open(nullptr, false));
    ASSERT_TRUE(SetClipboardText(host.main->Handle(), L"https://mirror.example/off.iso"));
    SendMessageW(host.main->Handle(), WM_CLIPBOARDUPDATE, 0, 0);
    EXPECT_EQ(GetWindowTextString(host.main->LinkBox()), L"");
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
    SetFocus(main->LinkBox());
    SetWindowTextW(main->LinkBox(), L"ftp://old.example/file");
    g_shownError.clear();
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, AnswerTheDialog);
    PostMessageW(main->LinkBox(), WM_KEYDOWN, VK_RETURN, 1);  // Enter through the dialog manager: IDOK
    Pump(3000, [] { return !g_shownError.empty(); });
    KillTimer(nullptr, timer);
    EXPECT_NE(g_shownError.find(L"|"), std::wstring::npos);  // a title
    EXPECT_NE(g_shownError.find(L"ftp://old.example/file"), std::wstring::npos);
    EXPECT_EQ(GetWindowTextString(main->LinkBox()), L"ftp://old.example/file");
    EXPECT_TRUE(main->List()->Entries().empty());
}
