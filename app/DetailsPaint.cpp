#include "app/DetailsPaint.h"
#include "engine/Credentials.h"
#include "engine/ErrorTexts.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>

#include "app/RowText.h"
#include "store/Format.h"
#include "store/Lang.h"
#include "ui/Colors.h"
#include "ui/Dpi.h"
#include "ui/ScrollBar.h"
#include "ui/Surface.h"

namespace {
constexpr int64_t kOpenEnd = INT64_MAX;
constexpr wchar_t kDash[] = L"\u2014";
constexpr UINT kCentred = DT_CENTER | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;

constexpr BilingualText kFactLabels[6] = {
    {L"Trạng thái", L"Status"}, {L"Kích thước", L"Size"},         {L"Đã tải", L"Downloaded"},
    {L"Tốc độ", L"Speed"},      {L"Thời gian còn lại", L"Time left"}, {L"Kết nối", L"Connections"},
};
constexpr BilingualText kTableHeader[6] = {
    {L"#", L"#"}, {L"Phạm vi", L"Range"}, {L"Đã tải", L"Downloaded"}, {L"%", L"%"}, {L"Tốc độ", L"Speed"},
    {L"Trạng thái", L"Status"},
};

bool Moving(DownloadState s) { return s == DownloadState::Connecting || s == DownloadState::Downloading; }
bool Complete(const Segment& s) { return s.pos >= s.end; }

std::wstring StateCellText(const Segment& s) {
    switch (s.state) {
        case SegmentState::Connecting: return Tr(L"Đang kết nối", L"Connecting");
        case SegmentState::Receiving: return Tr(L"Đang nhận", L"Receiving");
        case SegmentState::Retrying: return Tr(L"Thử lại lần ", L"Retry #") + std::to_wstring(s.retries);
        case SegmentState::Done: return Tr(L"Hoàn tất", L"Done");
        default: return Complete(s) ? Tr(L"Hoàn tất", L"Done") : Tr(L"Chờ", L"Waiting");
    }
}

// Edges of the table's seven column boundaries for a right edge R.
std::array<int, 7> ColumnEdges(int R) {
    return {Scale(20), Scale(60), R - Scale(330), R - Scale(230), R - Scale(170), R - Scale(90), R};
}

// With mirrors: the same columns with the host's before the range; the
// number, the count and the percentage give it room, and a range of two
// "999.9 MB" sizes still fits whole. Its left edge is edge 1 here.
std::array<int, 7> ColumnEdgesWithHosts(int R) {
    return {Scale(20), R - Scale(460), R - Scale(320), R - Scale(230), R - Scale(175), R - Scale(90), R};
}
constexpr int kHostColumnLeft = 50;  // design pixels: the number column narrowed

void PaintMap(Surface& s, const DownloadInfo& info, int W) {
    const RECT box{Scale(20), Scale(164), W - Scale(20), Scale(204)};
    SurfaceRoundRect(s, box, Scale(8), PaletteColor(9), PaletteColor(6), 255, 255);
    RECT inner = box;
    InflateRect(&inner, -Scale(4), -Scale(4));
    if (info.state == DownloadState::Completed) {
        SurfaceRoundRect(s, inner, Scale(5), kGreen, NoColor, 255, 255);
        return;
    }
    const wchar_t* message = info.segments.empty() ? Tr(L"Hiển thị khi mục bắt đầu tải.", L"Shown once the download has started.")
                             : info.totalSize < 1
                                 ? Tr(L"Máy chủ không cho biết kích thước tệp.", L"The server did not announce the file size.")
                                 : nullptr;
    if (message) {
        SurfaceText(s, message, inner, 2, PaletteColor(8), kCentred);
        return;
    }
    const double total = static_cast<double>(info.totalSize);
    const double w = inner.right - inner.left;
    // A position past the announced total would run into the border.
    const auto at = [&](int64_t offset) {
        return std::min<int>(inner.right, inner.left + static_cast<int>(static_cast<double>(offset) / total * w));
    };
    for (const Segment& seg : info.segments) {
        const int a = at(seg.start), b = at(seg.pos);
        if (a < b) SurfaceFill(s, RECT{a, inner.top, b, inner.bottom}, Complete(seg) ? kGreen : kBlue);
        if (!Complete(seg) && seg.busy)
            SurfaceFill(s, RECT{b, inner.top, std::min<int>(b + Scale(2), inner.right), inner.bottom}, kAmber);
        if (a > inner.left) SurfaceFill(s, RECT{a, inner.top, a + Scale(1), inner.bottom}, PaletteColor(9));
    }
}

void PaintTable(Surface& s, const DownloadInfo& info, int firstRow, int W, int H) {
    const int rows = static_cast<int>(info.segments.size());
    const int visible = DetailsVisibleRows(H);
    const int R = W - (visible < rows ? Scale(10) : 0) - Scale(20);
    // With mirrors each connection's host has a column of its own.
    const bool hosts = ShowsHosts(info);
    const std::array<int, 7> edge = hosts ? ColumnEdgesWithHosts(R) : ColumnEdges(R);
    const auto cell = [&](int k, int y) {
        const int right = hosts && k == 0 ? Scale(kHostColumnLeft) : edge[k + 1];
        return RECT{edge[k], y, right - Scale(6), y + Scale(22)};
    };
    const auto hostCell = [&](int y) { return RECT{Scale(kHostColumnLeft), y, edge[1] - Scale(6), y + Scale(22)}; };
    for (int k = 0; k < 6; ++k) SurfaceText(s, kTableHeader[k].get(), cell(k, Scale(236)), 1, PaletteColor(8), kLabelFlags);
    if (hosts) SurfaceText(s, Tr(L"Máy chủ", L"Host"), hostCell(Scale(236)), 1, PaletteColor(8), kLabelFlags);
    SurfaceFill(s, RECT{Scale(20), Scale(257), R, Scale(258)}, PaletteColor(6));
    ScrollBarState scroll;
    scroll.content = rows;
    scroll.page = visible;
    scroll.position = std::clamp(firstRow, 0, ScrollMax(scroll));
    for (int i = 0; i < visible && scroll.position + i < rows; ++i) {
        const int r = scroll.position + i;
        const Segment& seg = info.segments[static_cast<size_t>(r)];
        const std::array<std::wstring, 6> cells = ConnectionCells(seg, r);
        const int y = Scale(258) + i * Scale(22);
        for (int k = 0; k < 5; ++k) SurfaceText(s, cells[k], cell(k, y), 2, PaletteColor(k == 0 ? 8 : 7), kLabelFlags);
        if (hosts) SurfaceText(s, ConnectionHost(info, seg), hostCell(y), 2, PaletteColor(7), kLabelFlags);
        SurfaceText(s, cells[5], cell(5, y), 3, ConnectionStateColour(seg), kLabelFlags);
    }
    ScrollBarDraw(scroll, s, RECT{W - Scale(20) - Scale(6), Scale(236) + Scale(22) + Scale(2), W - Scale(20),
                                  H - Scale(64) - Scale(12)});
}
}  // namespace

