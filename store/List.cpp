#include "store/List.h"
#include "engine/Credentials.h"

#include <algorithm>
#include <unordered_map>

#include "engine/Checksum.h"
#include "engine/Download.h"
#include "engine/FileNames.h"
#include "engine/LabCache.h"
#include "engine/ServerClock.h"
#include "engine/Url.h"
#include "store/ActiveHours.h"
#include "store/FileServices.h"
#include "store/Lang.h"
#include "store/ListFile.h"

namespace {
constexpr uint64_t kFreeSpacePollMs = 2000;
constexpr int kStopping = -2;  // UnfinishedRowOf: a removed row whose job still stops

// The fragment (an expected checksum) never reaches the server, so two links
// that differ only there fetch the same file.
bool SameLink(const std::wstring& a, const std::wstring& b) {
    return zeb::linkWithoutFragment(a) == zeb::linkWithoutFragment(b);
}

std::wstring Count(size_t n) { return std::to_wstring(n); }

// A row's part of the list's signature (FNV-1a over its link, name, state,
// own limit and the hours' mark: what the list file says but for progress),
// each field ended by a unit no field holds.
uint64_t MixRowSignature(uint64_t hash, const RowRecord& row) {
    const auto mix = [&hash](const std::wstring& field) {
        for (wchar_t c : field) hash = (hash ^ static_cast<uint16_t>(c)) * 1099511628211ull;
        hash = (hash ^ 0xFFFFu) * 1099511628211ull;
    };
    mix(row.url);
    mix(row.fileName);
    hash = (hash ^ static_cast<uint64_t>(row.speedLimit.kb)) * 1099511628211ull;
    hash = (hash ^ (row.waitingForHours ? 1u : 2u)) * 1099511628211ull;
    return (hash ^ static_cast<uint64_t>(row.state)) * 1099511628211ull;
}

std::wstring AlreadyListedText() { return Tr(L"Liên kết này đã có trong danh sách.", L"This link is already in the list."); }
std::wstring NotALinkText(const std::wstring& text) {
    return Tr(L"Đây không phải liên kết http:// hoặc https:// hợp lệ:\n\n",
              L"This is not a valid http:// or https:// link:\n\n") +
           zeb::maskPassword(text);
}
}  // namespace

std::wstring ListFullText() {
    return Tr(L"Danh sách đã đầy: hãy dọn các mục đã xong trước khi thêm liên kết mới.",
              L"The list is full: clear finished downloads before adding new links.");
}

std::wstring DamagedRowsKeptText(size_t rows, const std::wstring& backup) {
    return Count(rows) + Tr(L" mục trong danh sách bị hỏng đã được giữ lại trong ", L" damaged rows were kept aside in ") +
           backup;
}

std::wstring PauseBeforeNewLinkText() {
    return Tr(L"Hãy tạm dừng mục tải trước khi đổi liên kết.", L"Pause the download before changing its link.");
}

DownloadList::DownloadList(ListWindow& window, std::wstring listPath, QueueSettings settings,
                           std::function<uint64_t()> ticks, FreeSpaceWatch::Query freeSpace)
    : window_(window),
      listPath_(std::move(listPath)),
      settings_(settings),
      ticks_(std::move(ticks)),
      writer_(listPath_),
      freeSpace_(std::move(freeSpace)) {}

DownloadList::~DownloadList() = default;

std::wstring DownloadList::NameOrUrl(const DownloadInfo& info) {
    return info.fileName.empty() ? zeb::maskPassword(info.url) : info.fileName;
}

const std::vector<size_t>& DownloadList::LiveRows() {
    if (liveDirty_) {
        live_.clear();
        for (size_t i = 0; i < entries_.size(); ++i)
            if (entries_[i].job) live_.push_back(i);
        liveDirty_ = false;
    }
    return live_;
}

int DownloadList::RunningCount() {
    int running = 0;
    for (const size_t row : LiveRows())
        if (entries_[row].job->running()) ++running;
    for (const auto& job : stopping_)
        if (job->running()) ++running;
    return running;
}

int DownloadList::RowOf(const zeb::Download* job) const {
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].job.get() == job) return static_cast<int>(i);
    return -1;
}

void DownloadList::PruneStopping() {
    stopping_.erase(std::remove_if(stopping_.begin(), stopping_.end(), [](const auto& j) { return !j->running(); }),
                    stopping_.end());
}

