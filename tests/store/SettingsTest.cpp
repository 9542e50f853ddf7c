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
    static AppSettings Apply(const std::string& text) {
        AppSettings s;
        ApplySettingsText(text, s);
        return s;
    }
    ScratchFolder data_;
};

TEST_F(SettingsFile, NoFileGivesTheDefaultsAndTheComputedFolder) {
    LoadSettings(data_.path());
    EXPECT_TRUE(IsVietnamese());
    EXPECT_TRUE(IsDarkTheme());
    EXPECT_EQ(g_settings.connections, 8);
    EXPECT_EQ(g_settings.maxDownloads, 3);
    EXPECT_EQ(g_settings.speedLimitKB, 0);
    EXPECT_TRUE(g_settings.clipboard);
    EXPECT_FALSE(g_settings.ignoreCertErrors);
    EXPECT_EQ(g_settings.folder, GetDefaultDownloadFolder());
    EXPECT_FALSE(g_settings.folder.empty());
    EXPECT_EQ(zeb::g_speedLimitBytesPerSecond.load(), 0);
}

TEST_F(SettingsFile, KeysIgnoreCaseButNotSpaces) {
    EXPECT_EQ(Apply("CONNECTIONS=12\r\n").connections, 12);
    EXPECT_EQ(Apply("Connections = 12\r\n").connections, 8);  // the key ends with a space
    EXPECT_EQ(Apply("Connections=12abc").connections, 12);
    EXPECT_EQ(Apply("Connections=  5  \r\n").connections, 5);  // leading spaces skipped by the number reader
    EXPECT_EQ(Apply("noise\nConnections\n=3\nConnections=4\nConnections=6\n").connections, 6);  // later wins
}

TEST_F(SettingsFile, RangesAreRepaired) {
    EXPECT_EQ(Apply("Connections=40").connections, 16);
    EXPECT_EQ(Apply("Connections=0").connections, 1);
    EXPECT_EQ(Apply("MaxDownloads=-2").maxDownloads, 1);
    EXPECT_EQ(Apply("MaxDownloads=9").maxDownloads, 8);
    EXPECT_EQ(Apply("SpeedLimitKB=-5").speedLimitKB, 0);
    EXPECT_EQ(Apply("SpeedLimitKB=99999999999999").speedLimitKB, 2147483647);  // saturates
    EXPECT_FALSE(Apply("Clipboard=no").clipboard);
    EXPECT_TRUE(Apply("IgnoreCertErrors=7").ignoreCertErrors);
}

TEST_F(SettingsFile, LanguageAndStyleWords) {
    Apply("Language=EN");
    EXPECT_FALSE(IsVietnamese());
    Apply("Language=fr");
    EXPECT_TRUE(IsVietnamese());
    Apply("Style=Light");
    EXPECT_FALSE(IsDarkTheme());
    Apply("Style=blue");
    EXPECT_TRUE(IsDarkTheme());
}

TEST_F(SettingsFile, LenientNumberLikeTheCLibrary) {
    EXPECT_EQ(LenientNumber(L""), 0);
    EXPECT_EQ(LenientNumber(L"abc"), 0);
    EXPECT_EQ(LenientNumber(L" \t-17x"), -17);
    EXPECT_EQ(LenientNumber(L"+9"), 9);
    EXPECT_EQ(LenientNumber(L"- 3"), 0);
    EXPECT_EQ(LenientNumber(L"-99999999999"), INT32_MIN);
}

TEST_F(SettingsFile, SpeedLimitInSixtyFourBits) {
    // 2,147,483,647 KiB/s times 1024 does not fit 32 bits.
    EXPECT_EQ(SpeedLimitBytesPerSecond(2147483647), 2147483647LL * 1024);
    EXPECT_EQ(SpeedLimitBytesPerSecond(100), 102400);
    EXPECT_EQ(SpeedLimitBytesPerSecond(0), 0);
    EXPECT_EQ(SpeedLimitBytesPerSecond(-1), 0);
    WriteFileAtomic(data_ / L"settings.cfg", "SpeedLimitKB=2147483647\r\n");
    LoadSettings(data_.path());
    EXPECT_EQ(zeb::g_speedLimitBytesPerSecond.load(), 2147483647LL * 1024);
}

TEST_F(SettingsFile, SavedFileIsTheTenLinesAndReadsBackEqual) {
    SetVietnamese(false);
    SetDarkTheme(false);
    g_settings.folder = L"D:\\Tải về";
    g_settings.connections = 12;
    g_settings.maxDownloads = 5;
    g_settings.speedLimitKB = 250;
    g_settings.clipboard = false;
    g_settings.ignoreCertErrors = true;
    g_settings.proxy = L"ann:pw@proxy.corp:3128";
    g_settings.proxyBypass = L"<local>";
    ASSERT_TRUE(SaveSettings(data_.path()));
    EXPECT_EQ(ReadWholeFile(data_ / L"settings.cfg", 65536),
              "Language=en\r\nStyle=light\r\nFolder=D:\\T\xE1\xBA\xA3i v\xE1\xBB\x81\r\nConnections=12\r\nMaxDownloads=5\r\n"
              "SpeedLimitKB=250\r\nClipboard=0\r\nIgnoreCertErrors=1\r\nProxy=ann:pw@proxy.corp:3128\r\n"
              "ProxyBypass=<local>\r\n");
    const AppSettings saved = g_settings;
    Reset();
    LoadSettings(data_.path());
    EXPECT_FALSE(IsVietnamese());
    EXPECT_FALSE(IsDarkTheme());
    EXPECT_EQ(g_settings.folder, saved.folder);
    EXPECT_EQ(g_settings.connections, 12);
    EXPECT_EQ(g_settings.maxDownloads, 5);
    EXPECT_EQ(g_settings.speedLimitKB, 250);
    EXPECT_FALSE(g_settings.clipboard);
    EXPECT_TRUE(g_settings.ignoreCertErrors);
    EXPECT_EQ(zeb::g_speedLimitBytesPerSecond.load(), 250 * 1024);
    EXPECT_EQ(zeb::currentProxy().server, L"proxy.corp:3128");  // the engine has it
    EXPECT_EQ(zeb::currentProxy().credentials.password, L"pw");
    EXPECT_EQ(g_settings.proxyBypass, L"<local>");
}

TEST_F(SettingsFile, LfOnlyBomAndEmptyFolderLine) {
    WriteFileAtomic(data_ / L"settings.cfg", "\xEF\xBB\xBF" "Connections=3\nFolder=\nMaxDownloads=2 \r\n");
    LoadSettings(data_.path());
    EXPECT_EQ(g_settings.connections, 3);
    EXPECT_EQ(g_settings.maxDownloads, 2);
    EXPECT_EQ(g_settings.folder, GetDefaultDownloadFolder());
}
}  // namespace
