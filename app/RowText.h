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
// The card's name line: the file name, or the link (password masked) while there is none.
std::wstring RowNameText(const DownloadInfo& info);
// The progress bar's fill, 0 to 1; below 0 when the card draws no bar
// (size unknown and not finished).
double ProgressFraction(const DownloadInfo& info);
// The percentage beside the bar.
std::wstring PercentText(double fraction);
// What a screen reader reads as the row's value: the detail line and the
// percentage, as the card shows them.
std::wstring RowValueText(const DownloadInfo& info);

struct StateLook {
    COLORREF accent;
    int icon;
};
StateLook LookOf(DownloadState state);
// Icon of row button k for a row in this state; 0 when the button is absent.
int RowButtonIcon(DownloadState state, int k);
