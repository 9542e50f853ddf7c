// The program's own dialogs over the main window: the error box, yes/no
// questions, the finished-row removal question, Add Download and Settings.
// Texts are in the language of the moment the dialog is built.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "store/ListWindow.h"
#include "store/Settings.h"
#include "ui/FormDialog.h"
#include "ui/MessageDialog.h"

class MainWindow;

void ShowError(HWND main, const std::wstring& message);
// "Remove from list" (focused), "Delete the file too" (red) or Cancel.
FinishedRemoval AskFinishedRemoval(HWND main, const std::wstring& message);

// Why the Add form refuses a checksum: empty for none or 32, 40 or 64 hex digits.
std::wstring ChecksumRefusal(const std::wstring& value);
void ShowAddDownloadDialog(MainWindow& main);
// The Change Link form for a row that is not running (a running one gets a
// status line instead).
void ShowChangeLinkDialog(MainWindow& main, int row);
// The speed limit of one download (KB/s, 0 = none), beside the program-wide one.
void ShowLimitSpeedDialog(MainWindow& main, const std::shared_ptr<zeb::Download>& job);
// Its form, and the bytes per second it was given (nothing for a refused value).
ui::FormSpec LimitSpeedForm(int64_t bytesPerSecond);
std::optional<int64_t> LimitFromForm(const ui::FormSpec& form);
void ShowSettingsDialog(MainWindow& main);

// The Settings form with the current settings, and what its accepted fields
// make of them: a folder without trailing separators (a root keeps its
// own), numbers read leniently and clamped, the lab cache trimmed (empty:
// none).
ui::FormSpec SettingsForm(const AppSettings& settings);
AppSettings SettingsFromForm(const ui::FormSpec& form, const AppSettings& before);