std::vector<Segment> DisplayedRanges(std::vector<Segment> segments) {
    std::stable_sort(segments.begin(), segments.end(), [](const Segment& a, const Segment& b) { return a.start < b.start; });
    const auto finished = [](const Segment& s) { return s.pos >= s.end; };
    const auto waiting = [](const Segment& s) { return s.pos == s.start && !s.busy && s.pos < s.end; };
    std::vector<Segment> shown;
    for (const Segment& s : segments) {
        if (!shown.empty() && shown.back().end == s.start &&
            ((finished(shown.back()) && finished(s)) || (waiting(shown.back()) && waiting(s)))) {
            Segment& last = shown.back();
            last.end = s.end;
            if (finished(s)) last.pos = s.end;
            last.retries += s.retries;
            if (last.source != s.source) last.source = -1;  // one range, several servers: none to name
            continue;
        }
        shown.push_back(s);
    }
    return shown;
}

std::wstring DetailsTitle(const DownloadInfo& info) {
    return Tr(L"Chi tiết tiến độ — ", L"Download Progress — ") + (info.fileName.empty() ? zeb::maskPassword(info.url) : info.fileName);
}

COLORREF StateColour(DownloadState state) {
    switch (state) {
        case DownloadState::Queued: return PaletteColor(8);
        case DownloadState::Paused: return kAmber;
        case DownloadState::Completed: return kGreen;
        case DownloadState::Failed: return kRed;
        default: return kBlue;
    }
}

