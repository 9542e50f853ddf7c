// What a screen reader is told, and when: the events a list row's change
// raises, and which status messages are announced and how. Plain functions
// of plain data; ListEvents and Announcer make the calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/Types.h"
#include "store/ListWindow.h"

// What of a row its events are about: its name, its state and its progress.
struct RowFacts {
    DownloadState state = DownloadState::Queued;
    std::wstring_view name;   // the file name, or the link while there is none
    std::wstring_view error;  // the failure's text
    int64_t doneBytes = 0, totalSize = -1;
    int32_t verifyPercent = -1, busySeconds = 0;
    bool waitingForHours = false;  // held until the hours it may run in
};

struct RowEvents {
    bool name = false;   // the row's name changed
    bool value = false;  // its status text changed (the caller notes the time)
};

// Progress (bytes, the check of the finished file, a busy server's count)
// is told at most this often per row; a screen reader would speak nothing else.
constexpr uint64_t kProgressEventMs = 5000;

// `sinceValueEventMs`: since this row's last value event (UINT64_MAX: none
// yet). A state or error change is told at once, moved progress once the
// row's pause is over, nothing when nothing changed.
RowEvents RowChangeEvents(const RowFacts& before, const RowFacts& after, uint64_t sinceValueEventMs);

// More row events than this from one look (Resume All over a long list) are
// told as one: the list's rows changed, read them again.
constexpr size_t kMostRowEvents = 64;
inline bool TellAsOne(size_t rowEvents) { return rowEvents > kMostRowEvents; }

// How an announcement is spoken: `important` ones queue and are all said
// (a finish, a failure); a newer plain message replaces one not yet said.
struct Announcement {
    bool speak = false;
    bool important = false;
    int kind = 4;  // UI Automation's NotificationKind: 2 action completed, 3 aborted, 4 other
};

// The last message given, to say a burst of the same message once.
struct LastAnnouncement {
    std::wstring text;
    uint64_t atMs = 0;
};

// The same text again within this time of its last giving is one message
// given twice (a batch of adds, a tick that repeats itself), not news: a
// message given every tick is said once.
constexpr uint64_t kRepeatWindowMs = 1000;

// Notes `text` in `last` as well.
Announcement AnnouncementFor(StatusKind kind, const std::wstring& text, LastAnnouncement& last, uint64_t nowMs);
