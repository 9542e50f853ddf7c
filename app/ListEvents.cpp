#include "app/ListEvents.h"

#include <oleacc.h>

#include "app/AccessRules.h"
#include "app/ListAccessible.h"
#include "store/RowRecord.h"

namespace {
template <typename Row>
RowFacts FactsOf(const Row& r) {
    return RowFacts{r.state, r.fileName.empty() ? r.url : r.fileName, r.errorText, r.doneBytes, r.totalSize,
                    r.verifyPercent, r.busySeconds, r.waitingForHours};
}

// Rows removed while running leave their note behind; past this many the
// notes start over (at worst one progress event comes early).
constexpr size_t kMostNotes = 4096;
}  // namespace

void ListEvents::RowRefreshing(int row, const void* job, const RowRecord& before, const DownloadInfo& after,
                               uint64_t nowMs) {
    const auto last = lastValue_.find(job);
    const uint64_t since = last == lastValue_.end() ? UINT64_MAX : nowMs - last->second;
    const RowEvents events = RowChangeEvents(FactsOf(before), FactsOf(after), since);
    for (const auto& [raise, event] : {std::pair{events.name, EVENT_OBJECT_NAMECHANGE}, {events.value, EVENT_OBJECT_VALUECHANGE}}) {
        if (!raise) continue;
        if (!TellAsOne(++noted_)) pending_.emplace_back(event, row);  // the rest are told as one
    }
    const bool moving = after.state == DownloadState::Connecting || after.state == DownloadState::Downloading;
    if (!moving) {
        if (last != lastValue_.end()) lastValue_.erase(last);
    } else if (events.value) {
        if (lastValue_.size() >= kMostNotes) lastValue_.clear();
        lastValue_[job] = nowMs;
    }
}

void ListEvents::Flush(HWND list) {
    if (TellAsOne(noted_)) RaiseRowEvent(EVENT_OBJECT_REORDER, list, OBJID_CLIENT, -1);
    else
        for (const auto& [event, row] : pending_) RaiseRowEvent(event, list, OBJID_CLIENT, row);
    pending_.clear();
    noted_ = 0;
}
