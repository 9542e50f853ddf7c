// The job's public operations, its thread's catch frame and drive sequence,
// and the monitor loop that measures speed and saves the state.
#include "engine/Download.h"

#include <algorithm>
#include <exception>
#include <thread>

#include "engine/Checksum.h"
#include "engine/Error.h"
#include "engine/ErrorTexts.h"
#include "engine/Http.h"
#include "engine/Segments.h"
#include "engine/Timing.h"
#include "engine/Url.h"
#include "store/DetachedThread.h"
#include "store/Text.h"

namespace zeb {
namespace {
// Request extras come from pages and browsers: no line breaks may reach the
// header block.
std::wstring CleanOption(std::wstring value) {
    for (wchar_t& c : value)
        if (c == L'\r' || c == L'\n') c = L' ';
    return Trim(value);
}

// Starts the segment workers and, whatever way the drive sequence leaves,
// stops and joins every one of them before the file is closed.
class WorkerGroup {
public:
    WorkerGroup(std::atomic<bool>& stop, HANDLE stopEvent) : stop_(stop), wake_(stopEvent) {}
    ~WorkerGroup() {
        if (!threads_.empty() && std::uncaught_exceptions() > 0) {
            stop_ = true;
            ::SetEvent(wake_);
        }
        join();
    }
    template <typename F>
    void add(F&& body) { threads_.emplace_back(std::forward<F>(body)); }
    void join() {
        for (std::thread& t : threads_)
            if (t.joinable()) t.join();
        threads_.clear();
    }

private:
    std::atomic<bool>& stop_;
    HANDLE wake_;
    std::vector<std::thread> threads_;
};
}  // namespace

Download::Download(std::wstring url, std::wstring folder, std::wstring fileName, const RequestOptions& options)
    : folder_(std::move(folder)), fileName_(std::move(fileName)) {
    address_.url = std::move(url);
    address_.referer = CleanOption(options.referer);
    address_.cookies = CleanOption(options.cookies);
    address_.userAgent = CleanOption(options.userAgent);
    disk_.sameFileAnyQuery = options.sameFileAnyQuery;
    disk_.intoLabCache = options.intoLabCache;
    address_.metalinkAsFile = options.metalinkAsFile;
    if (!options.mirrors.empty() || !options.pieces.empty() || options.expectedSize >= 0) {
        mirrors_ = std::make_unique<Mirrors>();
        mirrors_->given = options.mirrors;
        mirrors_->pieces = options.pieces;
        mirrors_->statedSize = options.expectedSize;
    }
    expectedChecksum_ = normalChecksum(options.checksum).value_or(checksumOfLink(address_.url));
}

void Download::takeRequestOptions(const RequestOptions& options) {
    address_.referer = CleanOption(options.referer);
    address_.cookies = CleanOption(options.cookies);
    address_.userAgent = CleanOption(options.userAgent);
}

Download::Download(const DownloadInfo& stored) : Download(stored.url, stored.folder, stored.fileName, RequestOptions{}) {
    shown_.errorText = stored.errorText;
    shown_.errorKind = stored.errorKind;
    if (std::optional<std::wstring> expected = normalChecksum(stored.expectedChecksum)) expectedChecksum_ = *expected;
    shown_.sha256 = stored.state == DownloadState::Completed ? normalChecksum(stored.sha256).value_or(L"") : L"";
    shown_.fromLabCache = stored.state == DownloadState::Completed && stored.fromLabCache;
    speedLimit_ = std::max<int64_t>(0, stored.speedLimit);
    table_.setShape(stored.totalSize, false);
    shown_.doneBytes = stored.doneBytes;
    nameFixed_ = stored.nameFixed && !stored.fileName.empty();
    state_ = (stored.state == DownloadState::Completed || stored.state == DownloadState::Failed) ? stored.state
                                                                                                 : DownloadState::Paused;
    mayWait_ = false;  // a stored row is never queued
    waitsForHours_ = stored.waitingForHours && state_ == DownloadState::Paused;
}

Download::~Download() = default;

void Download::setSpeedLimit(int64_t bytesPerSecond) { speedLimit_ = std::max<int64_t>(0, bytesPerSecond); }

HANDLE Download::finishedEvent() const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (!ended_.event) ended_.event.reset(::CreateEventW(nullptr, TRUE, running_ ? FALSE : TRUE, nullptr));
    return ended_.event.get();
}

