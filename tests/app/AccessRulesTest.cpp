// What a screen reader is told and when: a row's events and the status
// line's announcements, as plain functions.
#include <gtest/gtest.h>

#include "app/AccessRules.h"

namespace {
using S = DownloadState;
const RowFacts kRunning{S::Downloading, L"a.iso", L"", 100, 1000, -1, 0};

RowFacts With(RowFacts f, S state) { return f.state = state, f; }
RowFacts Done(RowFacts f, int64_t bytes) { return f.doneBytes = bytes, f; }
}  // namespace

TEST(AccessRules, ARowTellsAStateAtOnceProgressEveryFiveSecondsAndNothingUnchanged) {
    struct Case {
        const char* edge;
        RowFacts before, after;
        uint64_t since;
        bool name, value;
    } cases[] = {
        // Catches a tick that raises events for a row that stood still (idle cost, chatter).
        {"unchanged, long since", kRunning, kRunning, UINT64_MAX, false, false},
        // Catches a state change held back by the progress pause.
        {"finished just after progress", kRunning, With(kRunning, S::Completed), 10, false, true},
        {"failed", kRunning, [] { RowFacts f = With(kRunning, S::Failed); f.error = L"HTTP 404"; return f; }(), 0, false, true},
        {"held for its hours", kRunning, [] { RowFacts f = kRunning; f.waitingForHours = true; return f; }(), 0, false, true},
        // Catches progress told every tick (300 ms) instead of every 5 s.
        {"progress within the pause", kRunning, Done(kRunning, 200), kProgressEventMs - 1, false, false},
        {"progress at the pause's end", kRunning, Done(kRunning, 200), kProgressEventMs, false, true},
        {"first progress of a row", kRunning, Done(kRunning, 200), UINT64_MAX, false, true},
        {"the check of the file moves", kRunning, [] { RowFacts f = kRunning; f.verifyPercent = 40; return f; }(),
         kProgressEventMs, false, true},
        // Catches a chosen file name that the screen reader never hears of.
        {"name chosen", [] { RowFacts f = kRunning; f.name = L"http://h/x"; return f; }(), kRunning, 0, true, false},
    };
    // Catches Resume All over 100,000 rows raising 100,000 events in one tick.
    EXPECT_EQ(std::make_pair(TellAsOne(kMostRowEvents), TellAsOne(kMostRowEvents + 1)), std::make_pair(false, true));
    for (const Case& c : cases) {
        const RowEvents e = RowChangeEvents(c.before, c.after, c.since);
        EXPECT_EQ(std::make_pair(e.name, e.value), std::make_pair(c.name, c.value)) << c.edge;
    }
}

TEST(AccessRules, FinishesAndFailuresAreSaidAllMessagesTheNewestAndARepeatOnce) {
    const LastAnnouncement last{L"Added: x", 10'000};  // given last
    struct Case {
        const char* edge;
        StatusKind kind;
        const wchar_t* text;
        uint64_t now;
        bool speak, important;
    } cases[] = {
        // Catches a finish or failure dropped behind a later message.
        {"finished", StatusKind::Finished, L"f", 10'001, true, true},
        {"failed", StatusKind::Failed, L"f", 10'001, true, true},
        {"a one-off message", StatusKind::Message, L"m", 10'001, true, false},
        // Catches one message set twice in a burst being said twice.
        {"the same again at once", StatusKind::Message, L"Added: x", 10'000 + kRepeatWindowMs - 1, false, false},
        {"the same again later", StatusKind::Message, L"Added: x", 10'000 + kRepeatWindowMs, true, false},
        {"nothing to say", StatusKind::Message, L"", 20'000, false, false},
    };
    for (const Case& c : cases) {
        LastAnnouncement l = last;
        const Announcement a = AnnouncementFor(c.kind, c.text, l, c.now);
        EXPECT_EQ(std::make_pair(a.speak, a.important), std::make_pair(c.speak, c.important)) << c.edge;
    }
    LastAnnouncement l;
    EXPECT_NE(AnnouncementFor(StatusKind::Finished, L"f", l, 0).kind, AnnouncementFor(StatusKind::Failed, L"g", l, 0).kind);
    // Catches a message given again at every 300 ms tick being said again every second.
    int said = 0;
    for (uint64_t t = 0; t < 10'000; t += 300) said += AnnouncementFor(StatusKind::Message, L"again", l, t).speak;
    EXPECT_EQ(said, 1);
}
