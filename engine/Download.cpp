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
    WorkerGroup(std::atomic<bool>& stop, HANDLE stopEvent) : stop_(stop), stopEvent_(stopEvent) {}
    ~WorkerGroup() {
        if (!threads_.empty() && std::uncaught_exceptions() > 0) {
            stop_ = true;
            ::SetEvent(stopEvent_);
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
    HANDLE stopEvent_;
    std::vector<std::thread> threads_;
};
}  // namespace

Download::Download(std::wstring url, std::wstring folder, std::wstring fileName, const RequestOptions& options)
    : url_(std::move(url)),
      folder_(std::move(folder)),
      fileName_(std::move(fileName)),
      referer_(CleanOption(options.referer)),
      cookies_(CleanOption(options.cookies)),
      userAgent_(CleanOption(options.userAgent)) {
    sameFileAnyQuery_ = options.sameFileAnyQuery;
    expectedChecksum_ = normalChecksum(options.checksum).value_or(checksumOfLink(url_));
}

void Download::takeRequestOptions(const RequestOptions& options) {
    referer_ = CleanOption(options.referer);
    cookies_ = CleanOption(options.cookies);
    userAgent_ = CleanOption(options.userAgent);
}

Download::Download(const DownloadInfo& stored) : Download(stored.url, stored.folder, stored.fileName, RequestOptions{}) {
    errorText_ = stored.errorText;
    errorKind_ = stored.errorKind;
    if (std::optional<std::wstring> expected = normalChecksum(stored.expectedChecksum)) expectedChecksum_ = *expected;
    sha256_ = stored.state == DownloadState::Completed ? normalChecksum(stored.sha256).value_or(L"") : L"";
    table_.setShape(stored.totalSize, false);
    doneBytes_ = stored.doneBytes;
    nameFixed_ = stored.nameFixed && !stored.fileName.empty();
    state_ = (stored.state == DownloadState::Completed || stored.state == DownloadState::Failed) ? stored.state
                                                                                                 : DownloadState::Paused;
    mayWait_ = false;  // a stored row is never queued
}

Download::~Download() = default;

HANDLE Download::finishedEvent() const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (!finishedEvent_) finishedEvent_.reset(::CreateEventW(nullptr, TRUE, running_ ? FALSE : TRUE, nullptr));
    return finishedEvent_.get();
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
    info.url = trial_ ? trial_->url : url_;  // a link on trial is not the row's yet
    info.folder = folder_;
    info.fileName = fileName_;
    info.errorText = errorText_;
    info.errorKind = errorKind_;
    info.notice = notice_;
    info.totalSize = table_.total();
    info.speed = speed_;
    info.state = state_;
    info.nameFixed = nameFixed_;
    info.acceptsRanges = table_.ranges();
    info.activeConnections = activeConnections_.load();
    info.expectedChecksum = trial_ ? trial_->checksum : expectedChecksum_;
    info.declinedLink = declinedLink_;
    info.sha256 = sha256_;
    info.verifyPercent = verifyPercent_;
    info.clockOffer = clockOffer_;
    if (!hostKey_.empty()) {
        info.hostLimit = hostLimit(hostKey_);
        if (running_ && (state_ == DownloadState::Connecting || state_ == DownloadState::Downloading))
            info.busySeconds = static_cast<int32_t>((hostWaitLeftMs(hostKey_) + 999) / 1000);
    }
    info.doneBytes = table_.empty() ? doneBytes_ : table_.doneBytes();
    if (state_ == DownloadState::Completed && table_.total() >= 0) info.doneBytes = table_.total();
    if (withSegments) info.segments = table_.segments();
    return info;
}

void Download::start(int connections, bool ignoreCertErrors) {
    std::shared_ptr<Download> self = weak_from_this().lock();
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (running_ || removeRequested_ || state_ == DownloadState::Completed) return;
        if (!stopEvent_) stopEvent_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!workersEnded_) workersEnded_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!finishedEvent_) finishedEvent_.reset(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
        if (!stopEvent_ || !workersEnded_ || !finishedEvent_) {
            state_ = DownloadState::Failed;
            errorText_ = threadStartFailedText();
            errorKind_ = ErrorKind::Local;
            return;
        }
        running_ = true;
        mayWait_ = false;
        state_ = DownloadState::Connecting;
        errorText_.clear();
        errorKind_ = ErrorKind::None;
        notice_.clear();
        clockOffer_ = 0;
        workerFailed_ = false;
        stopRequested_ = false;
        pauseRequested_ = false;
        restartRequested_ = false;
        ::ResetEvent(stopEvent_.get());
        std::lock_guard<std::mutex> signal(finishedSignalMutex_);
        ++runs_;
        ::ResetEvent(finishedEvent_.get());
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
        errorText_ = threadStartFailedText();
        errorKind_ = ErrorKind::Local;
        ::SetEvent(finishedEvent_.get());
        running_ = false;
    }
}

