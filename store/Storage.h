// Where the program keeps its own files and where downloads go by default.
#pragma once

#include <string>

// True inside Windows PE (the MiniNT key exists). Computed once, any thread.
bool IsWindowsPE();

// The folder for settings and the list: beside the executable when a real
// write there succeeds, otherwise "<temp>\TidewellPE". Always has a value.
std::wstring GetDataFolder();

// The system's temporary folder, ending in a separator; empty when unusable.
std::wstring TempPath();
// An environment variable's value; empty when unset or too long.
std::wstring EnvironmentValue(const wchar_t* name);

// The folder downloads go to when the settings give none (not created here).
std::wstring GetDefaultDownloadFolder();

// The fallback data folder: `tempPath` (as GetTempPathW gave it, ending in a
// separator; empty when unusable) or else the executable's folder, followed
// by "TidewellPE".
std::wstring FallbackDataFolder(const std::wstring& exeFolder, const std::wstring& tempPath);
