#include "store/ListFile.h"

#include <windows.h>

#include <algorithm>
#include <iterator>
#include <unordered_set>
#include <utility>

#include "engine/Checksum.h"
#include "engine/Download.h"
#include "engine/StrictNumber.h"
#include "engine/Url.h"
#include "store/FileServices.h"
#include "store/List.h"
#include "store/Text.h"

namespace {
const char* StateWord(DownloadState s) {
    switch (s) {
        case DownloadState::Queued: return "queued";
        case DownloadState::Completed: return "completed";
        case DownloadState::Failed: return "failed";
        default: return "paused";
    }
}

DownloadState StateOfWord(const std::wstring& word) {
    if (word == L"completed") return DownloadState::Completed;
    if (word == L"failed") return DownloadState::Failed;
    if (word == L"queued") return DownloadState::Queued;
    return DownloadState::Paused;
}

DownloadInfo FreshRecord() {
    DownloadInfo r;
    r.totalSize = -1;
    r.doneBytes = 0;
    r.state = DownloadState::Queued;
    return r;
}
}  // namespace

bool IsPlainFileName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..") return false;
    return name.find_first_of(L"\\/:") == std::wstring::npos;
}

size_t ListRowBound(const std::wstring& url, const std::wstring& folder) {
    // The thirteen lines with the longest state word, three 20-digit numbers
    // and two 64-digit checksums; a UTF-16 unit takes at most 3 bytes in UTF-8.
    constexpr size_t kFixed = sizeof("[item]\r\nurl=\r\nfolder=\r\nfile=\r\nfixed=0\r\ntotal=\r\ndone=\r\n"
                                     "state=completed\r\nerror=\r\nchecksum=\r\nsha256=\r\nlimit=\r\nwait=hours\r\n") - 1 +
                              3 * 20 + 2 * 64;
    return kFixed + Utf16ToUtf8(url).size() + Utf16ToUtf8(folder).size() + 3 * (MAX_PATH + kStoredErrorUnits);
}

namespace {
void AppendLine(std::string& text, const char* key, const std::wstring& value) {
    text += key;
    AppendUtf8(text, value);
    text += "\r\n";
}
}  // namespace

namespace {
int64_t KbOf(int64_t bytesPerSecond) { return bytesPerSecond / 1024; }
int64_t KbOf(const LimitKb& limit) { return limit.kb; }

// What a section holds: DownloadInfo's and RowRecord's stored fields alike.
template <class Row>
void AppendSection(std::string& text, const Row& r, const std::wstring& sha256) {
    std::wstring error = r.errorText.substr(0, kStoredErrorUnits);
    if (!error.empty() && error.size() < r.errorText.size() && IS_HIGH_SURROGATE(error.back())) error.pop_back();
    for (wchar_t& c : error)
        if (c == L'\r' || c == L'\n') c = L' ';
    text += "[item]\r\n";
    AppendLine(text, "url=", r.url);
    AppendLine(text, "folder=", r.folder);
    AppendLine(text, "file=", r.fileName);
    text += r.nameFixed ? "fixed=1\r\ntotal=" : "fixed=0\r\ntotal=";
    text += std::to_string(r.totalSize);
    text += "\r\ndone=";
    text += std::to_string(r.doneBytes);
    text += "\r\nstate=";
    text += StateWord(r.state);
    text += "\r\n";
    AppendLine(text, "error=", error);
    AppendLine(text, "checksum=", r.expectedChecksum);
    AppendLine(text, "sha256=", sha256);
    // In KB/s, as the user gives it; a row without a limit has no line.
    if (const int64_t kb = KbOf(r.speedLimit); kb > 0) text += "limit=" + std::to_string(kb) + "\r\n";
    // Paused by the end of the active hours: started again when they begin.
    if (r.waitingForHours) text += "wait=hours\r\n";
}
}  // namespace

void AppendListSection(std::string& text, const DownloadInfo& row) { AppendSection(text, row, row.sha256); }
void AppendListSection(std::string& text, const RowRecord& row) { AppendSection(text, row, row.sha256.Hex()); }

std::string ListFileText(const std::vector<DownloadInfo>& rows) {
    std::string text = kListMagicLine;
    for (const DownloadInfo& r : rows) AppendListSection(text, r);
    return text;
}

