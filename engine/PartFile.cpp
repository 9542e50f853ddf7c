// The partial file and its resume state: preparing the file when a job
// starts, saving and loading the state file, and the final rename.
// nameMutex makes the name test and the creation (or the rename) one step
// with respect to every other job; it is always taken before the job lock.
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <atomic>
#include <utility>

#include "engine/Checksum.h"
#include "engine/Download.h"
#include "engine/Error.h"
#include "engine/ErrorTexts.h"
#include "engine/FileNames.h"
#include "engine/NameChoice.h"
#include "engine/Credentials.h"
#include "engine/Segments.h"
#include "engine/StateFile.h"
#include "engine/Timing.h"
#include "store/FileServices.h"

namespace zeb {
namespace {
std::mutex g_nameMutex;
std::atomic<bool> g_renamesFrozen{false};
constexpr size_t kStateReadLimit = 4194304;  // bytes

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

int64_t FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void SetSparse(HANDLE file, bool sparse) {
    FILE_SET_SPARSE_BUFFER flag{static_cast<BOOLEAN>(sparse)};
    DWORD returned = 0;
    ::DeviceIoControl(file, FSCTL_SET_SPARSE, sparse ? nullptr : &flag, sparse ? 0 : sizeof flag, nullptr, 0,
                      &returned, nullptr);
}

// Errors another program causes for a moment: a scanner or indexer opening
// the new file right when it is finished.
bool IsPassingLock(DWORD e) {
    return e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION || e == ERROR_ACCESS_DENIED;
}
}  // namespace

void freezeFinalRenames(bool frozen) { g_renamesFrozen = frozen; }

bool Download::prepareFile(const ProbeResult& probed, int connections, bool fresh) {
    std::lock_guard<std::mutex> names(g_nameMutex);
    // The job lock is taken only to read and publish fields: the disk calls
    // below last as long as a sleeping disk or an unreachable share makes
    // them, and the window reads the job under that lock.
    Placement at;
    bool fixed, linkChanged;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        at.folder = folder_;
        at.fileName = fileName_;
        at.url = address_.url;
        at.trial = newLink_.trial.has_value();
        at.stateLink = at.trial ? newLink_.trial->url : address_.url;  // the link the state file names
        fixed = nameFixed_;
        linkChanged = newLink_.changed;
        newLink_.changed = false;
        table_.setShape(probed.totalSize, probed.acceptsRanges);
        address_.resolvedUrl = probed.finalUrl;
        address_.redirected = probed.redirected;
        disk_.plainFurthest = 0;
        disk_.validator = probed.validator;
        for (const ValidatorKind kind : {ValidatorKind::Etag, ValidatorKind::Modified})
            if (address_.retired[static_cast<size_t>(kind)]) forget(disk_.validator, kind);
    }
    disk_.samplesBeforeResume = false;
    if (timing().whilePreparing) timing().whilePreparing();
    if (!CreateFolderTree(at.folder))
        throw Error{folderCreateFailedText(at.folder, systemErrorText(::GetLastError())), ErrorKind::Disk};
    if (!placeFile(probed, fresh, fixed, at)) return false;
    weighVersionOnDisk(probed, linkChanged, at);
    openPartFile(probed, connections, at);
    return true;
}

