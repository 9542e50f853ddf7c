// The hand-over of links between processes: the UTF-16 text a second start
// or the native-messaging host sends to the running GUI with WM_COPYDATA,
// and the cookie header built from a browser's cookie list.
#pragma once

#include <string>
#include <vector>

#include "store/DownloadRequest.h"

struct JsonValue;

// dwData of the COPYDATASTRUCT: "ZEB2" with the first letter highest.
constexpr unsigned long kHandOverTag = 0x5A454232;

// One line per request: url, referrer, fileName, userAgent, cookies,
// media ("1"/"0"), title, joined by tabs and ended by a line feed. Every
// character below U+0020 inside a field becomes a space, so no field can
// split a line, add a field or (as a NUL) end the text early.
std::wstring BuildHandOverText(const std::vector<DownloadRequest>& requests);
std::vector<DownloadRequest> ParseHandOverText(const std::wstring& text);

// The most UTF-16 units one WM_COPYDATA carries (1 MiB with its NUL): a
// message of many megabytes fails inside Wine before it reaches the window.
constexpr size_t kHandOverPieceUnits = 524287;

// The text in pieces of whole lines, each at most `maxUnits` long (a single
// longer line goes alone); joined they give the text back. An empty text is
// one empty piece.
std::vector<std::wstring> SplitHandOverText(const std::wstring& text, size_t maxUnits = kHandOverPieceUnits);

// "name=value; name=value" from an array of {"name","value"} objects;
// entries with an empty name or a line break or tab inside are dropped.
std::wstring JoinCookies(const JsonValue& cookies);
