// The real main window in a temp data folder: commands, the list view's
// mouse and keys and the clipboard pick-up, pumped through IsDialogMessageW
// like the program's loop; and the status line's counts.
#include "MainWindowHost.h"
#include "support/GuardedBuffer.h"
#include "store/Format.h"
#include "ui/MessageDialog.h"

using Main = ShellTest;

TEST_F(Main, ARowButtonActsOnlyOnAPressAndReleaseOverItsOwnRow) {
    OpenRows();
    const POINT resume = ButtonCentre(1, 0), off{resume.x - 200, resume.y};
    // Pressed, moved off and released there: nothing; moved off and back on before the release: it acts.
    for (auto [message, p] : {std::pair{WM_LBUTTONDOWN, resume}, {WM_MOUSEMOVE, off}, {WM_LBUTTONUP, off}}) ToList(message, p);
    EXPECT_EQ(State(1), DownloadState::Paused);
    for (auto [message, p] : {std::pair{WM_LBUTTONDOWN, resume}, {WM_MOUSEMOVE, off}, {WM_MOUSEMOVE, resume}, {WM_LBUTTONUP, resume}})
        ToList(message, p);
    ASSERT_NE(State(1), DownloadState::Paused);  // requeued
    // The second press of a double-click is one more press of the button.
    for (UINT message : {WM_LBUTTONDBLCLK, WM_LBUTTONUP}) ToList(message, resume);
    EXPECT_TRUE(Pump(5000, [&] { return State(1) == DownloadState::Paused; }));  // the job thread ends on its own time
    EXPECT_EQ(main->DetailsRow(), -1);  // never the details window
    // A press pending while Clear Finished erases row 0: the release is now over the row that was 2.
    ToList(WM_LBUTTONDOWN, resume);
    EXPECT_EQ(main->View().Pressed().row, 1);
    main->OnCommand(106);
    ASSERT_EQ(main->List()->Entries().size(), 3u);
    ToList(WM_LBUTTONUP, resume);
    EXPECT_EQ(std::make_pair(State(0), State(1)), std::make_pair(DownloadState::Paused, DownloadState::Paused));
}

TEST_F(Main, KeysMoveTheSelectionAndPageDownOnlyScrolls) {
    const ListRow r{"r.bin", "r.bin", "completed", 100, 100};  // ten: more than a window of the minimum size shows
    ASSERT_TRUE(MainWindowHost::Open(ListText({r, r, r, r, r, r, r, r, r, r}).c_str(), true));
    SetFocus(main->ListViewWindow());  // focus selects the first row
    std::vector<int> selected{main->List()->Selection()};
    for (WPARAM vk : {VK_DOWN, VK_END, VK_DOWN, VK_HOME, VK_NEXT})
        selected.push_back((SendMessageW(main->ListViewWindow(), WM_KEYDOWN, vk, 0), main->List()->Selection()));
    EXPECT_EQ(selected, (std::vector<int>{0, 1, 9, 9, 0, 0}));
    EXPECT_GT(main->View().Scroll().position, 0);  // Page Down scrolled
}

TEST(ClipboardBlock, IsReadOnlyToItsEnd) {
    // Another program's block may be shorter than 8192 characters and
    // unterminated: put one right before a page that cannot be read. (Wine's
    // clipboard terminates text blocks itself, so this is shown on the rule.)
    GuardedBuffer guarded;
    const std::wstring link = L"https://mirror.example/rescue.iso";
    const auto* block = reinterpret_cast<const wchar_t*>(guarded.Place(link.data(), link.size() * sizeof(wchar_t)));
    EXPECT_EQ(ClipboardBlockText(block, link.size() * sizeof(wchar_t)), link);
    EXPECT_EQ(ClipboardBlockText(block, 10), L"https");
    EXPECT_EQ(ClipboardBlockText(std::wstring(9000, L'a').data(), 9000 * sizeof(wchar_t)).size(), 8192u);
}

TEST_F(Main, AClipboardLinkFillsTheBoxOnceAndNothingWithWatchingOff) {
    OpenRows(false);
    // The listener fires for a copied link...
    ASSERT_TRUE(SetClipboardText(main->Handle(), L"https://mirror.example/rescue.iso"));
    EXPECT_TRUE(Pump(3000, [&] { return GetWindowTextString(main->LinkBox()) == L"https://mirror.example/rescue.iso"; }));
    // ...then, one update each (what was copied, the box before -> after): typed text is
    // kept, a link already picked is not taken again, other text is no link.
    const struct { const wchar_t *copied, *before, *after; } cases[] = {
        {L"  https://mirror.example/other.iso\r\n", L"typed", L"typed"}, {nullptr, L"", L""}, {L"not a link", L"", L""},
        {L"https://mirror.example/off.iso", L"", L""}};  // the last with watching off
    for (const auto& c : cases) {
        if (&c == &cases[3]) g_settings.clipboard = false, main->SyncClipboardListener();
        if (c.copied) SetClipboardText(main->Handle(), c.copied);
        SetWindowTextW(main->LinkBox(), c.before);
        SendMessageW(main->Handle(), WM_CLIPBOARDUPDATE, 0, 0);
        EXPECT_EQ(GetWindowTextString(main->LinkBox()), c.after) << ::testing::PrintToString(std::wstring(c.before));
    }
}