void Download::pause() {
    // Only the UI thread sets running, so a running job is asked to stop
    // without its lock: pause never waits behind a long preparation.
    if (running_) {
        // Every wait of the job's threads watches the event; every loop
        // checks the flag between network calls. Handles stay with their
        // owners (see the file comment).
        pauseRequested_ = true;
        stopRequested_ = true;
        ::SetEvent(stopEvent_.get());
        return;
    }
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (!running_ && state_ == DownloadState::Queued) state_ = DownloadState::Paused;
}

void Download::requeue() {
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (running_ || removeRequested_) return;
    if (state_ == DownloadState::Paused || state_ == DownloadState::Failed) {
        state_ = DownloadState::Queued;
        errorText_.clear();
        errorKind_ = ErrorKind::None;
        mayWait_ = true;
    }
}

void Download::remove(bool deleteFinishedFile) {
    bool cleanNow = false;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        removeRequested_ = true;
        deleteFinishedFile_ = deleteFinishedFile;
        if (!running_ && !removeDone_) {
            removeDone_ = true;
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
        deleteFinished = deleteFinishedFile_;
    }
    if (!completed) {
        ::DeleteFileW((path + L".zebpart").c_str());
        ::DeleteFileW((path + L".zebstate").c_str());
    } else if (deleteFinished) {
        ::DeleteFileW(path.c_str());
    }
    forgetFinishedState();
}

void Download::setError(const Error& error) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    errorText_ = error.message;
    errorKind_ = error.kind;
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
    hasher_.reset();
    file_.reset();
    std::unique_lock<std::mutex> lock(stateMutex_);
    speed_ = 0;
    verifyPercent_ = -1;
    table_.releaseAll();
    if (state_ != DownloadState::Completed) {
        if (workerFailed_) {
            state_ = DownloadState::Failed;
        } else if (failed && !stopRequested_) {
            state_ = DownloadState::Failed;
            errorText_ = error.message;
            errorKind_ = error.kind;
        } else {
            state_ = DownloadState::Paused;
            errorText_.clear();
            errorKind_ = ErrorKind::None;
        }
    }
    while (removeRequested_ && !removeDone_) {
        removeDone_ = true;
        lock.unlock();
        cleanUpFiles();
        lock.lock();
    }
    running_ = false;
    const uint64_t run = runs_;
    lock.unlock();
    if (timing().afterJobEnded) timing().afterJobEnded();
    // Signalled once the lock is free, so whoever waits for the end can
    // read the final state at once; but not when a start came in between
    // (it reset the event for its own run, which this end must not mark).
    std::lock_guard<std::mutex> signal(finishedSignalMutex_);
    if (runs_ == run) ::SetEvent(finishedEvent_.get());
}

void Download::drive(int connections, bool ignoreCertErrors) {
    RunShared run;
    run.proxy = currentProxy();  // a running job keeps the proxy it started with
    InternetHandle session = openSession(run.proxy);  // closed on every way out
    run.session = session.get();
    run.ignoreCertErrors = ignoreCertErrors;
    run.stop = stopEvent_.get();
    connections = std::clamp(connections, 1, 32);
    {
        std::lock_guard<std::mutex> lock(requestMutex_);
        requests_.assign(static_cast<size_t>(connections), nullptr);
    }
    // Renamed without asking the server again: its link may have expired.
    switch (startOver_ ? Finished::No : finishedEarlier()) {
        case Finished::NotRenamed: finalize(); return;
        case Finished::Renamed: return;
        case Finished::No: break;
    }
    beginTrial();
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        run.linkCredentials = linkCredentials(url_);
    }
    for (int round = 0;; ++round) {
        const ProbeResult probed = probeUntilAnswered(run);
        if (stopRequested_) return;
        if (!prepareFile(probed, connections, round > 0 || startOver_)) return;  // another file: ends Paused
        if (stopRequested_) return;
        if (samplesBeforeResume_ && !resumeBySamples(run, probed, connections)) return;
        if (stopRequested_) return;
        blindSuspicions_ = 0;
        startHashing(expectedChecksumLength());
        runWorkers(run, connections);
        if (!startsOverAfterAChange(round)) break;
    }
    endRun();
}

void Download::endRun() {
    bool complete, failedWorker;
    Error lastError;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        complete = table_.allDone();
        lastError = {errorText_, errorKind_};
        failedWorker = workerFailed_;
    }
    if (complete) {
        finalize();
        return;
    }
    saveState();
    if (stopRequested_ || failedWorker) return;
    throw lastError.message.empty() ? Error{downloadIncompleteText(), ErrorKind::Network} : lastError;
}

