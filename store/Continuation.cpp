// A fresh link for a download that waits: a signed link that expired while
// its row was paused comes again from the browser (or a second start, the
// clipboard, the Add form) as a new link to the same file. Rather than a
// second row from byte 0, the waiting row goes on with the new link; whether
// its bytes still fit is decided when it runs (validators, byte samples).
#include <unordered_map>

#include "engine/Download.h"
#include "engine/FileNames.h"
#include "engine/Url.h"
#include "store/Lang.h"
#include "store/List.h"
#include "store/Text.h"

std::vector<std::pair<size_t, int>> DownloadList::MatchWaitingRows(const std::vector<ListEntry>& entries,
                                                                   const std::vector<DownloadRequest>& requests) {
    std::vector<std::pair<size_t, int>> matches;
    std::unordered_map<std::wstring, int> waiting;  // Windows names differ only beyond case
    for (size_t i = 0; i < entries.size(); ++i) {
        const RowRecord& r = entries[i].cached;
        if ((r.state == DownloadState::Paused || r.state == DownloadState::Failed) && !r.fileName.empty())
            waiting.emplace(Lower(r.fileName), static_cast<int>(i));
    }
    if (waiting.empty()) return matches;
    for (size_t k = 0; k < requests.size(); ++k) {
        const DownloadRequest& q = requests[k];
        if (q.media || !IsAcceptableLink(q.url)) continue;
        const std::wstring name = q.fileName.empty() ? zeb::fileNameFromUrl(q.url) : zeb::sanitizeFileName(q.fileName);
        const auto found = waiting.find(Lower(name));
        if (found == waiting.end() || zeb::linkWithoutFragment(entries[static_cast<size_t>(found->second)].cached.url) ==
                                          zeb::linkWithoutFragment(q.url))
            continue;
        matches.emplace_back(k, found->second);
        waiting.erase(found);
    }
    return matches;
}

std::vector<bool> DownloadList::ContinueWaitingRows(const std::vector<DownloadRequest>& requests) {
    std::vector<bool> taken(requests.size(), false);
    const std::vector<std::pair<size_t, int>> matches = MatchWaitingRows(entries_, requests);
    if (matches.empty()) return taken;
    ConfirmQuestion q;
    q.title = L"Tidewell PE";
    const std::wstring& name = entries_[static_cast<size_t>(matches[0].second)].cached.fileName;
    q.text = matches.size() == 1
                 ? L"\u201C" + name +
                       Tr(L"\u201D đang chờ trong danh sách. Tiếp tục tải bằng liên kết mới?",
                          L"\u201D is waiting in the list. Continue it with the new link?")
                 : std::to_wstring(matches.size()) +
                       Tr(L" liên kết mới khớp với các mục đang chờ. Tiếp tục các mục đó bằng liên kết mới?",
                          L" new links match waiting downloads. Continue them with the new links?");
    q.confirmLabel = Tr(L"Tiếp tục", L"Continue");
    q.otherLabel = Tr(L"Thêm mới", L"Add as new");
    q.question = true;
    q.confirmFocused = true;
    if (!window_.Confirm(q)) return taken;
    for (const auto& [k, row] : matches) {
        const DownloadRequest& r = requests[k];
        const zeb::RequestOptions options{r.referrer, r.cookies, r.userAgent, r.checksum};
        if (!ChangeLink(row, r.url, &options)) continue;
        JobFor(row)->requeue();
        taken[k] = true;
    }
    StartQueued();
    RefreshEntries();
    return taken;
}
