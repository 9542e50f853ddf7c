// Runs on the main thread, which also pumps the messages of one hidden
// window: a shutdown is told only to top-level windows. Ctrl+C and a closed
// console arrive on a thread of the system's (OnConsoleEvent), which only
// sets the stop event; the main thread pauses the job, whose thread saves
// the state, and reports. Each job runs on its own threads (engine).
#include "app/GetMode.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <set>

#include "app/GetOptions.h"
#include "app/GetOutput.h"
#include "app/GetTexts.h"
#include "engine/Checksum.h"
#include "engine/Credentials.h"
#include "engine/Download.h"
#include "engine/ErrorTexts.h"
#include "engine/FileNames.h"
#include "engine/LabCache.h"
#include "engine/Metalink.h"
#include "engine/RateLimiter.h"
#include "engine/SumsFile.h"
#include "engine/Timing.h"
#include "store/DownloadRequest.h"
#include "store/FileServices.h"
#include "store/Handles.h"
#include "store/Lang.h"
#include "store/Settings.h"
#include "store/SmallFetch.h"
#include "store/Storage.h"
#include "store/Text.h"

namespace {
constexpr wchar_t kWindowClass[] = L"TidewellPE.Get";
// Windows ends a process about 5 s after a closed console or a shutdown
// reaches it: the job's state must be on disk before.
constexpr DWORD kSaveBudgetMs = 4000;
constexpr DWORD kProgressPeriodMs = 1000;
constexpr size_t kListLimit = 16 * 1048576;  // bytes of a link list

KernelHandle g_stop;   // set by Ctrl+C, a closed console or a shutdown
KernelHandle g_ended;  // set once the run has saved what it had
std::atomic<bool> g_stopping{false};

BOOL WINAPI OnConsoleEvent(DWORD type) noexcept {
    g_stopping = true;
    ::SetEvent(g_stop.get());
    // Returning from a close, logoff or shutdown ends the process.
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) ::WaitForSingleObject(g_ended.get(), kSaveBudgetMs);
    return TRUE;
}

class GetRun {
public:
    GetRun(const GetOptions& options, GetOutput& out) : options_(options), out_(out) {}

    // The first failure's exit code, or 0.
    int run();
    // Pauses the running job and waits for its state to be saved.
    void stopNow();

private:
    int fetch(const GetItem& item);
    // The lines of the job's sources (a mirror dropped) not said yet.
    void showSourceNotes(const DownloadInfo& info);
    // What fetch returns when the item's link answered with a Metalink file.
    static constexpr int kMetalinkLink = -1;
    // Reads --checksums (a file, or a link fetched first): false when it
    // cannot be used (said on the output).
    bool loadSums();
    // A small file a link names (a checksum list, a Metalink), read whole.
    std::string fetchSmall(const std::wstring& link, size_t limit, ReadStatus& status);
    // Links to Metalink files (by their name; every link when `byType`: its
    // answer's media type said so) become the files they describe: false
    // when one cannot be used (said on the output).
    bool expandMetalinks(std::vector<GetItem>& items, bool byType = false);
    // The checksums --checksums gives the items that have none.
    void takeGivenSums(std::vector<GetItem>& items) const;
    // A file that finished: recorded for --sums; false when the given
    // sums name it with another digest (the file is removed).
    bool keepSum(const GetItem& item, const DownloadInfo& info);
    bool waitForEnd(zeb::Download& job);
    bool alreadyThere(const GetItem& item, const std::wstring& folder);
    std::wstring shownName(const DownloadInfo& info, const GetItem& item) const;

    const GetOptions& options_;
    GetOutput& out_;
    const GetItem* item_ = nullptr;  // the one being fetched
    std::shared_ptr<zeb::Download> job_;
    std::vector<std::wstring> notesShown_;  // the item's source lines said so far
    bool stopped_ = false;
    zeb::Sums given_;    // --checksums, by the name under --to
    zeb::Sums written_;  // for --sums
};

LRESULT CALLBACK HiddenWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message == WM_QUERYENDSESSION) return TRUE;
    if (message == WM_ENDSESSION && wParam) {
        // The process may end as soon as this returns.
        g_stopping = true;
        ::SetEvent(g_stop.get());
        if (auto* run = reinterpret_cast<GetRun*>(::GetWindowLongPtrW(window, GWLP_USERDATA))) run->stopNow();
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

WindowHandle HiddenWindow(GetRun& run) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = HiddenWindowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kWindowClass;
    ::RegisterClassExW(&wc);
    WindowHandle window(::CreateWindowExW(0, kWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                          wc.hInstance, nullptr));
    if (window) ::SetWindowLongPtrW(window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&run));
    return window;
}

