#include "app/AccessRules.h"

RowEvents RowChangeEvents(const RowFacts& before, const RowFacts& after, uint64_t sinceValueEventMs) {
    RowEvents events;
    events.name = before.name != after.name;
    const bool stateChanged = before.state != after.state || before.error != after.error ||
                              before.waitingForHours != after.waitingForHours;
    const bool progressMoved = before.doneBytes != after.doneBytes || before.totalSize != after.totalSize ||
                               before.verifyPercent != after.verifyPercent || before.busySeconds != after.busySeconds;
    events.value = stateChanged || (progressMoved && sinceValueEventMs >= kProgressEventMs);
    return events;
}

Announcement AnnouncementFor(StatusKind kind, const std::wstring& text, LastAnnouncement& last, uint64_t nowMs) {
    Announcement a;
    if (text.empty()) return a;
    const bool repeat = text == last.text && nowMs - last.atMs < kRepeatWindowMs;
    last = LastAnnouncement{text, nowMs};
    if (repeat) return a;
    a.speak = true;
    a.important = kind != StatusKind::Message;
    a.kind = kind == StatusKind::Finished ? 2 : kind == StatusKind::Failed ? 3 : 4;
    return a;
}
