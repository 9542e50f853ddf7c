#include "store/RowRecord.h"

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

RowRecord::RowRecord(DownloadInfo&& info)
    : url(std::move(info.url)),
      folder(std::move(info.folder)),
      fileName(std::move(info.fileName)),
      errorText(std::move(info.errorText)),
      notice(std::move(info.notice)),
      expectedChecksum(std::move(info.expectedChecksum)),
      sha256(info.sha256),
      totalSize(info.totalSize),
      doneBytes(info.doneBytes),
      clockOffer(info.clockOffer),
      speed(info.speed),
      state(info.state),
      activeConnections(info.activeConnections),
      verifyPercent(info.verifyPercent),
      busySeconds(info.busySeconds),
      nameFixed(info.nameFixed),
      acceptsRanges(info.acceptsRanges) {}

DownloadInfo RowRecord::Info() const {
    return DownloadInfo{.url = url, .folder = folder, .fileName = fileName, .errorText = errorText, .notice = notice,
                        .totalSize = totalSize, .doneBytes = doneBytes, .speed = speed, .state = state,
                        .nameFixed = nameFixed, .acceptsRanges = acceptsRanges, .activeConnections = activeConnections,
                        .expectedChecksum = expectedChecksum, .sha256 = sha256.Hex(), .verifyPercent = verifyPercent, .segments = {},
                        .hostLimit = 0, .busySeconds = busySeconds, .clockOffer = clockOffer};
}