// The name a link gets when the server names none: the one asked for, else
// the link's last segment; empty when neither gives one.
std::wstring NameFromLink(const GetItem& item) {
    const std::wstring guess = item.name.empty() ? zeb::fileNameFromUrl(item.url) : item.name;
    return guess.empty() ? std::wstring() : zeb::sanitizeFileName(guess);
}

// The test suite runs rooms of machines in seconds: the lab cache's beat
// and stale time from TW_LAB_TIMING="beat,stale" (ms) when it is set.
void ApplyLabTimingForTests() {
    const std::wstring value = EnvironmentValue(L"TW_LAB_TIMING");
    const size_t comma = value.find(L',');
    if (comma == std::wstring::npos) return;
    zeb::Timing t = zeb::timing();
    t.cacheBeatMs = std::max(50, LenientNumber(value.substr(0, comma)));
    t.cacheStaleMs = std::max(200, LenientNumber(value.substr(comma + 1)));
    t.cachePollMs = std::min(t.cachePollMs, t.cacheBeatMs);
    zeb::setTimingForTests(t);
}

std::wstring FullPath(const std::wstring& path) {
    const DWORD n = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring full(n, L'\0');
    const DWORD m = ::GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
    if (m == 0 || m >= n) return path;
    full.resize(m);
    return full;
}

// Where a file lands under --to, as a sums file names it.
std::wstring SumsName(const GetItem& item, const std::wstring& name) {
    std::wstring path = item.dir.empty() ? name : item.dir + L"/" + name;
    std::replace(path.begin(), path.end(), L'\\', L'/');
    return path;
}

int GetRun::run() {
    if (!options_.checksums.empty() && !loadSums()) return stopped_ ? kGetStopped : kGetUsage;
    std::vector<GetItem> items = options_.items;
    if (!expandMetalinks(items)) return stopped_ ? kGetStopped : kGetUsage;
    takeGivenSums(items);
    int code = kGetDone;
    std::set<std::wstring> read;  // Metalink links read: one that names itself is read once
    for (size_t i = 0; i < items.size(); ++i) {
        int result = stopped_ ? kGetStopped : fetch(items[i]);  // a stop leaves the rest untried
        if (result == kMetalinkLink) {
            // Its files are fetched next, in its place.
            std::vector<GetItem> files{items[i]};
            const bool again = !read.insert(items[i].url).second;
            if (!again && expandMetalinks(files, true)) {
                item_ = nullptr;  // the items move
                items.insert(items.begin() + static_cast<std::ptrdiff_t>(i) + 1, files.begin(), files.end());
                takeGivenSums(items);
                continue;
            }
            result = stopped_ ? kGetStopped : kGetUsage;
            if (again) out_.line(FailedLine(result, zeb::maskPassword(items[i].url), zeb::metalinkLinkText()));
        }
        if (code == kGetDone) code = result;
    }
    if (!options_.sumsOut.empty() && !WriteFileAtomic(FullPath(options_.sumsOut), zeb::sumsFileText(written_))) {
        out_.line(SumsNotWrittenText(FullPath(options_.sumsOut)));
        if (code == kGetDone) code = kGetDisk;
    }
    return code;
}

std::string GetRun::fetchSmall(const std::wstring& link, size_t limit, ReadStatus& status) {
    SmallFetch fetch(link, limit, options_.insecure);
    job_ = fetch.Job();
    SmallFetch::Outcome got;
    if (waitForEnd(*job_)) got = fetch.Take();
    job_.reset();
    status = got.status;
    return got.bytes;
}

void GetRun::takeGivenSums(std::vector<GetItem>& items) const {
    for (GetItem& item : items) {
        const auto given = given_.find(SumsName(item, NameFromLink(item)));
        if (item.checksum.empty() && given != given_.end()) item.checksum = given->second;
    }
}

bool GetRun::loadSums() {
    const std::wstring& source = options_.checksums;
    ReadStatus status = ReadStatus::NotOpened;
    const std::string bytes =
        IsAcceptableLink(source) ? fetchSmall(source, kListLimit, status) : ReadWholeFile(FullPath(source), kListLimit, &status);
    if (stopped_) return false;
    const zeb::SumsFile read = zeb::parseSumsFile(bytes);
    if (status != ReadStatus::Complete || read.badLine > 0) {
        out_.line(SumsUnusableText(source, status == ReadStatus::Complete ? read.badLine : 0));
        return false;
    }
    given_ = read.sums;
    return true;
}

