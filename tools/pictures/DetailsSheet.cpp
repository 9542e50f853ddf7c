// Pictures of the details window's client in its states (not started,
// running with busy and retrying connections, a large file in pieces, a file from three
// servers with one dropped, size unknown, finished, failed), dark and light, Vietnamese and English: the window's own paint
// of a known snapshot, with its three footer buttons painted by the real
// button painter. Writes details-<state>-<theme>-<language>.bmp files; the
// script tools/screenshots.py turns them into PNGs.
//
//   tw_details_sheet <output folder> [dpi]
#include <windows.h>

#include <string>
#include <vector>

#include "SheetKit.h"
#include "app/DetailsPaint.h"
#include "engine/Segments.h"
#include "engine/ErrorTexts.h"
#include "store/Lang.h"
#include "ui/Buttons.h"
#include "ui/Dpi.h"
#include "ui/Fonts.h"
#include "ui/Surface.h"

namespace {
constexpr int64_t kMiB = 1048576;

DownloadInfo Base(const wchar_t* url, const wchar_t* name) {
    DownloadInfo info;
    info.url = url;
    info.folder = L"C:\\Users\\root\\Downloads";
    info.fileName = name;
    return info;
}

struct Shot {
    const wchar_t* name;
    DownloadInfo info;
};

// Built in the language of the moment: the failure's text is the engine's own.
std::vector<Shot> Shots() {
    std::vector<Shot> shots;
    DownloadInfo fresh = Base(L"https://mirror.example/isos/ubuntu-24.04-desktop-amd64.iso", L"");
    fresh.state = DownloadState::Queued;
    shots.push_back({L"not-started", fresh});

    DownloadInfo running = Base(L"https://mirror.example/recovery/windows-recovery.wim", L"windows-recovery.wim");
    running.state = DownloadState::Downloading;
    running.totalSize = 900 * kMiB;
    running.acceptsRanges = true;
    running.activeConnections = 8;
    const int64_t part = running.totalSize / 8;
    for (int i = 0; i < 8; ++i) {
        const int64_t start = i * part, end = i == 7 ? running.totalSize : start + part;
        Segment s = Segment{start, end, start + part * (9 - i) / 10, SegmentState::Receiving, true, 0, 310000.0 + i * 23000};
        if (i == 0) s = Segment{start, end, end, SegmentState::Done, false, 0, 0};
        if (i == 3) s = Segment{start, end, start + part / 3, SegmentState::Retrying, true, 3, 0};
        if (i == 5) s = Segment{start, end, start + part / 2, SegmentState::Connecting, true, 1, 0};
        if (i == 6) s = Segment{start, end, start + part / 4, SegmentState::Idle, false, 0, 0};
        running.segments.push_back(s);
    }
    // A finished connection took over the second half of the last range.
    Segment& last = running.segments.back();
    const int64_t mid = last.start + (last.end - last.start) * 3 / 4, end = last.end;
    last.end = mid;
    running.segments.push_back(Segment{mid, end, mid + kMiB * 5, SegmentState::Receiving, true, 0, 280000});
    for (const Segment& s : running.segments) {
        running.doneBytes += s.pos - s.start;
        running.speed += s.speed;
    }
    shots.push_back({L"running", running});

    // A large file in 4 MiB pieces handed out in order: finished from the start,
    // eight pieces coming, the rest waiting (as the window shows them, merged).
    DownloadInfo pieces = Base(L"https://mirror.example/images/install.esd", L"install.esd");
    pieces.state = DownloadState::Downloading;
    pieces.totalSize = 1024 * kMiB;
    pieces.acceptsRanges = true;
    pieces.activeConnections = 8;
    std::vector<Segment> table = zeb::planSegments(pieces.totalSize, true, 8);
    for (size_t i = 0; i < table.size() && i < 98; ++i) {
        Segment& p = table[i];
        const bool coming = i >= 90;
        p.pos = coming ? p.start + static_cast<int64_t>(i - 89) * 450000 : p.end;
        p.state = coming ? SegmentState::Receiving : SegmentState::Done;
        p.busy = coming;
        p.speed = coming ? 3100000 : 0;
        pieces.doneBytes += p.pos - p.start;
        pieces.speed += p.speed;
    }
    pieces.segments = DisplayedRanges(std::move(table));
    shots.push_back({L"pieces", pieces});
    // A host that refused all but two connections.
    DownloadInfo limited = pieces;
    limited.activeConnections = 2;
    limited.hostLimit = 2;
    shots.push_back({L"host-limit", limited});
    // Its own limit beside what it does.
    DownloadInfo own = pieces;
    own.speedLimit = 512 * 1024;
    shots.push_back({L"own-limit", own});

    // Three servers, one of them dropped this run: each connection names its host.
    DownloadInfo mirrored = Base(L"https://releases.example/debian/debian-12.8.0-amd64-DVD-1.iso", L"debian-12.8.0-amd64-DVD-1.iso");
    mirrored.state = DownloadState::Downloading;
    mirrored.totalSize = 3900 * kMiB;
    mirrored.acceptsRanges = true;
    mirrored.activeConnections = 6;
    mirrored.sourceHosts = {L"releases.example", L"ftp.mirror-one.example", L"mirror.campus-network.example"};
    mirrored.sourceNotes = {zeb::sourceDroppedText(L"mirror.campus-network.example", zeb::httpStatusText(404))};
    const int64_t share = mirrored.totalSize / 8;
    for (int i = 0; i < 8; ++i) {
        const int64_t start = i * share, end = i == 7 ? mirrored.totalSize : start + share;
        Segment s{start, end, start + share * (8 - i) / 12, SegmentState::Receiving, true, 0, 2400000.0 + i * 170000};
        s.source = static_cast<int8_t>(i % 2);
        if (i == 0) s = Segment{start, end, end, SegmentState::Done, false, 0, 0};
        if (i == 6) s = Segment{start, end, start + share / 5, SegmentState::Retrying, true, 1, 0, 1};
        if (i == 7) s = Segment{start, end, start, SegmentState::Idle, false, 0, 0};
        mirrored.segments.push_back(s);
        mirrored.doneBytes += s.pos - s.start;
        mirrored.speed += s.speed;
    }
    shots.push_back({L"mirrors", mirrored});

    DownloadInfo unknown = Base(L"https://logs.example/collect?host=pe-01&format=tar", L"logs-collected.tar");
    unknown.state = DownloadState::Downloading;
    unknown.activeConnections = 1;
    unknown.segments = {Segment{0, INT64_MAX, 37 * kMiB + 123456, SegmentState::Receiving, true, 0, 402000}};
    unknown.doneBytes = unknown.segments[0].pos;
    unknown.speed = 402000;
    shots.push_back({L"unknown-size", unknown});

    DownloadInfo done = Base(L"https://tools.example/hiren-boot.zip", L"hiren-boot.zip");
    done.state = DownloadState::Completed;
    done.totalSize = done.doneBytes = 3200 * kMiB;
    done.acceptsRanges = true;
    for (int i = 0; i < 8; ++i) done.segments.push_back(Segment{i * 400 * kMiB, (i + 1) * 400 * kMiB, (i + 1) * 400 * kMiB,
                                                            SegmentState::Done, false, 0, 0});
    shots.push_back({L"finished", done});
    done.sha256 = L"3f5c1e9a7b2d4c6e8f0a1b3c5d7e9f2a4b6c8d0e1f3a5b7c9d2e4f6a8b0c1d3e";
    shots.push_back({L"finished-sha256", done});
    done.fromLabCache = true;  // copied from the room's cache, not the server
    shots.push_back({L"finished-lab-cache", done});

    DownloadInfo failed = Base(L"https://drivers.example/chipset/intel-chipset-10.1.19444.exe", L"intel-chipset-10.1.19444.exe");
    failed.state = DownloadState::Failed;
    failed.totalSize = 6 * kMiB;
    failed.errorText = zeb::httpStatusText(404);
    shots.push_back({L"failed", failed});
    return shots;
}

// The window's client: the paint, then the footer buttons where the window puts them.
Surface Client(HWND parent, const DownloadInfo& info) {
    const int W = Scale(680), H = Scale(520);
    Surface s = SurfaceCreate(W, H);
    PaintDetails(s, info, 0, 8, W, H);
    GdiFlush();
    const PauseButtonLook look = PauseLookFor(info.state);
    struct Button {
        int id;
        const wchar_t* caption;
        ButtonStyle style;
        bool enabled;
    };
    std::vector<Button> buttons = {
        {kPauseButtonId, look.caption, {ButtonKind::Normal, look.icon, 3, 3, false}, look.enabled},
        {kCopyLinkButtonId, Tr(L"Sao chép liên kết", L"Copy Link"), {ButtonKind::Normal, 21, 3, 3, false}, true},
        ShowsSha256(info)
            ? Button{kCopySha256ButtonId, Tr(L"Sao chép SHA-256", L"Copy SHA-256"), {ButtonKind::Normal, 21, 3, 3, false}, true}
            : Button{kChangeLinkButtonId, Tr(L"Đổi liên kết…", L"Change Link…"), {ButtonKind::Normal, 38, 3, 3, false}, true},
        {IDCANCEL, Tr(L"Đóng", L"Close"), {ButtonKind::Accent, 0, 3, 3, false}, true},
    };
    if (info.state != DownloadState::Completed)
        buttons.push_back({kLimitSpeedButtonId, Tr(L"Giới hạn tốc độ…", L"Limit speed…"), {ButtonKind::Normal, 0, 2, 2, false}, true});
    for (const Button& b : buttons) {
        HWND button = CreateStyledButton(parent, b.id, b.caption, b.style);
        const RECT r = DetailsButtonRect(b.id, W, H);
        PaintButtonAt(s, button, b.enabled ? 0 : ODS_DISABLED, r.left, r.top, r.right - r.left, r.bottom - r.top);
        DestroyWindow(button);
    }
    return s;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const std::wstring folder = argv[1];
    SetCurrentDpi(argc > 2 ? _wtoi(argv[2]) : 96);
    BuildFonts();
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    const std::wstring suffix = CurrentDpi() == 96 ? L"" : L"-" + std::to_wstring(CurrentDpi());
    bool ok = true;
    for (bool dark : {true, false}) {
        SetDarkTheme(dark);
        for (bool vi : {true, false}) {
            SetVietnamese(vi);
            for (const Shot& shot : Shots()) {
                const std::wstring path = folder + L"\\details-" + shot.name + (dark ? L"-dark" : L"-light") +
                                          (vi ? L"-vi" : L"-en") + suffix + L".bmp";
                ok = WriteBmp(path.c_str(), Client(parent, shot.info)) && ok;
            }
        }
    }
    DestroyWindow(parent);
    return ok ? 0 : 1;
}
