// One download job: what the user asked for, its state and counters, and
// the threads that move its bytes. The class is a facade over parts that
// own their data: the segment table (engine/Segments.h), the partial file
// and what its state says (engine/PartialFile.h), the link's address and
// renewal (engine/Address.h), and the run's stop and workers
// (engine/RunControl.h); what a run shares is built once (RunShared below).
//
// Threads: the UI thread calls the public operations (short, under the state
// mutex). start() runs one detached job thread (a plain thread: see
// store/DetachedThread.h) that holds a shared pointer to the job; it probes,
// prepares the file, starts and joins up to 32 segment workers and finishes
// or saves the state. Locks, in the order they may be taken: the
// process-wide name mutex (name choice, partial-file creation, rename), then
// one renewal's or one version question's, then the job's state mutex, then
// the end signal's; the request table's mutex comes last, never under the
// state mutex, and nothing is taken under it.
// A worker takes the state mutex twice per 64 KiB read. No lock is held
// across a network call or a wait. Only the thread that opened a request
// handle uses and closes it: pause asks through the stop flag and the stop
// event, because handle values are reused at once and a handle closed from
// outside could name another job's new request.
#pragma once

#include <windows.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/Address.h"
#include "engine/Credentials.h"
#include "engine/FrontHasher.h"
#include "engine/HostEtiquette.h"
#include "engine/PartialFile.h"
#include "engine/RateLimiter.h"
#include "engine/RunControl.h"
#include "engine/Types.h"
#include "engine/Url.h"
#include "engine/Samples.h"
#include "engine/Segments.h"
#include "engine/Sources.h"
#include "engine/Validator.h"
#include "store/Handles.h"

namespace zeb {

struct RequestOptions {
    std::wstring referer;
    std::wstring cookies;
    std::wstring userAgent;
    std::wstring checksum;  // as typed; the link's fragment serves when empty
    // An unattended rerun: a partial file the same scheme, host and path
    // left under another query (a link signed again) in the target folder
    // is continued when its size, validators and bytes show the same file.
    bool sameFileAnyQuery = false;
    // The fetch a machine makes into the lab cache for the room: it never
    // goes through the cache itself.
    bool intoLabCache = false;
    // Other links to the same file (a Metalink's, tab-separated ones in a
    // list), preferred first: connections are spread over them beside the
    // link. Kept beside the partial file, never in the list.
    std::vector<std::wstring> mirrors{};
    // The publisher's hashes of the file's pieces: each piece is checked as
    // it arrives and a bad one fetched again from another mirror.
    PieceHashes pieces{};
    // The size the publisher states (-1: none): servers that state another
    // serve another file.
    int64_t expectedSize = -1;
    // Fetch a Metalink file itself (to read it), not the files it describes.
    bool metalinkAsFile = false;
};

struct ProbeResult {
    std::wstring finalUrl;
    std::wstring fileName;  // suggested; may be empty
    int64_t totalSize = -1;
    bool acceptsRanges = false;
    bool redirected = false;  // a redirect led to finalUrl
    Validator validator;  // of the version the server has now
    // The checksum the answer states for the file (Repr-Digest, Digest):
    // lower-case hex; empty when none.
    std::wstring statedChecksum;
    // Mirrors the answer names (Link: rel=duplicate), preferred first.
    std::vector<std::wstring> duplicates;
};

struct UrlParts;
struct Error;
class LabShare;
struct CacheEntry;

// What one run of a job shares with every thread of it: built by the job
// thread before its first request, read-only after, handed down as one
// const reference.
struct RunShared {
    HINTERNET session = nullptr;
    bool ignoreCertErrors = false;  // the user's choice when the run started
    ProxySetting proxy;             // the proxy the run started with
    Credentials linkCredentials;    // the link's own user and password
    HANDLE stop = nullptr;          // set when the run must stop
    SpeedLimiter* limiter = nullptr;  // the job's own speed limit
};

// From now on no finished partial file is renamed in this process: the exit
// calls it before its last save, so no row saved as unfinished can lose its
// partial file afterwards. A job that finishes meanwhile keeps its complete
// partial file and state and is renamed at its next start.
void freezeFinalRenames(bool frozen = true);

class Download : public std::enable_shared_from_this<Download> {
public:
    Download(std::wstring url, std::wstring folder, std::wstring fileName, const RequestOptions& options);
    // From a stored row: Completed and Failed stay, everything else comes back Paused.
    explicit Download(const DownloadInfo& stored);
    ~Download();
    Download(const Download&) = delete;
    Download& operator=(const Download&) = delete;

