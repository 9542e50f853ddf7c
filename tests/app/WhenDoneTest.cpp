// When the queue is done: when the choice acts, the countdown question over
// a real main window, and what reaches Windows (through the test stand-in
// for ExitWindowsEx) with the list already saved.
#include <regex>

#include "MainWindowHost.h"
#include "app/Actions.h"
#include "app/Power.h"
#include "app/WhenDone.h"
#include "support/DialogWatch.h"
#include "ui/MessageDialog.h"

namespace {
// The stand-in for ExitWindowsEx: what reached Windows, and the list file at that moment.
struct Asked { UINT flags = 0; int calls = 0; std::string listThen; } g_asked;
std::wstring g_listPath;

BOOL WINAPI StandIn(UINT flags, DWORD) {
    g_asked.flags = flags, ++g_asked.calls, g_asked.listThen = ReadWholeFile(g_listPath, 1 << 20);
    return TRUE;
}

class WhenDoneWindow : public ::testing::Test, public MainWindowHost {
protected:
    void SetUp() override {
        ASSERT_TRUE(Open(nullptr, false));
        g_asked = Asked{}, g_listPath = data / L"downloads.lst";
        SetExitWindowsForTests(StandIn);
    }
    void TearDown() override { SetExitWindowsForTests(nullptr), zeb::freezeFinalRenames(false); }  // a Close acts through the exit
    void Choose(WhenDone choice) { while (main->WhenDoneChoice() != choice) main->OnCommand(kWhenDoneButtonId); }
    void Add(const std::wstring& query) { ASSERT_TRUE(main->List()->AddDownload({.url = Server() + L"/file/" + query}, data / L"dl")); }
};
}  // namespace

TEST(WhenDone, ChoicesCycleAndOnlyAQueueEmptiedByAFinishActs) {
    WhenDone c = WhenDone::Nothing;
    for (WhenDone next : {WhenDone::Close, WhenDone::ShutDown, WhenDone::Restart, WhenDone::Nothing}) EXPECT_EQ(c = NextWhenDone(c), next);

    using S = DownloadState;
    const struct { WhenDone choice; std::vector<S> rows; uint64_t finished; bool due; } cases[] = {
        {WhenDone::ShutDown, {S::Completed, S::Paused, S::Failed}, 1, true},  // paused and failed rows wait
        {WhenDone::Close, {S::Completed, S::Queued}, 1, false},
        {WhenDone::Close, {S::Completed, S::Connecting}, 1, false},
        {WhenDone::Restart, {S::Completed, S::Downloading}, 2, false},
        {WhenDone::ShutDown, {S::Failed, S::Failed}, 0, false},  // every row failed
        {WhenDone::ShutDown, {S::Completed}, 0, false},           // finished before the choice
        {WhenDone::Nothing, {S::Completed}, 1, false},
    };
    for (const auto& c : cases) {
        std::vector<ListEntry> entries(c.rows.size());
        for (size_t i = 0; i < c.rows.size(); ++i) entries[i].cached.state = c.rows[i];
        EXPECT_EQ(WhenDoneDue(c.choice, entries, c.finished), c.due) << static_cast<int>(c.choice) << " " << c.finished;
    }
    // Catches a shutdown inside Windows PE that takes this run's files on its RAM drive with it unasked.
    const struct { WhenDone choice; bool pe; const wchar_t* folder; bool here; const wchar_t* lost; } losses[] = {
        {WhenDone::ShutDown, true, L"X:\\ZEBDownloads", true, L"X:"}, {WhenDone::Restart, true, L"x:\\dl", true, L"x:"},
        {WhenDone::ShutDown, false, L"X:\\dl", true, L""}, {WhenDone::Close, true, L"X:\\dl", true, L""},
        {WhenDone::ShutDown, true, L"D:\\ZEBDownloads", true, L""}, {WhenDone::ShutDown, true, L"X:\\dl", false, L""}};
    for (const auto& l : losses) {
        std::vector<ListEntry> entries(1);
        entries[0].cached.state = S::Completed, entries[0].cached.folder = l.folder, entries[0].finishedHere = l.here;
        EXPECT_EQ(WhenDoneLossDrive(l.choice, entries, l.pe, L'X'), l.lost) << l.folder;
    }
}

TEST_F(WhenDoneWindow, ACountdownThatMayLoseFilesWaitsAtZeroForItsAnswer) {
    ui::Countdown countdown{.seconds = 1, .text = [](int left) { return WhenDoneCountdownText(WhenDone::ShutDown, left, L"X:"); },
                            .atZero = ui::kCountdownStays};
    int ticksAtZero = 0;
    DialogWatch watch([&](HWND d) {
        if (d && ui::MessageDialogText(d) == countdown.text(0) && ++ticksAtZero == 40) PostMessageW(d, WM_COMMAND, 101, 0);
    }, true);  // still open 2 s after zero came: Cancel
    EXPECT_EQ(ui::ShowCountdownDialog(main->Handle(), L"t", ui::MessageIcon::Warning, {L"Now", L"Cancel"}, 0, 1, countdown), 1);
}

