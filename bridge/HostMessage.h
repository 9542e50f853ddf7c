// What the native-messaging host makes of one browser message, and the
// exact bytes of its replies. Plain data in, plain data out.
#pragma once

#include <string>
#include <vector>

#include "store/DownloadRequest.h"

constexpr size_t kMaxHostMessage = 67108864;  // 64 MiB

struct HostMessage {
    enum Kind { Invalid, Ping, Download, Unknown } kind = Invalid;
    std::vector<DownloadRequest> requests;  // every item with a url, usable or not
    bool anyUsable = false;                 // some item is not media and passes the link test
};

HostMessage ReadHostMessage(const char* data, size_t size);

// {"ok":true,"version":"1.0.0","edition":"pe"} or the same with false and
// "error"; no white space, no line end.
std::string HostReplyText(bool ok, const std::string& error);
