// The list as a screen reader reads it through MSAA: from this process and
// from another (this test program started again as the client), the events
// a finish raises, and none while the window idles.
#include <oleacc.h>

#include <cstdio>
#include <tuple>

#include "MainWindowHost.h"
#include "app/AccessModules.h"
#include "app/Announcer.h"
#include "app/RowText.h"

namespace {
// Events as an out-of-context hook sees them (delivered through the message loop): event, window, object, child.
using Seen = std::tuple<DWORD, HWND, LONG, LONG>;
std::vector<Seen> g_seen;
void CALLBACK OnEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD) {
    g_seen.emplace_back(event, window, object, child);
}
struct EventHook {
    HWINEVENTHOOK hook = (g_seen.clear(), SetWinEventHook(EVENT_SYSTEM_ALERT, EVENT_OBJECT_VALUECHANGE, nullptr, OnEvent,
                                                          GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT));
    ~EventHook() { UnhookWinEvent(hook); }
    static bool Saw(const Seen& s) { return std::find(g_seen.begin(), g_seen.end(), s) != g_seen.end(); }
};

template <typename Out>
Out Ask(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, Out*), IAccessible* a, LONG child) {
    VARIANT v{};
    v.vt = VT_I4, v.lVal = child;
    Out out{};
    (a->*get)(v, &out);
    return out;
}
std::wstring Text(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*), IAccessible* a, LONG child) {
    BSTR b = Ask(get, a, child);
    std::wstring text = b ? b : L"";
    SysFreeString(b);
    return text;
}
LONG Number(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*), IAccessible* a, LONG child) {
    const VARIANT out = Ask(get, a, child);
    return out.vt == VT_I4 ? out.lVal : -1;
}
ComRef<IAccessible> ListObject(HWND list) {
    void* object = nullptr;
    AccessibleObjectFromWindow(list, static_cast<DWORD>(OBJID_CLIENT), kIidAccessible, &object);
    return ComRef<IAccessible>(static_cast<IAccessible*>(object));
}

// The client in another process: started with the list window and row 1's name in its
// environment, it answers with its exit code before any test runs.
const int g_client = [] {
    wchar_t window[32] = {}, name[512] = {};
    if (!GetEnvironmentVariableW(L"TW_ACCESS_LIST", window, 32) || !GetEnvironmentVariableW(L"TW_ACCESS_NAME", name, 512)) return 0;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const HWND list = reinterpret_cast<HWND>(static_cast<uintptr_t>(wcstoull(window, nullptr, 16)));
    int code = 1;
    if (ComRef<IAccessible> a = ListObject(list)) {
        LONG count = 0;
        a->get_accChildCount(&count);
        fwprintf(stderr, L"client: role %ld, %ld rows, row 1 \"%ls\"\n", Number(&IAccessible::get_accRole, a.get(), 0), count,
                 Text(&IAccessible::get_accName, a.get(), 1).c_str());
        code = Number(&IAccessible::get_accRole, a.get(), 0) == ROLE_SYSTEM_LIST && count == 4 &&
                       Text(&IAccessible::get_accName, a.get(), 1) == name ? 0 : 2;
    }
    ExitProcess(code);
}();
}  // namespace

using Access = ShellTest;

