#include "engine/Sources.h"

#include <algorithm>
#include <optional>

#include "engine/StrictNumber.h"
#include "store/FileServices.h"
#include "store/Text.h"

namespace zeb {

int64_t PieceHashes::pieceEnd(size_t piece, int64_t total) const {
    const int64_t end = (static_cast<int64_t>(piece) + 1) * length;
    return total >= 0 ? std::min(end, total) : end;
}

bool PieceHashes::fit(int64_t total) const {
    return !empty() && total > 0 && static_cast<int64_t>(sha256.size()) == (total + length - 1) / length;
}

void SourceSet::assign(const std::wstring& link, const std::vector<std::wstring>& mirrors) {
    sources_.clear();
    fromHeaders_ = 0;
    sources_.push_back({link});
    for (const std::wstring& url : mirrors) {
        if (sources_.size() + kMaxHeaderMirrors >= kMostSources) break;  // room left for the headers' own
        if (std::none_of(sources_.begin(), sources_.end(), [&](const Source& s) { return s.url == url; }))
            sources_.push_back({url});
    }
}

void SourceSet::addFromHeader(const std::wstring& url) {
    if (fromHeaders_ >= kMaxHeaderMirrors) return;
    if (std::any_of(sources_.begin(), sources_.end(), [&](const Source& s) { return s.url == url; })) return;
    sources_.push_back({url});
    ++fromHeaders_;
}

int SourceSet::pick(int sole) const {
    int best = -1;
    for (size_t i = 0; i < sources_.size(); ++i) {
        if (sources_[i].dropped || (sole >= 0 && static_cast<int>(i) != sole)) continue;
        if (best < 0 || sources_[i].connections < sources_[static_cast<size_t>(best)].connections) best = static_cast<int>(i);
    }
    return best;
}

void SourceSet::move(int from, int to) {
    if (from >= 0 && static_cast<size_t>(from) < sources_.size()) --sources_[static_cast<size_t>(from)].connections;
    if (to >= 0 && static_cast<size_t>(to) < sources_.size()) ++sources_[static_cast<size_t>(to)].connections;
}

bool SourceSet::drop(size_t i) {
    if (i >= sources_.size() || sources_[i].dropped) return false;
    sources_[i].dropped = true;
    return true;
}

namespace {
constexpr char kMetaHead[] = "tidewell-sources 1";
}  // namespace

std::string sourcesMetaText(const SourcesMeta& meta) {
    std::string text = std::string(kMetaHead) + "\n";
    if (meta.size >= 0) text += "size=" + std::to_string(meta.size) + "\n";
    for (const std::wstring& url : meta.mirrors) text += "mirror=" + Utf16ToUtf8(url) + "\n";
    if (!meta.pieces.empty()) {
        text += "piece-length=" + std::to_string(meta.pieces.length) + "\n";
        for (const std::wstring& sum : meta.pieces.sha256) text += "piece=" + Utf16ToUtf8(sum) + "\n";
    }
    return text + "end\n";
}

std::wstring sourcesMetaPath(const std::wstring& partPath) {
    const std::wstring part = L".zebpart";
    const bool named = partPath.size() > part.size() && partPath.compare(partPath.size() - part.size(), part.size(), part) == 0;
    return (named ? partPath.substr(0, partPath.size() - part.size()) : partPath) + L".zebmeta";
}

bool parseSourcesMeta(const std::string& text, SourcesMeta& out) {
    const std::vector<std::string> lines = SplitAtLf(text);
    if (lines.empty() || lines.front() != kMetaHead) return false;
    SourcesMeta meta;
    bool ended = false;
    for (size_t i = 1; i < lines.size() && !ended; ++i) {
        const std::string& line = lines[i];
        if (line == "end") {
            ended = true;
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos) return false;
        const std::string key = line.substr(0, eq);
        const std::optional<std::wstring> value = Utf8ToUtf16Strict(std::string_view(line).substr(eq + 1));
        if (!value) return false;
        if (key == "mirror") {
            meta.mirrors.push_back(*value);
        } else if (key == "piece") {
            if (value->size() != 64 || !std::all_of(value->begin(), value->end(), IsHexDigit)) return false;
            meta.pieces.sha256.push_back(Lower(*value));
        } else if (key == "size" || key == "piece-length") {
            const std::optional<int64_t> n = ParseStrictNumber(*value);
            if (!n) return false;
            (key == "size" ? meta.size : meta.pieces.length) = *n;
        }  // a line of a later version: skipped
    }
    // A file cut short says less than was written: none of it is taken.
    if (!ended || (!meta.pieces.sha256.empty() && meta.pieces.length <= 0)) return false;
    out = std::move(meta);
    return true;
}

}  // namespace zeb
