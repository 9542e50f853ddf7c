#include "engine/SumsFile.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "store/FileServices.h"
#include "store/Text.h"

namespace zeb {
namespace {
constexpr size_t kHexDigits = 64;
constexpr std::string_view kBsdTag = "SHA256 (";

// 64 hex digits in lower case, or nothing.
std::optional<std::wstring> Hex(std::string_view text) {
    if (text.size() != kHexDigits) return std::nullopt;
    std::wstring hex;
    for (char c : text) {
        if (!IsHexDigit(static_cast<unsigned char>(c))) return std::nullopt;
        hex += static_cast<wchar_t>(c >= 'A' && c <= 'F' ? c + 32 : c);
    }
    return hex;
}

// The name of an escaped line; nothing for an escape coreutils does not write.
std::optional<std::string> Unescape(std::string_view name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] != '\\') {
            out += name[i];
            continue;
        }
        if (++i == name.size()) return std::nullopt;
        const char c = name[i];
        if (c == '\\') out += '\\';
        else if (c == 'n') out += '\n';
        else if (c == 'r') out += '\r';
        else return std::nullopt;
    }
    return out;
}

// One line that is neither blank nor a comment: its name and sum, or false.
bool ReadLine(std::string_view line, std::wstring& name, std::wstring& hex) {
    size_t at = line.find_first_not_of(" \t");
    const bool escaped = line[at] == '\\';
    if (escaped) ++at;
    std::string_view written;
    std::optional<std::wstring> sum;
    if (line.substr(at, kBsdTag.size()) == kBsdTag) {
        // The name runs to the last ")": the BSD form does not escape one.
        const std::string_view rest = line.substr(at + kBsdTag.size());
        const size_t close = rest.rfind(')');
        if (close == std::string_view::npos) return false;
        written = rest.substr(0, close);
        std::string_view tail = rest.substr(close + 1);
        tail.remove_prefix(std::min(tail.size(), tail.find_first_not_of(" \t")));
        if (tail.empty() || tail[0] != '=') return false;
        tail.remove_prefix(1);
        tail.remove_prefix(std::min(tail.size(), tail.find_first_not_of(" \t")));
        sum = Hex(tail);
    } else {
        const std::string_view rest = line.substr(at);
        // Two spaces (text mode) or a space and "*" (binary mode) before the name.
        if (rest.size() <= kHexDigits + 2 || rest[kHexDigits] != ' ') return false;
        if (rest[kHexDigits + 1] != ' ' && rest[kHexDigits + 1] != '*') return false;
        sum = Hex(rest.substr(0, kHexDigits));
        written = rest.substr(kHexDigits + 2);
    }
    std::optional<std::string> raw = escaped ? Unescape(written) : std::optional<std::string>(written);
    std::optional<std::wstring> decoded = raw ? Utf8ToUtf16Strict(*raw) : std::nullopt;
    if (!sum || !decoded || decoded->empty()) return false;
    name = std::move(*decoded);
    hex = std::move(*sum);
    return true;
}
}  // namespace

SumsFile parseSumsFile(const std::string& bytes) {
    const bool bom = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
    SumsFile file;
    int number = 0;
    for (std::string& line : SplitAtLf(bom ? bytes.substr(3) : bytes)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos || line[0] == '#') continue;
        std::wstring name, hex;
        bool fits = ReadLine(line, name, hex);
        if (fits) {
            const auto [entry, added] = file.sums.emplace(name, hex);
            fits = added || entry->second == hex;
        }
        if (!fits) return SumsFile{{}, number};
    }
    return file;
}

std::string sumsFileText(const Sums& sums) {
    std::string text;
    for (const auto& [name, hex] : sums) {
        std::string line = Utf16ToUtf8(AsciiLower(hex)) + "  ";
        const bool escape = name.find_first_of(L"\\\n\r") != std::wstring::npos;
        for (char c : Utf16ToUtf8(name)) {
            if (escape && c == '\\') line += "\\\\";
            else if (escape && c == '\n') line += "\\n";
            else if (escape && c == '\r') line += "\\r";
            else line += c;
        }
        text += (escape ? "\\" : "") + line + "\n";
    }
    return text;
}

}  // namespace zeb
