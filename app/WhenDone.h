// What the program does once its queue has run empty: nothing, close, shut
// the machine down or restart it. The choice lives only as long as the
// window and is never saved: a restarted program must not power a machine
// off by surprise. Plain rules and texts; the main window asks and acts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "store/List.h"

enum class WhenDone : int32_t { Nothing = 0, Close = 1, ShutDown = 2, Restart = 3 };

// Each press of the button moves to the next choice, the last back to Nothing.
WhenDone NextWhenDone(WhenDone choice);
// The choice in words ("When done: shut down"); the button adds its key.
std::wstring WhenDoneText(WhenDone choice);
std::wstring WhenDoneCaption(WhenDone choice);
// The question's text with `seconds` left (0: it waits for an answer),
// and the warning about `lossDrive` ("X:") when there is one.
std::wstring WhenDoneCountdownText(WhenDone choice, int seconds, const std::wstring& lossDrive = L"");
// Why the action failed, with the system's reason.
std::wstring WhenDoneFailedText(WhenDone choice, const std::wstring& reason);

// Time to act: a choice is made, at least one row finished since it was
// made, and no row is queued, connecting or downloading or waiting for the
// active hours. Failed and paused rows do not hold the queue open, and a
// failure is no finish.
bool WhenDoneDue(WhenDone choice, const std::vector<ListEntry>& entries, uint64_t finishedSinceChoice);

// The system drive ("X:") when shutting down or restarting would lose files:
// inside Windows PE it is a RAM drive, and a file that finished in this run
// lies on it. Empty otherwise (and always for closing the program).
std::wstring WhenDoneLossDrive(WhenDone choice, const std::vector<ListEntry>& entries, bool windowsPE, wchar_t systemDrive);
