// When the queue is done: when the choice acts, the countdown question over
// a real main window, and what reaches Windows (through the test stand-in
// for ExitWindowsEx) with the list already saved.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MainWindowHost.h"
#include "app/Actions.h"
#include "app/Power.h"
#include "app/WhenDone.h"
#include "engine/ErrorTexts.h"
#include "support/DialogWatch.h"
#include "support/HttpGet.h"
#include "ui/ControlText.h"
#include "ui/MessageDialog.h"

namespace {
ListEntry Row(DownloadState state) {
    ListEntry e;
    e.cached.state = state;
    return e;
}

// What reached Windows, and the list file at that moment.
struct Asked {
    UINT flags = 0;
    int calls = 0;
    std::string listThen;
    DWORD fail = 0;  // the error to fail with, 0: succeed
};
Asked g_asked;
std::wstring g_listPath;

BOOL WINAPI StandIn(UINT flags, DWORD) {
    g_asked.flags = flags;
    ++g_asked.calls;
    g_asked.listThen = ReadWholeFile(g_listPath, 1 << 20);
    if (g_asked.fail) SetLastError(g_asked.fail);
    return g_asked.fail == 0;
}

class WhenDoneWindow : public ::testing::Test, public MainWindowHost {
protected:
    void SetUp() override {
        ASSERT_TRUE(Open(nullptr, false));
        g_asked = Asked{};
        g_listPath = data / L"downloads.lst";
        SetExitWindowsForTests(StandIn);
    }
    void TearDown() override {
        SetExitWindowsForTests(nullptr);
        zeb::freezeFinalRenames(false);  // a Close acts through the exit
    }
    void Choose(WhenDone choice) {
        while (main->WhenDoneChoice() != choice) main->OnCommand(kWhenDoneButtonId);
    }
    void Add(const std::wstring& query) {
        DownloadRequest r;
        r.url = Server() + L"/file/" + query;
        ASSERT_TRUE(main->List()->AddDownload(r, data / L"dl"));
    }
    std::wstring Caption() { return GetWindowTextString(GetDlgItem(main->Handle(), kWhenDoneButtonId)); }
};
}  // namespace

TEST(WhenDone, ChoicesCycleAndOnlyAQueueEmptiedByAFinishActs) {
    WhenDone c = WhenDone::Nothing;
    std::vector<WhenDone> seen;
    for (int i = 0; i < 4; ++i) seen.push_back(c = NextWhenDone(c));
    EXPECT_EQ(seen, (std::vector<WhenDone>{WhenDone::Close, WhenDone::ShutDown, WhenDone::Restart, WhenDone::Nothing}));

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
        std::vector<ListEntry> entries;
        for (S s : c.rows) entries.push_back(Row(s));
        EXPECT_EQ(WhenDoneDue(c.choice, entries, c.finished), c.due) << static_cast<int>(c.choice) << " " << c.finished;
    }
}

