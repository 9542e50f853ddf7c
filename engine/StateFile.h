// The resume state file's text: which byte ranges of the partial file are
// already on disk. Built and read here as plain text; the job writes and
// reads the file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/Types.h"
#include "engine/Validator.h"

namespace zeb {

// "ZEBSTATE 1", "url=" (the link without user information: no password
// beside a download), "total=", "etag=", "modified=" and one
// "seg=start,end,pos" line per range in order of start, adjacent finished
// ranges merged into one line; CR LF.
std::string buildStateText(const std::wstring& url, int64_t totalSize, std::vector<Segment> segments,
                           const Validator& validator = {});

// The segments a state text records for this link (compared without user
// information, so files written with it still match) and total, checked to
// cover 0..total without gap or overlap; nothing when anything is off. The
// validator it recorded goes to `recorded` (empty in files written before
// validators were kept).
std::optional<std::vector<Segment>> parseStateText(const std::string& text, const std::wstring& url,
                                                   int64_t expectedTotal, Validator* recorded = nullptr);

// The segments a state text records for this link at the total it records.
std::optional<std::vector<Segment>> recordedSegments(const std::string& text, const std::wstring& url,
                                                     Validator* recorded = nullptr);

// A finished download's state, written before its rename and kept until
// the list has recorded the finish: every byte done, plus "final=" (the name
// the file goes to) and "sha256=" (lines older readers skip). A kill between
// the rename and the list's save then neither fetches the file again nor
// leaves a numbered copy.
std::string finishedStateText(const std::wstring& url, int64_t total, const Validator& validator,
                              const std::wstring& finalName, const std::wstring& sha256);

struct FinishedState {
    int64_t total = 0;
    std::wstring finalName;  // a plain file name, or empty (not renamed yet or not said)
    std::wstring sha256;     // 64 lowercase hex digits, or empty
};

// What a state text for this link whose ranges are all done says of the
// finish: a finished download whose rename or list record may not have
// happened yet.
std::optional<FinishedState> finishedState(const std::string& text, const std::wstring& url);

}  // namespace zeb
