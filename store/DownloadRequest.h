// A link handed to the list, with what the browser or the form knew of it:
// the request type the bridge speaks, apart from the list itself so that
// the browser's host process links no list and no engine.
#pragma once

#include <string>

struct DownloadRequest {
    std::wstring url;
    std::wstring referrer;
    std::wstring fileName;
    std::wstring userAgent;
    std::wstring cookies;  // one Cookie header value
    std::wstring title;
    bool media = false;     // the browser marked it as streaming media
    std::wstring checksum;  // expected, as typed in the Add form; may be empty
};

// 10 to 8000 UTF-16 units, no space, tab, CR, LF, double quote, "<" or ">",
// and an http or https URL with a host.
bool IsAcceptableLink(const std::wstring& text);
