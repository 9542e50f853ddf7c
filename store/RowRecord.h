// What the list keeps of each row between its looks at the job: the
// snapshot's fields but its segments, with the SHA-256 as its 32 bytes. At
// 100,000 finished rows (which keep no job) this is most of the program's
// memory, so it holds nothing a row does not show or store.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "engine/Types.h"

// A SHA-256 as bytes: no allocation, where its 64 hex digits in UTF-16 take
// about 150 bytes of heap.
class Sha256Bytes {
public:
    Sha256Bytes() = default;
    explicit Sha256Bytes(const std::wstring& hex);  // none unless 64 hex digits
    std::wstring Hex() const;                        // lower case; empty when none
    bool empty() const { return !present_; }

private:
    std::array<uint8_t, 32> bytes_{};
    bool present_ = false;
};

struct RowRecord {
    RowRecord() = default;
    explicit RowRecord(DownloadInfo&& info);
    DownloadInfo Info() const;  // without segments

    std::wstring url;
    std::wstring folder;
    std::wstring fileName;
    std::wstring errorText;
    std::wstring notice;
    std::wstring expectedChecksum;
    Sha256Bytes sha256;
    int64_t totalSize = -1;
    int64_t doneBytes = 0;
    int64_t clockOffer = 0;  // see DownloadInfo::clockOffer
    double speed = 0.0;
    DownloadState state = DownloadState::Queued;
    int32_t activeConnections = 0;
    int32_t verifyPercent = -1;
    int32_t busySeconds = 0;
    bool nameFixed = false;
    bool acceptsRanges = false;
};