DownloadState Download::state() const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return state_;
}

DownloadInfo Download::snapshot(bool withSegments) const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return snapshotLocked(withSegments);
}

bool Download::trySnapshot(DownloadInfo& out, bool withSegments) const {
    std::unique_lock<std::mutex> lock(stateMutex_, std::try_to_lock);
    if (!lock.owns_lock()) return false;
    out = snapshotLocked(withSegments);
    return true;
}

DownloadInfo Download::snapshotLocked(bool withSegments) const {
    DownloadInfo info;
#define TW_SHOW_FIELD(type, name, initial) info.name = shown_.name;
    TW_SHOWN_FIELDS(TW_SHOW_FIELD)
#undef TW_SHOW_FIELD
    info.url = newLink_.trial ? newLink_.trial->url : address_.url;  // a link on trial is not the row's yet
    info.folder = folder_;
    info.fileName = fileName_;
    info.totalSize = table_.total();
    info.state = state_;
    info.nameFixed = nameFixed_;
    info.acceptsRanges = table_.ranges();
    info.activeConnections = control_.activeConnections.load();
    info.expectedChecksum = newLink_.trial ? newLink_.trial->checksum : expectedChecksum_;
    info.declinedLink = newLink_.declined;
    if (!address_.hostKey.empty()) {
        info.hostLimit = hostLimit(address_.hostKey);
        if (running_ && (state_ == DownloadState::Connecting || state_ == DownloadState::Downloading))
            info.busySeconds = static_cast<int32_t>((hostWaitLeftMs(address_.hostKey) + 999) / 1000);
    }
    info.doneBytes = table_.empty() ? shown_.doneBytes : table_.doneBytes();
    if (state_ == DownloadState::Completed && table_.total() >= 0) info.doneBytes = table_.total();
    if (withSegments) info.segments = table_.segments();
    if (mirrors_ && mirrors_->sources.several()) {
        for (const Source& source : mirrors_->sources.all()) {
            UrlParts parts;
            info.sourceHosts.push_back(crackUrl(source.url, parts) ? parts.host : source.url);
        }
    }
    if (mirrors_) info.sourceNotes = mirrors_->notes;
    info.speedLimit = speedLimit_.load();
    info.waitingForHours = waitsForHours_.load();
    return info;
}

void Download::start(int connections, bool ignoreCertErrors) {
    std::shared_ptr<Download> self = weak_from_this().lock();
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (running_ || removal_.requested || state_ == DownloadState::Completed) return;
        waitsForHours_ = false;
        if (!control_.stopEvent) control_.stopEvent.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!control_.workersEnded) control_.workersEnded.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!ended_.event) ended_.event.reset(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
        if (!control_.stopEvent || !control_.workersEnded || !ended_.event) {
            state_ = DownloadState::Failed;
            shown_.errorText = threadStartFailedText();
            shown_.errorKind = ErrorKind::Local;
            return;
        }
        running_ = true;
        mayWait_ = false;
        state_ = DownloadState::Connecting;
        shown_.errorText.clear();
        shown_.errorKind = ErrorKind::None;
        shown_.notice.clear();
        shown_.fromLabCache = false;
        shown_.clockOffer = 0;
        control_.workerFailed = false;
        control_.stopRequested = false;
        control_.pauseRequested = false;
        control_.restartRequested = false;
        ::ResetEvent(control_.stopEvent.get());
        std::lock_guard<std::mutex> signal(ended_.mutex);
        ++ended_.runs;
        ::ResetEvent(ended_.event.get());
    }
    bool started = false;
    if (self) {
        try {
            started = StartDetachedThread(
                [self, connections, ignoreCertErrors] { self->jobThread(connections, ignoreCertErrors); });
        } catch (const std::exception&) {
        }
    }
    if (!started) {
        std::lock_guard<std::mutex> lock(stateMutex_);
        state_ = DownloadState::Failed;
        shown_.errorText = threadStartFailedText();
        shown_.errorKind = ErrorKind::Local;
        ::SetEvent(ended_.event.get());
        running_ = false;
    }
}

