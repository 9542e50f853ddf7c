#include "app/GetOptions.h"

#include <windows.h>

#include <cwchar>
#include <optional>

#include "engine/Checksum.h"
#include "engine/FileNames.h"
#include "store/FileServices.h"
#include "store/List.h"
#include "store/Text.h"

namespace {
constexpr int32_t kMaxConnections = 16;
constexpr int32_t kMaxLimitKB = 2147483647;

// 1 to 10 decimal digits and nothing else, within [low, high].
std::optional<int32_t> Number(const std::wstring& text, int64_t low, int64_t high) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    int64_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + (c - L'0');
    }
    if (value < low || value > high) return std::nullopt;
    return static_cast<int32_t>(value);
}

GetProblem Problem(GetFault fault, std::wstring detail = {}, int line = 0) { return {fault, std::move(detail), line}; }

// Strict UTF-8: a list with bytes of another code page is refused, not guessed at.
bool DecodeLine(const std::string& bytes, std::wstring& out) {
    std::optional<std::wstring> decoded = Utf8ToUtf16Strict(bytes);
    out = decoded ? std::move(*decoded) : std::wstring();
    return decoded.has_value();
}

// "sha-256=HEX", "sha-1=HEX" or "md5=HEX" whose digits fit the kind.
std::optional<std::wstring> ListChecksum(const std::wstring& value) {
    static const struct {
        const wchar_t* kind;
        size_t digits;
    } kinds[] = {{L"sha-256=", 64}, {L"sha-1=", 40}, {L"md5=", 32}};
    for (const auto& k : kinds) {
        const size_t n = std::wcslen(k.kind);
        if (value.size() <= n || _wcsnicmp(value.c_str(), k.kind, n) != 0) continue;
        std::optional<std::wstring> hex = zeb::normalChecksum(value.substr(n));
        if (hex && hex->size() == k.digits) return hex;
        return std::nullopt;
    }
    return std::nullopt;
}
}  // namespace

bool IsGetModeCommandLine(const std::vector<std::wstring>& args) { return args.size() >= 2 && args[1] == L"--get"; }

GetOptions ParseGetArguments(const std::vector<std::wstring>& args) {
    GetOptions o;
    const auto fail = [&](GetFault fault, const std::wstring& detail) {
        if (o.problem.fault == GetFault::None) o.problem = Problem(fault, detail);
    };
    for (size_t i = 2; i < args.size() && o.problem.fault == GetFault::None; ++i) {
        const std::wstring& a = args[i];
        if (a == L"--help") {
            o.help = true;
            continue;
        }
        if (a == L"--insecure") {
            o.insecure = true;
            continue;
        }
        static const wchar_t* const valued[] = {L"--to", L"--name", L"--checksum", L"--connections", L"--limit",
                                                L"--lang", L"--input", L"--cache", L"--checksums", L"--sums", L"--metalink",
                                                L"--hours"};
        bool isValued = false;
        for (const wchar_t* v : valued) isValued = isValued || a == v;
        if (isValued) {
            if (i + 1 >= args.size()) {
                fail(GetFault::MissingValue, a);
                break;
            }
            const std::wstring& value = args[++i];
            if (a == L"--to") {
                o.to = value;
                if (o.to.empty()) fail(GetFault::BadValue, a);
            } else if (a == L"--name") {
                o.name = value;
                if (Trim(value).empty()) fail(GetFault::BadValue, a);
            } else if (a == L"--checksum") {
                std::optional<std::wstring> hex = zeb::normalChecksum(value);
                if (hex) o.checksum = *hex;
                else fail(GetFault::BadValue, a);
            } else if (a == L"--connections") {
                o.connections = Number(value, 1, kMaxConnections);
                if (!o.connections) fail(GetFault::BadValue, a);
            } else if (a == L"--limit") {
                o.limitKB = Number(value, 0, kMaxLimitKB);
                if (!o.limitKB) fail(GetFault::BadValue, a);
            } else if (a == L"--lang") {
                if (value == L"vi" || value == L"en") o.vietnamese = value == L"vi";
                else fail(GetFault::BadValue, a);
            } else if (a == L"--hours") {
                if (ParseActiveHours(value)) o.hours = ActiveHoursOf(value);
                else fail(GetFault::BadValue, a);
            } else if (a == L"--cache" || a == L"--checksums" || a == L"--sums" || a == L"--metalink") {
                (a == L"--cache" ? o.cache : a == L"--checksums" ? o.checksums : a == L"--sums" ? o.sumsOut : o.metalink) = value;
                if (Trim(value).empty()) fail(GetFault::BadValue, a);
            } else {
                o.input = value;
                if (value.empty()) fail(GetFault::BadValue, a);
            }
            continue;
        }
        if (a.size() > 1 && a[0] == L'-') {
            fail(GetFault::UnknownOption, a);
        } else if (!IsAcceptableLink(a)) {
            fail(GetFault::NotALink, a);
        } else {
            o.items.push_back(GetItem{a, {}, {}, {}, {}, -1, {}});
        }
    }
    return o;
}