bool Download::placeFile(const ProbeResult& probed, bool fresh, bool fixed, Placement& at) {
    // An unattended rerun may take up a partial file its link left under
    // another query; judged like a link on trial, but another file there
    // is left alone and this one takes a name of its own.
    const std::wstring requestedName = at.fileName;
    disk_.requestedName = requestedName;
    LinkMatch match = disk_.sameFileAnyQuery && !fixed ? LinkMatch::AnyQuery : LinkMatch::Exact;
    const int64_t total = probed.totalSize;
    disk_.adoptedLink.clear();
    for (;;) {
        if (!fixed) {
            at.fileName = chooseFileName(at.folder, requestedName.empty() ? probed.fileName : requestedName, at.url,
                                         fileSystemProbe(), match);
            std::lock_guard<std::mutex> lock(stateMutex_);
            fileName_ = at.fileName;
        }
        const std::wstring path = at.folder + L"\\" + at.fileName;
        at.partPath = path + L".zebpart";
        at.statePath = path + L".zebstate";
        const std::string stateText = readState(at.statePath);
        if (match == LinkMatch::AnyQuery) {
            const std::wstring left = recordedLinkOf(stateText);
            if (!left.empty() && !sameLinkButUserInfo(left, at.url)) {
                disk_.adoptedLink = left;
                at.stateLink = left;
            }
        }
        // The partial data goes on only from the version the server still has.
        at.table.reset();
        if (!fresh && probed.acceptsRanges && FileSize(at.partPath) == total)
            at.table = parseStateText(stateText, at.stateLink, total, &at.recorded);
        if (!at.trial && disk_.adoptedLink.empty()) break;
        // A link on trial, or a partial file taken up, must hold the file
        // whose bytes are on disk: of another size (or without ranges) it
        // is another file, and its files stay untouched.
        const std::optional<std::vector<Segment>> held = recordedSegments(stateText, at.stateLink);
        const bool bytesToKeep = held && doneBytesOf(*held) > 0 && FileSize(at.partPath) == totalOf(*held);
        if (bytesToKeep && !at.table) {
            if (at.trial) {
                judgeTrial(false);
                return false;
            }
            match = LinkMatch::Exact;  // a name of its own
            disk_.adoptedLink.clear();
            at.stateLink = at.url;
            continue;
        }
        if (!bytesToKeep) {
            if (at.trial) judgeTrial(true);
            disk_.adoptedLink.clear();  // nothing of it to keep: a fresh start there
        }
        return true;
    }
    return true;
}

void Download::weighVersionOnDisk(const ProbeResult& probed, bool linkChanged, Placement& at) {
    const bool hadState = Exists(at.statePath);
    // A validator raises the question (none in common, or one that differs:
    // a farm's nodes may tag one file differently); the bytes decide, once
    // the file is open and the name lock let go (the samples come over the
    // network). Nothing on disk: nothing to lose by starting over.
    const VersionVerdict verdict = at.table ? compareVersions(at.recorded, probed.validator) : VersionVerdict::Same;
    const bool bytesOnDisk = at.table && doneBytesOf(*at.table) > 0;
    if (verdict == VersionVerdict::Different && !bytesOnDisk) {
        at.table.reset();
        std::lock_guard<std::mutex> lock(stateMutex_);
        shown_.notice = changedOnServerText();
    }
    disk_.samplesBeforeResume = verdict != VersionVerdict::Same && bytesOnDisk;
    disk_.resumeRecorded = at.recorded;
    if (!disk_.samplesBeforeResume) {  // else the samples judge them
        if (at.trial) judgeTrial(true);
        if (!disk_.adoptedLink.empty()) relinkStateFile(disk_.adoptedLink, at.url);
        disk_.adoptedLink.clear();
    }
    disk_.resumeAfterNewLink = linkChanged;
    if (at.table) return;
    if (hadState && linkChanged) {
        std::lock_guard<std::mutex> lock(stateMutex_);
        shown_.notice = newLinkDifferentFileText();
    }
    if (Exists(at.statePath) && !::DeleteFileW(at.statePath.c_str()) && Exists(at.statePath)) {
        // An old state beside a recreated partial file would later be taken
        // for progress and turn never-written zeros into a "finished" file.
        throw Error{fileDeleteFailedText(at.statePath, systemErrorText(::GetLastError())), ErrorKind::Disk};
    }
    disk_.startOver = false;  // the old state is gone
}

