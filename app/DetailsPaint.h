// What the details window shows, as plain functions of a snapshot: the
// fact grid, the connection table's cells and colours, the pause button's
// look by state, the footer and table geometry, and the whole client
// painted into a surface (everything but the blit). Lengths are design
// pixels through Scale; texts follow the language flag of the moment.
#pragma once

#include <windows.h>

#include <array>
#include <vector>
#include <string>

#include "app/Actions.h"
#include "engine/Types.h"

class Surface;


// A finished row with a known SHA-256: the grid's last line and the footer show it.
bool ShowsSha256(const DownloadInfo& info);

// "Download Progress — " and the file name, or the link without one.
std::wstring DetailsTitle(const DownloadInfo& info);

// Queued secondary, Paused amber, Completed green, Failed red, else blue.
COLORREF StateColour(DownloadState state);

// Fact k (0..5): status, size, downloaded, speed, time left, connections.
const wchar_t* FactLabel(int k);
std::wstring FactValue(const DownloadInfo& info, int k, int connectionsSetting);
// Why the connections are fewer than the setting (no ranges, the host's limit); empty when nothing to say.
std::wstring ConnectionsNote(const DownloadInfo& info, int connectionsSetting);

// The six cells of the connection row shown as number `row` + 1.
std::array<std::wstring, 6> ConnectionCells(const Segment& segment, int row);
// The ranges as the window shows them, in order of start: neighbours that
// are both finished, or both not begun and idle, are one (a large file
// comes in hundreds of 4 MiB pieces).
std::vector<Segment> DisplayedRanges(std::vector<Segment> segments);
// With more than one source the table has a host column; with one the
// link above it names the host already.
bool ShowsHosts(const DownloadInfo& info);
// The host a connection reads from, by its source (a dash for none); empty
// without a host column.
std::wstring ConnectionHost(const DownloadInfo& info, const Segment& segment);
// The mirrors dropped this run, on one line; empty when none was.
std::wstring DroppedSourcesLine(const DownloadInfo& info);
// Colour of the state cell: green once complete, blue receiving, amber retrying.
COLORREF ConnectionStateColour(const Segment& segment);

struct PauseButtonLook {
    const wchar_t* caption;
    int icon;
    bool enabled;
};
PauseButtonLook PauseLookFor(DownloadState state);

// Table rows that fit above the footer in a client of height `height`; at least 1.
int DetailsVisibleRows(int height);
// Footer place of button 113, 114, 115, 116 or IDCANCEL in a W x H client.
RECT DetailsButtonRect(int id, int width, int height);

// Steps 1-7 of the window's paint. `info` has its segments sorted by start;
// `firstRow` is clamped to the last full page.
void PaintDetails(Surface& surface, const DownloadInfo& info, int firstRow, int connectionsSetting, int width,
                  int height);
