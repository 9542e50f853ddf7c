// The settings file: the lenient reader with its repairs, the written
// lines, and what loading sets beyond the record.
#include "store/Settings.h"

#include <gtest/gtest.h>

#include "engine/Credentials.h"

#include "engine/RateLimiter.h"
#include "store/FileServices.h"
#include "store/Lang.h"
#include "store/Storage.h"
#include "support/TempFolder.h"

namespace {
// Each test starts from the defaults and leaves them behind.
class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(), zeb::setSpeedLimit(0), zeb::setProxy({}); }
    static void Reset() { g_settings = AppSettings(), SetVietnamese(true), SetDarkTheme(true); }
    ScratchFolder data_;
};

TEST_F(SettingsFile, ReaderRulesRepairsAndTheDefaults) {
    // Keys ignore case, not spaces (this key ends with one); the later wins; clamps and saturation.
    for (const auto& [text, connections] : {std::pair{"CONNECTIONS=12\r\n", 12}, {"Connections = 12\r\n", 8},
                                            {"noise\nConnections\n=3\nConnections=4\nConnections=6abc\n", 6}, {"Connections=40", 16}}) {
        AppSettings s;
        ApplySettingsText(text, s);
        EXPECT_EQ(s.connections, connections) << text;
    }
    AppSettings s;
    ApplySettingsText("MaxDownloads=-2\nSpeedLimitKB=99999999999999", s);
    EXPECT_EQ(std::make_pair(s.maxDownloads, s.speedLimitKB), std::make_pair(1, 2147483647));
    ApplySettingsText("Clipboard=no\r\nIgnoreCertErrors=7\r\nLanguage=EN\r\nStyle=Light", s);
    EXPECT_EQ(std::make_tuple(s.clipboard, s.ignoreCertErrors, IsVietnamese(), IsDarkTheme()), std::make_tuple(false, true, false, false));
    EXPECT_EQ(LenientNumber(L" \t-17x") + LenientNumber(L"- 3"), -17);
    // No file: the defaults. A mark, LF-only lines and an empty folder line are read; the limit is set in 64 bits.
    Reset();
    LoadSettings(data_.path());
    EXPECT_EQ(std::make_tuple(g_settings.connections, g_settings.maxDownloads, g_settings.clipboard, g_settings.folder),
              std::make_tuple(8, 3, true, GetDefaultDownloadFolder()));
    WriteFileAtomic(data_ / L"settings.cfg", "\xEF\xBB\xBF" "Connections=3\nFolder=\nSpeedLimitKB=2147483647\r\n");
    LoadSettings(data_.path());
    EXPECT_EQ(std::make_tuple(g_settings.connections, g_settings.folder), std::make_tuple(3, GetDefaultDownloadFolder()));
    EXPECT_EQ(zeb::g_speedLimitBytesPerSecond.load(), 2147483647LL * 1024);
}

TEST_F(SettingsFile, SavedFileReadsBackEqual) {
    // (The lines as written: where the Settings form and the switches save them, in the
    // window tests; the language, the theme and the speed limit as read: the case above.)
    const AppSettings saved{L"D:\\Tải về", 12, 5, 250, false, true, L"ann:pw@proxy.corp:3128", L"<local>"};
    g_settings = saved;
    ASSERT_TRUE(SaveSettings(data_.path()));
    // Read back, the engine has the proxy.
    Reset();
    LoadSettings(data_.path());
    EXPECT_EQ(std::tie(g_settings.folder, g_settings.connections, g_settings.maxDownloads, g_settings.speedLimitKB, g_settings.clipboard,
                       g_settings.ignoreCertErrors),
              std::tie(saved.folder, saved.connections, saved.maxDownloads, saved.speedLimitKB, saved.clipboard, saved.ignoreCertErrors));
    EXPECT_EQ(zeb::currentProxy().server + zeb::currentProxy().credentials.password + g_settings.proxyBypass, L"proxy.corp:3128pw<local>");
}
}  // namespace