void Download::openPartFile(const ProbeResult& probed, int connections, Placement& at) {
    const int64_t total = probed.totalSize;
    const bool resumed = at.table.has_value();
    // The state file comes first: a partial file is never on disk without
    // a state that names its link, so after a power cut or a kill the next
    // start knows it as this row's and takes it back (starting over inside
    // it) instead of choosing a numbered name beside an orphan.
    std::vector<Segment> planned;
    if (!resumed) {
        int64_t align = 1;
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            if (probed.acceptsRanges && mirrors_->pieces.fit(total)) align = mirrors_->pieces.length;
        }
        planned = planSegments(total, probed.acceptsRanges, connections, align);
        Validator first;
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            first = disk_.validator;
        }
        WriteFileAtomic(at.statePath, buildStateText(at.url, total, planned, first));
        writeSourcesMeta(at.partPath);
    }
    // Read too: byte samples compare what is on disk with the server's.
    disk_.file.reset(::CreateFileW(at.partPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              resumed ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!disk_.file) {
        const DWORD e = ::GetLastError();
        if (!resumed) ::DeleteFileW(at.statePath.c_str());
        throw Error{fileCreateFailedText(at.partPath, systemErrorText(e)), ErrorKind::Disk};
    }
    if (timing().partFileCreated) timing().partFileCreated();
    if (resumed) {
        std::lock_guard<std::mutex> lock(stateMutex_);
        table_.assign(std::move(*at.table), total, probed.acceptsRanges);
        checkPiecesLocked();
        nameFixed_ = true;
        disk_.savedDoneBytes = table_.doneBytes();
        return;
    }
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        table_.clear();
        shown_.doneBytes = 0;
        disk_.savedDoneBytes = -1;
    }
    if (total > 0) reserve(at, total);
    std::lock_guard<std::mutex> lock(stateMutex_);
    // Only now is the name ours for good: the failures above delete the
    // partial file, and another link could take the free name meanwhile.
    nameFixed_ = true;
    table_.assign(std::move(planned), total, probed.acceptsRanges);
    checkPiecesLocked();
}

void Download::checkPiecesLocked() {
    const PieceHashes& pieces = mirrors_->pieces;
    const auto onPieces = [&](const Segment& s) {
        return s.start % pieces.length == 0 && (s.pos >= s.end || s.pos % pieces.length == 0);
    };
    // Only a table whose ranges start on pieces lets one connection bring
    // each piece whole; another (kept from a run without them) relies on
    // the whole file's sum.
    mirrors_->checkPieces = table_.ranges() && pieces.fit(table_.total()) &&
                           std::all_of(table_.segments().begin(), table_.segments().end(), onPieces);
    if (mirrors_->checkPieces) table_.setAlign(pieces.length);
}

void Download::reserve(const Placement& at, int64_t total) {
    const uint64_t free = GetFreeSpace(at.folder);
    if (free != kUnknownFreeSpace && free < static_cast<uint64_t>(total)) {
        disk_.file.reset();
        ::DeleteFileW(at.partPath.c_str());
        ::DeleteFileW(at.statePath.c_str());
        ::DeleteFileW(sourcesMetaPath(at.partPath).c_str());
        throw Error{notEnoughSpaceText(at.folder, total, static_cast<int64_t>(free)), ErrorKind::Disk};
    }
    SetSparse(disk_.file.get(), true);
    LARGE_INTEGER size;
    size.QuadPart = total;
    if (!::SetFilePointerEx(disk_.file.get(), size, nullptr, FILE_BEGIN) || !::SetEndOfFile(disk_.file.get())) {
        const DWORD e = ::GetLastError();
        disk_.file.reset();
        ::DeleteFileW(at.partPath.c_str());
        ::DeleteFileW(at.statePath.c_str());
        ::DeleteFileW(sourcesMetaPath(at.partPath).c_str());
        throw Error{reserveFailedText(total, systemErrorText(e)), ErrorKind::Disk};
    }
}

