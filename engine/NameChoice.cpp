#include "engine/NameChoice.h"

#include <windows.h>

#include <algorithm>

#include "engine/Credentials.h"
#include "engine/Error.h"
#include "engine/ErrorTexts.h"
#include "engine/FileNames.h"
#include "store/FileServices.h"
#include "store/Handles.h"
#include "store/Text.h"

namespace zeb {
namespace {
constexpr unsigned kLastNumber = 9999;
constexpr size_t kNumberUnits = 7;      // " (9999)"
constexpr size_t kCompanionUnits = 13;  // ".zebstate.tmp", the longest companion suffix
// Below this the folder is refused: a name cut shorter says nothing.
constexpr size_t kMinNameUnits = 12;
constexpr size_t kStateReadLimit = 1048576;  // bytes
}  // namespace

NameProbe fileSystemProbe() {
    NameProbe probe;
    probe.exists = [](const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; };
    probe.recordedLink = [](const std::wstring& statePath) {
        // The link is on the second line: a state longer than the limit
        // still names it. One whose read failed names none, so its name is
        // not taken and its partial file never written over.
        ReadStatus status;
        const std::string text = ReadWholeFile(statePath, kStateReadLimit, &status);
        return status == ReadStatus::ReadFailed ? std::wstring{} : recordedLinkOf(text);
    };
    probe.heldOpen = [](const std::wstring& path) {
        // Opened as the job opens it: a writer elsewhere shares reading only.
        FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        return !file && ::GetLastError() == ERROR_SHARING_VIOLATION;
    };
    return probe;
}

bool sameLinkButQuery(const std::wstring& a, const std::wstring& b) {
    const auto bare = [](const std::wstring& url) {
        const std::wstring plain = linkWithoutUserInfo(url);
        return plain.substr(0, plain.find_first_of(L"?#"));
    };
    return bare(a) == bare(b);
}

std::wstring recordedLinkOf(const std::string& text) {
    for (const std::string& line : SplitAtLf(text))
        if (line.compare(0, 4, "url=") == 0) return Trim(Utf8ToUtf16(line.substr(4)));
    return {};
}

size_t nameRoomInFolder(const std::wstring& folder) {
    const size_t used = folder.size() + 1 + kNumberUnits + kCompanionUnits;
    return used >= MAX_PATH - 1 ? 0 : MAX_PATH - 1 - used;
}

std::wstring chooseFileName(const std::wstring& folder, const std::wstring& base, const std::wstring& url,
                            const NameProbe& probe, LinkMatch match) {
    const size_t room = nameRoomInFolder(folder);
    if (room < kMinNameUnits) throw Error{folderTooLongText(), ErrorKind::Disk};
    const std::wstring name = sanitizeFileName(base, std::min(room, kMaxFileNameUnits));
    for (unsigned n = 0;; ++n) {
        const std::wstring candidate = uniqueName(name, n);
        const std::wstring path = folder + L"\\" + candidate;
        if (probe.exists(path + L".zebpart")) {
            // A partial file of this same link is ours to resume (unless a
            // run elsewhere writes it now); another link's is never taken
            // over, not even as the last resort.
            const std::wstring recorded = probe.recordedLink(path + L".zebstate");
            const bool ours = sameLinkButUserInfo(recorded, url) ||
                              (match == LinkMatch::AnyQuery && !recorded.empty() && sameLinkButQuery(recorded, url));
            if (ours && !(probe.heldOpen && probe.heldOpen(path + L".zebpart"))) return candidate;
            if (n >= kLastNumber) throw Error{tooManyNamesText(), ErrorKind::Disk};
        } else if ((!probe.exists(path) && (!probe.exists(path + L".zebstate") ||
                                            // ours, written just before a cut-off came ahead of the partial file
                                            sameLinkButUserInfo(probe.recordedLink(path + L".zebstate"), url))) ||
                   n >= kLastNumber) {
            // Another's stray state file counts as taken: our saves would overwrite it.
            return candidate;
        }
    }
}

std::wstring moveToFreeName(const std::wstring& fileName, const std::function<unsigned long(const std::wstring&)>& move,
                            const std::function<bool(const std::wstring& name)>& partialFileExists) {
    std::wstring name = fileName;
    unsigned n = 1;
    for (;;) {
        const DWORD e = move(name);
        if (e == 0) return name;
        if ((e != ERROR_ALREADY_EXISTS && e != ERROR_FILE_EXISTS) || n > kLastNumber)
            throw Error{renameFailedText(systemErrorText(e)), ErrorKind::Disk};
        name = uniqueName(fileName, n);
        while (n <= kLastNumber && partialFileExists(name)) name = uniqueName(fileName, ++n);
        if (n > kLastNumber) throw Error{renameFailedText(systemErrorText(e)), ErrorKind::Disk};
        ++n;
    }
}

}  // namespace zeb
