// The program's dialogs over a real main window, answered from inside their
// loops: what Settings writes and sets, what Add Download adds, what the
// removal questions remove, and the error box.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MainWindowHost.h"
#include "app/AppDialogs.h"
#include "app/DetailsPaint.h"
#include "engine/RateLimiter.h"
#include "store/FileServices.h"
#include "store/Lang.h"
#include "store/Settings.h"
#include "support/DialogScript.h"
#include "ui/ControlText.h"
#include "ui/Dialog.h"
#include "ui/FormDialog.h"
#include "ui/Fonts.h"

namespace {
void Type(HWND dialog, int id, const std::wstring& text) { SetWindowTextW(GetDlgItem(dialog, id), text.c_str()); }
void Click(HWND dialog, int id) { PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
std::wstring Field(HWND dialog, int id) { return GetWindowTextString(GetDlgItem(dialog, id)); }

class Dialogs : public ::testing::Test, public MainWindowHost {
protected:
    void Open(const char* list = nullptr) { ASSERT_TRUE(MainWindowHost::Open(list, true)); }
    std::string SettingsFile() { return ReadWholeFile(data / L"settings.cfg", 4096); }
    // Runs a command of the main window with the script answering its dialogs.
    void Run(int command, std::vector<DialogScript::Step> steps) {
        DialogScript script(std::move(steps));
        main->OnCommand(command);
        EXPECT_TRUE(script.Finished());
        EXPECT_EQ(DialogScript::Front(), nullptr);
    }
};
}  // namespace

TEST(SettingsForm, AcceptedFieldsAreTrimmedReadLenientlyAndClamped) {
    // Folder, connections, downloads, speed as typed -> the folder and numbers kept.
    const struct { const wchar_t *folder, *c, *d, *s, *savedFolder; int32_t connections, downloads, speed; } cases[] = {
        {L"E:\\Data\\\\", L"0", L"abc", L"-5", L"E:\\Data", 1, 1, 0}, {L"E:\\", L"99", L"9", L"250", L"E:\\", 16, 8, 250},
        {L"D:/x//", L"  7 connections", L"+3", L"99999999999", L"D:/x", 7, 3, 2147483647},
        {L"C:\\a\\", L"-4", L"0", L"12abc", L"C:\\a", 1, 1, 12}};
    AppSettings before;
    before.folder = L"C:\\old";
    for (const auto& c : cases) {
        ui::FormSpec form = SettingsForm(before);
        for (auto [field, value] : {std::pair{0, c.folder}, {1, c.c}, {2, c.d}, {3, c.s}}) form.fields[field].value = value;
        form.fields[4].ticked = false;
        form.fields[5].ticked = true;
        form.fields[6].value = L" ann:pw@proxy.corp:3128 ";
        form.fields[7].value = L"<local>;*.corp ";
        const AppSettings a = SettingsFromForm(form, before);
        EXPECT_EQ(std::tie(a.folder, a.connections, a.maxDownloads, a.speedLimitKB, a.clipboard, a.ignoreCertErrors,
                           a.proxy, a.proxyBypass),
                  std::make_tuple(std::wstring(c.savedFolder), c.connections, c.downloads, c.speed, false, true,
                                  std::wstring(L"ann:pw@proxy.corp:3128"), std::wstring(L"<local>;*.corp"))) << c.c;
    }
}

TEST_F(Dialogs, SettingsSavesTheFileSetsTheLimitAndCreatesTheFolder) {
    Open();
    const std::wstring folder = data / L"saved";
    const std::wstring status = main->StatusText();
    Run(108, {[&](HWND d) {
                  Type(d, 200, folder + L"\\\\");
                  Type(d, 201, L"99");
                  Type(d, 202, L"letters");
                  Type(d, 203, L"250");
                  Click(d, 205);  // the certificate box, by a click
              },
              [](HWND d) {
                  SetFocus(GetDlgItem(d, 204));
                  PressKey(VK_SPACE);  // the clipboard box, by Space: now off
              },
              [](HWND d) { Click(d, IDOK); }});
    const std::string file = SettingsFile();
    for (const std::string& line : {"Folder=" + Utf16ToUtf8(folder), std::string("Connections=16"), std::string("MaxDownloads=1"),
                                   std::string("SpeedLimitKB=250"), std::string("Clipboard=0"), std::string("IgnoreCertErrors=1")})
        EXPECT_NE(file.find(line + "\r\n"), std::string::npos) << line << " in " << file;
    EXPECT_EQ(zeb::g_speedLimitBytesPerSecond.load(), 256000);
    EXPECT_EQ(GetFileAttributesW(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_NE(main->StatusText(), status);  // says it saved
    zeb::setSpeedLimit(0);
}

TEST_F(Dialogs, SettingsCancelWritesNothingAndAnUncreatableFolderIsReported) {
    Open();
    const std::string before = SettingsFile();
    const AppSettings settings = g_settings;
    Run(108, {[](HWND d) { Type(d, 201, L"3"), PressKey(VK_ESCAPE); }});
    EXPECT_EQ(SettingsFile(), before);
    EXPECT_EQ(g_settings.connections, settings.connections);

    ASSERT_TRUE(WriteFileAtomic(data / L"afile", "x"));
    const std::wstring bad = data / L"afile\\sub";
    std::wstring message;
    Run(108, {[&](HWND d) { Type(d, 200, bad), Click(d, IDOK); },
              [&](HWND d) { message = ui::MessageDialogText(d), PressKey(VK_RETURN); }});
    EXPECT_EQ(message.substr(message.size() - bad.size()), bad);  // names the folder
    EXPECT_NE(SettingsFile().find("Folder=" + Utf16ToUtf8(bad) + "\r\n"), std::string::npos);  // saved anyway
}

TEST_F(Dialogs, AddTakesTheLinkBoxElseAClipboardLinkAndRefusesABadOne) {
    Open();
    SetWindowTextW(main->LinkBox(), L"  http://127.0.0.1:9/typed.bin");
    std::wstring shown;
    Run(103, {[&](HWND d) {
        shown = Field(d, 200);
        Type(d, 201, data / L"elsewhere");
        Type(d, 202, L" named.bin ");
        Click(d, IDOK);
    }});
    EXPECT_EQ(shown, L"  http://127.0.0.1:9/typed.bin");  // untrimmed
    ASSERT_EQ(main->List()->Entries().size(), 1u);
    const DownloadInfo& row = main->List()->Entries()[0].cached;
    EXPECT_EQ(std::tie(row.url, row.folder, row.fileName),
              std::make_tuple(std::wstring(L"http://127.0.0.1:9/typed.bin"), data / L"elsewhere", std::wstring(L"named.bin")));
    EXPECT_EQ(GetWindowTextString(main->LinkBox()), L"");
    EXPECT_EQ(g_settings.folder, data / L"dl");  // not the new default

    // An empty box takes a link from the clipboard, not other text.
    g_settings.clipboard = false;
    main->SyncClipboardListener();
    ASSERT_TRUE(SetClipboardText(main->Handle(), L" https://mirror.example/copied.iso\r\n"));
    Run(103, {[&](HWND d) { shown = Field(d, 200), PressKey(VK_ESCAPE); }});
    EXPECT_EQ(shown, L"https://mirror.example/copied.iso");
    ASSERT_TRUE(SetClipboardText(main->Handle(), L"just words"));
    bool stayedOpen = false;
    Run(103, {[&](HWND d) { shown = Field(d, 200), Click(d, IDOK); },
              [&](HWND d) { stayedOpen = d != nullptr, PressKey(VK_ESCAPE); }});
    EXPECT_TRUE(shown.empty() && stayedOpen);
    // An invalid link is reported, a link the list has already is refused: the box keeps either.
    for (const wchar_t* link : {L"ftp://old.example/file", L"http://127.0.0.1:9/typed.bin"}) {
        SetWindowTextW(main->LinkBox(), link);
        std::wstring message;
        std::vector<DialogScript::Step> steps = {[](HWND d) { Click(d, IDOK); }};
        if (link[0] == L'f') steps.push_back([&](HWND d) { message = ui::MessageDialogText(d), PressKey(VK_RETURN); });
        Run(103, steps);
        EXPECT_EQ(message.find(link) != std::wstring::npos, link[0] == L'f');
        EXPECT_EQ(GetWindowTextString(main->LinkBox()), link);
    }
    EXPECT_EQ(main->List()->Entries().size(), 1u);
}

TEST_F(Dialogs, AddRefusesAMalformedChecksumAndKeepsATypedOne) {
    Open();
    SetWindowTextW(main->LinkBox(), L"http://127.0.0.1:9/sum.bin");
    std::wstring refusal;
    Run(103, {[&](HWND d) { Type(d, 203, L"12345"), Click(d, IDOK); },
              [&](HWND d) {
                  refusal = ui::FormRefusalText(d);
                  Type(d, 203, L" " + std::wstring(40, L'A'));
                  Click(d, IDOK);
              }});
    EXPECT_FALSE(refusal.empty());
    EXPECT_EQ(refusal, ChecksumRefusal(L"12345"));
    ASSERT_EQ(main->List()->Entries().size(), 1u);
    EXPECT_EQ(main->List()->Entries()[0].cached.expectedChecksum, std::wstring(40, L'a'));
}

namespace {
// A finished row whose file exists, and a paused one.
std::string RemovalList(const ScratchFolder& data) {
    const std::string folder = Utf16ToUtf8(data / L"dl");
    return "ZEBLIST 1\r\n[item]\r\nurl=http://127.0.0.1:9/done.bin\r\nfolder=" + folder +
           "\r\nfile=done.bin\r\nfixed=1\r\ntotal=4\r\ndone=4\r\nstate=completed\r\nerror=\r\n"
           "[item]\r\nurl=http://127.0.0.1:9/part.bin\r\nfolder=" +
           folder + "\r\nfile=part.bin\r\nfixed=1\r\ntotal=100\r\ndone=0\r\nstate=paused\r\nerror=\r\n";
}
}  // namespace

TEST_F(Dialogs, RemovalQuestionsRemoveOnlyWhatTheAnswerSays) {
    CreateFolderTree(data / L"dl");
    const std::wstring done = data / L"dl\\done.bin";
    ASSERT_TRUE(WriteFileAtomic(done, "done"));
    const std::string list = RemovalList(data);
    Open(list.c_str());
    SetFocus(main->ListViewWindow());
    // Paused row: Escape, then Enter on the focused Cancel.
    main->List()->Select(1);
    std::wstring message;
    int focus = 0;
    Run(111, {[&](HWND d) { message = ui::MessageDialogText(d), PressKey(VK_ESCAPE); }});
    Run(111, {[&](HWND) { focus = FocusId(), PressKey(VK_RETURN); }});
    EXPECT_NE(message.find(L"part.bin"), std::wstring::npos);
    EXPECT_EQ(focus, 101);  // Cancel
    EXPECT_EQ(main->List()->Entries().size(), 2u);
    // Finished row: Escape and Cancel keep it, "Delete the file too" deletes the file.
    main->List()->Select(0);
    Run(111, {[&](HWND) { focus = FocusId(), PressKey(VK_ESCAPE); }});
    EXPECT_EQ(focus, 100);  // Remove from list
    Run(111, {[](HWND d) { Click(d, 102); }});
    EXPECT_EQ(main->List()->Entries().size(), 2u);
    EXPECT_NE(GetFileAttributesW(done.c_str()), INVALID_FILE_ATTRIBUTES);
    Run(111, {[](HWND d) { Click(d, 101); }});
    ASSERT_EQ(main->List()->Entries().size(), 1u);
    EXPECT_EQ(main->List()->Entries()[0].cached.fileName, L"part.bin");
    EXPECT_EQ(GetFileAttributesW(done.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Dialogs, ChangeLinkFromTheSelectedRowAndFromTheDetailsFooter) {
    Open(RemovalList(data).c_str());
    main->List()->Select(1);
    std::wstring shown;
    Run(113, {[&](HWND d) {
        shown = Field(d, 200);
        Type(d, 200, L" http://127.0.0.1:9/part-mirror.bin ");
        Click(d, IDOK);
    }});
    EXPECT_EQ(shown, L"http://127.0.0.1:9/part.bin");
    EXPECT_EQ(main->List()->Entries()[1].cached.url, L"http://127.0.0.1:9/part-mirror.bin");
    // A finished row's link changes too (what Copy Link gives from now on).
    main->OpenDetails(0);
    DialogScript script({[&](HWND d) {
        Type(d, 200, L"http://127.0.0.1:9/done-mirror.bin");
        Click(d, IDOK);
    }});
    SendMessageW(main->DetailsWindow(), WM_COMMAND, kChangeLinkButtonId, 0);
    EXPECT_TRUE(script.Finished());
    const std::string list = ReadWholeFile(data / L"downloads.lst", 1 << 16);
    EXPECT_NE(list.find("done-mirror.bin"), std::string::npos);
    EXPECT_NE(list.find("part-mirror.bin"), std::string::npos);
}

TEST_F(Dialogs, ADpiChangeDuringAFormGivesItsBoxesLiveFonts) {
    Open();
    HFONT font = nullptr;
    int described = 0;
    Run(108, {[&](HWND d) {
        RECT suggested{0, 0, 1500, 960};
        SendMessageW(main->Handle(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
        font = reinterpret_cast<HFONT>(SendMessageW(GetDlgItem(d, 200), WM_GETFONT, 0, 0));
        LOGFONTW lf{};
        described = GetObjectW(font, sizeof lf, &lf);
        PressKey(VK_ESCAPE);
    }});
    EXPECT_EQ(font, FontOf(4));
    EXPECT_NE(described, 0);
}
