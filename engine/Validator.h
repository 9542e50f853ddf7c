// What identifies one version of a file on its server: its strong ETag and
// its Last-Modified date. A validator raises the question whether two
// answers are of one version; where it cannot answer, or where the host's
// validators turn out not to identify versions (a farm whose nodes tag the
// same bytes differently), a sample of the bytes decides.
#pragma once

#include <string>
#include <vector>

namespace zeb {

struct Validator {
    std::wstring etag;      // strong only; empty when none
    std::wstring modified;  // the Last-Modified value as sent; empty when none
    bool empty() const { return etag.empty() && modified.empty(); }
};

enum class ValidatorKind { None, Etag, Modified };

// An ETag header's value when it is strong (a weak "W/" one says the bytes
// may differ); empty otherwise.
std::wstring strongEtag(const std::wstring& header);

enum class VersionVerdict { Same, Different, Unknown };

// The ETag decides where both sides carry one, else the date where both
// carry one; with no kind in common only the bytes can tell.
VersionVerdict compareVersions(const Validator& recorded, const Validator& now);

// The kind in which an answer contradicts what was recorded (the ETag
// first); None where every kind both carry agrees. A kind the answer
// leaves out contradicts nothing.
ValidatorKind disagreement(const Validator& recorded, const Validator& answer);

// Each kind both carry with different values (the ETag first).
std::vector<ValidatorKind> contradictions(const Validator& recorded, const Validator& now);

// The If-Range value: the ETag, else the date; empty when there is none.
std::wstring ifRangeValue(const Validator& v);
// The kind ifRangeValue uses.
ValidatorKind ifRangeKind(const Validator& v);

// The value of one kind; empty for None.
const std::wstring& valueOf(const Validator& v, ValidatorKind kind);
// Stops using one kind for this download.
void forget(Validator& v, ValidatorKind kind);

}  // namespace zeb