bool GetRun::expandMetalinks(std::vector<GetItem>& items, bool byType) {
    std::vector<GetItem> expanded;
    for (GetItem& item : items) {
        if (!byType && !zeb::isMetalinkLink(item.url)) {
            expanded.push_back(std::move(item));
            continue;
        }
        ReadStatus status;
        const std::string bytes = fetchSmall(item.url, zeb::kMaxMetalinkBytes + 1, status);
        if (stopped_) return false;
        const zeb::MetalinkResult read = zeb::parseMetalink(bytes);
        if (status == ReadStatus::NotOpened || !read.ok()) {
            out_.line(zeb::metalinkErrorText(read));
            return false;
        }
        AddMetalinkFiles(read, item.dir, expanded);
    }
    items = std::move(expanded);
    return true;
}

bool GetRun::keepSum(const GetItem& item, const DownloadInfo& info) {
    const std::wstring name = SumsName(item, info.fileName);
    const auto given = given_.find(name);
    if (given != given_.end() && given->second != info.sha256) {
        // Named by the server, so not known before: proved wrong now, it goes.
        job_->remove(true);
        out_.line(FailedLine(kGetChecksum, info.fileName, zeb::checksumMismatchText(given->second, info.sha256)));
        return false;
    }
    written_[name] = info.sha256;
    return true;
}

int GetRun::fetch(const GetItem& item) {
    item_ = &item;
    job_.reset();
    notesShown_.clear();
    std::wstring folder = FullPath(options_.to.empty() ? g_settings.folder : options_.to);
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    if (!item.dir.empty()) folder += L"\\" + item.dir;
    if (alreadyThere(item, folder)) return kGetDone;
    if (stopped_) return kGetStopped;
    out_.line(StartText(item.url, folder));
    zeb::RequestOptions extras;
    extras.checksum = item.checksum;
    extras.sameFileAnyQuery = true;  // a script's rerun asks with a link signed again
    // One job for all the file's links: the engine spreads the connections
    // over them, drops the ones that fail (said in its source lines) and
    // fails the file only when none is left.
    extras.mirrors = item.mirrors;
    extras.pieces = item.pieces;
    extras.expectedSize = item.size;
    job_ = std::make_shared<zeb::Download>(item.url, folder, item.name, extras);
    const int connections = options_.connections.value_or(g_settings.connections);
    for (bool again = false;; again = true) {
        job_->start(connections, options_.insecure);
        if (!waitForEnd(*job_)) return kGetStopped;
        const DownloadInfo info = job_->snapshot(false);
        showSourceNotes(info);
        if (const std::wstring note = zeb::takeLabCacheNote(); !note.empty()) out_.line(note);
        if (info.state == DownloadState::Completed) {
            if (!keepSum(item, info)) return kGetChecksum;
            if (info.fromLabCache) out_.line(zeb::fromLabCacheText());  // the OK line stays each file's last
            out_.line(OkLine(info.totalSize, info.sha256, info.fileName));
            job_->forgetFinishedState();  // said on the output: no longer needed for a kill before it
            return kGetDone;
        }
        if (stopped_) return kGetStopped;  // a shutdown came in the wait: stopNow has written the line
        // Its media type said so (a name ending .meta4 was read before): run() reads it.
        if (info.errorKind == ErrorKind::Metalink) return kMetalinkLink;
        // The engine dropped the state of the wrong bytes: the next start
        // downloads the whole file from byte 0.
        if (info.state == DownloadState::Failed && info.errorKind == ErrorKind::Checksum && !again) {
            out_.line(MismatchAgainText());
            job_->requeue();
            continue;
        }
        // Wrong twice: nothing of it stays, under any name.
        if (info.errorKind == ErrorKind::Checksum) job_->remove(false);
        const int code = info.state == DownloadState::Failed ? ExitCodeOf(info.errorKind) : kGetStopped;
        out_.line(FailedLine(code, shownName(info, item), code == kGetStopped ? StoppedText() : info.errorText));
        return code;
    }
}

// Said by content, not by count: a new run of the job may start its lines afresh.
void GetRun::showSourceNotes(const DownloadInfo& info) {
    for (const std::wstring& note : info.sourceNotes) {
        if (std::find(notesShown_.begin(), notesShown_.end(), note) != notesShown_.end()) continue;
        notesShown_.push_back(note);
        out_.line(note);
    }
}

