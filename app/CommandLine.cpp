#include "app/CommandLine.h"

#include <cwchar>

#include "bridge/HostIdentity.h"

bool IsHostModeCommandLine(const std::vector<std::wstring>& args) {
    if (args.size() < 2) return false;
    if (args[1].size() >= 19 && _wcsnicmp(args[1].c_str(), L"chrome-extension://", 19) == 0) return true;
    for (size_t i = 1; i < args.size(); ++i)
        if (_wcsicmp(args[i].c_str(), kFirefoxAddonId) == 0) return true;
    return false;
}

std::vector<DownloadRequest> LinkArguments(const std::vector<std::wstring>& args) {
    std::vector<DownloadRequest> links;
    for (size_t i = 1; i < args.size(); ++i) {
        if (!IsAcceptableLink(args[i])) continue;
        DownloadRequest r;
        r.url = args[i];
        links.push_back(std::move(r));
    }
    return links;
}
