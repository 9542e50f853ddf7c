#include "engine/MirrorHeaders.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

#include "engine/StrictNumber.h"
#include "engine/Url.h"
#include "store/Text.h"

namespace zeb {
namespace {
using Params = std::vector<std::pair<std::wstring, std::wstring>>;  // name in lower case, value unquoted

bool IsTchar(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
           std::wstring_view(L"!#$%&'*+-.^_`|~").find(c) != std::wstring_view::npos;
}

bool IsAlpha(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

// Reads a link-value of RFC 8288 at `at`: "<target>" then ";name[=value]"
// parameters up to the next comma or the end. False when it is malformed;
// `at` is then wherever reading stopped.
bool ReadLink(std::wstring_view s, size_t& at, std::wstring& target, Params& params) {
    const auto skipSpace = [&] {
        while (at < s.size() && (s[at] == L' ' || s[at] == L'\t')) ++at;
    };
    if (at >= s.size() || s[at] != L'<') return false;
    const size_t close = s.find(L'>', at);
    if (close == std::wstring_view::npos) return false;
    target = s.substr(at + 1, close - at - 1);
    at = close + 1;
    params.clear();
    for (;;) {
        skipSpace();
        if (at >= s.size() || s[at] == L',') return true;
        if (s[at] != L';') return false;
        ++at;
        skipSpace();
        const size_t name = at;
        while (at < s.size() && IsTchar(s[at])) ++at;
        if (at == name) return false;
        std::wstring key = AsciiLower(s.substr(name, at - name)), value;
        skipSpace();
        if (at < s.size() && s[at] == L'=') {
            ++at;
            skipSpace();
            if (at < s.size() && s[at] == L'"') {
                for (++at;; ++at) {
                    if (at >= s.size()) return false;
                    if (s[at] == L'"') break;
                    if (s[at] == L'\\' && ++at >= s.size()) return false;
                    value += s[at];
                }
                ++at;
            } else {
                const size_t start = at;
                while (at < s.size() && IsTchar(s[at])) ++at;
                value = s.substr(start, at - start);
            }
        }
        params.emplace_back(std::move(key), std::move(value));
    }
}

// Past the comma that ends a malformed link-value (none inside <> or quotes).
void SkipToNextLink(std::wstring_view s, size_t& at) {
    bool quoted = false, bracketed = false;
    for (; at < s.size(); ++at) {
        const wchar_t c = s[at];
        if (quoted) {
            if (c == L'\\') ++at;
            else if (c == L'"') quoted = false;
        } else if (bracketed) {
            bracketed = c != L'>';
        } else if (c == L'"') {
            quoted = true;
        } else if (c == L'<') {
            bracketed = true;
        } else if (c == L',') {
            return;
        }
    }
}

// The first of a parameter (RFC 8288: later ones are ignored).
const std::wstring* Param(const Params& params, std::wstring_view name) {
    for (const auto& [key, value] : params)
        if (key == name) return &value;
    return nullptr;
}

bool NamesDuplicate(const std::wstring& rel) {
    size_t at = 0;
    while (at < rel.size()) {
        const size_t end = std::min(rel.find_first_of(L" \t", at), rel.size());
        if (AsciiLower(std::wstring_view(rel).substr(at, end - at)) == L"duplicate") return true;
        at = end + 1;
    }
    return false;
}

// The absolute http(s) link a target names, without fragment; empty when it
// names anything else. A target with a scheme is absolute (RFC 3986), so
// "file:/x" is refused rather than read as a path below the answer's folder.
std::wstring MirrorOf(const std::wstring& target, const UrlParts& answer) {
    // No target, or a fragment alone, is the answer itself.
    if (target.empty() || target[0] == L'#') return {};
    for (wchar_t c : target)
        if (c <= L' ' || c > L'~' || c == L'"' || c == L'<' || c == L'>' || c == L'\\') return {};
    std::wstring link;
    size_t colon = target.find(L':');
    if (colon != std::wstring::npos && colon < target.find_first_of(L"/?#") && colon > 0 && IsAlpha(target[0])) {
        const std::wstring scheme = AsciiLower(std::wstring_view(target).substr(0, colon));
        if (scheme != L"http" && scheme != L"https") return {};
        link = scheme + target.substr(colon);
    } else {
        link = resolveRedirect(target, answer);
    }
    link = link.substr(0, link.find(L'#'));
    UrlParts parts;
    size_t userBegin = 0, userEnd = 0;
    if (link.empty() || !crackUrl(link, parts) || userInfoSpan(link, userBegin, userEnd)) return {};
    if (answer.secure && !parts.secure) return {};
    return link;
}
}  // namespace

std::vector<std::wstring> duplicateLinks(const std::vector<std::wstring>& values, const std::wstring& answerUrl) {
    UrlParts answer;
    if (!crackUrl(answerUrl, answer)) return {};
    struct Candidate {
        std::wstring link;
        int64_t pri;
    };
    constexpr int64_t kNoPri = INT64_MAX;
    std::vector<Candidate> found;
    for (const std::wstring& value : values) {
        size_t at = 0;
        while (at < value.size()) {
            while (at < value.size() && (value[at] == L' ' || value[at] == L'\t' || value[at] == L',')) ++at;
            if (at >= value.size()) break;
            std::wstring target;
            Params params;
            if (!ReadLink(value, at, target, params)) {
                SkipToNextLink(value, at);
                continue;
            }
            const std::wstring* rel = Param(params, L"rel");
            if (!rel || !NamesDuplicate(*rel) || Param(params, L"anchor")) continue;
            std::wstring link = MirrorOf(target, answer);
            if (link.empty()) continue;
            const std::wstring* pri = Param(params, L"pri");
            const std::optional<int64_t> number = pri ? ParseStrictNumber(*pri) : std::nullopt;
            found.push_back({std::move(link), number ? *number : kNoPri});
        }
    }
    std::stable_sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) { return a.pri < b.pri; });
    const std::wstring self = answerUrl.substr(0, answerUrl.find(L'#'));
    std::vector<std::wstring> links;
    for (Candidate& c : found) {
        if (links.size() == kMostMirrors) break;
        if (c.link != self && std::find(links.begin(), links.end(), c.link) == links.end())
            links.push_back(std::move(c.link));
    }
    return links;
}