    void start(int connections, bool ignoreCertErrors);
    // `forHours`: paused because the active hours ended, not by the user;
    // the snapshot says so until it is queued or started again.
    void pause(bool forHours = false);
    void requeue();
    void remove(bool deleteFinishedFile);
    // A new link for a job that is not running: the row keeps its folder,
    // name and partial data, and the state file names the new link. At the
    // next start the partial data goes on only if the new link serves the
    // same file (size, and validator where both sides have one). False
    // while the job runs.
    // `request`: the extras of the request that brought the new link (a link
    // signed for a browser session needs its cookies); none clears them.
    bool changeLink(const std::wstring& url, const RequestOptions* request = nullptr);
    // The list has recorded this job's finish (its write succeeded): the
    // state kept beside the finished file since its rename goes. Until
    // then a kill leaves a state the next start completes the row from.
    void forgetFinishedState();
    // The same for a list that deletes it after its own write: the kept
    // state's path (empty when none), no longer the job's to delete.
    std::wstring takeFinishedState();
    // A fresh link that may serve the file this row's partial data holds (a
    // link signed again, a mirror): the next start asks it, not the old
    // link, and judges it by the recorded size, validators and the bytes on
    // disk. The same file: it replaces the old link. Another file: the old
    // link, its extras and the state come back untouched, the job ends
    // Paused and its snapshot names the link declined. Until then the
    // snapshot and the state file keep the old link. A row without bytes of
    // its own takes the link at once (changeLink). False while it runs.
    bool offerLink(const std::wstring& url, const RequestOptions& request);
    // This download's own speed limit (bytes per second, 0: none), beside
    // the program-wide one; a running job takes it at its next read.
    void setSpeedLimit(int64_t bytesPerSecond);
    DownloadState state() const;
    DownloadInfo snapshot(bool withSegments) const;
    // The snapshot when the job's lock is free right now; false (and `out`
    // untouched) while another thread holds it.
    bool trySnapshot(DownloadInfo& out, bool withSegments = false) const;
    bool running() const noexcept { return running_.load(); }
    // False once it cannot be waiting in the queue: it started (or was
    // stored) and was not queued again since. Read without the lock, so the
    // queue's look over 100,000 rows takes none.
    bool mayWaitInQueue() const noexcept { return mayWait_.load(); }
    // Signalled while no job thread runs.
    HANDLE finishedEvent() const;

private:
    // What a worker does after a request: its range is done; retry after a
    // pause; stop; ask again at once (a settled question); Limited: the host
    // refused this connection while serving others of ours, so the worker
    // steps down, or the last one waits for a place; Renew: the address a
    // redirect led to refused where it served before (a signed link
    // expired). And of a settled question only: GoOn reading this answer.
    enum class Step { Done, Retry, Stop, Again, Limited, Renew, GoOn };
    DownloadInfo snapshotLocked(bool withSegments) const;

    // Job thread (Download.cpp)
    void jobThread(int connections, bool ignoreCertErrors) noexcept;
    void drive(int connections, bool ignoreCertErrors);
    void runWorkers(const RunShared& run, int connections);
    // Before a resume no validator vouched for: the samples judge the bytes
    // on disk (kept, started over, or left to the old link: false).
    bool resumeBySamples(const RunShared& run, const ProbeResult& probed, int connections);
    // After the workers: true when a file changed on the server makes the
    // run start over (once; a second change fails it).
    bool startsOverAfterAChange(int round);
    // Finishes, or saves the state and says why the run ended.
    void endRun();
    void monitor();
    void cleanUpFiles();  // the file part of remove()
    void setError(const Error& error);
    void takeRequestOptions(const RequestOptions& options);  // under the state mutex

