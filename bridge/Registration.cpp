#include "bridge/Registration.h"

#include <windows.h>

#include <cwchar>

#include "bridge/HostIdentity.h"
#include "bridge/Json.h"
#include "store/FileServices.h"
#include "store/Handles.h"
#include "store/Storage.h"

namespace {
const wchar_t* const kChromiumRoots[] = {L"Software\\Google\\Chrome",       L"Software\\Chromium",
                                         L"Software\\Microsoft\\Edge",      L"Software\\BraveSoftware\\Brave-Browser",
                                         L"Software\\Vivaldi",              L"Software\\CocCoc\\Browser",
                                         L"Software\\Opera Software"};
const wchar_t kFirefoxRoot[] = L"Software\\Mozilla";

std::wstring KeyFor(const wchar_t* root) {
    return std::wstring(root) + L"\\NativeMessagingHosts\\" + Utf8ToUtf16(kHostName);
}

// The key's default value when it is a REG_SZ, else empty.
std::wstring DefaultValue(HKEY key) {
    wchar_t buffer[1024] = {};
    DWORD type = 0, bytes = sizeof buffer - 2;
    if (::RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes) != ERROR_SUCCESS ||
        type != REG_SZ)
        return {};
    return std::wstring(buffer, wcsnlen(buffer, bytes / sizeof(wchar_t)));
}
}  // namespace

std::vector<std::wstring> HostRegistryKeys() {
    std::vector<std::wstring> keys;
    for (const wchar_t* root : kChromiumRoots) keys.push_back(KeyFor(root));
    keys.push_back(KeyFor(kFirefoxRoot));
    return keys;
}

std::string ManifestText(const std::wstring& exePath, const std::string& listKey,
                         const std::vector<std::string>& entries) {
    std::string text = "{\n  \"name\": \"" + std::string(kHostName) +
                       "\",\n  \"description\": \"Tidewell\",\n  \"path\": \"" + JsonEscape(Utf16ToUtf8(exePath)) +
                       "\",\n  \"type\": \"stdio\",\n  \"" + listKey + "\": [\n";
    for (size_t i = 0; i < entries.size(); ++i)
        text += "    \"" + JsonEscape(entries[i]) + "\"" + (i + 1 < entries.size() ? ",\n" : "\n");
    return text + "  ]\n}";
}

std::wstring FindOtherHost(const std::wstring& key, const std::wstring& ourManifest) {
    HKEY raw = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS) return {};
    RegKeyHandle owner(raw);
    const std::wstring manifest = DefaultValue(raw);
    if (manifest.empty() || _wcsicmp(manifest.c_str(), ourManifest.c_str()) == 0) return {};
    const std::string text = ReadWholeFile(manifest, kSmallFileLimit);
    JsonValue value;
    if (!ParseJsonDocument(text.data(), text.size(), value)) return {};
    const std::wstring path = JsonGetString(value, "path");
    if (path.empty() || ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return {};
    return path;  // a stale registration of a vanished installation is taken over
}

void SetDefaultValueIfDifferent(const std::wstring& key, const std::wstring& text) {
    HKEY raw = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                          nullptr, &raw, nullptr) != ERROR_SUCCESS)
        return;
    RegKeyHandle owner(raw);
    if (DefaultValue(raw) == text) return;
    ::RegSetValueExW(raw, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void WriteFileIfChanged(const std::wstring& path, const std::string& bytes) {
    ReadStatus status;
    if (ReadWholeFile(path, kSmallFileLimit, &status) == bytes && status == ReadStatus::Complete) return;
    WriteFileAtomic(path, bytes);
}

void RegisterNativeHost(const std::wstring& dataFolder) {
    const std::wstring exe = GetModulePath();
    if (exe.empty()) return;
    const std::wstring folder = dataFolder + L"\\native-host";
    if (!CreateFolderTree(folder)) return;
    const std::wstring chromium = folder + L"\\chromium.json", firefox = folder + L"\\firefox.json";
    const std::vector<std::wstring> keys = HostRegistryKeys();
    if (!IsWindowsPE()) {
        // Another installation that still exists keeps the host name.
        for (const auto& [key, manifest] : {std::pair{keys.front(), chromium}, std::pair{keys.back(), firefox}}) {
            const std::wstring other = FindOtherHost(key, manifest);
            if (!other.empty() && _wcsicmp(other.c_str(), exe.c_str()) != 0) return;
        }
    }
    std::vector<std::string> origins;
    for (const char* id : kChromiumExtensionIds) origins.push_back(std::string("chrome-extension://") + id + "/");
    WriteFileIfChanged(chromium, ManifestText(exe, "allowed_origins", origins));
    WriteFileIfChanged(firefox, ManifestText(exe, "allowed_extensions", {Utf16ToUtf8(kFirefoxAddonId)}));
    for (size_t i = 0; i + 1 < keys.size(); ++i) SetDefaultValueIfDifferent(keys[i], chromium);
    SetDefaultValueIfDifferent(keys.back(), firefox);
}
