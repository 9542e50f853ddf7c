// What the command line asks for: host mode for a browser, else links.
#pragma once

#include <string>
#include <vector>

#include "store/List.h"

// Argument 1 starts with "chrome-extension://" (any case), or any argument
// from 1 on is the companion add-on's Firefox id (any case).
bool IsHostModeCommandLine(const std::vector<std::wstring>& args);

// One url-only request per argument from 1 on that passes IsAcceptableLink.
std::vector<DownloadRequest> LinkArguments(const std::vector<std::wstring>& args);
