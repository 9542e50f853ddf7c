#include "store/Settings.h"

#include <algorithm>
#include <climits>
#include <cwctype>

#include "engine/Credentials.h"
#include "engine/LabCache.h"
#include "engine/RateLimiter.h"
#include "store/FileServices.h"
#include "store/Lang.h"
#include "store/Storage.h"
#include "store/Text.h"

AppSettings g_settings;

int64_t SpeedLimitBytesPerSecond(int32_t speedLimitKB) {
    return speedLimitKB > 0 ? static_cast<int64_t>(speedLimitKB) * 1024 : 0;
}

int32_t LenientNumber(const std::wstring& text) {
    size_t i = 0;
    while (i < text.size() && std::iswspace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10 + (text[i] - L'0');
        if (value > static_cast<int64_t>(INT_MAX) + 1) value = static_cast<int64_t>(INT_MAX) + 1;  // saturates
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int32_t>(value);
}

void ApplySettingsText(const std::string& text, AppSettings& s) {
    for (const std::string& raw : SplitAtLf(text)) {
        std::wstring line = Utf8ToUtf16(raw);
        while (!line.empty() && (line.back() == L'\r' || line.back() == L' ')) line.pop_back();
        const size_t eq = line.find(L'=');
        if (line.empty() || eq == std::wstring::npos) continue;
        const std::wstring key = Lower(line.substr(0, eq));
        const std::wstring value = line.substr(eq + 1);
        if (key == L"style") SetDarkTheme(Lower(value) != L"light");
        else if (key == L"language") SetVietnamese(Lower(value) != L"en");
        else if (key == L"folder") s.folder = value;
        else if (key == L"connections") s.connections = LenientNumber(value);
        else if (key == L"maxdownloads") s.maxDownloads = LenientNumber(value);
        else if (key == L"speedlimitkb") s.speedLimitKB = LenientNumber(value);
        else if (key == L"clipboard") s.clipboard = LenientNumber(value) != 0;
        else if (key == L"ignorecerterrors") s.ignoreCertErrors = LenientNumber(value) != 0;
        else if (key == L"proxy") s.proxy = Trim(value);
        else if (key == L"proxybypass") s.proxyBypass = Trim(value);
        else if (key == L"labcache") s.labCache = Trim(value);
        else if (key == L"activehours") s.activeHours = Trim(value);
    }
    s.connections = std::min(16, std::max(1, s.connections));
    s.maxDownloads = std::min(8, std::max(1, s.maxDownloads));
    s.speedLimitKB = std::max(0, s.speedLimitKB);
}

std::string SettingsText(const AppSettings& s) {
    return std::string("Language=") + (IsVietnamese() ? "vi" : "en") + "\r\nStyle=" + (IsDarkTheme() ? "dark" : "light") +
           "\r\nFolder=" + Utf16ToUtf8(s.folder) + "\r\nConnections=" + std::to_string(s.connections) +
           "\r\nMaxDownloads=" + std::to_string(s.maxDownloads) + "\r\nSpeedLimitKB=" + std::to_string(s.speedLimitKB) +
           "\r\nClipboard=" + (s.clipboard ? "1" : "0") + "\r\nIgnoreCertErrors=" + (s.ignoreCertErrors ? "1" : "0") +
           "\r\nProxy=" + Utf16ToUtf8(s.proxy) + "\r\nProxyBypass=" + Utf16ToUtf8(s.proxyBypass) +
           "\r\nLabCache=" + Utf16ToUtf8(s.labCache) + "\r\nActiveHours=" + Utf16ToUtf8(s.activeHours) + "\r\n";
}

void LoadSettings(const std::wstring& dataFolder) {
    ApplySettingsText(ReadWholeFile(dataFolder + L"\\settings.cfg", kSmallFileLimit), g_settings);
    if (g_settings.folder.empty()) g_settings.folder = GetDefaultDownloadFolder();
    ApplySettingsToEngine(g_settings);
}

void ApplySettingsToEngine(const AppSettings& s) {
    zeb::setSpeedLimit(SpeedLimitBytesPerSecond(s.speedLimitKB));
    zeb::setProxy(zeb::parseProxySetting(s.proxy, s.proxyBypass));
    zeb::setLabCacheFolder(s.labCache);
}

bool SaveSettings(const std::wstring& dataFolder) {
    return WriteFileAtomic(dataFolder + L"\\settings.cfg", SettingsText(g_settings));
}