void Download::saveState() {
    std::string text;
    std::wstring statePath;
    int64_t done;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (!nameFixed_ || state_ == DownloadState::Completed || table_.empty()) return;
        // Without ranges a download can only start over, so its state is
        // worth keeping only once every byte is there (a finished file whose
        // rename waits for the next start).
        if (!table_.ranges() && !table_.allDone()) return;
        done = table_.doneBytes();
        if (done == disk_.savedDoneBytes) return;  // the file on disk says as much already
        text = buildStateText(address_.url, table_.total(), table_.segments(), disk_.validator);
        statePath = folder_ + L"\\" + fileName_ + L".zebstate";
    }
    // The state may only record bytes that are on the disk, not just in the
    // cache: after a power loss a resume would trust zeros.
    if (disk_.file && !::FlushFileBuffers(disk_.file.get())) return;
    if (!WriteFileAtomic(statePath, text)) return;  // tried again at the next save
    std::lock_guard<std::mutex> lock(stateMutex_);
    disk_.savedDoneBytes = done;
}

std::string Download::readState(const std::wstring& statePath) const {
    ReadStatus status;
    std::string text = ReadWholeFile(statePath, kStateReadLimit, &status);
    if (status == ReadStatus::Complete || (status == ReadStatus::NotOpened && !Exists(statePath))) return text;
    throw Error{stateReadFailedText(statePath), ErrorKind::Disk};
}

Download::Finished Download::finishedEarlier() {
    std::wstring folder, path, url;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (!nameFixed_ || fileName_.empty()) return Finished::No;
        folder = folder_;
        path = folder_ + L"\\" + fileName_;
        url = address_.url;
    }
    const std::optional<FinishedState> finished = finishedState(readState(path + L".zebstate"), url);
    if (!finished) return Finished::No;
    Segment whole;
    whole.end = whole.pos = finished->total;
    whole.state = SegmentState::Done;
    if (FileSize(path + L".zebpart") == finished->total) {
        std::lock_guard<std::mutex> lock(stateMutex_);
        table_.assign({whole}, finished->total, table_.ranges());
        return Finished::NotRenamed;
    }
    // Renamed, but killed before the list recorded it: the file it went to
    // is there at its size, and the row is complete without a request.
    if (finished->finalName.empty() || Exists(path + L".zebpart") ||
        FileSize(folder + L"\\" + finished->finalName) != finished->total)
        return Finished::No;
    std::lock_guard<std::mutex> lock(stateMutex_);
    table_.assign({whole}, finished->total, table_.ranges());
    fileName_ = finished->finalName;
    shown_.sha256 = finished->sha256;
    disk_.finishedStatePath = path + L".zebstate";
    state_ = DownloadState::Completed;
    shown_.errorText.clear();
    shown_.errorKind = ErrorKind::None;
    return Finished::Renamed;
}

void Download::applyLink(const std::wstring& url, const RequestOptions* request) {
    address_.url = url;
    address_.resolvedUrl.clear();
    if (std::wstring given = checksumOfLink(url); !given.empty()) expectedChecksum_ = given;
    address_.cookies.clear();  // they belonged to the old link's site
    if (request) {
        takeRequestOptions(*request);
        // One typed with the new link; the row's own stays when none is.
        if (std::optional<std::wstring> typed = normalChecksum(request->checksum); typed && !typed->empty())
            expectedChecksum_ = *typed;
    }
    // So did the way it asked for a password: the new server is sent
    // none before it asks.
    address_.serverScheme = 0;
    address_.retired = {};  // and so did what its validators were worth
}

void Download::relinkStateFile(const std::wstring& oldUrl, const std::wstring& url) {
    std::wstring statePath;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (fileName_.empty() || state_ == DownloadState::Completed) return;
        statePath = folder_ + L"\\" + fileName_ + L".zebstate";
    }
    // The state goes on under the new link; what it recorded of the old
    // server's version is what the next start holds the new server to.
    std::string text;
    try {
        text = readState(statePath);
    } catch (const Error&) {
        return;  // left as it is: the next start says why it cannot go on
    }
    Validator recorded;
    if (std::optional<std::vector<Segment>> table = recordedSegments(text, oldUrl, &recorded))
        WriteFileAtomic(statePath, buildStateText(url, totalOf(*table), *table, recorded));
}