bool Download::resumeBySamples(const RunShared& run, const ProbeResult& probed, int connections) {
    const bool same = resumeSamplesAgree(run);
    if (judgeTrial(same)) {
        file_.reset();
        return false;  // another file: the bytes stay as they are, for the old link
    }
    if (same) {
        for (const ValidatorKind kind : contradictions(resumeRecorded_, probed.validator)) retire(kind);
        if (!adoptedLink_.empty()) {
            std::wstring link;
            {
                std::lock_guard<std::mutex> lock(stateMutex_);
                link = url_;
            }
            relinkStateFile(adoptedLink_, link);  // the partial file is this link's now
        }
    } else if (!adoptedLink_.empty()) {
        // Another file under that name: left alone; this one takes a name of its own.
        file_.reset();
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            fileName_ = requestedName_;
            nameFixed_ = false;
        }
        sameFileAnyQuery_ = false;
        prepareFile(probed, connections, false);
    } else {
        const bool newLink = resumeAfterNewLink_;
        file_.reset();  // recreated empty
        prepareFile(probed, connections, true);
        std::lock_guard<std::mutex> lock(stateMutex_);
        notice_ = newLink ? newLinkDifferentFileText() : changedOnServerText();
    }
    return true;
}

bool Download::startsOverAfterAChange(int round) {
    if (!restartRequested_.exchange(false) || pauseRequested_ || workerFailed_) return false;
    // The file changed on the server while it came: start over once,
    // from byte 0 and from the version the server has now.
    if (timing().beforeStartingOver) timing().beforeStartingOver();
    stopRequested_ = false;
    ::ResetEvent(stopEvent_.get());
    if (pauseRequested_) {  // a pause that came after the check above: the stop stays
        stopRequested_ = true;
        ::SetEvent(stopEvent_.get());
        return false;
    }
    hasher_.reset();
    file_.reset();  // recreated empty by the next preparation
    if (round > 0) throw Error{keepsChangingText(), ErrorKind::ServerFailed};
    std::lock_guard<std::mutex> lock(stateMutex_);
    notice_ = changedOnServerText();
    return true;
}

ProbeResult Download::probeUntilAnswered(const RunShared& run) {
    for (int failures = 1;; ++failures) {
        try {
            return probe(run);
        } catch (const Error& e) {
            if (!e.retryable || stopRequested_ || failures > kMaxFailuresWithoutProgress) throw;
            setError(e);  // shown while it waits
            std::wstring host;
            {
                std::lock_guard<std::mutex> lock(stateMutex_);
                host = hostKey_;
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
        // A host that showed its limit earlier in this run is not asked for more.
        UrlParts parts;
        if (crackUrl(resolvedUrl_, parts)) {
            hostKey_ = hostKey(parts);
            if (const int limit = hostLimit(hostKey_); limit > 0) workers = std::min(workers, limit);
        }
        activeConnections_ = workers;
        workerCount_ = workers;
        ::ResetEvent(workersEnded_.get());
        addressServed_ = false;
        forbiddenRenewed_ = false;
        servedAt_.assign(static_cast<size_t>(workers), 0);
        refusedBy_.assign(static_cast<size_t>(workers), Error{});
        servedOnAddress_ = 0;
        renewalFailures_ = 0;  // no worker runs yet
    }
    {
        WorkerGroup group(stopRequested_, stopEvent_.get());
        for (int i = 0; i < workers; ++i) {
            try {
                group.add([this, i, &run] {
                    workerBody(static_cast<size_t>(i), run);
                });
            } catch (const std::exception&) {
                // Workers never started will not count themselves down.
                if ((activeConnections_ -= workers - i) == 0) ::SetEvent(workersEnded_.get());
                stopRequested_ = true;
                ::SetEvent(stopEvent_.get());
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
    while (activeConnections_.load() > 0) {
        ::WaitForSingleObject(workersEnded_.get(), static_cast<DWORD>(timing().monitorPeriodMs));
        const double t = now();
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            if (hasher_) hasher_->advance(table_.front(), plainAttempts_);
            const int64_t b = table_.doneBytes();
            if (t - t0 >= 0.4) {
                const double rate = static_cast<double>(std::max<int64_t>(0, b - b0)) / (t - t0);
                speed_ = speed_ > 0 ? 0.4 * rate + 0.6 * speed_ : rate;
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
    hasher_ = std::make_unique<FrontHasher>(path, expectedLength);
    // A resume sums what is on disk from byte 0 at once.
    std::lock_guard<std::mutex> lock(stateMutex_);
    hasher_->advance(table_.front(), plainAttempts_);
}

size_t Download::expectedChecksumLength() const {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return expectedChecksum_.size();
}

}  // namespace zeb
