// A row whose link answers with a Metalink file (by its media type or its
// name) ends at once, nothing written; the list then fetches that file on
// an engine job of its own, looks at it each tick (the window never waits
// for it), reads it and puts a row for each file it describes in the row's
// place. A file that cannot be fetched or read leaves the row failed with
// the reason. UI thread only, as the rest of the list.
#include "store/MetalinkRows.h"

#include <algorithm>

#include "engine/ErrorTexts.h"
#include "engine/Url.h"
#include "store/Lang.h"
#include "store/List.h"

std::vector<MetalinkRow> MetalinkRowsOf(const zeb::MetalinkResult& read, const std::wstring& folder) {
    std::vector<MetalinkRow> rows;
    std::wstring base = folder;
    while (!base.empty() && (base.back() == L'\\' || base.back() == L'/')) base.pop_back();
    for (const zeb::MetalinkFile& file : read.files) {
        if (file.urls.empty()) continue;  // the reader never returns one; a row needs a link
        MetalinkRow row;
        const size_t slash = file.name.find_last_of(L'\\');
        row.folder = slash == std::wstring::npos ? folder : base + L"\\" + file.name.substr(0, slash);
        row.request.url = file.urls.front();
        row.request.fileName = file.name.substr(slash == std::wstring::npos ? 0 : slash + 1);
        row.request.checksum = file.sha256;
        row.more.mirrors.assign(file.urls.begin() + 1, file.urls.end());
        row.more.pieces = {file.pieceLength, file.pieceSha256};
        row.more.expectedSize = file.size;
        rows.push_back(std::move(row));
    }
    return rows;
}

void DownloadList::ReadMetalinkOf(const ListEntry& entry) {
    window_.SetStatus(Tr(L"Đang đọc tệp Metalink: ", L"Reading the Metalink file: ") + zeb::maskPassword(entry.cached.url));
    metalinkReads_.push_back(
        {entry.job, std::make_unique<SmallFetch>(entry.cached.url, zeb::kMaxMetalinkBytes + 1, *settings_.ignoreCertErrors)});
}

void DownloadList::TakeMetalinks() {
    for (size_t k = 0; k < metalinkReads_.size();) {
        if (!metalinkReads_[k].fetch->Ended()) {
            ++k;
            continue;
        }
        const std::shared_ptr<zeb::Download> job = std::move(metalinkReads_[k].row);
        const SmallFetch::Outcome got = metalinkReads_[k].fetch->Take();
        metalinkReads_.erase(metalinkReads_.begin() + static_cast<std::ptrdiff_t>(k));
        const int row = RowOf(job.get());
        // Removed, or tried again meanwhile: its own run decides anew.
        if (row < 0 || job->running() || job->state() != DownloadState::Failed) continue;
        zeb::MetalinkResult read;
        if (got.status == ReadStatus::Truncated) read.fault = zeb::MetalinkFault::TooLarge;
        else if (got.status == ReadStatus::Complete) read = zeb::parseMetalink(got.bytes);
        if (got.status == ReadStatus::Complete && read.ok()) ReplaceWithFiles(row, read);
        else if (got.status == ReadStatus::Complete || got.status == ReadStatus::Truncated) FailMetalinkRow(row, zeb::metalinkErrorText(read));
        else FailMetalinkRow(row, got.errorText.empty() ? zeb::metalinkLinkText() : got.errorText);
    }
}

void DownloadList::ReplaceWithFiles(int row, const zeb::MetalinkResult& read) {
    const RowRecord& named = entries_[static_cast<size_t>(row)].cached;
    const std::vector<MetalinkRow> files = MetalinkRowsOf(read, named.folder);
    // All of them or none: a Metalink half added could not be asked again.
    uint64_t bound = 0;
    for (const MetalinkRow& f : files) bound += ListRowBound(f.request.url, f.folder);
    if (kListHeaderBytes + rowsBound_ - ListRowBound(named.url, named.folder) + bound > listLimit_)
        return FailMetalinkRow(row, ListFullText());
    const std::wstring source = NameOrUrl(named.Info());
    EraseEntry(row);
    Batch batch = OpenBatch();
    const size_t first = entries_.size();
    for (const MetalinkRow& f : files) AddOne(f.request, f.folder, &batch, &f.more);
    // In the place of the row they came from.
    std::rotate(entries_.begin() + row, entries_.begin() + static_cast<std::ptrdiff_t>(first), entries_.end());
    const size_t added = entries_.size() - first;
    for (size_t i = 0; i < added; ++i) entries_[static_cast<size_t>(row) + i].fromMetalink = true;
    liveDirty_ = true;
    DropListText();
    if (added > 0) selection_ = row;
    StartQueued();
    window_.SetStatus(std::to_wstring(added) + Tr(L" tệp từ Metalink đã được thêm: ", L" file(s) added from the Metalink: ") +
                      source);
    FinishAdding(true);
}

void DownloadList::FailMetalinkRow(int row, const std::wstring& text) {
    ListEntry& e = entries_[static_cast<size_t>(row)];
    // A job of its own that says why: the engine's would say only that the
    // link is a Metalink file, and its next snapshot would undo a text set here.
    DownloadInfo info = e.cached.Info();
    info.state = DownloadState::Failed;
    info.errorText = text;
    if (e.job) window_.CloseDetailsIfShowing(e.job.get());
    e.job = std::make_shared<zeb::Download>(info);
    e.cached = RowRecord(e.job->snapshot(false));
    e.lastNotifiedState = DownloadState::Failed;
    e.settled = true;
    liveDirty_ = true;
    signatureDirty_ = true;
    window_.SetStatus(Tr(L"Lỗi: ", L"Failed: ") + NameOrUrl(info) + L" \u2014 " + text);
    window_.RepaintList();
    SaveListIfChanged(false);
}