bool DownloadList::AddDownload(const DownloadRequest& request, const std::wstring& folder) {
    if (!IsAcceptableLink(request.url)) {
        window_.ShowError(NotALinkText(request.url));
        return false;
    }
    if (ContinueWaitingRows({request})[0]) return true;
    return AddOne(request, folder, nullptr);
}

int DownloadList::UnfinishedRowOf(const std::wstring& url) {
    for (size_t i = 0; i < entries_.size(); ++i)
        if (SameLink(entries_[i].cached.url, url) && entries_[i].cached.state != DownloadState::Completed)
            return static_cast<int>(i);
    // A link on trial is its row's already.
    for (const auto& [job, request] : offers_)
        if (SameLink(request.url, url)) return RowOf(job.get());
    // A removed row whose job still stops holds its partial file: the same
    // link may not adopt it until that thread has ended.
    PruneStopping();
    for (const auto& job : stopping_)
        if (SameLink(job->snapshot(false).url, url)) return kStopping;
    return -1;
}

bool DownloadList::AddOne(const DownloadRequest& request, const std::wstring& folder, Batch* batch,
                          const zeb::RequestOptions* more) {
    int same = -1;
    if (!batch) {
        same = UnfinishedRowOf(request.url);
    } else if (auto found = batch->unfinished.find(zeb::linkWithoutFragment(request.url)); found != batch->unfinished.end()) {
        same = found->second;
    }
    if (same != -1) {
        if (same >= 0) {
            selection_ = same;
            if (!batch) {
                window_.ScrollIntoView(selection_);
                window_.RepaintList();
            }
        }
        window_.SetStatus(AlreadyListedText());
        return false;
    }
    const size_t bound = ListRowBound(request.url, folder);
    if (kListHeaderBytes + rowsBound_ + bound > listLimit_) {
        if (batch) ++batch->full;
        else window_.SetStatus(ListFullText());
        return false;
    }
    zeb::RequestOptions options{request.referrer, request.cookies, request.userAgent, request.checksum};
    if (more) {
        options.mirrors = more->mirrors;
        options.pieces = more->pieces;
        options.expectedSize = more->expectedSize;
    }
    // Cleaned and capped now, not when the file is prepared: the row's bound
    // counts a name at its longest, and a row may fail before it is prepared.
    const std::wstring name = request.fileName.empty() ? std::wstring() : zeb::sanitizeFileName(request.fileName);
    auto job = std::make_shared<zeb::Download>(request.url, folder, name, options);
    entries_.push_back(ListEntry{job, RowRecord(job->snapshot(false)), DownloadState::Queued});
    liveDirty_ = true;
    signatureDirty_ = true;
    rowsBound_ += bound;
    selection_ = static_cast<int>(entries_.size() - 1);
    if (batch) {
        batch->unfinished.emplace(zeb::linkWithoutFragment(request.url), selection_);
        return true;
    }
    StartQueued();
    window_.SetStatus(Tr(L"Đã thêm: ", L"Added: ") + zeb::maskPassword(request.url));
    FinishAdding(true);
    return true;
}

void DownloadList::FinishAdding(bool save) {
    RefreshEntries();
    window_.ScrollIntoView(selection_);
    if (save) SaveListIfChanged(false);
}

DownloadList::Batch DownloadList::OpenBatch() {
    Batch batch;
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].cached.state != DownloadState::Completed)
            batch.unfinished.emplace(zeb::linkWithoutFragment(entries_[i].cached.url), static_cast<int>(i));
    for (const auto& [job, request] : offers_) batch.unfinished.emplace(zeb::linkWithoutFragment(request.url), RowOf(job.get()));
    PruneStopping();
    for (const auto& job : stopping_) batch.unfinished.emplace(zeb::linkWithoutFragment(job->snapshot(false).url), kStopping);
    return batch;
}