TEST_F(WhenDoneWindow, ShutDownCountsDownSavesTheListThenAsksWindowsAndRestartActsAtZero) {
    const std::wstring before = GetWindowTextString(GetDlgItem(main->Handle(), kWhenDoneButtonId));
    SetFocus(main->ListViewWindow());
    PressKey(VK_NUMPAD7);  // the key 7 is the button
    EXPECT_TRUE(Pump(1000, [&] { return main->WhenDoneChoice() == WhenDone::Close; }));
    Choose(WhenDone::ShutDown);
    EXPECT_NE(GetWindowTextString(GetDlgItem(main->Handle(), kWhenDoneButtonId)), before);
    EXPECT_EQ(main->StatusText().rfind(WhenDoneText(WhenDone::ShutDown), 0), 0u);
    std::vector<std::wstring> texts;  // once a second, until Now is pressed
    {
        DialogWatch watch([&](HWND d) {
            if (d && (texts.empty() || texts.back() != ui::MessageDialogText(d))) texts.push_back(ui::MessageDialogText(d));
            if (d && texts.size() == 2) PostMessageW(d, WM_COMMAND, 100, 0);
        }, true);
        Add(L"done.bin?size=1000");
        EXPECT_TRUE(Pump(10000, [&] { return g_asked.calls == 1; }));
    }
    EXPECT_EQ(texts, (std::vector<std::wstring>{WhenDoneCountdownText(WhenDone::ShutDown, 30),
                                                WhenDoneCountdownText(WhenDone::ShutDown, 29)}));
    EXPECT_EQ(std::make_pair(g_asked.flags & (EWX_SHUTDOWN | EWX_POWEROFF | EWX_REBOOT), main->WhenDoneChoice()),
              std::make_pair(UINT(EWX_SHUTDOWN | EWX_POWEROFF), WhenDone::Nothing));
    EXPECT_NE(g_asked.listThen.find("state=completed"), std::string::npos);  // its one row saved before Windows was asked

    // Unanswered, it acts at zero.
    main->SetWhenDoneSecondsForTests(1);
    Choose(WhenDone::Restart);
    Add(L"again.bin?size=1000");
    EXPECT_TRUE(Pump(10000, [&] { return g_asked.calls == 2; }));
    EXPECT_EQ(std::make_pair(g_asked.flags & EWX_REBOOT, main->WhenDoneChoice()), std::make_pair(UINT(EWX_REBOOT), WhenDone::Nothing));
}

TEST_F(WhenDoneWindow, NowAnsweredJustAfterNewWorkArrivedDoesNotAct) {
    // Catches the action taken on the countdown's last look at the queue: a question answered
    // meanwhile ("Add all" of copied links) started downloads a moment before the shutdown.
    const std::wstring token = L"wn" + std::to_wstring(GetCurrentProcessId());
    Choose(WhenDone::ShutDown);
    int questions = 0;
    DialogWatch watch([&](HWND d) {
        if (++questions == 1) Add(L"late.bin?size=1000&hold=1&token=" + token), PostMessageW(d, WM_COMMAND, 100, 0);  // Now
        else PostMessageW(d, WM_COMMAND, 101, 0);  // asked again once that one is done: Cancel
    });
    Add(L"first.bin?size=1000");
    EXPECT_TRUE(Pump(10000, [&] { return questions == 1 && !DialogScript::Front(); }));
    EXPECT_EQ(std::make_pair(g_asked.calls, main->WhenDoneChoice()), std::make_pair(0, WhenDone::ShutDown));
    HttpRelease(token);
    EXPECT_TRUE(Pump(10000, [&] { return questions == 2 && !DialogScript::Front(); }));
    EXPECT_EQ(g_asked.calls, 0);
}

TEST_F(WhenDoneWindow, NewWorkWithdrawsTheQuestionCancelForgetsTheChoiceAndCloseSavesAndCloses) {
    const std::wstring token = L"wd" + std::to_wstring(GetCurrentProcessId());
    Choose(WhenDone::Close);
    int questions = 0;
    DialogWatch watch([&](HWND d) {
        if (++questions == 1) Add(L"held.bin?size=1000&hold=1&token=" + token);  // a link arrives
        else PostMessageW(d, WM_COMMAND, questions == 2 ? 101 : 100, 0);       // Cancel, then Now
    });
    Add(L"first.bin?size=1000");
    EXPECT_TRUE(Pump(10000, [&] { return questions == 1 && !DialogScript::Front(); }));
    EXPECT_EQ(main->WhenDoneChoice(), WhenDone::Close);  // asked again once that one is done
    HttpRelease(token);
    EXPECT_TRUE(Pump(10000, [&] { return questions == 2 && !DialogScript::Front(); }));
    EXPECT_EQ(main->WhenDoneChoice(), WhenDone::Nothing);
    Choose(WhenDone::Close);
    Add(L"last.bin?size=1000");
    EXPECT_TRUE(Pump(10000, [&] { return !IsWindow(main->Handle()); }));
    EXPECT_EQ(g_asked.calls, 0);
    const std::string list = ReadWholeFile(data / L"downloads.lst", 1 << 20);
    const std::regex completed("state=completed");
    EXPECT_EQ(std::distance(std::sregex_iterator(list.begin(), list.end(), completed), {}), 3);  // saved as the exit saves
}