bool GetRun::waitForEnd(zeb::Download& job) {
    const HANDLE waits[] = {job.finishedEvent(), g_stop.get()};
    ULONGLONG shown = ::GetTickCount64();
    for (;;) {
        const DWORD r = ::MsgWaitForMultipleObjects(2, waits, FALSE, kProgressPeriodMs, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0 || r == WAIT_FAILED) return true;  // the snapshot tells how it ended
        if (r == WAIT_OBJECT_0 + 1 || stopped_) {
            stopNow();
            return false;
        }
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        if (::GetTickCount64() - shown >= kProgressPeriodMs) {
            // A mirror dropped is said while the rest goes on, redirected or not.
            shown = ::GetTickCount64();
            const DownloadInfo info = job.snapshot(false);
            showSourceNotes(info);
            if (out_.console()) out_.progress(ProgressLine(info));
        }
    }
}

void GetRun::stopNow() {
    if (stopped_) return;
    stopped_ = true;
    if (job_ && job_->running()) {
        job_->pause();
        ::WaitForSingleObject(job_->finishedEvent(), kSaveBudgetMs);
    }
    const DownloadInfo info = job_ ? job_->snapshot(false) : DownloadInfo{};
    showSourceNotes(info);
    if (item_ && info.state != DownloadState::Completed)
        out_.line(FailedLine(kGetStopped, shownName(info, *item_), StoppedText()));
    ::SetEvent(g_ended.get());
}

// A file of the name this link would get that matches its checksum is the
// file wanted: nothing is downloaded.
bool GetRun::alreadyThere(const GetItem& item, const std::wstring& folder) {
    const std::wstring expected = item.checksum.empty() ? zeb::checksumOfLink(item.url) : item.checksum;
    if (expected.empty()) return false;
    const std::wstring name = NameFromLink(item);
    if (name.empty()) return false;
    const std::wstring path = folder + L"\\" + name;
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    zeb::FileDigests digests;
    uint32_t error = 0;
    int64_t size = 0;
    if (zeb::hashFile(path, expected.size(), g_stopping, [&](int64_t read) { size = read; }, digests, error) !=
        zeb::HashOutcome::Done) {
        if (g_stopping) stopNow();
        return false;
    }
    if (digests.expectedKind != expected) return false;
    out_.line(AlreadyThereText(name));
    out_.line(OkLine(size, digests.sha256, name));
    written_[SumsName(item, name)] = digests.sha256;
    return true;
}

std::wstring GetRun::shownName(const DownloadInfo& info, const GetItem& item) const {
    if (!info.fileName.empty()) return info.fileName;
    const std::wstring name = NameFromLink(item);  // it failed before the server named it
    return name.empty() ? zeb::maskPassword(item.url) : name;
}
}  // namespace

int RunGetMode(const std::vector<std::wstring>& args) {
    g_stop.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    g_ended.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    GetOutput out;
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    GetOptions options = ParseGetArguments(args);
    LoadSettings(GetDataFolder());  // read only: this mode never saves it
    zeb::setCertificateAdvice(InsecureAdviceText);  // the window's setting is not read here
    if (options.vietnamese) SetVietnamese(*options.vietnamese);
    else if (IsWindowsPE()) SetVietnamese(false);  // the console font of Windows PE lacks the Vietnamese letters
    if (options.help) {
        out.line(HelpText());
        return kGetDone;
    }
    if (options.problem.fault == GetFault::None && !options.input.empty()) {
        ReadStatus status;
        const std::string bytes = ReadWholeFile(FullPath(options.input), kListLimit, &status);
        if (status != ReadStatus::Complete) options.problem = GetProblem{GetFault::Unreadable, {}, 0};
        else options.problem = ParseLinkList(bytes, options.items);
    }
    if (options.problem.fault == GetFault::None && !options.metalink.empty()) {
        // The files a Metalink describes: its links are one file's mirrors.
        const zeb::MetalinkResult read = zeb::parseMetalink(ReadWholeFile(FullPath(options.metalink), zeb::kMaxMetalinkBytes + 1));
        if (!read.ok()) {
            out.line(zeb::metalinkErrorText(read));
            return kGetUsage;
        }
        AddMetalinkFiles(read, L"", options.items);
    }
    CheckGetOptions(options);
    if (options.problem.fault != GetFault::None) {
        out.line(ProblemText(options.problem, options.input));
        return kGetUsage;
    }
    if (options.limitKB) zeb::setSpeedLimit(SpeedLimitBytesPerSecond(*options.limitKB));
    if (!options.cache.empty()) zeb::setLabCacheFolder(FullPath(options.cache));
    ApplyLabTimingForTests();
    GetRun run(options, out);
    WindowHandle window = HiddenWindow(run);
    const int code = run.run();
    ::SetEvent(g_ended.get());
    return code;
}