DownloadList::AddCounts DownloadList::AddRequests(const std::vector<DownloadRequest>& requests,
                                                 const std::wstring* folder) {
    Batch batch = OpenBatch();
    size_t skipped = 0;
    AddCounts counts;
    const DownloadRequest* last = nullptr;
    const std::vector<bool> continued = ContinueWaitingRows(requests);
    for (size_t k = 0; k < requests.size(); ++k) {
        const DownloadRequest& r = requests[k];
        if (continued[k]) {
            ++counts.continued;
            continue;
        }
        if (r.media || !IsAcceptableLink(r.url)) {
            ++skipped;
        } else if (AddOne(r, folder ? *folder : *settings_.folder, &batch)) {
            last = &r;
            ++counts.added;
        }
    }
    counts.full = batch.full;
    StartQueued();
    if (last) window_.SetStatus(Tr(L"Đã thêm: ", L"Added: ") + zeb::maskPassword(last->url));
    FinishAdding(false);
    if (batch.full > 0)
        window_.SetStatus(Count(batch.full) + Tr(L" liên kết không được thêm: danh sách đã đầy.",
                                                 L" link(s) not added: the list is full."));
    if (skipped > 0)
        window_.SetStatus(Count(skipped) +
                          Tr(L" liên kết bị bỏ qua: bản PE chỉ tải tệp http(s) (không hỗ trợ video trực tuyến / torrent).",
                             L" link(s) skipped: the PE edition downloads http(s) files only (no streaming video / "
                             L"torrent)."));
    return counts;
}

void DownloadList::RefreshEntries(bool all) {
    bool looked = all;
    for (const size_t row : LiveRows()) {
        ListEntry& e = entries_[row];
        // A settled row's job did not run at its last look and is started
        // only by StartQueued, which unsettles it: not even its running
        // flag is read (at 100,000 rows that read alone is felt).
        if (!all && e.settled) continue;
        // Read before the snapshot: a job that stops in between is looked at again.
        const bool running = e.job->running();
        looked = true;
        // A job busy right now keeps its cached row until the next tick.
        DownloadInfo next;
        const bool taken = e.job->trySnapshot(next);
        e.settled = taken && !running;
        // Not kept in the row: seen here, as the job ends.
        const bool metalink = taken && next.errorKind == ErrorKind::Metalink;
        if (taken) {
            if (next.state != e.cached.state || next.url != e.cached.url || next.fileName != e.cached.fileName)
                signatureDirty_ = true;
            window_.RowRefreshing(static_cast<int>(row), e, next);
            e.cached = RowRecord(std::move(next));
        }
        const DownloadState state = e.cached.state;
        if (state == DownloadState::Completed && state != e.lastNotifiedState)
            KeepFinishFor(*e.job);
        // A finished job nobody else holds gives way to its record.
        if (e.settled && state == DownloadState::Completed && e.job.use_count() == 1) {
            e.job.reset();
            liveDirty_ = true;  // read again at the next look, not during this one
        }
        if (state == e.lastNotifiedState) continue;
        if (state == DownloadState::Completed) {
            ++finished_;
            e.finishedHere = true;
            window_.Beep();
            window_.SetStatusOf(StatusKind::Finished, Tr(L"Đã tải xong: ", L"Finished: ") + e.cached.fileName);
        } else if (state == DownloadState::Failed && metalink && !e.fromMetalink) {
            ReadMetalinkOf(e);
        } else if (state == DownloadState::Failed) {
            window_.SetStatusOf(StatusKind::Failed, Tr(L"Lỗi: ", L"Failed: ") + NameOrUrl(e.cached.Info()) + L" \u2014 " + e.cached.errorText);
            if (e.cached.clockOffer) clockAhead_ = e.cached.clockOffer - clock_.now();
        }
        e.lastNotifiedState = state;
    }
    // A tick over rows that all stood still paints nothing: an idle window
    // open for hours costs (almost) nothing.
    if (!looked) return;
    window_.UpdateScrollRange();
    window_.RepaintList();
    window_.RepaintStatus();
}

void DownloadList::KeepFinishFor(zeb::Download& job) {
    if (std::wstring kept = job.takeFinishedState(); !kept.empty()) unsavedFinishes_.push_back(std::move(kept));
}

void DownloadList::GiveBackFinishes(std::vector<std::wstring>& finishes) {
    unsavedFinishes_.insert(unsavedFinishes_.end(), finishes.begin(), finishes.end());
    finishes.clear();
}

void DownloadList::TakeWriteOutcome(bool wait) {
    if (wait) writer_.Wait();
    const std::optional<ListWriter::Outcome> outcome = writer_.TakeOutcome();
    if (!outcome) return;
    if (outcome->written) {
        lastSignature_ = writingSignature_;
        backUpBeforeWrite_ = false;
        writingFinishes_.clear();  // deleted by the writer
        const std::wstring& copy = outcome->backup;
        if (setAside_ > 0 && !copy.empty()) window_.SetStatus(DamagedRowsKeptText(setAside_, copy.substr(copy.find_last_of(L"\\/") + 1)));
        setAside_ = 0;  // said once
    } else {
        signatureDirty_ = true;  // a failed write is tried again, not forgotten
        GiveBackFinishes(writingFinishes_);
    }
}

