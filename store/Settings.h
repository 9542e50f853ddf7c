// The user's choices, kept in "settings.cfg" in the data folder. Read once
// at start-up; written by the Settings dialog and the theme and language
// switches. Only the UI thread touches AppSettings; the engine sees the
// speed limit through its own atomic.
#pragma once

#include <cstdint>
#include <string>

struct AppSettings {
    // Language and theme live in the process-wide flags (store/Lang.h).
    std::wstring folder;  // default download folder; never empty after loading
    int32_t connections = 8;   // 1..16
    int32_t maxDownloads = 3;  // 1..8
    int32_t speedLimitKB = 0;  // KiB/s, 0 = no limit
    bool clipboard = true;
    bool ignoreCertErrors = false;
    // "host:port" or "user:password@host:port"; empty: automatic discovery.
    // The password is kept as typed (the stick is the user's own).
    std::wstring proxy;
    std::wstring proxyBypass;  // host names separated by ";", "<local>" allowed
    // A folder every machine of a room reaches (a share, a second stick):
    // files are fetched into it once and copied from it. Empty: none.
    std::wstring labCache;
    // "HH:MM-HH:MM" in local time: the queue starts downloads only then (see
    // store/ActiveHours.h). Empty, malformed or equal times: always.
    std::wstring activeHours;
};

extern AppSettings g_settings;

// The engine's limit for a SpeedLimitKB value, in 64 bits (the setting may
// hold up to 2,147,483,647 KiB/s).
int64_t SpeedLimitBytesPerSecond(int32_t speedLimitKB);

// The C library's lenient integer reading of wide text (_wtoi): leading
// white space, an optional sign, digits up to the first other character,
// 0 without digits, saturated to 32 bits.
int32_t LenientNumber(const std::wstring& text);

// Applies a settings file's text to `settings` and the language and theme
// flags, then repairs the ranges. The folder is left empty when none is given.
void ApplySettingsText(const std::string& text, AppSettings& settings);

// The twelve lines as written.
std::string SettingsText(const AppSettings& settings);

// Hands the speed limit, the proxy and the lab cache to the engine.
void ApplySettingsToEngine(const AppSettings& settings);

// Reads "<dataFolder>\settings.cfg" into g_settings, fills an empty folder
// with the default download folder and sets the engine's speed limit and proxy.
void LoadSettings(const std::wstring& dataFolder);
// Writes g_settings atomically; a failure leaves the old file.
bool SaveSettings(const std::wstring& dataFolder);
