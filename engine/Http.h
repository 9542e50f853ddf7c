// WinHTTP helpers shared by the probe and the segment workers.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <string>
#include <vector>

#include "engine/Credentials.h"
#include "engine/Url.h"
#include "engine/Validator.h"
#include "store/Handles.h"

namespace zeb {

// A session through this proxy (automatic discovery when none is set),
// with the engine's timeouts and secure protocols. Throws Error.
InternetHandle openSession(const ProxySetting& proxy);
// The certificate diagnosis' session: the same route, no user agent of
// ours, the diagnosis' short timeouts. Null when it cannot be opened.
InternetHandle openDiagnosisSession(const ProxySetting& proxy);

// GET request for the link's path with redirects off (the engine follows
// them itself) and, when asked, certificate errors ignored.
HINTERNET openRequest(HINTERNET connection, const UrlParts& parts, bool ignoreCertErrors);

// The status code, 0 when it cannot be read.
DWORD queryStatus(HINTERNET request);

// A text header, empty when absent.
std::wstring queryHeader(HINTERNET request, DWORD query);
// A header WinHTTP has no query for, by its name (the first if several).
std::wstring queryNamedHeader(HINTERNET request, const wchar_t* name);
// Every value of a header that may come several times.
std::vector<std::wstring> queryNamedHeaders(HINTERNET request, const wchar_t* name);

// The answer's strong ETag and Last-Modified.
Validator answerValidator(HINTERNET request);

}  // namespace zeb
