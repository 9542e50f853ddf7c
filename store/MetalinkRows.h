// The rows a Metalink file becomes: one per file it describes, in the
// folder of the row that named it, joined with the file's own subfolders.
// A plain function of plain data; the list's use of it is MetalinkRows.cpp.
#pragma once

#include <string>
#include <vector>

#include "engine/Download.h"
#include "engine/Metalink.h"
#include "store/DownloadRequest.h"

struct MetalinkRow {
    DownloadRequest request;  // the first link, the name's last segment, the SHA-256
    std::wstring folder;
    zeb::RequestOptions more;  // the other links as mirrors, the piece hashes, the size
};

std::vector<MetalinkRow> MetalinkRowsOf(const zeb::MetalinkResult& read, const std::wstring& folder);
