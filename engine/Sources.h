// The servers one file comes from: the row's link and its mirrors (a
// Metalink's links, tab-separated links of a list, the duplicates an answer
// names in its Link headers). Connections are spread over the sound ones; a
// mirror that fails is dropped for this file, and the file fails only when
// none is left. Plain data; the job guards it with its state mutex.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zeb {

// The publisher's hashes of a file's pieces: piece k is bytes
// [k * length, (k + 1) * length) (the last one shorter).
struct PieceHashes {
    int64_t length = 0;                // 0: none
    std::vector<std::wstring> sha256;  // lower-case hex, one per piece
    bool empty() const { return length <= 0 || sha256.empty(); }
    // The piece of `offset` and its bounds in a file of `total` bytes.
    size_t pieceOf(int64_t offset) const { return static_cast<size_t>(offset / length); }
    int64_t pieceEnd(size_t piece, int64_t total) const;
    // Whether they fit a file of `total` bytes: one hash per piece.
    bool fit(int64_t total) const;
};

// At most this many mirrors come from an answer's Link headers, and this
// many sources serve one file (the preferred ones).
constexpr size_t kMaxHeaderMirrors = 10;
constexpr size_t kMostSources = 64;

struct Source {
    // Source 0 is the row's link (its address may move with redirects and
    // renewals); the others are mirrors: no password, cookies or referer,
    // and no validator of the link's host means anything to them.
    std::wstring url;
    bool dropped = false;
    int connections = 0;  // workers on it now
};

class SourceSet {
public:
    // The link and its mirrors (duplicates of the link and of each other left out).
    void assign(const std::wstring& link, const std::vector<std::wstring>& mirrors);
    // A mirror an answer names: added unless known or the header cap is reached.
    void addFromHeader(const std::wstring& url);
    const std::vector<Source>& all() const { return sources_; }
    Source& at(size_t i) { return sources_[i]; }
    size_t size() const { return sources_.size(); }
    bool several() const { return sources_.size() > 1; }
    // The sound source with the fewest connections (the first on a tie);
    // -1 when every one is dropped. `sole`: only that source may serve (a
    // repair that asks one mirror at a time); -1: any.
    int pick(int sole = -1) const;
    // Moves a worker from `from` (-1: none) to `to`.
    void move(int from, int to);
    // Drops source `i`: false when it was dropped already.
    bool drop(size_t i);

private:
    std::vector<Source> sources_;
    size_t fromHeaders_ = 0;
};

// What the file beside a partial file (".zebmeta") keeps of its mirrors
// and the publisher's word, read back at a resume: the list keeps only the
// row's link and checksum.
struct SourcesMeta {
    std::vector<std::wstring> mirrors;
    PieceHashes pieces;
    int64_t size = -1;
    bool empty() const { return mirrors.empty() && pieces.empty() && size < 0; }
};
std::string sourcesMetaText(const SourcesMeta& meta);
// "name.zebmeta" beside "name.zebpart".
std::wstring sourcesMetaPath(const std::wstring& partPath);
// False for a text this program did not write whole (then it is ignored).
bool parseSourcesMeta(const std::string& text, SourcesMeta& out);

}  // namespace zeb