bool Download::changeLink(const std::wstring& url, const RequestOptions* request) {
    std::wstring oldUrl;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (running_ || removal_.requested) return false;
        endTrial(false);
        newLink_.offered.reset();
        oldUrl = address_.url;
        applyLink(url, request);
        newLink_.changed = true;
    }
    relinkStateFile(oldUrl, url);
    return true;
}

bool Download::offerLink(const std::wstring& url, const RequestOptions& request) {
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (running_ || removal_.requested) return false;
        endTrial(false);
        newLink_.declined.clear();
        if (nameFixed_ && !fileName_.empty() && state_ != DownloadState::Completed) {
            newLink_.offered = Offer{url, request};
            return true;
        }
    }
    return changeLink(url, &request);  // no bytes of its own yet: nothing to protect
}

void Download::beginTrial() {
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (!newLink_.offered) return;
    newLink_.trial = Trial{address_.url, address_.referer, address_.cookies, address_.userAgent, expectedChecksum_, address_.retired};
    applyLink(newLink_.offered->url, &newLink_.offered->options);
    newLink_.offered.reset();
}

void Download::endTrial(bool declined) {
    if (!newLink_.trial) return;
    if (declined) newLink_.declined = address_.url;
    address_.url = newLink_.trial->url;
    address_.referer = newLink_.trial->referer;
    address_.cookies = newLink_.trial->cookies;
    address_.userAgent = newLink_.trial->userAgent;
    expectedChecksum_ = newLink_.trial->checksum;
    address_.retired = newLink_.trial->retired;
    address_.resolvedUrl.clear();
    address_.serverScheme = 0;
    newLink_.trial.reset();
}

bool Download::judgeTrial(bool same) {
    std::wstring kept, url;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (!newLink_.trial) return false;
        if (!same) {
            endTrial(true);
            return true;
        }
        kept = newLink_.trial->url;
        url = address_.url;
        newLink_.trial.reset();
    }
    relinkStateFile(kept, url);
    return false;
}

void Download::forgetFinishedState() {
    if (const std::wstring statePath = takeFinishedState(); !statePath.empty()) ::DeleteFileW(statePath.c_str());
}

std::wstring Download::takeFinishedState() {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return std::exchange(disk_.finishedStatePath, std::wstring{});
}

void Download::verify() {
    std::wstring folder, fileName, expected;
    int64_t onDisk;
    uint32_t attempt;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        folder = folder_;
        fileName = fileName_;
        expected = expectedChecksum_;
        onDisk = table_.doneBytes();
        attempt = disk_.plainAttempts;
        state_ = DownloadState::Downloading;
        shown_.speed = 0;
        shown_.verifyPercent = 0;
    }
    const std::wstring path = folder + L"\\" + fileName;
    FileDigests digests;
    uint32_t error = 0;
    const auto progress = [&](int64_t read) {
        if (timing().whileVerifying) timing().whileVerifying(read);
        std::lock_guard<std::mutex> lock(stateMutex_);
        shown_.verifyPercent = onDisk > 0 ? static_cast<int32_t>(std::min<int64_t>(100, read * 100 / onDisk)) : 100;
    };
    // What the download's own hasher summed already is not read again.
    const HashOutcome outcome =
        disk_.hasher ? disk_.hasher->finish(onDisk, attempt, control_.stopRequested, progress, digests, error)
                : hashFile(path + L".zebpart", expected.size(), control_.stopRequested, progress, digests, error);
    disk_.hasher.reset();
    // Every byte was recorded before this pass: a stop here leaves a state
    // the next start only verifies.
    if (outcome == HashOutcome::Stopped) throw Error{};
    if (outcome == HashOutcome::ReadFailed) throw Error{checksumReadFailedText(systemErrorText(error)), ErrorKind::Disk};
    if (!disk_.cacheSum.empty()) {
        const bool damaged = digests.sha256 != disk_.cacheSum;
        disk_.cacheSum.clear();
        if (damaged) throw DamagedEntry{};
    }
    if (!expected.empty() && digests.expectedKind != expected) {
        // Without its state the partial file is never taken for finished
        // data again: the next start downloads from byte 0. A state another
        // program holds would have every later start verify the same bytes.
        disk_.file.reset();
        const std::wstring statePath = path + L".zebstate";
        if (!::DeleteFileW(statePath.c_str())) {
            const DWORD e = ::GetLastError();
            if (Exists(statePath)) {
                disk_.startOver = true;
                throw Error{stateDeleteFailedText(systemErrorText(e)), ErrorKind::Disk};
            }
        }
        throw Error{checksumMismatchText(expected, digests.expectedKind), ErrorKind::Checksum};
    }
    std::lock_guard<std::mutex> lock(stateMutex_);
    shown_.sha256 = digests.sha256;
    shown_.verifyPercent = -1;
}

