#include "engine/HostEtiquette.h"

#include <winhttp.h>

#include <algorithm>
#include <map>
#include <mutex>

#include "engine/ServerClock.h"
#include "engine/StrictNumber.h"
#include "engine/Timing.h"
#include "engine/Url.h"

namespace zeb {
namespace {
constexpr int64_t kLongestWaitMs = 600000;
constexpr DWORD kLimitPollMs = 100;  // a connection freed elsewhere is noticed this soon

struct Host {
    int limit = 0;  // 0: none learned
    int open = 0;
    int served = 0;
    ULONGLONG quietUntil = 0;  // GetTickCount64
};

std::mutex g_mutex;
std::map<std::wstring, Host> g_hosts;
}  // namespace

std::wstring hostKey(const UrlParts& parts) { return parts.host + L":" + std::to_wstring(parts.port); }

HostConnection::HostConnection(std::wstring host, HANDLE stop) : host_(std::move(host)) {
    for (;;) {
        DWORD wait;
        {
            std::lock_guard<std::mutex> lock(g_mutex);
            Host& h = g_hosts[host_];
            const ULONGLONG now = ::GetTickCount64();
            if (h.quietUntil > now) {
                wait = static_cast<DWORD>(h.quietUntil - now);
            } else if (h.limit > 0 && h.open >= h.limit) {
                wait = kLimitPollMs;
            } else {
                ++h.open;
                held_ = true;
                return;
            }
        }
        if (::WaitForSingleObject(stop, wait) == WAIT_OBJECT_0) return;
    }
}

HostConnection::~HostConnection() {
    if (!held_) return;
    std::lock_guard<std::mutex> lock(g_mutex);
    Host& h = g_hosts[host_];
    --h.open;
    if (served_) --h.served;
}

void HostConnection::served() {
    if (!held_ || served_) return;
    served_ = true;
    std::lock_guard<std::mutex> lock(g_mutex);
    Host& h = g_hosts[host_];
    // A refusal can overtake the answer of a connection the host serves:
    // what it serves at once is at least what it serves now.
    if (++h.served > h.limit && h.limit > 0) h.limit = h.served;
}

bool learnLimitFromRefusal(const std::wstring& host) {
    std::lock_guard<std::mutex> lock(g_mutex);
    Host& h = g_hosts[host];
    if (h.served == 0) return false;
    // A connection between two of its requests does not lower the limit:
    // one the host would refuse steps down at its own refusal anyway.
    h.limit = std::max(h.limit, h.served);
    return true;
}

int hostLimit(const std::wstring& host) {
    std::lock_guard<std::mutex> lock(g_mutex);
    const auto found = g_hosts.find(host);
    return found == g_hosts.end() ? 0 : found->second.limit;
}

void hostAskedToWait(const std::wstring& host, int64_t ms) {
    std::lock_guard<std::mutex> lock(g_mutex);
    Host& h = g_hosts[host];
    h.quietUntil = std::max(h.quietUntil, ::GetTickCount64() + static_cast<ULONGLONG>(std::clamp<int64_t>(ms, 0, kLongestWaitMs)));
}

int64_t hostWaitLeftMs(const std::wstring& host) {
    std::lock_guard<std::mutex> lock(g_mutex);
    const auto found = g_hosts.find(host);
    const ULONGLONG now = ::GetTickCount64();
    return found == g_hosts.end() || found->second.quietUntil <= now ? 0 : static_cast<int64_t>(found->second.quietUntil - now);
}

DWORD retryPauseFor(const std::wstring& host, int failures) {
    return hostWaitLeftMs(host) > 0 ? 0 : static_cast<DWORD>(retryPauseMs(failures));
}

void forgetHostsForTests() {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (auto& [key, h] : g_hosts) h.limit = 0, h.quietUntil = 0;
}

bool isBusyStatus(DWORD status) {
    return status == 408 || status == 429 || status == 502 || status == 503 || status == 504;
}

bool isRefusalStatus(DWORD status) { return status == 429 || status == 503 || status == 403; }

Refusal readRefusal(DWORD status, const RefusalFacts& facts) {
    const auto& [signedServed, forbiddenTried, everyConnectionServed, hostServes] = facts;
    if (signedServed && (status == 401 || status == 404 || status == 410)) return Refusal::Renew;
    // A 403 of a signed address is an expiry once; after that it is the
    // host's limit while the address has not served every connection of
    // ours at least once (an address that has allows them all, and expires
    // in its turn).
    if (signedServed && status == 403)
        return !forbiddenTried || everyConnectionServed || !hostServes ? Refusal::Renew : Refusal::Limit;
    return isRefusalStatus(status) && hostServes ? Refusal::Limit : Refusal::Answer;
}

bool hostServes(const std::wstring& host) {
    std::lock_guard<std::mutex> lock(g_mutex);
    const auto found = g_hosts.find(host);
    return found != g_hosts.end() && found->second.served > 0;
}

std::optional<int64_t> retryAfterMs(const std::wstring& value, int64_t answerDateTicks) {
    if (value.empty()) return std::nullopt;
    if (std::optional<int64_t> seconds = ParseStrictNumber(value))
        return std::min<int64_t>(*seconds, kLongestWaitMs / 1000) * 1000;
    SYSTEMTIME at{};
    FILETIME ticks{};
    // Dates in answers end in "GMT"; the parser takes almost anything else
    // for some date, and a wait must not come from a word.
    if (answerDateTicks <= 0 || value.find(L"GMT") == std::wstring::npos || !::WinHttpTimeToSystemTime(value.c_str(), &at) ||
        !::SystemTimeToFileTime(&at, &ticks))
        return std::nullopt;
    return std::clamp<int64_t>((fileTimeTicks(ticks) - answerDateTicks) / 10000, 0, kLongestWaitMs);
}

}  // namespace zeb