    // Requests (Probe.cpp)
    // Sends and receives, answering one password challenge of the proxy
    // (407) and one of the link's own host (401) with their credentials.
    // False with the error when a call failed; else the final status.
    // `mirror`: the request goes to a mirror, which gets none of the link's
    // password, cookies or referer.
    bool exchange(const RunShared& run, HINTERNET request, const std::wstring& headers, const UrlParts& parts, DWORD& status,
                  DWORD& error, bool mirror = false);
    // `slot`: the request slot it uses (0 before the workers start; a
    // worker's own when it renews the link). `mirror`: a mirror's link is
    // asked instead of the row's.
    ProbeResult probe(const RunShared& run, size_t slot = 0, const std::wstring* mirror = nullptr);
    // The error of a secure connection that failed, told by a diagnosis on
    // a session of its own (a clock to set is offered).
    Error secureFailure(const RunShared& run, const UrlParts& parts, DWORD error, uint32_t secureFlags);
    // The probe's answer that is not a redirect: the size and ranges it
    // shows, or the error it is (a busy one to be asked again).
    ProbeResult readProbeAnswer(HINTERNET request, DWORD status, const UrlParts& parts);
    std::wstring requestHeaders(const std::wstring& requestHost, const std::wstring& extraLines, bool mirror = false) const;
    bool registerRequest(size_t slot, HINTERNET request);
    void releaseRequest(size_t slot);

    // Transfer (Transfer.cpp)
    // One worker's connection: the address it goes to, its WinHTTP
    // connection, read buffer and counters. Its worker's thread alone uses it.
    struct Connection {
        size_t slot = 0;  // its place in the request table
        UrlParts parts;
        InternetHandle handle;
        std::wstring host;        // parts' host key, for its limit and its wait
        uint32_t generation = 0;  // of the address it is connected to
        std::vector<char> buffer;
        int failures = 0;  // attempts in a row without a byte of progress
        int refused = 0;   // the host's limit refusals in a row
        int source = -1;   // with mirrors: the one it reads from (0: the link's address)
        std::wstring sourceUrl;  // the mirror's link it is connected to
        int redirects = 0;       // a mirror's redirects followed
    };
    void workerBody(size_t slot, const RunShared& run) noexcept;
    // (Re)connects when there is no connection yet or a renewal replaced the
    // address: false (the error set) when it cannot.
    bool connectToAddress(Connection& c, const RunShared& run);
    // One range requested and let go again, whatever happened.
    Step requestRange(size_t index, Connection& c, const RunShared& run, bool& progress, HostConnection& place);
    // Waits after a result as it asks: false when the worker leaves.
    bool waitAfter(Connection& c, const RunShared& run, Step result, bool progress);
    Step transferSegment(size_t index, Connection& c, const RunShared& run, bool& progress, HostConnection& place);
    // One request of a worker for one range, from its send to its last byte.
    struct Piece {
        size_t index = 0;
        int64_t pos = 0, end = 0, total = -1;
        bool ranged = false;
        Validator asked;       // the version it asks for
        std::wstring ifRange;  // what it sent as If-Range, if anything
        HINTERNET request = nullptr;  // in the worker's slot: closed by releaseRequest
        DWORD status = 0;
        bool mirror = false;       // from a mirror: no validator of the link's host is asked or judged
        bool checkPieces = false;  // the publisher's piece hashes check what arrives
    };
    // Its range as the table has it now (under the state mutex).
    Piece takePiece(size_t index, const Connection& c);
    // Opens, registers and sends the request: GoOn once it is answered.
    Step sendPiece(Piece& piece, const Connection& c, const RunShared& run);
    // GoOn when the answer is this range of the same version of the file.
    Step judgeAnswer(const Piece& piece, Connection& c, const RunShared& run, HostConnection& place);
    // An answer that is not the file: another version, a busy or limited host, an expired address.
    Step judgeRefusal(const Piece& piece, const Connection& c, const RunShared& run);
    // Reads the answer to the disk until the range is done or the body ends.
    Step pumpPiece(const Piece& piece, Connection& c, const RunShared& run, bool& progress);
    // One read of the answer within the speed limit: GoOn with `got` bytes (0 at its end).
    Step readChunk(const Piece& piece, std::vector<char>& buffer, const RunShared& run, DWORD& got);
    // A range's speed, measured over half a second at least (state mutex).
    static void noteSpeed(Segment& s, uint64_t& t0, int64_t& bytesSince);
    // The same where the publisher's piece hashes check each piece as it ends.
    Step pumpCheckedPiece(const Piece& piece, Connection& c, const RunShared& run, bool& progress);
    // A busy answer's Retry-After (429, 503), kept for every request to the host.
    void noteRetryAfter(HINTERNET request, DWORD status, const std::wstring& host);
    // The probe, asked again on the pause ladder while the server is busy or
    // the connection is lost.
    ProbeResult probeUntilAnswered(const RunShared& run);
    void diskFailure(DWORD error);
    // Fails the download with `text`: every worker stops.
    void failEveryWorker(const Error& error);
    // Asks the original link again for a fresh address (Renewal.cpp): Again
    // when one serves the same file (every connection goes there next) or
    // another connection renewed it since `seen`; Stop when the download
    // fails with `refusal` (or the original link's own answer) or starts over.
    Step renewLink(const RunShared& run, uint32_t seen, size_t slot, const Error& refusal);
    // A renewed address of the same size whose validators do not vouch for
    // it: its bytes, sampled, tell whether it serves the same file (`same`).
    // GoOn once judged, else what the worker does.
    Step sampleRenewedAddress(const RunShared& run, const ProbeResult& fresh, const Validator& recorded,
                              const std::vector<Segment>& table, bool& same);
    // A ranged answer came whole: the file changed on the server meanwhile.
    void restartFromZero();