TEST_F(Access, TheListReadsEachRowAndItsSelectionAndFocusFollowTheKeys) {
    OpenRows();  // finished, paused, paused, failed
    HWND list = main->ListViewWindow();
    ComRef<IAccessible> a = ListObject(list);
    ASSERT_TRUE(a);
    // Catches an object that is not the list, or rows that are missing or counted twice.
    LONG count = 0;
    a->get_accChildCount(&count);
    EXPECT_EQ(std::make_pair(Number(&IAccessible::get_accRole, a.get(), 0), count), std::make_pair(LONG{ROLE_SYSTEM_LIST}, LONG{4}));
    // Catches a child id read as the wrong row, and a name or value that is not what the card shows.
    for (LONG child = 1; child <= 4; ++child) {
        const DownloadInfo info = main->List()->Entries()[static_cast<size_t>(child - 1)].cached.Info();
        EXPECT_EQ(Text(&IAccessible::get_accName, a.get(), child), RowNameText(info)) << child;
        EXPECT_EQ(Text(&IAccessible::get_accValue, a.get(), child), RowValueText(info)) << child;
        EXPECT_EQ(Number(&IAccessible::get_accRole, a.get(), child), ROLE_SYSTEM_LISTITEM);
    }
    // Catches a selection or focus the screen reader does not hear of, or states that do not follow.
    EventHook hook;
    SetFocus(list);
    for (WPARAM vk : {VK_HOME, VK_DOWN}) SendMessageW(list, WM_KEYDOWN, vk, 0);
    const Seen selected{EVENT_OBJECT_SELECTION, list, OBJID_CLIENT, 2}, focused{EVENT_OBJECT_FOCUS, list, OBJID_CLIENT, 2};
    EXPECT_TRUE(Pump(3000, [&] { return EventHook::Saw(selected) && EventHook::Saw(focused); }));
    VARIANT focus{};
    a->get_accFocus(&focus);
    EXPECT_EQ(std::make_pair(focus.vt, focus.lVal), std::make_pair(VARTYPE{VT_I4}, LONG{2}));
    const LONG both = STATE_SYSTEM_SELECTED | STATE_SYSTEM_FOCUSED;
    EXPECT_EQ(Number(&IAccessible::get_accState, a.get(), 2) & both, both);
    EXPECT_EQ(Number(&IAccessible::get_accState, a.get(), 1) & both, 0);
    // Catches a row placed off its card, and a default action that does not open the details.
    LONG x, y, w, h;
    VARIANT second{};
    second.vt = VT_I4, second.lVal = 2;
    ASSERT_EQ(a->accLocation(&x, &y, &w, &h, second), S_OK);
    RECT row = Row(1);
    MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&row), 2);
    EXPECT_EQ((std::vector<LONG>{x, y, x + w, y + h}), (std::vector<LONG>{row.left, row.top, row.right, row.bottom}));
    a->accDoDefaultAction(second);
    EXPECT_TRUE(Pump(3000, [&] { return main->DetailsRow() == 1; }));
}

TEST_F(Access, AnotherProcessReadsTheList) {
    // Catches an object that cannot be marshalled to a screen reader, which runs in a process of its own.
    OpenRows();
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    wchar_t window[32];
    swprintf(window, 32, L"%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(main->ListViewWindow())));
    SetEnvironmentVariableW(L"TW_ACCESS_LIST", window);
    SetEnvironmentVariableW(L"TW_ACCESS_NAME", RowNameText(main->List()->Entries()[0].cached.Info()).c_str());
    std::wstring command = L"\"" + std::wstring(self) + L"\"";
    STARTUPINFOW si{sizeof si};
    PROCESS_INFORMATION pi{};
    const BOOL started = CreateProcessW(self, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    SetEnvironmentVariableW(L"TW_ACCESS_LIST", nullptr);
    ASSERT_TRUE(started);
    KernelHandle process(pi.hProcess), thread(pi.hThread);
    // The window answers the client's calls from its own loop.
    EXPECT_TRUE(Pump(30000, [&] { return WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0; }));
    DWORD code = 99;  // the client's verdict: 0 when it read the list
    GetExitCodeProcess(process.get(), &code);
    EXPECT_EQ(code, 0u);
}

TEST_F(Access, AFinishIsToldAndAnnouncedAndAnIdleWindowRaisesNothing) {
    ASSERT_TRUE(Open(nullptr, false));
    EventHook hook;
    ASSERT_TRUE(main->List()->AddDownload({.url = Server() + L"/file/small.bin?size=5000"}, data / L"dl"));
    // Catches a finish that changes the row but not what the screen reader is told, or is not announced.
    const HWND list = main->ListViewWindow(), window = main->Handle();
    const Seen told{EVENT_OBJECT_VALUECHANGE, list, OBJID_CLIENT, 1}, alert{EVENT_SYSTEM_ALERT, window, kAnnouncementObjectId, 0};
    ASSERT_TRUE(Pump(10000, [&] { return main->List()->Entries()[0].cached.state == DownloadState::Completed && EventHook::Saw(alert); }));
    EXPECT_TRUE(Pump(1000, [&] { return EventHook::Saw(told); }));
    IAccessible* said = nullptr;
    VARIANT child{};
    ASSERT_EQ(AccessibleObjectFromEvent(window, kAnnouncementObjectId, CHILDID_SELF, &said, &child), S_OK);
    ComRef<IAccessible> owner(said);
    // The alert says the finish's message (the add's came before it).
    EXPECT_EQ(Text(&IAccessible::get_accName, said, CHILDID_SELF), main->StatusText());
    // Catches events raised by ticks over rows that stand still: 2 s of the 300 ms tick, awaited in full
    // (it asserts that nothing comes).
    Pump(500);
    g_seen.clear();
    Pump(2000);
    EXPECT_EQ(std::count_if(g_seen.begin(), g_seen.end(), [&](const Seen& e) {  // about the rows, or an announcement
                  return std::get<1>(e) == list ? std::get<3>(e) > 0 : std::get<1>(e) == window && std::get<2>(e) == kAnnouncementObjectId;
              }), 0);
}
