// The queue's own steps and the user's actions on it: what starts, and
// pause or resume of one row or of all.
#include "engine/Download.h"
#include "store/ActiveHours.h"
#include "store/Lang.h"
#include "store/List.h"

void DownloadList::StartQueued() {
    PruneStopping();
    if (QueueHeld()) return;
    int running = RunningCount();
    for (const size_t row : LiveRows()) {
        if (running >= *settings_.maxDownloads) break;
        ListEntry& e = entries_[row];
        if (e.job->mayWaitInQueue() && !e.job->running() && e.job->state() == DownloadState::Queued) {
            e.job->start(*settings_.connections, *settings_.ignoreCertErrors);
            e.settled = false;  // it may end before the next look
            ++running;
        }
    }
}

void DownloadList::ToggleItem(int row) {
    if (row < 0 || row >= static_cast<int>(entries_.size()) || !entries_[static_cast<size_t>(row)].job) return;
    zeb::Download& job = *entries_[static_cast<size_t>(row)].job;
    switch (job.state()) {
        case DownloadState::Completed: break;
        case DownloadState::Queued:
        case DownloadState::Connecting:
        case DownloadState::Downloading: job.pause(); break;
        default:
            job.requeue();
            // Outside the active hours a row resumed by hand starts at once.
            if (QueueHeld()) job.start(*settings_.connections, *settings_.ignoreCertErrors);
            break;
    }
    StartQueued();
    RefreshEntries();
}

void DownloadList::PauseAll() {
    for (ListEntry& e : entries_)
        if (e.job) e.job->pause();
    RefreshEntries();
    window_.SetStatus(Tr(L"Đã tạm dừng mọi mục tải.", L"Every download was paused."));
}

void DownloadList::ResumeAll() {
    if (QueueHeld() && settings_.activeHours) {
        ConfirmQuestion ask;
        ask.title = Tr(L"Giờ tải", L"Active hours");
        ask.text = StartAnywayQuestion(*settings_.activeHours);
        ask.confirmLabel = StartAnywayLabel();
        ask.question = true;
        startAnyway_ = window_.Confirm(ask);
    }
    for (ListEntry& e : entries_)
        if (e.job) e.job->requeue();
    StartQueued();
    RefreshEntries();
    window_.SetStatus(Tr(L"Đang tiếp tục mọi mục chưa xong.", L"Resuming every unfinished download."));
}
