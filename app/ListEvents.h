// The list rows' events for a screen reader: a look at a job notes what
// its row's change tells (AccessRules), and the list's repaint after the
// look raises it, once the row shows the new record. Only rows whose job
// was looked at cost anything; a tick over rows that stand still raises
// nothing. UI thread only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/Types.h"

struct RowRecord;

class ListEvents {
public:
    // A look at row `row` (whose job is `job`) replaces `before` with `after`.
    void RowRefreshing(int row, const void* job, const RowRecord& before, const DownloadInfo& after, uint64_t nowMs);
    // Raises the events noted since the last call, on the list window.
    void Flush(HWND list);

private:
    std::vector<std::pair<DWORD, int>> pending_;  // event, row
    size_t noted_ = 0;  // events found since the last flush, also those past the ones kept
    // When a running row last told its value (GetTickCount64 ms), by its job;
    // a row that stops is dropped (its next start is told at once anyway).
    std::unordered_map<const void*, uint64_t> lastValue_;
};
