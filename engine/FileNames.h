// Finding the file name a server or a link suggests, making it safe for the
// Windows file system, and numbering it when the name is taken.
#pragma once

#include <optional>
#include <string>

namespace zeb {

constexpr size_t kMaxFileNameUnits = 180;

// The name a Content-Disposition value gives (filename*= first), or empty.
std::wstring fileNameFromContentDisposition(const std::wstring& value);

// The last path segment of a link, percent-decoded; empty without a path.
std::wstring fileNameFromUrl(const std::wstring& url);

// %XX sequences decoded as UTF-8; the input unchanged when the bytes are not
// valid UTF-8 (never a partly decoded text).
std::wstring percentDecode(const std::wstring& text);

// A header value whose UTF-8 bytes arrived one byte per character, decoded;
// unchanged when no code page explains it.
std::wstring repairMisdecodedUtf8(const std::wstring& text);

// A name that Windows stores as an ordinary file in the target folder: the
// last path component only, no reserved characters, no trailing dots or
// spaces, at most `maxUnits` UTF-16 units (the extension kept where it can
// be, never half a surrogate pair), never a device name and never one of
// the program's own suffixes. Never empty.
std::wstring sanitizeFileName(const std::wstring& name, size_t maxUnits = kMaxFileNameUnits);

// A folder inside the target folder, as a link list's "dir=" or a Metalink
// name's folders give it: "/" and "\" both separate, trailing separators
// dropped, then no drive, no root, no empty, "." or ".." segment. The
// folder with "\" between its segments, or nothing.
std::optional<std::wstring> relativeFolder(std::wstring dir);

// name for n = 0, else " (n)" inserted before the last dot: a.tar.gz, 2 ->
// a.tar (2).gz; .bashrc, 1 -> .bashrc (1).
std::wstring uniqueName(const std::wstring& name, unsigned n);

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9, LPT0-9, COM¹-³ and LPT¹-³, by
// the part before the first dot, any case, trailing spaces ignored.
bool isReservedDeviceName(const std::wstring& name);

// Ends in ".zebpart", ".zebstate" or ".zebstate.tmp" (any case).
bool hasOwnSuffix(const std::wstring& name);

}  // namespace zeb
