#include "store/RowRecord.h"

#include <algorithm>

#include "store/ListFile.h"
#include "store/Text.h"

Sha256Bytes::Sha256Bytes(const std::wstring& hex) {
    if (hex.size() != 64) return;
    for (size_t i = 0; i < bytes_.size(); ++i) {
        const int high = HexValue(hex[2 * i]), low = HexValue(hex[2 * i + 1]);
        if (high < 0 || low < 0) return;
        bytes_[i] = static_cast<uint8_t>(high << 4 | low);
    }
    present_ = true;
}

std::wstring Sha256Bytes::Hex() const {
    if (!present_) return {};
    return LowerHex(bytes_.data(), bytes_.size());
}

namespace {
// A field into the record and back; the SHA-256 changes form on the way.
template <class T>
void Keep(T& kept, T&& given) {
    kept = std::move(given);
}
void Keep(Sha256Bytes& kept, std::wstring&& given) { kept = Sha256Bytes(given); }
template <class T>
void Give(T& given, const T& kept) {
    given = kept;
}
void Give(std::wstring& given, const Sha256Bytes& kept) { given = kept.Hex(); }
void Keep(LimitKb& kept, int64_t&& given) {
    kept.kb = static_cast<int32_t>(std::clamp<int64_t>(given / 1024, 0, kMaxRowLimitKb));
}
void Give(int64_t& given, const LimitKb& kept) { given = int64_t{kept.kb} * 1024; }
}  // namespace

// 100,000 finished rows are most of the program's memory: a field kept,
// or one out of its place in the list, must not grow every row unnoticed.
static_assert(sizeof(RowRecord) <= 288, "RowRecord grew");
// A field added to DownloadInfo changes its size: whether a row keeps it
// (a line in TW_ROW_RECORD_FIELDS) is decided here, with this size. Where
// a run's bytes came from (the lab cache) is kept in memory only: the list
// file has no line for it, which older readers would take for a damaged row.
// A run's sources and the lines of the mirrors it dropped are not kept:
// they belong to the run, and the details window asks the running job.
static_assert(sizeof(DownloadInfo) == 424, "DownloadInfo changed: does the row keep the new field?");

RowRecord::RowRecord(DownloadInfo&& info) {
#define TW_KEEP_FIELD(type, name, initial) Keep(name, std::move(info.name));
    TW_ROW_RECORD_FIELDS(TW_KEEP_FIELD)
#undef TW_KEEP_FIELD
}

DownloadInfo RowRecord::Info() const {
    DownloadInfo info;
#define TW_GIVE_FIELD(type, name, initial) Give(info.name, name);
    TW_ROW_RECORD_FIELDS(TW_GIVE_FIELD)
#undef TW_GIVE_FIELD
    return info;
}
