// Host mode (one browser message in, one reply out) and the forwarding of
// links to the running GUI, shared with a second start of the GUI.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "store/DownloadRequest.h"

constexpr wchar_t kMainWindowClass[] = L"TidewellPE.Main";
constexpr wchar_t kInstanceMutex[] = L"Local\\TidewellPE.Instance";
constexpr DWORD kWindowWaitMs = 20000;

// The host-mode main; its result is the process exit code.
int RunNativeHost();

bool ReadExact(HANDLE handle, void* buffer, size_t bytes);
void WriteHostReply(bool ok, const std::string& error);

// Delivers the requests to the running GUI's main window. With launch,
// starts the GUI when none runs. Waits up to 20 s for a window while an
// instance exists (its mutex is there) but has no window yet.
bool HandOverRequests(const std::vector<DownloadRequest>& requests, bool launch);
bool SendRequestsToWindow(HWND window, const std::wstring& text);
