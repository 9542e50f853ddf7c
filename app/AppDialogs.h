// The program's own dialogs over the main window: the error box, yes/no
// questions, the finished-row removal question, Add Download and Settings.
// Texts are in the language of the moment the dialog is built.
#pragma once

#include <windows.h>

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
void ShowSettingsDialog(MainWindow& main);

// The Settings form with the current settings, and what its accepted fields
// make of them: a folder without trailing separators (a root keeps its
// own), numbers read leniently and clamped, the lab cache trimmed (empty:
// none).
ui::FormSpec SettingsForm(const AppSettings& settings);
AppSettings SettingsFromForm(const ui::FormSpec& form, const AppSettings& before);