bool ShowsSha256(const DownloadInfo& info) { return info.state == DownloadState::Completed && !info.sha256.empty(); }

const wchar_t* FactLabel(int k) { return k >= 0 && k < 6 ? kFactLabels[k].get() : L""; }

std::wstring FactValue(const DownloadInfo& info, int k, int connectionsSetting) {
    switch (k) {
        case 0:
            if (info.state == DownloadState::Failed) return StatusLabel(info.state) + L" — " + info.errorText;
            if (info.verifyPercent >= 0) return StatusLabel(info.state) + L" — " + VerifyingText(info.verifyPercent);
            if (!info.notice.empty() && info.state != DownloadState::Completed)
                return StatusLabel(info.state) + L" — " + info.notice;
            return StatusLabel(info.state);
        case 1: return FormatSize(info.totalSize);
        case 2: return FormatSize(info.doneBytes);
        case 3:
            if (info.speedLimit > 0)  // its own limit beside what it does
                return (Moving(info.state) ? FormatSpeed(info.speed) : kDash) + L" (\u2264 " + FormatSpeed(static_cast<double>(info.speedLimit)) + L")";
            return Moving(info.state) ? FormatSpeed(info.speed) : kDash;
        case 4: {
            const std::wstring left = FormatTimeLeft(info);
            return Moving(info.state) && !left.empty() ? left : kDash;
        }
        case 5: return std::to_wstring(info.activeConnections) + L" / " + std::to_wstring(connectionsSetting);
        default: return {};
    }
}

std::wstring ConnectionsNote(const DownloadInfo& info, int connectionsSetting) {
    if (info.state == DownloadState::Downloading && !info.acceptsRanges)
        return Tr(L"máy chủ không hỗ trợ tải tiếp", L"server has no resume support");
    if (info.hostLimit > 0 && info.hostLimit < connectionsSetting) return ServerAllowsText(info.hostLimit);
    return {};
}

std::array<std::wstring, 6> ConnectionCells(const Segment& s, int row) {
    std::array<std::wstring, 6> cells;
    cells[0] = std::to_wstring(row + 1);
    cells[1] = FormatSize(s.start) + L" \u2013 " + (s.end == kOpenEnd ? std::wstring(L"?") : FormatSize(s.end));
    cells[2] = FormatSize(s.pos - s.start);
    if (s.end != kOpenEnd && s.end - s.start > 0) {
        wchar_t percent[32];
        std::swprintf(percent, 32, L"%lld%%", static_cast<long long>((s.pos - s.start) * 100 / (s.end - s.start)));
        cells[3] = percent;
    }
    cells[4] = s.state == SegmentState::Receiving ? FormatSpeed(s.speed) : kDash;
    cells[5] = StateCellText(s);
    return cells;
}

bool ShowsHosts(const DownloadInfo& info) { return info.sourceHosts.size() > 1; }

std::wstring ConnectionHost(const DownloadInfo& info, const Segment& s) {
    if (!ShowsHosts(info)) return {};
    if (s.source < 0 || static_cast<size_t>(s.source) >= info.sourceHosts.size()) return kDash;
    return info.sourceHosts[static_cast<size_t>(s.source)];
}

std::wstring DroppedSourcesLine(const DownloadInfo& info) {
    std::wstring line;
    for (const std::wstring& note : info.sourceNotes) line += (line.empty() ? L"" : L"   \u00B7   ") + note;
    return line;
}

COLORREF ConnectionStateColour(const Segment& s) {
    if (Complete(s)) return kGreen;
    if (s.state == SegmentState::Receiving) return kBlue;
    if (s.state == SegmentState::Retrying) return kAmber;
    return PaletteColor(8);
}

PauseButtonLook PauseLookFor(DownloadState state) {
    switch (state) {
        case DownloadState::Paused: return {Tr(L"Tiếp tục", L"Resume"), 17, true};
        case DownloadState::Completed: return {Tr(L"Tiếp tục", L"Resume"), 17, false};
        case DownloadState::Failed: return {Tr(L"Thử lại", L"Retry"), 11, true};
        default: return {Tr(L"Tạm dừng", L"Pause"), 34, true};
    }
}

int DetailsVisibleRows(int H) {
    return std::max(1, (H - Scale(22) - Scale(236) - Scale(12) - Scale(64)) / Scale(22));
}