void DownloadList::FlushListFile() {
    TakeWriteOutcome(true);
    // A text begun earlier may lack what changed since: built again whole.
    if (building_ || signatureDirty_) BuildWholeListText(false);
    TakeWriteOutcome(true);
}

void DownloadList::SaveListIfChanged(bool force) {
    TakeWriteOutcome(force);
    if (force) {
        BuildWholeListText(true);
        TakeWriteOutcome(true);
        return;
    }
    if (!building_) {
        if ((!signatureDirty_ && unsavedFinishes_.empty()) || writer_.Busy()) return;
        BeginListText();
    }
    ContinueListText();
}

void DownloadList::ContinueListText() {
    if (!building_) return;
    if (!AppendListRows(sliceRows_)) return window_.ContinueListTextSoon();
    OfferListText(false);
}

void DownloadList::DropListText() {
    if (!building_) return;
    GiveBackFinishes(building_->finishes);
    building_.reset();
}

void DownloadList::BeginListText() {
    DropListText();
    building_.emplace();
    building_->finishes = std::move(unsavedFinishes_);
    unsavedFinishes_.clear();
    building_->text.reserve(lastTextBytes_);
    building_->text = kListMagicLine;
    signatureDirty_ = false;  // a row that changes from now on is saved again
}

bool DownloadList::AppendListRows(size_t most) {
    // Straight from the rows, never a copy of them. A job that runs, or
    // changed since its row was refreshed, gives a fresh snapshot for its
    // progress; one busy right now (its lock held through a long
    // reservation) is written from its cached row, so saving never waits.
    // Rows added meanwhile are at the end, still to come.
    TextInProgress& b = *building_;
    DownloadInfo fresh;
    for (; b.next < entries_.size() && most > 0; ++b.next, --most) {
        const ListEntry& e = entries_[b.next];
        b.signature = MixRowSignature(b.signature, e.cached);
        const bool moved = e.job && (e.job->running() || e.job->state() != e.cached.state);
        if (moved && e.job->trySnapshot(fresh)) AppendListSection(b.text, fresh);
        else AppendListSection(b.text, e.cached);
    }
    return b.next == entries_.size();
}

void DownloadList::BuildWholeListText(bool force) {
    BeginListText();
    AppendListRows(SIZE_MAX);
    OfferListText(force);
}

void DownloadList::OfferListText(bool force) {
    TextInProgress built = std::move(*building_);
    building_.reset();
    if (!force && built.signature == lastSignature_ && built.finishes.empty()) return;
    lastTextBytes_ = built.text.size();
    // The file read at start-up was cut or unreadable: the writer keeps it
    // before the first write replaces it for good.
    if (!writer_.Start(std::move(built.text), backUpBeforeWrite_, built.finishes)) {
        GiveBackFinishes(built.finishes);
        signatureDirty_ = true;  // offered again at the next tick
        return;
    }
    writingFinishes_ = std::move(built.finishes);
    writingSignature_ = built.signature;
}

void DownloadList::QueueTick() {
    ApplyHours();
    StartQueued();
    RefreshEntries(false);
    AddDeclinedOffers();
    TakeMetalinks();
    OfferClock();
    if (const std::wstring note = zeb::takeLabCacheNote(); !note.empty()) window_.SetStatus(note);
    if (const int64_t days = zeb::takeClockSkewDays())
        window_.SetStatus(Tr(L"Đồng hồ của máy tính lệch ", L"This computer's clock is ") + std::to_wstring(days) +
                          Tr(L" ngày so với máy chủ; tải qua HTTPS có thể thất bại.",
                             L" days off the server's; HTTPS downloads may fail."));
    SaveListIfChanged(false);
    window_.RefreshDetails();
    const uint64_t now = ticks_();
    if (pollDue_ || now - lastPoll_ >= kFreeSpacePollMs) {
        pollDue_ = false;
        lastPoll_ = now;
        freeSpace_.Ask(*settings_.folder, now);
    }
    if (const std::optional<uint64_t> free = freeSpace_.Take(); free && (!haveFree_ || *free != lastFree_)) {
        haveFree_ = true;
        lastFree_ = *free;
        window_.ShowFreeSpace(*free);
    }
}

