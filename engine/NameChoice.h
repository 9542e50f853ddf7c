// Choosing the name a job's file gets in its folder: the sanitized base,
// numbered until it names no file, or the partial file this same link left
// behind. The file system is asked through `NameProbe`, so the rule runs on
// plain data in tests and on real files in the engine.
#pragma once

#include <functional>
#include <string>

namespace zeb {

struct NameProbe {
    // Whether a file or folder exists at the path.
    std::function<bool(const std::wstring& path)> exists;
    // The link recorded in a state file ("url=" line), empty when none.
    std::function<std::wstring(const std::wstring& statePath)> recordedLink;
    // Whether another program (or run) has the file open for writing: its
    // partial file is never ours to continue. None: nobody has.
    std::function<bool(const std::wstring& path)> heldOpen;
};

// Whose partial file a link may take up again: the one its own link left,
// or (an unattended rerun, whose link may be signed again with a new
// query) one left by the same scheme, host and path under any query. The
// second is a candidate only: the job judges its bytes before continuing.
enum class LinkMatch { Exact, AnyQuery };

// The same link but for its query, fragment and user information.
bool sameLinkButQuery(const std::wstring& a, const std::wstring& b);

// The real file system.
NameProbe fileSystemProbe();

// The link on the first "url=" line of a state file's text.
std::wstring recordedLinkOf(const std::string& stateText);

// Units the folder leaves for a file name, so that the longest companion
// path, "<folder>\<name> (9999).zebstate.tmp", stays below MAX_PATH.
size_t nameRoomInFolder(const std::wstring& folder);

// The accepted name. Throws Error when the folder leaves no reasonable room
// for a name, or when every number up to 9999 is another link's partial file.
std::wstring chooseFileName(const std::wstring& folder, const std::wstring& base, const std::wstring& url,
                            const NameProbe& probe, LinkMatch match = LinkMatch::Exact);

// Moves a finished partial file to `fileName`, or to the next numbered name
// when that one is taken. `move` tries one name and returns 0 or the
// system error; names whose partial file exists (another job writes there)
// are skipped. Returns the name taken; throws Error with the rename text
// when the move fails otherwise or every number up to 9999 is taken.
std::wstring moveToFreeName(const std::wstring& fileName, const std::function<unsigned long(const std::wstring&)>& move,
                            const std::function<bool(const std::wstring& name)>& partialFileExists);

}  // namespace zeb
