// The checksum list published beside a set of files (SHA256SUMS) and the
// one we write beside what we fetched, in the forms coreutils' sha256sum
// writes and checks: GNU "HEX  name" (text mode) and "HEX *name" (binary
// mode), BSD "SHA256 (name) = HEX", and GNU's escaped form, where a line
// starts with "\" and the name writes a backslash as "\\", a line feed as
// "\n" and a carriage return as "\r". Plain functions of the file's bytes
// (UTF-8).
#pragma once

#include <map>
#include <string>

namespace zeb {

// A name as the file writes it, with "/" between folders (a backslash is a
// character of the name), to the lower-case hex of its SHA-256.
using Sums = std::map<std::wstring, std::wstring>;

struct SumsFile {
    Sums sums;        // empty when a line is malformed: nothing of such a file is taken
    int badLine = 0;  // the first malformed line, counted from 1; 0 when every line was read
};

// Blank lines and lines starting with "#" are skipped, CR LF line ends
// taken. Malformed: any other line that is not one of the forms above with
// 64 hex digits (either case) and a name of valid UTF-8, and a name given
// again with another sum.
SumsFile parseSumsFile(const std::string& bytes);

// One "HEX  name" line per entry, LF line ends, the names in UTF-8; a name
// holding a backslash, line feed or carriage return in the escaped form.
// What `sha256sum -c` reads back.
std::string sumsFileText(const Sums& sums);

}  // namespace zeb