void Download::pause(bool forHours) {
    // A pause of a row that does not run (the exit's, Pause All's) leaves
    // the hours' mark as it is.
    // A pause already asked keeps its reason: the user's stays the user's.
    if (forHours && running_ && control_.pauseRequested) return;
    if (forHours || running_) waitsForHours_ = forHours;
    // Only the UI thread sets running, so a running job is asked to stop
    // without its lock: pause never waits behind a long preparation.
    if (running_) {
        // Every wait of the job's threads watches the event; every loop
        // checks the flag between network calls. Handles stay with their
        // owners (see the file comment).
        control_.pauseRequested = true;
        control_.stopRequested = true;
        ::SetEvent(control_.stopEvent.get());
        return;
    }
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (!running_ && state_ == DownloadState::Queued) {
        state_ = DownloadState::Paused;
        waitsForHours_ = forHours;
    }
}

void Download::requeue() {
    waitsForHours_ = false;
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (running_ || removal_.requested) return;
    if (state_ == DownloadState::Paused || state_ == DownloadState::Failed) {
        state_ = DownloadState::Queued;
        shown_.errorText.clear();
        shown_.errorKind = ErrorKind::None;
        mayWait_ = true;
    }
}

void Download::remove(bool deleteFinishedFile) {
    bool cleanNow = false;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        removal_.requested = true;
        removal_.deleteFinishedFile = deleteFinishedFile;
        if (!running_ && !removal_.done) {
            removal_.done = true;
            cleanNow = true;
        }
    }
    if (cleanNow) cleanUpFiles();
    pause();
}

void Download::cleanUpFiles() {
    std::wstring path;
    bool completed, deleteFinished;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (!nameFixed_ || fileName_.empty()) return;
        path = folder_ + L"\\" + fileName_;
        completed = state_ == DownloadState::Completed;
        deleteFinished = removal_.deleteFinishedFile;
    }
    if (!completed) {
        ::DeleteFileW((path + L".zebpart").c_str());
        ::DeleteFileW((path + L".zebstate").c_str());
        ::DeleteFileW(sourcesMetaPath(path + L".zebpart").c_str());
    } else if (deleteFinished) {
        ::DeleteFileW(path.c_str());
    }
    forgetFinishedState();
}

void Download::setError(const Error& error) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    shown_.errorText = error.message;
    shown_.errorKind = error.kind;
}

void Download::jobThread(int connections, bool ignoreCertErrors) noexcept {
    bool failed = false;
    Error error;
    try {
        drive(connections, ignoreCertErrors);
    } catch (const Error& e) {
        failed = true;
        error = e;
    } catch (...) {
        failed = true;
        error = {outOfMemoryText(), ErrorKind::Local};
    }
    disk_.hasher.reset();
    disk_.file.reset();
    std::unique_lock<std::mutex> lock(stateMutex_);
    shown_.speed = 0;
    shown_.verifyPercent = -1;
    table_.releaseAll();
    if (state_ != DownloadState::Completed) {
        if (control_.workerFailed) {
            state_ = DownloadState::Failed;
        } else if (failed && !control_.stopRequested) {
            state_ = DownloadState::Failed;
            shown_.errorText = error.message;
            shown_.errorKind = error.kind;
        } else {
            state_ = DownloadState::Paused;
            shown_.errorText.clear();
            shown_.errorKind = ErrorKind::None;
        }
    }
    while (removal_.requested && !removal_.done) {
        removal_.done = true;
        lock.unlock();
        cleanUpFiles();
        lock.lock();
    }
    running_ = false;
    const uint64_t run = ended_.runs;
    lock.unlock();
    if (timing().afterJobEnded) timing().afterJobEnded();
    // Signalled once the lock is free, so whoever waits for the end can
    // read the final state at once; but not when a start came in between
    // (it reset the event for its own run, which this end must not mark).
    std::lock_guard<std::mutex> signal(ended_.mutex);
    if (ended_.runs == run) ::SetEvent(ended_.event.get());
}

