// What a list card says and in which colour: the detail line, the accent
// and badge icon by state, and the row button icons.
#pragma once

#include <windows.h>

#include <string>

#include "engine/Types.h"

// "Verifying… NN%", while the finished file is checked.
std::wstring VerifyingText(int percent);
// While the host asked us to wait (Retry-After), and what its refusals showed it allows.
std::wstring ServerBusyText(int seconds);
std::wstring ServerAllowsText(int connections);
std::wstring DetailText(const DownloadInfo& info);

struct StateLook {
    COLORREF accent;
    int icon;
};
StateLook LookOf(DownloadState state);
// Icon of row button k for a row in this state; 0 when the button is absent.
int RowButtonIcon(DownloadState state, int k);
