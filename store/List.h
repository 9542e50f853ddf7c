// The download list and its queue. Everything here runs on the UI thread
// and takes no lock; jobs are reached only through their own operations
// (and the atomic running flag). The windows are reached through ListWindow.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/Types.h"
#include "store/DownloadRequest.h"
#include "store/FileServices.h"
#include "store/FreeSpaceWatch.h"
#include "store/ListFile.h"
#include "store/ListWindow.h"
#include "store/ListWriter.h"
#include "store/RowRecord.h"
#include "store/SmallFetch.h"
#include "store/SystemClock.h"

namespace zeb {
class Download;
}

// What a refused add says when the list file has no room for another row.
std::wstring ListFullText();
// What the status line says once the list file read at start-up, which had
// `rows` damaged rows, is kept as `backup` (a file name).
std::wstring DamagedRowsKeptText(size_t rows, const std::wstring& backup);
// What a running row's Change Link says.
std::wstring PauseBeforeNewLinkText();

namespace zeb {
struct RequestOptions;
struct MetalinkResult;
}


struct ListEntry {
    // None for a finished row that nothing needs a job for: its record below
    // is all the list file, the row and its details show, so 100,000
    // finished rows stay light. DownloadList::JobFor makes one again.
    std::shared_ptr<zeb::Download> job;
    RowRecord cached;  // what the last snapshot showed
    DownloadState lastNotifiedState = DownloadState::Queued;
    bool finishedHere = false;  // it finished while this list was open
    // The snapshot was taken while the job did not run: only the window's
    // own operations can change it until the job runs again.
    bool settled = false;
    // Added for a file a Metalink described: a Metalink again is not read
    // (one that names itself would replace its row for ever).
    bool fromMetalink = false;
};

// The scheduler's settings, read at each use.
struct QueueSettings {
    const std::wstring* folder;  // default download folder
    const int32_t* connections;
    const int32_t* maxDownloads;
    const bool* ignoreCertErrors;
    const std::wstring* activeHours = nullptr;  // see AppSettings::activeHours; none: always
};

class DownloadList {
public:
    // `ticks` is the clock of the free-space poll and the exit budget (ms);
    // `freeSpace` answers the poll (on a thread of its own).
    DownloadList(ListWindow& window, std::wstring listPath, QueueSettings settings,
                 std::function<uint64_t()> ticks = [] { return ::GetTickCount64(); },
                 FreeSpaceWatch::Query freeSpace = [](const std::wstring& folder) { return GetFreeSpace(folder); });
    ~DownloadList();

    const std::vector<ListEntry>& Entries() const { return entries_; }
    int Selection() const { return selection_; }
    void Select(int row) { selection_ = row; }

    bool AddDownload(const DownloadRequest& request, const std::wstring& folder);
    struct AddCounts {
        size_t added = 0;
        size_t full = 0;  // refused: the list is full
        size_t continued = 0;  // went to waiting rows of the same file instead
    };
    // A batch into `folder` (null: the default folder): one start, refresh
    // and save for all of them; the skipped links are reported.
    AddCounts AddRequests(const std::vector<DownloadRequest>& requests, const std::wstring* folder = nullptr);
    void RemoveDownload(int row);
    // The row's job, made again from its record for a finished row without
    // one (Change Link, removal with its file, the details window).
    std::shared_ptr<zeb::Download> JobFor(int row);
    // A window let go of this job: its row is looked at again, so a finished
    // one gives way to its record at the next tick.
    void JobReleased(const zeb::Download* job);
    // The rows a fresh link may continue: each request (by index) whose file
    // name (the hand-over's, else the link's last path part) is a paused or
    // failed row's, under another link; a row at most once.
    static std::vector<std::pair<size_t, int>> MatchWaitingRows(const std::vector<ListEntry>& entries,
                                                                const std::vector<DownloadRequest>& requests);

// A new link for a row that is not running (see zeb::Download::changeLink);
    // refused, with its reason shown, for a link that fails the link test or
    // is another unfinished row's.
    // `request`: the extras of the request that brought the link (see zeb::Download::changeLink).
    // `onTrial`: the link is offered (see zeb::Download::offerLink); the row keeps its own until
    // its next run has judged the new one, and one that serves another file becomes a row of its
    // own at a later tick.
    bool ChangeLink(int row, const std::wstring& url, const zeb::RequestOptions* request = nullptr,
                    bool onTrial = false);
    void EraseEntry(int row);
    // A row's own speed limit (bytes per second, 0: none): the running job
    // takes it at once, the list file keeps it.
    void SetSpeedLimit(const zeb::Download* job, int64_t bytesPerSecond);
    void ClearFinished();
    void PauseAll();
    void ResumeAll();
    void ToggleItem(int row);
    void StartQueued();
    // Every row's snapshot; `all` false (the timer's step) skips the settled
    // rows, so a tick over 100,000 waiting rows costs little.
    void RefreshEntries(bool all = true);
    // Offers the list file's text to the writer thread when a row was
    // added, erased or changed its link, name or state since the last save
    // (by a hash of those, what the file says but for progress) and no
    // write is in flight (the tick after it ends offers the newest rows).
    // The text is built a slice of rows at a time, the window answering
    // its messages between slices (ContinueListText); each row goes in
    // whole, as it is when its slice is built. `force` (the exit, "when
    // done") waits for a write in flight, writes whatever changed or not,
    // all at once, and waits for that write too.
    void SaveListIfChanged(bool force);
    // The next slice of a text begun, if any; the last one offers it.
    void ContinueListText();
    // Writes what changed, if anything, and returns once the list file
    // holds it (or its write failed; the tick tries again).
    void FlushListFile();
    void QueueTick();
    // How many times a row has finished while this list was open.
    uint64_t FinishedCount() const { return finished_; }
    void PollFreeSpaceNow() { lastPoll_ = 0; pollDue_ = true; }
    // Tests only: a smaller list-file limit than kListFileLimit.
    void SetListLimitForTests(uint64_t bytes) { listLimit_ = bytes; }
    // Tests only: a clock of their own (a test never moves the machine's).
    void SetClockForTests(SystemClock clock) { clock_ = std::move(clock); }
    // Tests only: fewer rows in a slice of the list file's text.
    void SetListSliceRowsForTests(size_t rows) { sliceRows_ = rows; }
    // Tests only: a shorter wait for the jobs at exit.
    void SetExitBudgetForTests(uint64_t ms) { exitBudgetMs_ = ms; }

