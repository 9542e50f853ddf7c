// What this run has learned of each host (the name and port the requests go
// to): how many connections it serves at once, and until when it asked to be
// left alone (Retry-After). Shared by every download of the process, so a
// later download from that host starts within what it allows, and no
// download adds requests the host would refuse. Many hosts allow one or two
// connections per client and ban those that keep asking for more.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace zeb {

struct UrlParts;

std::wstring hostKey(const UrlParts& parts);

// One connection to a host, held while one request is out. Taking it waits
// while the host asked us to wait or while its learned limit is reached (by
// any download); false (nothing held) when `stop` is set first.
class HostConnection {
public:
    HostConnection(std::wstring host, HANDLE stop);
    ~HostConnection();
    HostConnection(const HostConnection&) = delete;
    HostConnection& operator=(const HostConnection&) = delete;
    explicit operator bool() const { return held_; }
    // The request was answered with the file: it counts as served until this goes.
    void served();

private:
    std::wstring host_;
    bool held_ = false;
    bool served_ = false;
};

// A refusal of a new connection while the host serves others of ours: the
// host's limit is the most it has been seen to serve at once since. False
// when it serves none: then the refusal is an answer like any other.
bool learnLimitFromRefusal(const std::wstring& host);
int hostLimit(const std::wstring& host);  // 0: none learned
void hostAskedToWait(const std::wstring& host, int64_t ms);
int64_t hostWaitLeftMs(const std::wstring& host);
// The pause before the next attempt after `failures` in a row: none while
// the host asked us to wait (that wait comes first), else the ladder's.
DWORD retryPauseFor(const std::wstring& host, int failures);
void forgetHostsForTests();

// 408, 429, 502, 503, 504: the server is busy, not refusing the file.
bool isBusyStatus(DWORD status);
// 429, 503, 403: what a host that allows fewer connections answers the rest.
bool isRefusalStatus(DWORD status);

// What is known of the download and its host when a request is refused.
struct RefusalFacts {
    bool signedServed = false;           // the address a redirect led to has served this download
    bool forbiddenTried = false;         // a 403 was already taken for an expiry
    bool everyConnectionServed = false;  // the present address has served each running connection: it allows them all
    bool hostServes = false;             // the host serves other connections of ours at this moment
};
// What a refused request means.
enum class Refusal { Answer, Renew, Limit };
Refusal readRefusal(DWORD status, const RefusalFacts& facts);
bool hostServes(const std::wstring& host);
// Retry-After as seconds or as an HTTP date read against the same answer's
// Date (`answerDateTicks`, FILETIME ticks; 0 when it had none), never this
// computer's clock; at most 10 minutes. None when absent or unreadable.
std::optional<int64_t> retryAfterMs(const std::wstring& value, int64_t answerDateTicks);

}  // namespace zeb
