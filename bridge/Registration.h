// Registering this executable as the browsers' native-messaging host for
// the current user: two manifests in the data folder and eight HKCU keys,
// each written only when it differs. Quiet on every failure.
#pragma once

#include <string>
#include <vector>

// The manifest's bytes: LF lines, two-space indent, no final line end.
std::string ManifestText(const std::wstring& exePath, const std::string& listKey,
                         const std::vector<std::string>& entries);

void RegisterNativeHost(const std::wstring& dataFolder);

// The executable another installation registered under `key` (HKCU), when
// its manifest is not ours and names a file that exists; else empty.
std::wstring FindOtherHost(const std::wstring& key, const std::wstring& ourManifest);
void SetDefaultValueIfDifferent(const std::wstring& key, const std::wstring& text);
void WriteFileIfChanged(const std::wstring& path, const std::string& bytes);

// The registry keys, Chromium family first, Firefox ("Software\Mozilla") last.
std::vector<std::wstring> HostRegistryKeys();
