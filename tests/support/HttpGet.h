// A plain GET for tests: talks to the test server's control routes.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <string>

#include "engine/Url.h"
#include "store/Handles.h"

inline std::string HttpGet(const std::wstring& url) {
    zeb::UrlParts parts;
    if (!zeb::crackUrl(url, parts)) return {};
    InternetHandle session(WinHttpOpen(L"tw-test", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0));
    InternetHandle connection(WinHttpConnect(session.get(), parts.host.c_str(), parts.port, 0));
    InternetHandle request(WinHttpOpenRequest(connection.get(), L"GET", parts.pathAndQuery.c_str(), nullptr, nullptr,
                                              nullptr, parts.secure ? WINHTTP_FLAG_SECURE : 0));
    if (!request || !WinHttpSendRequest(request.get(), nullptr, 0, nullptr, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr))
        return {};
    std::string body;
    char buffer[8192];
    DWORD got = 0;
    while (WinHttpReadData(request.get(), buffer, sizeof buffer, &got) && got > 0) body.append(buffer, got);
    return body;
}
