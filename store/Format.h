// Display texts for sizes, speeds, times, progress and states, in the
// language of the moment. Pure functions of their arguments and the flag.
#pragma once

#include <cstdint>
#include <string>

#include "engine/Types.h"

std::wstring FormatSize(int64_t bytes);
std::wstring FormatSpeed(double bytesPerSecond);
std::wstring FormatDuration(int64_t seconds);
std::wstring StatusLabel(DownloadState state);
std::wstring FormatProgress(const DownloadInfo& info);
std::wstring FormatTimeLeft(const DownloadInfo& info);