    // Version questions (Versions.cpp)
    // Refused: the host's limit turned the sample away (not a failure).
    enum class Evidence { None, Same, Different, Failed, Refused };
    // Attempts in a row without a byte of progress before a connection (or the probe) gives up.
    static constexpr int kMaxFailuresWithoutProgress = 6;
    bool readPart(int64_t offset, int64_t length, std::string& out);
    bool readAnswer(HINTERNET request, int64_t length, std::string& out);
    // The server's bytes of `span` (no If-Range) beside the disk's: an
    // answer of exactly that range of a file of `total` bytes is evidence;
    // a 200 is Different (nothing vouches for the bytes); anything else
    // sets `failure` (or is the host's limit: Refused).
    Evidence compareSample(const RunShared& run, HINTERNET connection, const UrlParts& parts, const ByteSpan& span,
                           int64_t total, Error& failure);
    // Same only when every sample is; None when there are none.
    Evidence compareSamples(const RunShared& run, HINTERNET connection, const UrlParts& parts,
                            const std::vector<ByteSpan>& samples, int64_t total, Error& failure);
    // Before a resume that no validator could vouch for (none shared, or
    // one that contradicts): whether the samples agree. Throws Error when
    // they cannot be fetched.
    // `randomOnly`: the sample at a random place alone (a cached copy's
    // confirmation by its server).
    bool resumeSamplesAgree(const RunShared& run, bool randomOnly = false);
    // Stops using a validator kind the bytes proved no witness of versions.
    void retire(ValidatorKind kind);
    // An answer whose validator of `kind` (recorded as `suspected` when it
    // was asked for) contradicts the recorded one, or a whole file (200)
    // sent to If-Range: the answer's own bytes and samples from several
    // places decide whether the file changed (start over) or the host's
    // validator of that kind says nothing (forget it). The answer, in
    // the worker's slot, is closed unless the question was settled already (GoOn).
    Step settleSuspicion(ValidatorKind kind, const std::wstring& suspected, HINTERNET answer, bool answerFromZero,
                         const Connection& c, const RunShared& run);

    // Mirrors (MirrorUse.cpp)
    // The probe of the link, and when it fails, of each mirror in turn
    // until one answers (the ones that failed dropped); this run's sources
    // set up from the request's mirrors and the answer's Link headers.
    ProbeResult probeSources(const RunShared& run);
    // The source a connection reads from next (kept while it is sound):
    // false (the job failed) when none is left. `link`: where to connect.
    bool chooseSource(Connection& c, std::wstring& link);
    // A mirror's answer that is not the asked range of a file of the known
    // size: the mirror dropped (or followed, a redirect), else Retry.
    Step judgeMirrorAnswer(const Piece& piece, Connection& c);
    // Drops a source for this file with a line saying why; when none is
    // left, the download fails with `why`.
    void dropSource(int source, const Error& why);
    // A whole file that does not match its sum came from several sources:
    // the next run asks one mirror alone (false when each has been asked).
    bool repairFromOneSource();
    // The meta beside the partial file: written as it is made, read at a resume.
    void writeSourcesMeta(const std::wstring& partPath);
    void readSourcesMeta(const std::wstring& partPath);
    // Checks a piece the worker wrote whole; false (its source dropped) when it does not match.
    bool pieceMatches(size_t piece, const std::wstring& sum, int source);

