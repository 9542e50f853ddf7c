// Small text helpers shared by every reader of files, headers and links.
#pragma once

#include <cwctype>
#include <string>
#include <string_view>
#include <vector>

// Spaces, tabs, CR and LF: what every reader trims.
inline bool IsTrimmed(wchar_t c) noexcept { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

inline std::wstring_view TrimView(std::wstring_view text) {
    size_t a = 0, b = text.size();
    while (a < b && IsTrimmed(text[a])) ++a;
    while (b > a && IsTrimmed(text[b - 1])) --b;
    return text.substr(a, b - a);
}

inline std::wstring Trim(std::wstring_view text) { return std::wstring(TrimView(text)); }

// Trims only the given characters, for the few places that must keep a CR
// or LF that the readers' set would take.
inline std::wstring Trim(std::wstring_view text, std::wstring_view characters) {
    const size_t a = text.find_first_not_of(characters);
    if (a == std::wstring_view::npos) return {};
    return std::wstring(text.substr(a, text.find_last_not_of(characters) - a + 1));
}

// 0-15 for a hexadecimal digit of either case, -1 for anything else.
inline int HexValue(wchar_t c) noexcept {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

inline bool IsHexDigit(wchar_t c) noexcept { return HexValue(c) >= 0; }

// Two lower-case hexadecimal digits per byte.
inline std::wstring LowerHex(const unsigned char* bytes, size_t count) {
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring hex(2 * count, L'0');
    for (size_t i = 0; i < count; ++i) {
        hex[2 * i] = kDigits[bytes[i] >> 4];
        hex[2 * i + 1] = kDigits[bytes[i] & 15];
    }
    return hex;
}

// A-Z to a-z only; every other character is left alone.
inline std::wstring AsciiLower(std::wstring_view text) {
    std::wstring out(text);
    for (wchar_t& c : out)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
    return out;
}

// Every letter the C library can lower (file names on Windows differ only beyond case).
inline std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

// The pieces of a file's text between line feeds; the piece after the last
// one is a line too (empty when the text ends with a line feed).
inline std::vector<std::string> SplitAtLf(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            return lines;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

inline bool IsHighSurrogate(wchar_t c) noexcept { return c >= 0xD800 && c <= 0xDBFF; }