GetProblem ParseLinkList(const std::string& bytes, std::vector<GetItem>& items) {
    std::vector<GetItem> found;
    size_t at = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    for (int line = 1; at <= bytes.size(); ++line) {
        size_t end = bytes.find('\n', at);
        if (end == std::string::npos) end = bytes.size();
        std::string raw = bytes.substr(at, end - at);
        at = end + 1;
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        std::wstring text;
        if (!DecodeLine(raw, text)) return Problem(GetFault::Unreadable, {}, line);
        const std::wstring trimmed = Trim(text);
        if (trimmed.empty() || text[0] == L'#') continue;
        if (text[0] != L' ' && text[0] != L'\t') {
            GetItem item;
            for (size_t start = 0;;) {
                const size_t tab = trimmed.find(L'\t', start);
                std::wstring link = trimmed.substr(start, tab == std::wstring::npos ? tab : tab - start);
                if (!IsAcceptableLink(link)) return Problem(GetFault::NotALink, link, line);
                if (item.url.empty()) item.url = std::move(link);
                else item.mirrors.push_back(std::move(link));
                if (tab == std::wstring::npos) break;
                start = tab + 1;
            }
            found.push_back(std::move(item));
            continue;
        }
        if (found.empty()) return Problem(GetFault::OptionBeforeLink, trimmed, line);
        GetItem& item = found.back();
        const size_t eq = trimmed.find(L'=');
        const std::wstring key = eq == std::wstring::npos ? trimmed : trimmed.substr(0, eq);
        const std::wstring value = eq == std::wstring::npos ? L"" : Trim(trimmed.substr(eq + 1));
        std::wstring* field = key == L"out" ? &item.name : key == L"dir" ? &item.dir
                             : key == L"checksum"        ? &item.checksum
                                                         : nullptr;
        if (!field || eq == std::wstring::npos) return Problem(GetFault::UnknownListOption, trimmed, line);
        if (!field->empty()) return Problem(GetFault::Repeated, key, line);
        std::optional<std::wstring> accepted = key == L"dir"        ? zeb::relativeFolder(value)
                                               : key == L"checksum" ? ListChecksum(value)
                                               : value.empty()      ? std::nullopt
                                                                    : std::optional<std::wstring>(value);
        if (!accepted) return Problem(GetFault::BadValue, trimmed, line);
        *field = *accepted;
    }
    items.insert(items.end(), found.begin(), found.end());
    return {};
}

void AddMetalinkFiles(const zeb::MetalinkResult& read, const std::wstring& dir, std::vector<GetItem>& items) {
    for (const zeb::MetalinkFile& file : read.files) {
        const size_t slash = file.name.find_last_of(L'\\');
        std::wstring folder = slash == std::wstring::npos ? L"" : file.name.substr(0, slash);
        if (!dir.empty()) folder = folder.empty() ? dir : dir + L"\\" + folder;
        items.push_back(GetItem{file.urls.front(), folder, file.name.substr(slash + 1), file.sha256,
                                {file.urls.begin() + 1, file.urls.end()}, file.size, {file.pieceLength, file.pieceSha256}});
    }
}

void CheckGetOptions(GetOptions& o) {
    if (o.problem.fault != GetFault::None || o.help) return;
    if (o.items.empty()) o.problem = Problem(GetFault::NoLink);
    else if (!o.name.empty() && o.items.size() > 1) o.problem = Problem(GetFault::NameNeedsOneLink);
    for (GetItem& item : o.items) {
        if (item.name.empty()) item.name = o.name;
        if (item.checksum.empty()) item.checksum = o.checksum;
    }
}