TEST_F(WhenDoneWindow, ShutDownWaitsForAFinishCountsDownSavesTheListThenAsksWindows) {
    const std::wstring before = Caption();
    Choose(WhenDone::ShutDown);
    EXPECT_NE(Caption(), before);
    EXPECT_EQ(main->StatusText().rfind(WhenDoneText(WhenDone::ShutDown), 0), 0u);

    // A failure is no finish: nothing is asked.
    bool asked = false;
    {
        DialogWatch watch([&](HWND d) { asked |= d != nullptr; });
        Add(L"missing.bin?size=10&probe_status=404");
        Pump(1500, [&] { return main->List()->Entries()[0].cached.state == DownloadState::Failed; });
        Pump(700);
    }
    ASSERT_EQ(main->List()->Entries()[0].cached.state, DownloadState::Failed);
    EXPECT_FALSE(asked);

    // A finish: the question counts down once a second until Now is pressed.
    std::vector<std::wstring> texts;
    {
        DialogWatch watch([&](HWND d) {
            if (!d) return;
            const std::wstring text = ui::MessageDialogText(d);
            if (texts.empty() || texts.back() != text) texts.push_back(text);
            if (texts.size() == 2) PostMessageW(d, WM_COMMAND, 100, 0);  // Now
        }, true);
        Add(L"done.bin?size=1000");
        EXPECT_TRUE(Pump(10000, [&] { return g_asked.calls == 1; }));
    }
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], WhenDoneCountdownText(WhenDone::ShutDown, 30));
    EXPECT_EQ(texts[1], WhenDoneCountdownText(WhenDone::ShutDown, 29));
    EXPECT_EQ(g_asked.flags & (EWX_SHUTDOWN | EWX_POWEROFF | EWX_REBOOT), UINT(EWX_SHUTDOWN | EWX_POWEROFF));
    EXPECT_NE(g_asked.listThen.find("file=done.bin\r\n"), std::string::npos);
    EXPECT_NE(g_asked.listThen.find("state=completed"), std::string::npos);  // saved before Windows was asked
    EXPECT_EQ(main->WhenDoneChoice(), WhenDone::Nothing);

    // Unanswered, it acts at zero; a refusal is shown and the window stays.
    main->SetWhenDoneSecondsForTests(1);
    Choose(WhenDone::Restart);
    g_asked.fail = ERROR_PRIVILEGE_NOT_HELD;
    std::wstring error;
    {
        DialogWatch watch([&](HWND d) {
            if (d && g_asked.calls == 2) error = ui::MessageDialogText(d), PostMessageW(d, WM_COMMAND, 100, 0);
        }, true);
        Add(L"again.bin?size=1000");
        EXPECT_TRUE(Pump(10000, [&] { return !error.empty() && !DialogScript::Front(); }));
    }
    EXPECT_EQ(g_asked.flags & EWX_REBOOT, UINT(EWX_REBOOT));
    EXPECT_NE(error.find(zeb::systemErrorText(ERROR_PRIVILEGE_NOT_HELD)), std::wstring::npos) << error;
    EXPECT_TRUE(IsWindow(main->Handle()));
    EXPECT_EQ(main->WhenDoneChoice(), WhenDone::Nothing);
}

TEST_F(WhenDoneWindow, CancelForgetsTheChoiceNewWorkWithdrawsTheQuestionAndCloseSavesAndCloses) {
    const std::wstring hold = L"?size=1000&hold=1&token=wd" + std::to_wstring(GetCurrentProcessId());
    Choose(WhenDone::Close);
    int shown = 0;
    {
        DialogWatch watch([&](HWND d) { ++shown, PostMessageW(d, WM_COMMAND, 101, 0); });  // Cancel
        Add(L"first.bin?size=1000");
        Pump(10000, [&] { return shown > 0 && !DialogScript::Front(); });
    }
    EXPECT_EQ(main->WhenDoneChoice(), WhenDone::Nothing);
    EXPECT_TRUE(IsWindow(main->Handle()));

    // A link handed over while the question counts down: the question goes,
    // the choice stays, and it is asked again when that one is done too.
    Choose(WhenDone::Close);
    int questions = 0;
    {
        DialogWatch watch([&](HWND d) {
            if (++questions == 1) Add(L"second.bin" + hold);
            else PostMessageW(d, WM_COMMAND, 100, 0);  // Now
        });
        Add(L"quick.bin?size=1000");
        EXPECT_TRUE(Pump(10000, [&] { return questions == 1 && !DialogScript::Front(); }));
        EXPECT_EQ(main->WhenDoneChoice(), WhenDone::Close);
        HttpGet(Server() + L"/_release?token=wd" + std::to_wstring(GetCurrentProcessId()));
        EXPECT_TRUE(Pump(10000, [&] { return !IsWindow(main->Handle()); }));
    }
    EXPECT_EQ(questions, 2);
    EXPECT_EQ(g_asked.calls, 0);
    const std::string list = ReadWholeFile(data / L"downloads.lst", 1 << 20);
    size_t completed = 0;
    for (size_t at = list.find("state=completed"); at != std::string::npos; at = list.find("state=completed", at + 1))
        ++completed;
    EXPECT_EQ(completed, 3u);
}