void DownloadList::ClearFinished() {
    size_t count = 0;
    for (int i = static_cast<int>(entries_.size()) - 1; i >= 0; --i) {
        const ListEntry& e = entries_[static_cast<size_t>(i)];
        if (!e.job || e.job->state() == DownloadState::Completed) {
            if (e.job) e.job->remove(false);
            EraseEntry(i);
            ++count;
        }
    }
    RefreshEntries();
    SaveListIfChanged(false);
    window_.SetStatus(Count(count) + Tr(L" mục đã xong được dọn khỏi danh sách (giữ nguyên tệp).",
                                        L" finished item(s) cleared (files kept)."));
}

void DownloadList::RemoveDownload(int row) {
    if (row < 0 || row >= static_cast<int>(entries_.size())) return;
    const std::shared_ptr<zeb::Download> job = JobFor(row);  // held across the question
    const DownloadInfo info = job->snapshot(false);
    bool deleteFile = false;
    if (info.state != DownloadState::Completed) {
        ConfirmQuestion q;
        q.title = L"Tidewell PE";
        q.text = Tr(L"Xoá mục tải này? Phần đã tải sẽ bị xoá.\n\n",
                    L"Remove this download? The part already downloaded will be deleted.\n\n") +
                 NameOrUrl(info);
        q.confirmLabel = Tr(L"Xoá", L"Remove");
        q.danger = true;
        if (!window_.Confirm(q)) return;
    } else {
        const FinishedRemoval answer = window_.AskFinishedRemoval(
            Tr(L"Xoá mục đã tải xong này khỏi danh sách?\n\n", L"Remove this finished download from the list?\n\n") +
            info.folder + L"\\" + info.fileName);
        if (answer == FinishedRemoval::Cancel) return;
        deleteFile = answer == FinishedRemoval::DeleteFile;
    }
    const int now = RowOf(job.get());  // the list may have changed while the question was open
    if (now < 0) return;
    job->remove(deleteFile);
    EraseEntry(now);
    RefreshEntries();
    SaveListIfChanged(false);
    window_.SetStatus(Tr(L"Đã xoá: ", L"Removed: ") + NameOrUrl(info));
}

bool DownloadList::ChangeLink(int row, const std::wstring& url, const zeb::RequestOptions* request, bool onTrial) {
    if (row < 0 || row >= static_cast<int>(entries_.size())) return false;
    ListEntry& e = entries_[static_cast<size_t>(row)];
    if (!IsAcceptableLink(url)) {
        window_.ShowError(NotALinkText(url));
        return false;
    }
    const int other = UnfinishedRowOf(url);
    if (other != -1 && other != row) {
        window_.SetStatus(AlreadyListedText());
        return false;
    }
    const uint64_t before = ListRowBound(e.cached.url, e.cached.folder);
    // A link on trial may yet give way to the old one: the larger bound holds.
    const uint64_t after = onTrial ? std::max(before, ListRowBound(url, e.cached.folder)) : ListRowBound(url, e.cached.folder);
    if (kListHeaderBytes + rowsBound_ - before + after > listLimit_) {
        window_.SetStatus(ListFullText());
        return false;
    }
    const zeb::RequestOptions none;
    const std::shared_ptr<zeb::Download> job = JobFor(row);
    if (onTrial ? !job->offerLink(url, request ? *request : none) : !job->changeLink(url, request)) {
        window_.SetStatus(PauseBeforeNewLinkText());
        return false;
    }
    rowsBound_ = rowsBound_ - before + after;
    RefreshEntries();
    SaveListIfChanged(false);
    if (!onTrial) window_.SetStatus(Tr(L"Đã đổi liên kết: ", L"Link changed: ") + zeb::maskPassword(url));
    return true;
}

void DownloadList::EraseEntry(int row) {
    if (row < 0 || row >= static_cast<int>(entries_.size())) return;
    const std::shared_ptr<zeb::Download> job = entries_[static_cast<size_t>(row)].job;
    if (job) window_.CloseDetailsIfShowing(job.get());
    if (job && job->running()) stopping_.push_back(job);
    if (job) offers_.erase(std::remove_if(offers_.begin(), offers_.end(), [&](const auto& o) { return o.first == job; }), offers_.end());
    const RowRecord& gone = entries_[static_cast<size_t>(row)].cached;
    rowsBound_ -= ListRowBound(gone.url, gone.folder);
    entries_.erase(entries_.begin() + row);
    signatureDirty_ = true;
    DropListText();  // the rows after it moved up: a text begun is begun again
    liveDirty_ = true;
    if (selection_ == row) selection_ = std::min(static_cast<int>(entries_.size()) - 1, row);
    else if (selection_ > row) --selection_;
    window_.ResetHover();
}

