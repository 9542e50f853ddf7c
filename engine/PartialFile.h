// The partial file of one job's run and what its preparation found on
// disk: the open file, the checksums fed from it, and the version and
// progress its state file records. A part of a job (engine/Download.h),
// used by its job thread; the fields marked "state mutex" are also read
// by the workers and the window under the job's state mutex.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/FrontHasher.h"
#include "engine/Validator.h"
#include "store/Handles.h"

namespace zeb {

struct PartialFile {
    FileHandle file;  // open while the job thread runs
    // The checksums fed while this run downloads; none for a start that only renames.
    std::unique_ptr<FrontHasher> hasher;
    // State mutex: the version the partial file holds; a kind the host's
    // answers contradict with the same bytes is forgotten for this download.
    Validator validator;
    uint32_t plainAttempts = 0;    // state mutex: attempts without ranges so far, each from byte 0
    int64_t plainFurthest = 0;     // state mutex: only bytes past an earlier plain attempt's furthest count as progress
    int64_t savedDoneBytes = -1;   // state mutex: progress the last state save recorded
    std::wstring finishedStatePath;  // state mutex: kept beside a finished file until the list records it
    // A wrong checksum's state could not be deleted: the next run starts
    // over instead of verifying the same bytes.
    bool startOver = false;
    bool samplesBeforeResume = false;  // no validator vouched for the resume: samples judge it
    Validator resumeRecorded;          // what the state file recorded of the version
    bool resumeAfterNewLink = false;   // that resume follows Change Link
    // See RequestOptions::sameFileAnyQuery; off once a partial file so taken up held another file.
    bool sameFileAnyQuery = false;
    // The link whose partial file this run took up (judged by its bytes
    // before the workers start), and the name asked for before.
    std::wstring adoptedLink, requestedName;
    // The fetch into the lab cache itself: it never goes through the cache.
    bool intoLabCache = false;
    // The SHA-256 the bytes copied from a lab cache entry must have: checked
    // by the verify pass before the file gets its name.
    std::wstring cacheSum;
};

}  // namespace zeb
