// "downloads.lst": one section per row, in list order, with what is needed
// to show the row again and resume it. The text is built and read here as
// plain data; the list writes it whenever its signature changes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/Types.h"
#include "store/RowRecord.h"

namespace zeb {
class Download;
}

struct ListFileContent {
    std::vector<DownloadInfo> records;
    // The file was not read whole (cut at the size limit or by a read
    // error), did not start with the magic, or rows were set aside: rows
    // may be missing, so the original must be kept before anything is
    // written over it.
    bool damaged = false;
    // Rows not loaded as they were written: dropped (no usable link or no
    // folder, an unfinished link repeated, cut short) or holding a line the
    // reader could not read.
    size_t setAside = 0;
};

// The file's bytes for these rows (each job's fresh snapshot). Error texts
// are cut at kStoredErrorUnits.
std::string ListFileText(const std::vector<DownloadInfo>& rows);
// The magic line, then one section per row appended in list order.
constexpr char kListMagicLine[] = "ZEBLIST 1\r\n";
void AppendListSection(std::string& text, const DownloadInfo& row);
void AppendListSection(std::string& text, const RowRecord& row);

constexpr size_t kStoredErrorUnits = 300;
// A row's own speed limit, in KB/s as the list keeps it: at most what the
// program-wide limit takes.
constexpr int64_t kMaxRowLimitKb = 2147483647;

// The most bytes the section of a row with this link and folder can ever
// take: its name and error text may still come, so they count at their
// longest. The sum over the rows bounds the file's size.
size_t ListRowBound(const std::wstring& url, const std::wstring& folder);
// The magic line's bytes.
constexpr size_t kListHeaderBytes = 11;

// Rows of a list file's bytes. When `complete` is false the last section
// may be cut short and is dropped.
ListFileContent ParseListFile(const std::string& data, bool complete);

// A stored name is trusted as settled only when it names a plain file in
// its folder: no separators, no drive or stream colon, not "." or "..".
bool IsPlainFileName(const std::wstring& name);

// Reads the file at `path` (its rows in file order, as stored).
ListFileContent ReadListFile(const std::wstring& path);

// Writes fresh snapshots of the jobs atomically; false when the write failed.
bool WriteListFile(const std::wstring& path, const std::vector<std::shared_ptr<zeb::Download>>& jobs);

// Keeps the current file as "<path>.bak", or "<path>.bak2", ".bak3"... when
// earlier copies exist: a copy is never replaced. The copy's path, or empty
// when none was made.
std::wstring BackUpListFile(const std::wstring& path);
