// A plain GET for tests: talks to the test server's control routes.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/Url.h"
#include "store/Handles.h"

// The test server's origin that run_gtest.py passed (TW_HTTP or TW_HTTPS).
inline std::wstring Server(const char* var = "TW_HTTP") {
    const char* v = std::getenv(var);
    if (!v) return {};
    std::wstring out;
    for (const char* c = v; *c; ++c) out.push_back(static_cast<wchar_t>(*c));  // an ASCII origin
    return out;
}

inline std::string HttpGet(const std::wstring& url) {
    zeb::UrlParts parts;
    if (!zeb::crackUrl(url, parts)) return {};
    std::string body;
    // Under Wine a fresh session may be handed a pooled connection a job
    // left and the server has closed since: it reads as an empty answer.
    for (int attempt = 0; attempt < 3 && body.empty(); ++attempt) {
        InternetHandle session(WinHttpOpen(L"tw-test", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0));
        InternetHandle connection(WinHttpConnect(session.get(), parts.host.c_str(), parts.port, 0));
        InternetHandle request(WinHttpOpenRequest(connection.get(), L"GET", parts.pathAndQuery.c_str(), nullptr, nullptr,
                                                  nullptr, parts.secure ? WINHTTP_FLAG_SECURE : 0));
        if (!request || !WinHttpSendRequest(request.get(), nullptr, 0, nullptr, 0, 0, 0) ||
            !WinHttpReceiveResponse(request.get(), nullptr))
            continue;
        char buffer[8192];
        DWORD got = 0;
        while (WinHttpReadData(request.get(), buffer, sizeof buffer, &got) && got > 0) body.append(buffer, got);
    }
    return body;
}

// The server's log of `token`: the requests it holds (`key` "path") or
// the sum of a number each records (`key` "sent": the bytes sent).
inline int64_t Logged(const std::wstring& token, const std::string& key) {
    const std::string log = HttpGet(Server() + L"/_log?token=" + token), field = "\"" + key + "\": ";
    int64_t total = 0;
    for (size_t at = log.find(field); at != std::string::npos; at = log.find(field, at + 1))
        total += key == "path" ? 1 : std::stoll(log.substr(at + field.size()));
    return total;
}

// Lets the server answer the requests it holds for this token.
inline void HttpRelease(const std::wstring& token) { HttpGet(Server() + L"/_release?token=" + token); }
