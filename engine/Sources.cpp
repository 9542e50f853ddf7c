#include "engine/Sources.h"

#include <algorithm>

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
    for (const std::wstring& url : mirrors)
        if (std::none_of(sources_.begin(), sources_.end(), [&](const Source& s) { return s.url == url; }))
            sources_.push_back({url});
}

void SourceSet::addFromHeader(const std::wstring& url) {
    if (fromHeaders_ >= kMaxHeaderMirrors) return;
    if (std::any_of(sources_.begin(), sources_.end(), [&](const Source& s) { return s.url == url; })) return;
    sources_.push_back({url, true});
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

size_t SourceSet::soundCount() const {
    return static_cast<size_t>(std::count_if(sources_.begin(), sources_.end(), [](const Source& s) { return !s.dropped; }));
}

void SourceSet::revive() {
    for (Source& s : sources_) s.dropped = false, s.connections = 0, s.bytes = 0;
}

}  // namespace zeb