void Download::drive(int connections, bool ignoreCertErrors) {
    RunShared run;
    run.proxy = currentProxy();  // a running job keeps the proxy it started with
    InternetHandle session = openSession(run.proxy);  // closed on every way out
    run.session = session.get();
    run.ignoreCertErrors = ignoreCertErrors;
    run.stop = control_.stopEvent.get();
    if (!limiter_) limiter_ = std::make_unique<SpeedLimiter>(speedLimit_);
    run.limiter = limiter_.get();
    connections = std::clamp(connections, 1, 32);
    {
        std::lock_guard<std::mutex> lock(control_.requestMutex);
        control_.requests.assign(static_cast<size_t>(connections), nullptr);
    }
    // Renamed without asking the server again: its link may have expired.
    switch (disk_.startOver ? Finished::No : finishedEarlier()) {
        case Finished::NotRenamed: finalize(); return;
        case Finished::Renamed: return;
        case Finished::No: break;
    }
    beginTrial();
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        run.linkCredentials = linkCredentials(address_.url);
    }
    std::wstring partPath;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (!mirrors_) mirrors_ = std::make_unique<Mirrors>();
        mirrors_->sole = -1;
        mirrors_->notes.clear();
        if (nameFixed_) partPath = folder_ + L"\\" + fileName_ + L".zebpart";
    }
    // A resumed row's mirrors were kept beside its partial file.
    if (!partPath.empty()) readSourcesMeta(partPath);
    std::optional<ProbeResult> first;
    if (throughLabCache(run, connections, first)) return;
    for (bool repair = false;; repair = true) {
        for (int round = 0;; ++round) {
            const ProbeResult probed = round == 0 && first ? *first : probeSources(run);
            first.reset();
            if (control_.stopRequested) return;
            if (!prepareFile(probed, connections, round > 0 || repair || disk_.startOver)) return;  // another file: ends Paused
            if (control_.stopRequested) return;
            if (disk_.samplesBeforeResume && !resumeBySamples(run, probed, connections)) return;
            if (control_.stopRequested) return;
            control_.blindSuspicions = 0;
            startHashing(expectedChecksumLength());
            runWorkers(run, connections);
            if (!startsOverAfterAChange(round)) break;
        }
        try {
            endRun();
            return;
        } catch (const Error& e) {
            // Several sources and no piece hashes to tell which one sent
            // wrong bytes: the file comes again from one mirror at a time.
            if (e.kind != ErrorKind::Checksum || control_.stopRequested || !repairFromOneSource()) throw;
        }
    }
}

void Download::endRun() {
    bool complete, failedWorker;
    Error lastError;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        complete = table_.allDone();
        lastError = {shown_.errorText, shown_.errorKind};
        failedWorker = control_.workerFailed;
    }
    if (complete) {
        finalize();
        return;
    }
    saveState();
    if (control_.stopRequested || failedWorker) return;
    throw lastError.message.empty() ? Error{downloadIncompleteText(), ErrorKind::Network} : lastError;
}

bool Download::resumeBySamples(const RunShared& run, const ProbeResult& probed, int connections) {
    const bool same = resumeSamplesAgree(run);
    if (judgeTrial(same)) {
        disk_.file.reset();
        return false;  // another file: the bytes stay as they are, for the old link
    }
    if (same) {
        for (const ValidatorKind kind : contradictions(disk_.resumeRecorded, probed.validator)) retire(kind);
        if (!disk_.adoptedLink.empty()) {
            std::wstring link;
            {
                std::lock_guard<std::mutex> lock(stateMutex_);
                link = address_.url;
            }
            relinkStateFile(disk_.adoptedLink, link);  // the partial file is this link's now
        }
    } else if (!disk_.adoptedLink.empty()) {
        // Another file under that name: left alone; this one takes a name of its own.
        disk_.file.reset();
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            fileName_ = disk_.requestedName;
            nameFixed_ = false;
        }
        disk_.sameFileAnyQuery = false;
        prepareFile(probed, connections, false);
    } else {
        const bool newLink = disk_.resumeAfterNewLink;
        disk_.file.reset();  // recreated empty
        prepareFile(probed, connections, true);
        std::lock_guard<std::mutex> lock(stateMutex_);
        shown_.notice = newLink ? newLinkDifferentFileText() : changedOnServerText();
    }
    return true;
}

bool Download::startsOverAfterAChange(int round) {
    if (!control_.restartRequested.exchange(false) || control_.pauseRequested || control_.workerFailed) return false;
    // The file changed on the server while it came: start over once,
    // from byte 0 and from the version the server has now.
    if (timing().beforeStartingOver) timing().beforeStartingOver();
    control_.stopRequested = false;
    ::ResetEvent(control_.stopEvent.get());
    if (control_.pauseRequested) {  // a pause that came after the check above: the stop stays
        control_.stopRequested = true;
        ::SetEvent(control_.stopEvent.get());
        return false;
    }
    disk_.hasher.reset();
    disk_.file.reset();  // recreated empty by the next preparation
    if (round > 0) throw Error{keepsChangingText(), ErrorKind::ServerFailed};
    std::lock_guard<std::mutex> lock(stateMutex_);
    shown_.notice = changedOnServerText();
    return true;
}

