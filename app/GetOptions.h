// The unattended mode's command line ("--get [options] LINK...") and its
// link lists ("--input FILE"): plain functions of plain data. A fault names
// what was wrong (and where); its sentence is made by GetTexts.h in the
// language of the run, which the settings decide after parsing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/Metalink.h"
#include "engine/Sources.h"
#include "store/ActiveHours.h"

// One file to fetch.
struct GetItem {
    std::wstring url;
    std::wstring dir;       // below the target folder ("dir=" of a list); may be empty
    std::wstring name;      // the file name asked for; empty: the server's
    std::wstring checksum;  // lower-case hex of 32, 40 or 64 digits; empty: none
    std::vector<std::wstring> mirrors;  // other links to the same file, as the list or Metalink gives them
    // What a Metalink states of the file: its size in bytes (-1: nothing
    // stated) and the SHA-256 of its pieces; the engine holds the servers to them.
    int64_t size = -1;
    zeb::PieceHashes pieces{};
};

enum class GetFault {
    None,
    UnknownOption,    // detail: the argument
    MissingValue,     // detail: the option
    BadValue,         // detail: the option (the line of a list); its value is malformed
    NotALink,         // detail: the argument (or the list's line)
    NoLink,
    NameNeedsOneLink,
    // Of a link list (line is set):
    Unreadable,       // the file cannot be read (or is too big)
    OptionBeforeLink, // an indented line with no link above it
    UnknownListOption, // detail: the line's text
    Repeated,         // detail: the option given twice for one link
};

struct GetProblem {
    GetFault fault = GetFault::None;
    std::wstring detail;
    int line = 0;  // 1-based line of a link list; 0 for the command line
};

struct GetOptions {
    std::vector<GetItem> items;  // the command line's links, then the list's
    std::wstring to;             // --to; empty: the settings' folder
    std::wstring name;           // --name
    std::wstring checksum;       // --checksum, normalised
    std::optional<int32_t> connections;  // 1..16
    std::optional<int32_t> limitKB;      // KiB/s, 0 = none
    bool insecure = false;
    std::optional<bool> vietnamese;  // --lang
    std::wstring input;              // --input
    std::wstring cache;              // --cache; empty: the settings' lab cache
    std::wstring checksums;          // --checksums: a SHA256SUMS file or link; empty: none
    std::wstring sumsOut;            // --sums: where the run's sums are written; empty: nowhere
    std::wstring metalink;           // --metalink: a Metalink file whose files are fetched
    // --hours: files start only inside them, and one running at their end
    // pauses until they begin again. None (equal times too): always; the
    // settings' ActiveHours= is not read, so a script never waits unasked.
    std::optional<ActiveHours> hours;
    bool help = false;
    GetProblem problem;  // the first one found; fault None when all is well
};

// True when argument 1 is "--get".
bool IsGetModeCommandLine(const std::vector<std::wstring>& args);

// Reads args[2..]. Links are checked here; a list given with --input is
// read by the caller and added with AddLinkList before CheckGetOptions.
GetOptions ParseGetArguments(const std::vector<std::wstring>& args);

// A link list as UTF-8 bytes (a BOM allowed). Each line that does not start
// with a space or a tab is a link, or several separated by tabs: mirrors of
// one file, the first its url; blank lines and "#" lines are skipped;
// indented lines below a link set "out=", "dir=" or "checksum=KIND=HEX"
// (sha-256, sha-1, md5). Anything else refuses the whole list.
GetProblem ParseLinkList(const std::string& bytes, std::vector<GetItem>& items);

// The files a Metalink describes, in `dir` (below the target folder; may be
// empty), each with its name's subfolders, its size, hashes and mirrors.
void AddMetalinkFiles(const zeb::MetalinkResult& read, const std::wstring& dir, std::vector<GetItem>& items);

// The checks that need every link: at least one, and --name with one only.
// Fills each item's name and checksum from the options where it has none.
void CheckGetOptions(GetOptions& options);