RECT DetailsButtonRect(int id, int W, int H) {
    const int top = H - Scale(64) + (Scale(64) - Scale(34)) / 2;
    const auto at = [&](int x, int width) { return RECT{x, top, x + width, top + Scale(34)}; };
    switch (id) {
        case kPauseButtonId: return at(Scale(20), Scale(130));
        case kCopyLinkButtonId: return at(Scale(20) + Scale(138), Scale(170));
        case kChangeLinkButtonId:
        case kCopySha256ButtonId: return at(Scale(20) + Scale(138) + Scale(178), Scale(170));
        case kLimitSpeedButtonId:  // at the end of the segment map's heading, over the map's right edge
            return RECT{W - Scale(20) - Scale(150), Scale(140), W - Scale(20), Scale(161)};
        default: return at(W - Scale(20) - Scale(110), Scale(110));
    }
}

void PaintDetails(Surface& s, const DownloadInfo& info, int firstRow, int connectionsSetting, int W, int H) {
    SurfaceFill(s, RECT{0, 0, W, H}, PaletteColor(2));
    SurfaceFill(s, RECT{0, H - Scale(64), W, H}, PaletteColor(3));
    SurfaceFill(s, RECT{0, H - Scale(64), W, H - Scale(63)}, PaletteColor(6));
    SurfaceText(s, info.fileName.empty() ? zeb::maskPassword(info.url) : info.fileName, RECT{Scale(20), Scale(16), W - Scale(20), Scale(40)}, 6,
                PaletteColor(7), kPathFlags);
    SurfaceText(s, zeb::maskPassword(info.url), RECT{Scale(20), Scale(42), W - Scale(20), Scale(60)}, 2, PaletteColor(8), kLabelFlags);
    const int c = (W - Scale(40)) / 2;
    const bool sha = ShowsSha256(info);
    // A finished file has no speed: where its bytes came from, when not the server.
    const bool source = info.fromLabCache && info.state == DownloadState::Completed;
    for (int k = 0; k < (sha ? 4 : 6); ++k) {
        const int x = Scale(20) + (k % 2) * c, y = Scale(70) + (k / 2) * Scale(22);
        const bool sourceFact = source && k == 3;
        SurfaceText(s, sourceFact ? std::wstring(Tr(L"Nguồn", L"Source")) : std::wstring(FactLabel(k)),
                    RECT{x, y, x + Scale(118), y + Scale(22)}, 2, PaletteColor(8), kLabelFlags);
        SurfaceText(s, sourceFact ? zeb::fromLabCacheText() : FactValue(info, k, connectionsSetting),
                    RECT{x + Scale(118), y, x + c - Scale(10), y + Scale(22)}, 3,
                    k == 0 ? StateColour(info.state) : PaletteColor(7), kLabelFlags);
        // Why fewer connections run than were set: a line of its own below.
        if (k == 5)
            SurfaceText(s, ConnectionsNote(info, connectionsSetting), RECT{x + Scale(118), y + Scale(20), x + c - Scale(10), y + Scale(38)},
                        2, PaletteColor(8), kLabelFlags);
    }
    if (sha) {
        // Time left and connections say nothing of a finished file; the
        // 64 digits need the whole line.
        const int y = Scale(70) + 2 * Scale(22);
        SurfaceText(s, L"SHA-256", RECT{Scale(20), y, Scale(20) + Scale(118), y + Scale(22)}, 2, PaletteColor(8), kLabelFlags);
        SurfaceText(s, info.sha256, RECT{Scale(20) + Scale(118), y, W - Scale(20), y + Scale(22)}, 3, PaletteColor(7),
                    kLabelFlags);
    }
    SurfaceText(s, Tr(L"BẢN ĐỒ ĐOẠN TẢI", L"SEGMENT MAP"), RECT{Scale(20), Scale(144), W - Scale(20), Scale(160)}, 1,
                PaletteColor(8), kLabelFlags);
    PaintMap(s, info, W);
    // Between the map and the table: the mirrors dropped this run.
    SurfaceText(s, DroppedSourcesLine(info), RECT{Scale(20), Scale(208), W - Scale(20), Scale(230)}, 2, kAmber, kLabelFlags);
    PaintTable(s, info, firstRow, W, H);
}
