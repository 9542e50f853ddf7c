// The queue and the active hours: outside them nothing starts; their end
// pauses what runs and marks it as theirs, their start queues again only
// what they paused (a row the user paused stays paused).
#include <algorithm>

#include "engine/Download.h"
#include "store/ActiveHours.h"
#include "store/List.h"

bool DownloadList::HoursHold() const {
    const std::optional<ActiveHours> hours = settings_.activeHours ? ActiveHoursOf(*settings_.activeHours) : std::nullopt;
    return !hours || !clock_.localMinute || InsideHours(*hours, clock_.localMinute());
}

void DownloadList::ApplyHours() {
    const bool inside = HoursHold();
    const HoursChange change = HoursChangeAt(hoursInside_, inside);
    hoursInside_ = inside;
    if (change == HoursChange::Ended) {
        for (const size_t row : LiveRows()) {
            ListEntry& e = entries_[row];
            if (!e.job->running()) continue;
            e.job->pause(true);  // saves its state as any pause does
            hoursPaused_.push_back(e.job);
            e.settled = false;
        }
    } else if (change == HoursChange::Began) {
        std::vector<std::pair<int, std::shared_ptr<zeb::Download>>> waiting;
        for (const std::weak_ptr<zeb::Download>& weak : hoursPaused_) {
            std::shared_ptr<zeb::Download> job = weak.lock();
            if (!job || job->running() || job->state() != DownloadState::Paused) continue;  // removed, or started by hand
            if (const int row = RowOf(job.get()); row >= 0) waiting.emplace_back(row, std::move(job));
        }
        std::sort(waiting.begin(), waiting.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (auto& [row, job] : waiting) {
            if (!job->snapshot(false).waitingForHours) continue;  // the user paused it since
            job->requeue();
            entries_[static_cast<size_t>(row)].settled = false;
        }
        hoursPaused_.clear();
    }
}

void DownloadList::SetSpeedLimit(const zeb::Download* job, int64_t bytesPerSecond) {
    const int row = RowOf(job);
    if (row < 0) return;
    ListEntry& e = entries_[static_cast<size_t>(row)];
    e.job->setSpeedLimit(bytesPerSecond);
    e.settled = false;
    signatureDirty_ = true;  // the list file keeps it
    RefreshEntries();
}

void DownloadList::TakeHoursWaiters() {
    for (const ListEntry& e : entries_)
        if (e.job && e.cached.waitingForHours) hoursPaused_.push_back(e.job);
    // Met as a beginning at the first tick when the hours hold by then.
    if (!hoursPaused_.empty()) hoursInside_ = false;
}
