// The link a job asks and the address its requests go to now, with what the
// hosts taught of them this run: the part of a job (engine/Download.h) that
// renewal and host etiquette work on. Its fields are guarded by the job's
// state mutex unless their comment says otherwise.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "engine/Error.h"

namespace zeb {

struct Address {
    std::wstring url;          // the row's link, asked first at every start
    std::wstring resolvedUrl;  // where the requests go now (after redirects or a renewal)
    std::wstring hostKey;      // of resolvedUrl, for its limit and its wait
    bool redirected = false;   // resolvedUrl came from a redirect (a signed address may expire)
    uint32_t generation = 0;   // bumped when a renewal replaces resolvedUrl
    std::array<bool, 3> retired{};   // by ValidatorKind: proved no witness of versions on this link's host
    std::vector<uint32_t> servedAt;  // per connection: 1 + the generation whose address served it
    std::vector<Error> refusedBy;    // per connection, its own: the answer that asks for a renewal
    int servedOnAddress = 0;         // connections the present address has served
    std::wstring cookieHost;         // the link's own host: cookies and its password go only there
    std::wstring referer, cookies, userAgent;  // the extras of the request that brought the link
    bool metalinkAsFile = false;     // see RequestOptions::metalinkAsFile
    // Without a lock: the scheme a challenge was answered with, so later
    // requests send their credentials at once instead of being refused first.
    std::atomic<uint32_t> serverScheme{0}, proxyScheme{0};
    std::atomic<bool> served{false};            // the address answered with the file this run
    std::atomic<bool> forbiddenRenewed{false};  // a 403 to an extra connection was tried as an expiry once
    std::mutex renewMutex;         // one renewal at a time; taken before the state mutex
    std::vector<double> renewals;  // renewMutex: when the link was renewed, this last minute
    int renewalFailures = 0;       // renewMutex: attempts in a row that could not ask or compare
};

}  // namespace zeb