namespace {
// Strict base64 (RFC 4648, standard alphabet, padded): any other text is no
// digest, since a sum read wrong would fail a good file. Pad bits are not
// checked (RFC 8941 asks so): they change nothing of the bytes.
std::optional<std::string> Base64(std::wstring_view text) {
    if (text.empty() || text.size() % 4 != 0) return std::nullopt;
    static constexpr std::wstring_view kAlphabet = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    size_t pad = 0;
    while (pad < 2 && text[text.size() - 1 - pad] == L'=') ++pad;
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    for (size_t i = 0; i < text.size() - pad; ++i) {
        const size_t v = kAlphabet.find(text[i]);
        if (v == std::wstring_view::npos) return std::nullopt;
        bits = (bits << 6) | static_cast<uint32_t>(v);
        if ((count += 6) >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

using Stated = std::vector<std::pair<std::wstring, std::wstring>>;  // algorithm in lower case, base64 text

// The registered names (RFC 3230 and RFC 5843, kept by RFC 9530): "sha" is
// SHA-1; no "sha-1" is registered, so none is read. Most preferred first.
constexpr struct {
    std::wstring_view name;
    size_t bytes;
} kKinds[] = {{L"sha-256", 32}, {L"sha", 20}, {L"md5", 16}};

// The most preferred kind whose value decodes to its length; of a name
// given twice, the last (RFC 8941 dictionaries say so; Digest says nothing).
std::wstring Best(const Stated& stated) {
    for (const auto& kind : kKinds) {
        for (auto it = stated.rbegin(); it != stated.rend(); ++it) {
            if (it->first != kind.name) continue;
            const std::optional<std::string> bytes = Base64(it->second);
            if (bytes && bytes->size() == kind.bytes)
                return LowerHex(reinterpret_cast<const unsigned char*>(bytes->data()), bytes->size());
            break;
        }
    }
    return {};
}

// The members of a structured-field dictionary (RFC 8941) with the text of
// their byte sequence (empty for a value of another type); nothing at all
// when the field does not parse, as that RFC asks. Parameters are read past.
Stated ReprMembers(std::wstring_view s) {
    size_t at = 0;
    const auto skip = [&](std::wstring_view set) {
        while (at < s.size() && set.find(s[at]) != std::wstring_view::npos) ++at;
    };
    const auto key = [&] {
        const size_t start = at;
        if (at < s.size() && ((s[at] >= L'a' && s[at] <= L'z') || s[at] == L'*')) ++at;
        while (at > start && at < s.size() && ((s[at] >= L'a' && s[at] <= L'z') || (s[at] >= L'0' && s[at] <= L'9') ||
                                               std::wstring_view(L"_-.*").find(s[at]) != std::wstring_view::npos))
            ++at;
        return std::wstring(s.substr(start, at - start));
    };
    // A bare item; its text when it is a byte sequence.
    const auto item = [&](std::optional<std::wstring>& bytes) {
        if (at >= s.size()) return false;
        const wchar_t open = s[at];
        if (open == L':' || open == L'"') {
            const size_t start = ++at;
            for (; at < s.size() && s[at] != open; ++at) {
                if (open == L'"' && s[at] == L'\\') ++at;
                else if (open == L':' && !IsAlpha(s[at]) && !(s[at] >= L'0' && s[at] <= L'9') &&
                         std::wstring_view(L"+/=").find(s[at]) == std::wstring_view::npos)
                    return false;
            }
            if (at >= s.size()) return false;
            if (open == L':') bytes = std::wstring(s.substr(start, at - start));
            ++at;
            return true;
        }
        const size_t start = at;
        while (at < s.size() && (IsTchar(s[at]) || s[at] == L':' || s[at] == L'/' || s[at] == L'?')) ++at;
        return at > start;
    };
    const auto params = [&] {
        while (at < s.size() && s[at] == L';') {
            ++at;
            skip(L" ");
            if (key().empty()) return false;
            if (at < s.size() && s[at] == L'=') {
                ++at;
                std::optional<std::wstring> unused;
                if (!item(unused)) return false;
            }
        }
        return true;
    };
    Stated members;
    skip(L" ");
    while (at < s.size()) {
        std::wstring name = key();
        if (name.empty()) return {};
        std::optional<std::wstring> bytes;
        if (at < s.size() && s[at] == L'=') {
            ++at;
            if (at < s.size() && s[at] == L'(') {
                for (++at;;) {
                    skip(L" ");
                    if (at < s.size() && s[at] == L')') break;
                    std::optional<std::wstring> unused;
                    if (!item(unused) || !params()) return {};
                }
                ++at;
            } else if (!item(bytes)) {
                return {};
            }
        }
        if (!params()) return {};
        // Kept when no byte sequence too: a later member overrides an earlier one of its name.
        members.emplace_back(std::move(name), bytes ? std::move(*bytes) : std::wstring());
        skip(L" \t");
        if (at == s.size()) break;
        if (s[at] != L',') return {};
        ++at;
        skip(L" \t");
        if (at == s.size()) return {};
    }
    return members;
}

// "name=base64" instances separated by commas (RFC 3230), names in any case;
// an instance that is not of that shape is passed over.
Stated DigestInstances(std::wstring_view s) {
    Stated instances;
    size_t at = 0;
    while (at <= s.size()) {
        const size_t end = std::min(s.find(L',', at), s.size());
        const std::wstring_view instance = TrimView(s.substr(at, end - at));
        const size_t eq = instance.find(L'=');
        if (eq != std::wstring_view::npos)
            instances.emplace_back(AsciiLower(TrimView(instance.substr(0, eq))), Trim(instance.substr(eq + 1)));
        at = end + 1;
    }
    return instances;
}
}  // namespace

std::wstring statedDigest(const std::wstring& reprDigest, const std::wstring& digest) {
    std::wstring hex = Best(ReprMembers(TrimView(reprDigest)));
    return hex.empty() ? Best(DigestInstances(digest)) : hex;
}

}  // namespace zeb