TEST_F(Main, OnAnEmptyListKeysAndClicksDoNothingAndTheLinkBoxAddsTrimmedAndKeepsAnInvalidLinkWithTheError) {
    // A server that keeps sending: a closed port can fail the job, and say
    // so in the status line, before the test reads it.
    const std::wstring link = Server() + L"/file/x.bin?size=100000000&rate=100000";
    OpenRows(false);
    SetFocus(main->ListViewWindow());
    for (int command : {IDOK, 112, 111}) main->OnCommand(command);
    for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONDBLCLK}) ToList(message, POINT{100, 40});
    EXPECT_EQ(std::make_tuple(main->List()->Selection(), main->DetailsRow(), main->DetailsWindow()), std::make_tuple(-1, -1, HWND{}));
    SetWindowTextW(main->LinkBox(), L"ftp://old.example/file");
    SetFocus(main->LinkBox());
    std::wstring shown;
    DialogScript script({[&](HWND d) { shown = ui::MessageDialogText(d), PostMessageW(d, WM_COMMAND, 100, 0); }});
    PostMessageW(main->LinkBox(), WM_KEYDOWN, VK_RETURN, 1);  // Enter through the dialog manager: IDOK
    EXPECT_TRUE(Pump(3000, [&] { return shown.find(L"ftp://old.example/file") != std::wstring::npos; }));  // names it
    EXPECT_EQ(GetWindowTextString(main->LinkBox()), L"ftp://old.example/file");
    EXPECT_TRUE(main->List()->Entries().empty());
    SetWindowTextW(main->LinkBox(), (L"  " + link + L"\t").c_str());
    main->OnCommand(101);
    ASSERT_EQ(main->List()->Entries().size(), 1u);
    EXPECT_EQ(std::make_tuple(main->List()->Entries()[0].cached.url, GetWindowTextString(main->LinkBox()), main->StatusText().ends_with(link)),
              std::make_tuple(link, std::wstring(), true));
}

TEST_F(Main, ShortcutKeysActFromTheListAndTypeIntoTheLinkBox) {
    OpenRows();
    ASSERT_EQ(GetActiveWindow(), main->Handle());
    SetFocus(main->ListViewWindow());
    main->List()->Select(1);
    PressKey(VK_SPACE);  // toggles the selected paused row
    EXPECT_TRUE(Pump(1000, [&] { return State(1) != DownloadState::Paused; }));
    // With Ctrl held a digit does nothing.
    SetKeyDown(VK_CONTROL, true);
    PressKey('4');
    Pump(100);
    SetKeyDown(VK_CONTROL, false);
    EXPECT_EQ(main->List()->Entries().size(), 4u);
    // Keypad 4 is 4: Clear Finished.
    PressKey(VK_NUMPAD4);
    ASSERT_TRUE(Pump(1000, [&] { return main->List()->Entries().size() == 3u; }));
    const std::wstring status = main->StatusText();
    // In the link box the same digit is typed and nothing else happens.
    SetFocus(main->LinkBox());
    PressKey('3');
    ASSERT_TRUE(Pump(1000, [&] { return GetWindowTextString(main->LinkBox()) == L"3"; }));
    EXPECT_EQ(main->StatusText(), status);
}

TEST(StatusLine, CountsTheActiveRowsOfAllAndSumsTheirSpeed) {
    std::vector<ListEntry> entries(7);  // queued: not active
    for (int i : {1, 2, 4}) entries[i].cached.state = i < 4 ? DownloadState::Downloading : DownloadState::Connecting;
    entries[1].cached.speed = entries[2].cached.speed = 0.75 * 1024 * 1024;
    bool active = false;
    std::wstring text = RightStatusText(entries, active), speed = FormatSpeed(1.5 * 1024 * 1024), digits;
    text.erase(text.find(speed), speed.size());  // the speeds summed
    for (wchar_t c : text) if (iswdigit(c)) digits += c;
    EXPECT_EQ(std::make_pair(active, digits), std::make_pair(true, std::wstring(L"37")));  // 3 active of 7
}
