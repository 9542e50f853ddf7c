// Why a secure connection failed, in words a technician can act on. The
// facts come from WinHTTP's secure-failure flags (Windows) and from a second
// handshake without certificate checks that reads the server's certificate
// and asks the system's chain engine about it (Wine reports every failure
// as one code, so the certificate itself is the only witness there).
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <string>

#include "engine/Url.h"

namespace zeb {

struct SecureFacts {
    uint32_t error = 0;   // of the failed WinHTTP call
    uint32_t flags = 0;   // WINHTTP_CALLBACK_STATUS_FLAG_*; 0 when none came
    bool haveCertificate = false;  // the second handshake got the certificate
    bool untrusted = false;        // its chain ends at no trusted root
    bool otherName = false;        // it does not name the link's host
    int64_t validFrom = 0, validTo = 0;  // FILETIME ticks, UTC
    int64_t now = 0;                     // this computer's clock, FILETIME ticks
    int64_t serverNow = 0;               // the server's Date in the same answer; 0 when none
};

// Whether a WinHTTP error is a failed secure connection.
bool isSecureFailure(uint32_t error);

// The sentence for these facts; the plain network text when they say nothing.
std::wstring secureFailureText(const SecureFacts& facts);

// The time (FILETIME ticks, UTC) this computer's clock may be set to when
// the link failed only because the clock is behind: the chain is trusted and
// names the host, the certificate looks outside its dates by our clock, and
// the server's Date is more than a day ahead and inside them. 0 otherwise:
// never backwards, so an expired certificate cannot turn the clock back.
int64_t clockToSet(const SecureFacts& facts);

// Gathers the facts for a failed request to `parts` on this session. It
// asks "HEAD /" only, with no header of ours: nothing of the link's path,
// query or credentials goes over a connection whose certificate failed.
SecureFacts gatherSecureFacts(HINTERNET session, const UrlParts& parts, uint32_t error, uint32_t flags);

// Asks WinHTTP to report the secure-failure flags of `request` into `*flags`
// (read after the failed call; the variable must outlive the request's calls).
void watchSecureFailure(HINTERNET request, uint32_t* flags);

}  // namespace zeb
