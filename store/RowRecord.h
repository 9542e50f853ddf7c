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

// A row's own speed limit in whole KB/s (as the list file keeps it): four
// bytes where the snapshot's bytes per second take eight.
struct LimitKb {
    int32_t kb = 0;
};

// The fields a row keeps, each named as in DownloadInfo: X(type here, name,
// initial value). The record's members and both its conversions come from
// this one list, so a field the row keeps is one line here beside its
// member in DownloadInfo. The order is the record's layout: wide members
// first, so that no padding grows it (see the size check in RowRecord.cpp).
// Not kept: errorKind, hostLimit, declinedLink and the segments, which
// only a job knows and a row without one shows as none.
#define TW_ROW_RECORD_FIELDS(X)                    \
    X(std::wstring, url, )                         \
    X(std::wstring, folder, )                      \
    X(std::wstring, fileName, )                    \
    X(std::wstring, errorText, )                   \
    X(std::wstring, notice, )                      \
    X(std::wstring, expectedChecksum, )            \
    X(Sha256Bytes, sha256, )                       \
    X(int64_t, totalSize, -1)                      \
    X(int64_t, doneBytes, 0)                       \
    X(int64_t, clockOffer, 0)                      \
    X(double, speed, 0.0)                          \
    X(DownloadState, state, DownloadState::Queued) \
    X(int32_t, activeConnections, 0)               \
    X(int32_t, verifyPercent, -1)                  \
    X(int32_t, busySeconds, 0)                     \
    X(LimitKb, speedLimit, )                       \
    X(bool, nameFixed, false)                      \
    X(bool, acceptsRanges, false)                  \
    X(bool, fromLabCache, false)                   \
    X(bool, waitingForHours, false)

struct RowRecord {
    RowRecord() = default;
    explicit RowRecord(DownloadInfo&& info);
    DownloadInfo Info() const;  // without segments

#define TW_ROW_RECORD_MEMBER(type, name, initial) type name{initial};
    TW_ROW_RECORD_FIELDS(TW_ROW_RECORD_MEMBER)
#undef TW_ROW_RECORD_MEMBER
};
