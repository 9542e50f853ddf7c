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

namespace {
std::wstring HostOf(const std::wstring& url) {
    zeb::UrlParts parts;
    return zeb::crackUrl(url, parts) ? parts.host : std::wstring();
}
}  // namespace

std::vector<bool> DownloadList::ContinueWaitingRows(const std::vector<DownloadRequest>& requests) {
    std::vector<bool> taken(requests.size(), false);
    const std::vector<std::pair<size_t, int>> matches = MatchWaitingRows(entries_, requests);
    if (matches.empty()) return taken;
    ConfirmQuestion q;
    q.title = L"Tidewell PE";
    const RowRecord& first = entries_[static_cast<size_t>(matches[0].second)].cached;
    const std::wstring& name = first.fileName;
    // A link from another host may well be another file of that name: say where each comes from.
    const std::wstring oldHost = HostOf(first.url), newHost = HostOf(requests[matches[0].first].url);
    if (matches.size() > 1)
        q.text = std::to_wstring(matches.size()) +
                 Tr(L" liên kết mới khớp với các mục đang chờ. Tiếp tục các mục đó bằng liên kết mới?",
                    L" new links match waiting downloads. Continue them with the new links?");
    else if (Lower(oldHost) != Lower(newHost))
        q.text = L"\u201C" + name + Tr(L"\u201D (từ ", L"\u201D (from ") + oldHost +
                 Tr(L") đang chờ trong danh sách. Tiếp tục tải bằng liên kết mới từ ",
                    L") is waiting in the list. Continue it with the new link from ") +
                 newHost + L"?";
    else
        q.text = L"\u201C" + name +
                 Tr(L"\u201D đang chờ trong danh sách. Tiếp tục tải bằng liên kết mới?",
                    L"\u201D is waiting in the list. Continue it with the new link?");
    q.confirmLabel = Tr(L"Tiếp tục", L"Continue");
    q.otherLabel = Tr(L"Thêm mới", L"Add as new");
    q.question = true;
    q.confirmFocused = true;
    if (!window_.Confirm(q)) return taken;
    for (const auto& [k, row] : matches) {
        const DownloadRequest& r = requests[k];
        const zeb::RequestOptions options{r.referrer, r.cookies, r.userAgent, r.checksum};
        // On trial: the row's next run decides whether the new link serves its bytes' file.
        if (!ChangeLink(row, r.url, &options, true)) continue;
        const std::shared_ptr<zeb::Download> job = JobFor(row);
        offers_.emplace_back(job, r);
        job->requeue();
        taken[k] = true;
    }
    StartQueued();
    RefreshEntries();
    return taken;
}

void DownloadList::AddDeclinedOffers() {
    std::vector<std::pair<DownloadRequest, DownloadInfo>> declined;
    for (auto it = offers_.begin(); it != offers_.end();) {
        DownloadInfo info;
        if (!it->first->trySnapshot(info)) {
            ++it;  // busy right now: the next tick looks again
            continue;
        }
        const bool isDeclined = info.declinedLink == it->second.url;
        // Judged (taken, or declined), or no longer waiting for a judgement.
        if (isDeclined || info.url == it->second.url || info.state == DownloadState::Completed ||
            RowOf(it->first.get()) < 0) {
            if (isDeclined) declined.emplace_back(std::move(it->second), std::move(info));
            it = offers_.erase(it);
        } else {
            ++it;
        }
    }
    for (const auto& [request, row] : declined) {
        AddOne(request, row.folder, nullptr);
        window_.SetStatus(Tr(L"Liên kết mới không phải tệp \u201C", L"The new link is not the file \u201C") + row.fileName +
                          Tr(L"\u201D đang chờ: đã thêm thành một mục riêng.",
                             L"\u201D that was waiting: it was added as a download of its own."));
    }
}