void Download::finalize() {
    const auto step = [](FinishStep at) {
        if (timing().atFinishStep) timing().atFinishStep(at);
    };
    if (disk_.file) {
        int64_t received;
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            received = table_.doneBytes();
        }
        // An attempt without ranges starts over at byte 0 and may end
        // shorter than an earlier one: nothing after its last byte stays.
        LARGE_INTEGER size;
        size.QuadPart = received;
        if (!::SetFilePointerEx(disk_.file.get(), size, nullptr, FILE_BEGIN) || !::SetEndOfFile(disk_.file.get()))
            throw Error{diskWriteFailedText(systemErrorText(::GetLastError())), ErrorKind::Disk};
        SetSparse(disk_.file.get(), false);
        // Every byte recorded (and flushed first): a stop or a kill from
        // here on leaves a state the next start only verifies and renames,
        // without asking a server whose link may be gone.
        saveState();
    }
    step(FinishStep::Recorded);
    verify();
    step(FinishStep::Verified);
    std::unique_lock<std::mutex> names(g_nameMutex);
    if (g_renamesFrozen) {
        names.unlock();
        disk_.file.reset();
        control_.stopRequested = true;  // ends Paused, as the exit's pause would
        throw Error{};
    }
    disk_.file.reset();
    std::wstring folder, fileName, url, sha256;
    int64_t total;
    Validator validator;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        folder = folder_;
        fileName = fileName_;
        url = address_.url;
        sha256 = shown_.sha256;
        validator = disk_.validator;
        total = table_.doneBytes();
    }
    const std::wstring partPath = folder + L"\\" + fileName + L".zebpart";
    const std::wstring statePath = folder + L"\\" + fileName + L".zebstate";
    const double giveUpAt = now() + timing().renameRetryMs / 1000.0;
    const auto move = [&](const std::wstring& name) -> unsigned long {
        // The state names the file before it is there: a kill after the
        // rename leaves what the next start needs to complete the row.
        WriteFileAtomic(statePath, finishedStateText(url, total, validator, name, sha256));
        step(FinishStep::NamesFinal);
        for (;;) {
            if (::MoveFileExW(partPath.c_str(), (folder + L"\\" + name).c_str(), 0)) return 0;
            const DWORD e = ::GetLastError();
            if (!IsPassingLock(e) || now() >= giveUpAt) return e;
            if (::WaitForSingleObject(control_.stopEvent.get(), 100) == WAIT_OBJECT_0) throw Error{};
        }
    };
    const std::wstring finalName = moveToFreeName(
        fileName, move, [&](const std::wstring& name) { return Exists(folder + L"\\" + name + L".zebpart"); });
    step(FinishStep::Renamed);
    ::DeleteFileW(sourcesMetaPath(partPath).c_str());  // the mirrors served their file
    std::lock_guard<std::mutex> lock(stateMutex_);
    disk_.finishedStatePath = statePath;  // until the list has recorded the finish
    fileName_ = finalName;
    if (table_.total() < 0) table_.setShape(total, table_.ranges());
    state_ = DownloadState::Completed;
    shown_.errorText.clear();
    shown_.errorKind = ErrorKind::None;
}

}  // namespace zeb