namespace {
// The keys of a section, in the order they are written.
enum class Key { Url, Folder, File, Fixed, Total, Done, State, Error, Checksum, Sha256, Limit, Wait, Count };
constexpr const wchar_t* kKeys[] = {L"url",   L"folder", L"file",     L"fixed",  L"total", L"done",
                                    L"state", L"error",  L"checksum", L"sha256", L"limit", L"wait"};
static_assert(std::size(kKeys) == static_cast<size_t>(Key::Count));

// Takes one line's value into the record; false when the value is not one
// this program writes for its key (a flipped byte, or a line cut short).
bool TakeValue(DownloadInfo& record, Key key, const std::wstring& value) {
    switch (key) {
        case Key::Url: record.url = value; return true;
        case Key::Folder: record.folder = value; return true;
        case Key::File: record.fileName = value; return true;
        case Key::Fixed: record.nameFixed = value == L"1"; return value == L"1" || value == L"0";
        case Key::Total:
            record.totalSize = ParseStrictNumber(value).value_or(-1);
            return record.totalSize >= 0 || value == L"-1";
        case Key::Done: {
            const std::optional<int64_t> done = ParseStrictNumber(value);
            record.doneBytes = done.value_or(record.doneBytes);
            return done.has_value();
        }
        case Key::State:
            record.state = StateOfWord(value);
            return value == L"paused" || record.state != DownloadState::Paused;
        case Key::Error: record.errorText = value; return true;
        case Key::Checksum: record.expectedChecksum = value; return true;
        case Key::Wait: record.waitingForHours = value == L"hours"; return record.waitingForHours;
        case Key::Limit: {
            const std::optional<int64_t> kb = ParseStrictNumber(value);
            record.speedLimit = kb && *kb > 0 && *kb <= kMaxRowLimitKb ? *kb * 1024 : 0;
            return record.speedLimit > 0;
        }
        default: record.sha256 = value; return true;
    }
}
}  // namespace

ListFileContent ParseListFile(const std::string& data, bool complete) {
    ListFileContent out;
    const bool listed = data.size() >= 7 && data.compare(0, 7, "ZEBLIST") == 0;
    bool open = false;
    // The open section, or the lines before the first one, held a line that
    // could not be read: invalid UTF-8, no "=", a key twice, an unknown key
    // or a value this program never writes. Such a row is kept aside too
    // (a later version's line as well: its file is kept whole before this
    // one writes it without that line).
    bool unreadable = false;
    unsigned seen = 0;  // the keys met in the open section, one bit each
    DownloadInfo record;
    // Two unfinished rows of one link would write one partial file.
    std::unordered_set<std::wstring> unfinished;
    const auto close = [&] {
        bool keep = open && IsAcceptableLink(record.url) && !record.folder.empty();
        if (keep && record.state != DownloadState::Completed)
            keep = unfinished.insert(zeb::linkWithoutFragment(record.url)).second;
        if (keep) {
            record.nameFixed = record.nameFixed && IsPlainFileName(record.fileName);
            out.records.push_back(record);
        }
        if ((open && !keep) || unreadable) ++out.setAside;
        unreadable = false;
    };
    bool magic = true;  // the first line, whatever its version
    for (const std::string& raw : SplitAtLf(data)) {
        const std::wstring line = Trim(Utf8ToUtf16(raw));
        if (std::exchange(magic, false) || line.empty()) continue;
        if (line == L"[item]") {
            close();
            record = FreshRecord();
            open = true;
            seen = 0;
            continue;
        }
        const size_t eq = line.find(L'=');
        const size_t k = eq == std::wstring::npos ? std::size(kKeys) : std::ranges::find(kKeys, line.substr(0, eq)) - kKeys;
        const bool invalidUtf8 = line.find(L'\uFFFD') != std::wstring::npos && raw.find("\xEF\xBF\xBD") == std::string::npos;
        if (!open || k == std::size(kKeys) || (seen >> k & 1) || invalidUtf8) unreadable = true;
        if (!open || k == std::size(kKeys)) continue;
        seen |= 1u << k;
        if (!TakeValue(record, static_cast<Key>(k), line.substr(eq + 1))) unreadable = true;
    }
    // A file cut short may end inside a section whose values are partial.
    if (complete) close();
    else if (open || unreadable) ++out.setAside;
    // Another file's rows (a damaged magic) are not loaded, but counted.
    if (!listed) {
        out.setAside += out.records.size();
        out.records.clear();
    }
    out.damaged = !complete || (!listed && !data.empty()) || out.setAside > 0;
    return out;
}

ListFileContent ReadListFile(const std::wstring& path) {
    ReadStatus status;
    const std::string data = ReadWholeFile(path, kListFileLimit, &status);
    // A missing file is an empty list; one that exists but cannot be read
    // whole must not be taken for a shorter list.
    const bool complete = status == ReadStatus::Complete || status == ReadStatus::NotOpened;
    ListFileContent content = ParseListFile(data, complete);
    if (status == ReadStatus::NotOpened && ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        content.damaged = true;
    return content;
}

bool WriteListFile(const std::wstring& path, const std::vector<std::shared_ptr<zeb::Download>>& jobs) {
    std::vector<DownloadInfo> rows;
    rows.reserve(jobs.size());
    for (const auto& job : jobs) rows.push_back(job->snapshot(false));
    return WriteFileAtomic(path, ListFileText(rows));
}

std::wstring BackUpListFile(const std::wstring& path) {
    for (int n = 1; n <= 9999; ++n) {
        const std::wstring copy = path + L".bak" + (n > 1 ? std::to_wstring(n) : L"");
        if (::CopyFileW(path.c_str(), copy.c_str(), TRUE)) return copy;
        const DWORD e = ::GetLastError();
        if (e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) return {};
    }
    return {};
}