void DownloadList::Load() {
    ListFileContent loaded = ReadListFile(listPath_);
    backUpBeforeWrite_ = loaded.damaged;
    // Written at once, so the copy is made and the status line says so now,
    // also when no row was left.
    setAside_ = loaded.setAside;
    signatureDirty_ = setAside_ > 0;
    entries_.reserve(loaded.records.size());
    for (DownloadInfo& record : loaded.records) {
        // One job at a time, so a long list of finished rows never holds
        // all their jobs at once.
        auto job = std::make_shared<zeb::Download>(record);
        record = DownloadInfo{};
        DownloadInfo info = job->snapshot(false);
        const DownloadState state = info.state;
        if (state == DownloadState::Completed) job.reset();
        rowsBound_ += ListRowBound(info.url, info.folder);
        const bool settled = !job;
        entries_.push_back(ListEntry{std::move(job), RowRecord(std::move(info)), state, false, settled});
        signatureDirty_ = true;
        liveDirty_ = true;
    }
    TakeHoursWaiters();
    SaveListIfChanged(false);
}

std::shared_ptr<zeb::Download> DownloadList::JobFor(int row) {
    ListEntry& e = entries_.at(static_cast<size_t>(row));
    if (!e.job) {
        e.job = std::make_shared<zeb::Download>(e.cached.Info());
        liveDirty_ = true;
    }
    return e.job;
}

void DownloadList::JobReleased(const zeb::Download* job) {
    for (ListEntry& e : entries_)
        if (e.job.get() == job) e.settled = false;
}

bool DownloadList::ExitCheck() {
    if (RunningCount() == 0) return true;
    ConfirmQuestion q;
    q.title = L"Tidewell PE";
    q.text = Tr(L"Vẫn còn mục đang tải. Chúng sẽ được tạm dừng và có thể tải tiếp ở lần sau.\n\nThoát ngay?",
                L"Downloads are still running. They will be paused and can be resumed next time.\n\nExit now?");
    q.confirmLabel = Tr(L"Thoát", L"Exit");
    q.question = true;
    return window_.Confirm(q);
}

void DownloadList::Exit() {
    // No finished file is renamed after the save below: a row saved as
    // paused must still find its partial file at the next start.
    zeb::freezeFinalRenames();
    for (ListEntry& e : entries_)
        if (e.job) e.job->pause();
    for (auto& job : stopping_) job->pause();
    for (auto& read : metalinkReads_) read.fetch->Job()->pause();
    const uint64_t start = ticks_();
    const auto left = [&]() -> DWORD {
        const uint64_t used = ticks_() - start;
        return used >= exitBudgetMs_ ? 0 : static_cast<DWORD>(exitBudgetMs_ - used);
    };
    std::vector<bool> ended;
    ended.reserve(entries_.size());
    for (ListEntry& e : entries_)
        ended.push_back(!e.job || !e.job->running() || ::WaitForSingleObject(e.job->finishedEvent(), left()) == WAIT_OBJECT_0);
    for (auto& job : stopping_) ::WaitForSingleObject(job->finishedEvent(), left());
    for (auto& read : metalinkReads_) ::WaitForSingleObject(read.fetch->Job()->finishedEvent(), left());
    metalinkReads_.clear();  // what they fetched goes; the rows stay failed, to be tried again
    // An ended job's record is read whole; one still busy past the budget
    // keeps its cached row, since nothing here may block.
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (!entries_[i].job) continue;
        DownloadInfo now;
        if (ended[i]) entries_[i].cached = RowRecord(entries_[i].job->snapshot(false));
        else if (entries_[i].job->trySnapshot(now)) entries_[i].cached = RowRecord(std::move(now));
        // A finish since the last tick: its kept state goes with this last write.
        if (entries_[i].cached.state == DownloadState::Completed)
            KeepFinishFor(*entries_[i].job);
    }
    SaveListIfChanged(true);
}
