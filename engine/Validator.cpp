#include "engine/Validator.h"

#include "store/Text.h"

namespace zeb {

std::wstring strongEtag(const std::wstring& header) {
    const std::wstring value = Trim(header);
    if (value.size() < 2 || value.front() != L'"' || value.back() != L'"') return {};  // also "W/..."
    return value;
}

VersionVerdict compareVersions(const Validator& recorded, const Validator& now) {
    if (!recorded.etag.empty() && !now.etag.empty())
        return recorded.etag == now.etag ? VersionVerdict::Same : VersionVerdict::Different;
    if (!recorded.modified.empty() && !now.modified.empty())
        return recorded.modified == now.modified ? VersionVerdict::Same : VersionVerdict::Different;
    return VersionVerdict::Unknown;
}

std::vector<ValidatorKind> contradictions(const Validator& recorded, const Validator& now) {
    std::vector<ValidatorKind> kinds;
    for (const ValidatorKind kind : {ValidatorKind::Etag, ValidatorKind::Modified}) {
        const std::wstring& a = valueOf(recorded, kind);
        const std::wstring& b = valueOf(now, kind);
        if (!a.empty() && !b.empty() && a != b) kinds.push_back(kind);
    }
    return kinds;
}

ValidatorKind disagreement(const Validator& recorded, const Validator& answer) {
    const std::vector<ValidatorKind> kinds = contradictions(recorded, answer);
    return kinds.empty() ? ValidatorKind::None : kinds.front();
}

std::wstring ifRangeValue(const Validator& v) { return v.etag.empty() ? v.modified : v.etag; }

ValidatorKind ifRangeKind(const Validator& v) {
    if (!v.etag.empty()) return ValidatorKind::Etag;
    return v.modified.empty() ? ValidatorKind::None : ValidatorKind::Modified;
}

const std::wstring& valueOf(const Validator& v, ValidatorKind kind) {
    static const std::wstring none;
    return kind == ValidatorKind::Etag ? v.etag : kind == ValidatorKind::Modified ? v.modified : none;
}

void forget(Validator& v, ValidatorKind kind) {
    if (kind == ValidatorKind::Etag) v.etag.clear();
    if (kind == ValidatorKind::Modified) v.modified.clear();
}

}  // namespace zeb