    void Load();  // start-up: the list file's rows, then one save
    // Whether the window may close: asks only while a download runs.
    bool ExitCheck();
    // Pauses every job, waits for them within one 5000 ms budget, saves.
    void Exit();

private:
    struct Batch {
        std::unordered_map<std::wstring, int> unfinished;  // link -> row, or kStopping
        size_t full = 0;                                   // links refused: the list is full
    };
    // Links whose file name is a paused or failed row's: one question, and
    // on Continue each such row goes on with its new link (Continuation.cpp).
    // Marks the requests so taken.
    std::vector<bool> ContinueWaitingRows(const std::vector<DownloadRequest>& requests);
    // Adds an admitted link. A batch brings its own index of the unfinished
    // links and leaves the start, refresh and save to its end, so adding n
    // links costs O(n), not O(n) each.
    // `more`: a Metalink file's word on it (mirrors, piece hashes, size).
    bool AddOne(const DownloadRequest& request, const std::wstring& folder, Batch* batch,
                const zeb::RequestOptions* more = nullptr);
    // A batch that knows every unfinished link of the list.
    Batch OpenBatch();
    // The row of an unfinished row with this link, kStopping for a removed
    // row whose job still stops, or -1.
    int UnfinishedRowOf(const std::wstring& url);
    // `save`: a single link is saved at once; a batch (a hand-over comes
    // in many pieces) waits for the tick, so its pieces cost one write.
    void FinishAdding(bool save);
    // The list file's text while it is built.
    struct TextInProgress {
        std::string text;
        size_t next = 0;                    // the first row not in it yet
        uint64_t signature = 14695981039346656037ull;  // of its rows so far (FNV-1a's basis)
        // The finishes its rows record: those taken before it began (one
        // taken later may be of a row already in it as still running).
        std::vector<std::wstring> finishes;
    };
    // Drops a text begun, if any, and begins one with the magic line.
    void BeginListText();
    // Drops a text begun, if any; its finishes wait for the next.
    void DropListText();
    // Appends at most `most` rows; true once every row is in.
    bool AppendListRows(size_t most);
    // Hands the text built to the writer, unless its rows are the saved
    // ones and the save is not forced.
    void OfferListText(bool force);
    void BuildWholeListText(bool force);
    // Takes in how the last write went (after waiting for it, when asked):
    // its rows are the saved ones, or the next tick tries again.
    void TakeWriteOutcome(bool wait);
    int RunningCount();
    // The rows that have a job, in list order: the tick looks at these only,
    // so finished rows without one cost it nothing. Built again after rows
    // come or go or gain or lose their job (liveDirty_).
    const std::vector<size_t>& LiveRows();
    int RowOf(const zeb::Download* job) const;
    void PruneStopping();
    // A row failed only because this computer's clock is behind: asks once
    // a run whether to move it forward to the server's time, and on Set
    // tries such rows again (ClockOffer.cpp). Called by the tick, outside
    // the look at the rows, since the question runs a message loop.
    void OfferClock();
    // Offered links their row's run declined: each becomes a row of its own
    // (Continuation.cpp).
    void AddDeclinedOffers();
    static std::wstring NameOrUrl(const DownloadInfo& info);
    // A row whose link turned out to be a Metalink file: the file is fetched
    // (an engine job of its own, looked at each tick), read, and the row gives
    // way to a row for each file it describes (MetalinkRows.cpp).
    void ReadMetalinkOf(const ListEntry& entry);
    void TakeMetalinks();
    void ReplaceWithFiles(int row, const zeb::MetalinkResult& read);
    // The row stays failed, saying why its Metalink cannot be used.
    void FailMetalinkRow(int row, const std::wstring& text);