    // Lab cache (CacheUse.cpp)
    // The run's first step when a lab cache folder is set: true when the
    // job ended there (finished from the cache or by this machine's fetch
    // for the room, or stopped); false to go on with the server as without
    // a cache, from the bytes already in the user's folder (`probed` holds
    // the probe when one was made).
    bool throughLabCache(const RunShared& run, int connections, std::optional<ProbeResult>& probed);
    // Copies the file from the cache (an entry, or another machine's fetch
    // as it comes, or this machine's own fetch for the room) into the
    // partial file: true when finished; false to go to the server.
    bool shareWithRoom(const RunShared& run, const ProbeResult& probed, LabShare& share, int connections, bool bySum);
    // The copy is whole: confirmed by the server (known by its link and
    // not fetched here), verified against the entry's sum, and renamed.
    // False when the entry proved wrong (set aside; the server is next).
    bool finishFromCache(const RunShared& run, LabShare& share, const CacheEntry& entry, bool fetchedHere, bool bySum);
    // [copied, to) of `source` into the partial file: false when the source
    // fails (a share gone); `copied` moves with the bytes written.
    bool copyFromCache(HANDLE source, int64_t& copied, int64_t to);
    // One origin sample of a copied entry known by its link: false when the
    // server's bytes differ.
    bool originAgrees(const RunShared& run, int64_t total);
    void noteCache(const std::wstring& text);
    // The verify pass found a copied entry's bytes other than its name says.
    struct DamagedEntry {};

    // Partial file and state (PartFile.cpp)
    // `fresh`: the partial data is of another version; start over. False
    // when a link on trial was declined (nothing on disk touched).
    bool prepareFile(const ProbeResult& probe, int connections, bool fresh);
    // Where a run's partial file goes and what is there already.
    struct Placement {
        std::wstring folder, fileName, url;
        bool trial = false;     // the link is on trial
        std::wstring stateLink;  // the link the state file names
        std::wstring partPath, statePath;
        std::optional<std::vector<Segment>> table;  // the ranges to go on from, if any
        Validator recorded;  // what the state recorded of the version
    };
    // The name (chosen unless fixed) and what its state holds; false when a
    // link on trial proved another file (nothing touched).
    bool placeFile(const ProbeResult& probed, bool fresh, bool fixed, Placement& at);
    // Whether the bytes on disk are of the version the server has: kept,
    // judged by samples later, or dropped with their state.
    void weighVersionOnDisk(const ProbeResult& probed, bool linkChanged, Placement& at);
    // Opens the partial file to go on, or makes it (its state first) and plans its ranges.
    void openPartFile(const ProbeResult& probed, int connections, Placement& at);
    // Reserves a new partial file's size; deletes it and throws when the disk cannot hold it.
    void reserve(const Placement& at, int64_t total);
    // Under the state mutex, after the table is set: whether the publisher's
    // piece hashes check each piece as it comes this run.
    void checkPiecesLocked();
    // A new link and the extras of its request (under the state mutex).
    void applyLink(const std::wstring& url, const RequestOptions* request);
    // The state file recorded under `oldUrl` goes on under `url`.
    void relinkStateFile(const std::wstring& oldUrl, const std::wstring& url);
    // The offered link becomes the one the requests use (job thread).
    void beginTrial();
    // The link on trial serves the same file (kept) or not (the old one
    // comes back and the offered one is named as declined): true when a
    // trial was declined.
    bool judgeTrial(bool same);
    // Under the state mutex: the old link and its extras come back.
    void endTrial(bool declined);
    void saveState();
    // What a state recording every byte says of a finish that came before
    // this start: a partial file of that size whose rename did not happen
    // (exit, power cut, a pause while a scanner held it), or a renamed
    // file at that size whose finish the list never recorded (a kill).
    enum class Finished { No, NotRenamed, Renamed };
    Finished finishedEarlier();
    // The state file's text; empty when there is none. One that is there
    // but cannot be read whole throws: taken for none, the partial file it
    // describes would be overwritten.
    std::string readState(const std::wstring& statePath) const;
    void finalize();
    // The one pass over the finished partial file (PartFile.cpp): records its
    // SHA-256 or throws the mismatch, after which the next start downloads
    // again. A stop ends it Paused with the state intact, so the next start
    // verifies again without downloading.
    void verify();
    // A fresh hasher for this run's partial file, fed at once with what is
    // on disk.
    void startHashing(size_t expectedLength);
    size_t expectedChecksumLength() const;

