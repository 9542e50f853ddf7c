// The shared records of a download: the job's state, one byte-range segment
// and the snapshot the list and the windows read. No dependencies, so the
// ground floor (formatters, list file) may include it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class DownloadState : int32_t {
    Queued = 0,
    Connecting = 1,
    Downloading = 2,
    Paused = 3,
    Completed = 4,
    Failed = 5,
};

enum class SegmentState : int32_t {
    Idle = 0,
    Connecting = 1,
    Receiving = 2,
    Retrying = 3,  // the last attempt failed and will be retried
    Done = 4,
};

// One byte range, worked by one connection at a time.
struct Segment {
    int64_t start = 0;  // first byte
    int64_t end = 0;    // one past the last byte; INT64_MAX when the size is unknown
    int64_t pos = 0;    // next byte to write; start <= pos <= end, pos >= end means done
    SegmentState state = SegmentState::Idle;
    bool busy = false;     // a worker owns the segment now
    uint32_t retries = 0;  // failed attempts so far
    double speed = 0.0;    // bytes per second, 0 when idle
    int8_t source = -1;    // the server its worker reads it from (DownloadInfo::sourceHosts); -1: none
};

// What a job's failure was, for callers that act on it without reading its
// text (the exit code of an unattended run). Set where the error arises.
enum class ErrorKind : int32_t {
    None = 0,
    Link,          // not an http or https link
    Network,       // no connection, or it kept failing
    Secure,        // certificate, clock or protocol of a secure connection
    Refused,       // the server refused the link (4xx)
    ServerFailed,  // the server failed (5xx) or answered what cannot be used
    Checksum,      // the finished file does not match its checksum
    Disk,          // the folder or the file cannot be made, written or read, or the disk is full
    Local,         // this computer ran out of memory or threads
    // Not a failure: the link is a Metalink file, and the files it
    // describes are what to download (the caller reads it and adds them).
    Metalink,
};

// The job snapshot, also the list's row record.
struct DownloadInfo {
    std::wstring url;
    std::wstring folder;
    std::wstring fileName;
    std::wstring errorText;
    ErrorKind errorKind = ErrorKind::None;  // of errorText; not stored in the list file
    // Why the job started over this run (the file changed on the server);
    // empty when it did not. Not stored in the list file.
    std::wstring notice;
    int64_t totalSize = -1;  // bytes; -1 when unknown
    int64_t doneBytes = 0;   // bytes
    double speed = 0.0;      // bytes per second
    DownloadState state = DownloadState::Queued;
    bool nameFixed = false;
    bool acceptsRanges = false;
    int32_t activeConnections = 0;
    // The checksum the file must have (lower-case hex; its length tells the
    // kind), empty when none was given; and the SHA-256 of the finished file,
    // empty until it is known.
    std::wstring expectedChecksum;
    std::wstring sha256;
    int32_t verifyPercent = -1;  // of the pass over the finished file; -1 when none runs
    std::vector<Segment> segments;  // filled only when asked for
    int32_t hostLimit = 0;    // connections the host allows, once a refusal told; 0: none learned
    int32_t busySeconds = 0;  // left of the wait the host asked for (Retry-After) while this runs
    // The server's time (FILETIME ticks, UTC) when the last attempt failed only
    // because this computer's clock is behind (see zeb::clockToSet); 0 otherwise.
    int64_t clockOffer = 0;
    // A fresh link offered to continue this row that turned out to serve
    // another file (the row kept its own); empty otherwise. Not stored.
    std::wstring declinedLink;
    // The bytes came from another machine's download through the lab cache
    // folder, not from the server.
    bool fromLabCache = false;
    // With mirrors: each source's host (a segment's `source` indexes it) and
    // a line for each one dropped ("mirror.example dropped: Not found").
    // Not stored in the list file.
    std::vector<std::wstring> sourceHosts;
    std::vector<std::wstring> sourceNotes;
    // This download's own speed limit, bytes per second; 0: none.
    int64_t speedLimit = 0;
    // Paused because the active hours ended (not by the user): the list
    // starts it again when they begin.
    bool waitingForHours = false;
};
