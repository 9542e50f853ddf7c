// A small file a link names (a checksum list, a Metalink), fetched whole by
// an engine job into a temporary folder of its own, then read into memory
// and deleted with its folder. The job runs on its own threads; the owner
// (one thread: the window's, or --get's main thread) waits on the job's end
// event or polls Ended() at its ticks. Nothing here waits.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "store/FileServices.h"

namespace zeb {
class Download;
}

class SmallFetch {
public:
    // Starts the fetch at once. `limit`: the most bytes read; a file found
    // larger is stopped and reads as Truncated.
    SmallFetch(const std::wstring& link, size_t limit, bool ignoreCertErrors);
    // A fetch still running is stopped; what it left goes.
    ~SmallFetch();
    SmallFetch(const SmallFetch&) = delete;
    SmallFetch& operator=(const SmallFetch&) = delete;

    const std::shared_ptr<zeb::Download>& Job() const { return job_; }
    // True once the job has ended; a file that shows itself larger than the
    // limit is stopped here first (a server may send gigabytes as a "list").
    bool Ended();
    struct Outcome {
        std::string bytes;
        ReadStatus status = ReadStatus::NotOpened;  // Truncated: larger than the limit
        std::wstring errorText;                     // why the fetch failed; empty when it did not
    };
    // After the job ended: what it read. The file and its folder go.
    Outcome Take();

private:
    std::wstring folder_;
    size_t limit_;
    bool tooLarge_ = false;
    std::shared_ptr<zeb::Download> job_;
};