    // The parts of a job, each owning its data (see their headers for the
    // thread and the lock of each field). Lock order: the process-wide name
    // mutex, then a renewal's (address_.renewMutex) or a version question's
    // (control_.versionMutex), then the state mutex, then the end signal's;
    // the request table's mutex last, never under the state mutex.
    mutable std::mutex stateMutex_;
    Address address_;
    PartialFile disk_;
    RunControl control_;
    SegmentTable table_;  // state mutex
    // State mutex: the file's mirrors and the publisher's word on it. Made
    // at the first run (or by a request that names them): a list of
    // 100,000 rows that never ran does not carry them.
    struct Mirrors {
        std::vector<std::wstring> given;  // as the request (or the partial file's meta) named them
        PieceHashes pieces;
        int64_t statedSize = -1;  // the publisher's; -1: none
        SourceSet sources;        // this run's: the link (0) and the mirrors
        std::vector<std::wstring> notes;  // a line for each source dropped, this run
        int sole = -1;            // a repair asks only this source; -1: any
        bool checkPieces = false;  // this run's table falls on the pieces: each is checked
    };
    std::unique_ptr<Mirrors> mirrors_;

    // State mutex: what the row is and shows.
    std::wstring folder_;
    std::wstring fileName_;
    bool nameFixed_ = false;
    std::wstring expectedChecksum_;  // lower-case hex, or empty
    DownloadState state_ = DownloadState::Queued;
    // What the snapshot copies as it is, each named as in DownloadInfo:
    // X(type, name, initial value); a field the job shows as it keeps it
    // is one line here beside its member in DownloadInfo.
#define TW_SHOWN_FIELDS(X)                                                      \
    X(std::wstring, errorText, )                                                \
    X(ErrorKind, errorKind, ErrorKind::None) /* of errorText */                 \
    X(std::wstring, notice, ) /* why this run started over; cleared at start */ \
    X(std::wstring, sha256, ) /* of the finished file, once known */            \
    X(int32_t, verifyPercent, -1)                                               \
    X(double, speed, 0.0)                                                       \
    X(int64_t, clockOffer, 0)                                                   \
    X(bool, fromLabCache, false)
    struct Shown {
#define TW_SHOWN_MEMBER(type, name, initial) type name{initial};
        TW_SHOWN_FIELDS(TW_SHOWN_MEMBER)
#undef TW_SHOWN_MEMBER
        int64_t doneBytes = 0;  // of a stored row, until its table is known
    } shown_;

    // State mutex: a link offered or changed while the job does not run.
    struct Offer {
        std::wstring url;
        RequestOptions options;
    };
    // While a link is on trial: what it replaced, shown and kept until judged.
    struct Trial {
        std::wstring url, referer, cookies, userAgent, checksum;
        std::array<bool, 3> retired;
    };
    struct NewLink {
        bool changed = false;          // Change Link since the last preparation
        std::optional<Offer> offered;  // see offerLink; taken at the next start
        std::optional<Trial> trial;
        std::wstring declined;         // an offered link that served another file
    } newLink_;

    // State mutex: the row's removal.
    struct Removal {
        bool requested = false;
        bool deleteFinishedFile = false;
        bool done = false;  // its files were dealt with
    } removal_;

    std::atomic<int64_t> speedLimit_{0};  // see setSpeedLimit
    std::atomic<bool> waitsForHours_{false};  // see pause
    // Made at the first run: rows that never ran carry no budget.
    std::unique_ptr<SpeedLimiter> limiter_;  // job thread
    std::atomic<bool> running_{false};  // set by the UI thread, cleared by the job thread
    std::atomic<bool> mayWait_{true};   // see mayWaitInQueue
    // The end of a run, signalled once its thread let go of the job; a
    // start's reset of the event and a run's end signalling it are one step
    // each, in order, under `mutex`; `runs` (written under both mutexes)
    // tells an end whether a start came since. The event is made at the
    // first start or the first ask.
    struct EndSignal {
        KernelHandle event;
        std::mutex mutex;
        uint64_t runs = 0;
    };
    mutable EndSignal ended_;
};

}  // namespace zeb