    ListWindow& window_;
    std::wstring listPath_;
    QueueSettings settings_;

    // Active hours (ActiveQueue.cpp). Judged on the local wall clock at each
    // tick, never by a timer set hours ahead: a clock set forward or back
    // is met at the next tick.
    // Whether the hours hold now (or none are set).
    bool HoursHold() const;
    // At each tick: the hours' end pauses the running rows (marked as the
    // hours'), their start queues those rows again in their order.
    void ApplyHours();
    // The rows loaded marked as the hours': theirs again.
    void TakeHoursWaiters();
    // Outside the hours and not told to start anyway: the queue starts nothing.
    bool QueueHeld() const { return !startAnyway_ && !HoursHold(); }
    // The rows the hours paused: a list of their own, so a tick never walks
    // 100,000 rows to find them.
    std::vector<std::weak_ptr<zeb::Download>> hoursPaused_;
    bool hoursInside_ = true;  // at the last tick
    bool startAnyway_ = false;  // Resume All outside the hours, answered yes: until the program closes
    std::function<uint64_t()> ticks_;
    std::vector<ListEntry> entries_;
    std::vector<size_t> live_;
    bool liveDirty_ = true;
    int selection_ = -1;
    uint64_t lastSignature_ = 0;
    // Rows erased while their job still ran: they hold their slot, block
    // the same link and are waited for at exit, until their thread ends.
    std::vector<std::shared_ptr<zeb::Download>> stopping_;
    // Links offered to continue a waiting row (ChangeLink onTrial), with the
    // request that brought them, until the row's run judged them.
    std::vector<std::pair<std::shared_ptr<zeb::Download>, DownloadRequest>> offers_;
    // Metalink files being fetched, each with the job of the row it names.
    struct MetalinkRead {
        std::shared_ptr<zeb::Download> row;
        std::unique_ptr<SmallFetch> fetch;
    };
    std::vector<MetalinkRead> metalinkReads_;
    bool backUpBeforeWrite_ = false;  // the file read at start-up was damaged
    size_t setAside_ = 0;  // its damaged rows, until the first write has kept it
    ListWriter writer_;
    uint64_t writingSignature_ = 0;  // the rows of the write in flight
    // The states kept beside files finished here, deleted by the first list
    // write that records the finish (until then a kill leaves what the next
    // start completes the row from): not yet in a text, and in the write in flight.
    std::vector<std::wstring> unsavedFinishes_, writingFinishes_;
    // The finished job's kept state joins the next text's; finishes a text
    // did not carry (dropped, refused, its write failed) wait for the next.
    void KeepFinishFor(zeb::Download& job);
    void GiveBackFinishes(std::vector<std::wstring>& finishes);
    std::optional<TextInProgress> building_;
    // Rows in a slice: 1.5 to 6 ms here of the 35 ms that the text of
    // 100,000 finished rows takes whole.
    size_t sliceRows_ = 4096;
    size_t lastTextBytes_ = 0;  // of the last text offered: the next one's room
    // The sum of the rows' bounds: the list file's largest possible size
    // but for its magic line.
    uint64_t rowsBound_ = 0;
    uint64_t listLimit_ = kListFileLimit;
    uint64_t exitBudgetMs_ = 5000;  // the exit's wait for every job together
    FreeSpaceWatch freeSpace_;
    uint64_t lastPoll_ = 0;
    bool pollDue_ = true;
    uint64_t lastFree_ = 0;
    bool haveFree_ = false;
    uint64_t finished_ = 0;
    SystemClock clock_ = MachineClock();
    // How far the server's clock is ahead of ours (FILETIME ticks) when a
    // row last failed for it; 0 when none did since the last tick.
    int64_t clockAhead_ = 0;
    bool clockAsked_ = false;
    // A row was added, erased or its link, name or state changed since the
    // last save: only then is the signature worth building.
    bool signatureDirty_ = false;
};
