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
    void TearDown() override {
        Reset();
        zeb::setSpeedLimit(0);
        zeb::setProxy({});
    }
    static void Reset() {
        g_settings = AppSettings();
        SetVietnamese(true);
        SetDarkTheme(true);
    }
    ScratchFolder data_;
};

TEST_F(SettingsFile, ReaderRulesAndRepairs) {
    const struct { const char* text; int32_t AppSettings::*field; int32_t value; } numbers[] = {
        {"CONNECTIONS=12\r\n", &AppSettings::connections, 12},   // keys ignore case...
        {"Connections = 12\r\n", &AppSettings::connections, 8},  // ...not spaces: this key ends with one
        {"Connections=12abc", &AppSettings::connections, 12}, {"Connections=  5  \r\n", &AppSettings::connections, 5},
        {"noise\nConnections\n=3\nConnections=4\nConnections=6\n", &AppSettings::connections, 6},  // the later wins
        {"Connections=40", &AppSettings::connections, 16}, {"Connections=0", &AppSettings::connections, 1},
        {"MaxDownloads=-2", &AppSettings::maxDownloads, 1}, {"MaxDownloads=9", &AppSettings::maxDownloads, 8},
        {"SpeedLimitKB=-5", &AppSettings::speedLimitKB, 0},
        {"SpeedLimitKB=99999999999999", &AppSettings::speedLimitKB, 2147483647}};  // saturates
    for (const auto& c : numbers) {
        AppSettings s;
        ApplySettingsText(c.text, s);
        EXPECT_EQ(s.*c.field, c.value) << c.text;
    }
    AppSettings s;
    ApplySettingsText("Clipboard=no\r\nIgnoreCertErrors=7\r\nLanguage=EN\r\nStyle=Light", s);
    EXPECT_FALSE(s.clipboard || IsVietnamese() || IsDarkTheme());
    EXPECT_TRUE(s.ignoreCertErrors);
    ApplySettingsText("Language=fr\r\nStyle=blue", s);  // unknown words give the defaults
    EXPECT_TRUE(IsVietnamese() && IsDarkTheme());
    const std::pair<const wchar_t*, int32_t> lenient[] = {
        {L"", 0}, {L"abc", 0}, {L" \t-17x", -17}, {L"+9", 9}, {L"- 3", 0}, {L"-99999999999", INT32_MIN}};
    for (const auto& [text, value] : lenient) EXPECT_EQ(LenientNumber(text), value) << text;
}

TEST_F(SettingsFile, NoFileGivesTheDefaultsAndTheComputedFolder) {
    LoadSettings(data_.path());
    EXPECT_TRUE(IsVietnamese() && IsDarkTheme());
    EXPECT_EQ(std::tie(g_settings.connections, g_settings.maxDownloads, g_settings.speedLimitKB), std::make_tuple(8, 3, 0));
    EXPECT_TRUE(g_settings.clipboard && !g_settings.ignoreCertErrors);
    EXPECT_EQ(g_settings.folder, GetDefaultDownloadFolder());
    EXPECT_EQ(zeb::g_speedLimitBytesPerSecond.load(), 0);
    // A mark, LF-only lines and an empty folder line are read; the limit is set in 64 bits.
    WriteFileAtomic(data_ / L"settings.cfg", "\xEF\xBB\xBF" "Connections=3\nFolder=\nSpeedLimitKB=2147483647\r\n");
    LoadSettings(data_.path());
    EXPECT_EQ(g_settings.connections, 3);
    EXPECT_EQ(g_settings.folder, GetDefaultDownloadFolder());
    EXPECT_EQ(zeb::g_speedLimitBytesPerSecond.load(), 2147483647LL * 1024);
    EXPECT_EQ(SpeedLimitBytesPerSecond(-1), 0);
}

TEST_F(SettingsFile, SavedFileIsTheTenLinesAndReadsBackEqual) {
    SetVietnamese(false);
    SetDarkTheme(false);
    g_settings = AppSettings{L"D:\\Tải về", 12, 5, 250, false, true, L"ann:pw@proxy.corp:3128", L"<local>"};
    ASSERT_TRUE(SaveSettings(data_.path()));
    EXPECT_EQ(ReadWholeFile(data_ / L"settings.cfg", 65536),
              "Language=en\r\nStyle=light\r\nFolder=D:\\T\xE1\xBA\xA3i v\xE1\xBB\x81\r\nConnections=12\r\nMaxDownloads=5\r\n"
              "SpeedLimitKB=250\r\nClipboard=0\r\nIgnoreCertErrors=1\r\nProxy=ann:pw@proxy.corp:3128\r\n"
              "ProxyBypass=<local>\r\n");
    Reset();
    LoadSettings(data_.path());
    EXPECT_FALSE(IsVietnamese() || IsDarkTheme());
    EXPECT_EQ(std::tie(g_settings.folder, g_settings.connections, g_settings.maxDownloads, g_settings.speedLimitKB,
                       g_settings.clipboard, g_settings.ignoreCertErrors),
              std::make_tuple(std::wstring(L"D:\\Tải về"), 12, 5, 250, false, true));
    EXPECT_EQ(zeb::g_speedLimitBytesPerSecond.load(), 250 * 1024);
    EXPECT_EQ(zeb::currentProxy().server, L"proxy.corp:3128");  // the engine has it
    EXPECT_EQ(zeb::currentProxy().credentials.password, L"pw");
    EXPECT_EQ(g_settings.proxyBypass, L"<local>");
}
}  // namespace