ProbeResult Download::probeUntilAnswered(const RunShared& run) {
    for (int failures = 1;; ++failures) {
        try {
            ProbeResult probed = probe(run);
            // The publisher's stated digest proves the file as a checksum
            // given by the user would, when the user gave none.
            std::lock_guard<std::mutex> lock(stateMutex_);
            if (expectedChecksum_.empty()) expectedChecksum_ = probed.statedChecksum;
            return probed;
        } catch (const Error& e) {
            if (!e.retryable || control_.stopRequested || failures > kMaxFailuresWithoutProgress) throw;
            setError(e);  // shown while it waits
            std::wstring host;
            {
                std::lock_guard<std::mutex> lock(stateMutex_);
                host = address_.hostKey;
            }
            if (::WaitForSingleObject(run.stop, retryPauseFor(host, failures)) == WAIT_OBJECT_0) throw Error{};
        }
    }
}

void Download::runWorkers(const RunShared& run, int connections) {
    int workers;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        state_ = DownloadState::Downloading;
        workers = table_.ranges() ? connections : 1;
        // A host that showed its limit earlier in this run is not asked for
        // more (with mirrors, each host's limit holds its own connections).
        UrlParts parts;
        if (crackUrl(address_.resolvedUrl, parts)) {
            address_.hostKey = hostKey(parts);
            const int limit = hostLimit(address_.hostKey);
            if (limit > 0 && !mirrors_->sources.several()) workers = std::min(workers, limit);
        }
        control_.activeConnections = workers;
        control_.workerCount = workers;
        ::ResetEvent(control_.workersEnded.get());
        address_.served = false;
        address_.forbiddenRenewed = false;
        address_.servedAt.assign(static_cast<size_t>(workers), 0);
        address_.refusedBy.assign(static_cast<size_t>(workers), Error{});
        address_.servedOnAddress = 0;
        address_.renewalFailures = 0;  // no worker runs yet
    }
    {
        WorkerGroup group(control_.stopRequested, control_.stopEvent.get());
        for (int i = 0; i < workers; ++i) {
            try {
                group.add([this, i, &run] {
                    workerBody(static_cast<size_t>(i), run);
                });
            } catch (const std::exception&) {
                // Workers never started will not count themselves down.
                if ((control_.activeConnections -= workers - i) == 0) ::SetEvent(control_.workersEnded.get());
                control_.stopRequested = true;
                ::SetEvent(control_.stopEvent.get());
                throw Error{threadStartFailedText(), ErrorKind::Local};
            }
        }
        monitor();
        group.join();
    }
}

void Download::monitor() {
    double t0 = now();
    double lastSave = t0;
    int64_t b0;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        b0 = table_.doneBytes();
    }
    while (control_.activeConnections.load() > 0) {
        ::WaitForSingleObject(control_.workersEnded.get(), static_cast<DWORD>(timing().monitorPeriodMs));
        const double t = now();
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            if (disk_.hasher) disk_.hasher->advance(table_.front(), disk_.plainAttempts);
            const int64_t b = table_.doneBytes();
            if (t - t0 >= 0.4) {
                const double rate = static_cast<double>(std::max<int64_t>(0, b - b0)) / (t - t0);
                shown_.speed = shown_.speed > 0 ? 0.4 * rate + 0.6 * shown_.speed : rate;
                t0 = t;
                b0 = b;
            }
        }
        if (t - lastSave >= timing().saveIntervalSeconds) {
            saveState();
            lastSave = t;
        }
    }
}

void Download::startHashing(size_t expectedLength) {
    std::wstring path;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        path = folder_ + L"\\" + fileName_ + L".zebpart";
    }
    disk_.hasher = std::make_unique<FrontHasher>(path, expectedLength);
    // A resume sums what is on disk from byte 0 at once.
    std::lock_guard<std::mutex> lock(stateMutex_);
    disk_.hasher->advance(table_.front(), disk_.plainAttempts);
}

size_t Download::expectedChecksumLength() const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return expectedChecksum_.size();
}

}  // namespace zeb
