// Small text helpers shared by every reader of files, headers and links.
#pragma once

#include <string>
#include <string_view>

// Spaces, tabs, CR and LF: what every reader trims.
inline bool IsTrimmed(wchar_t c) noexcept { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

inline std::wstring Trim(std::wstring_view text) {
    size_t a = 0, b = text.size();
    while (a < b && IsTrimmed(text[a])) ++a;
    while (b > a && IsTrimmed(text[b - 1])) --b;
    return std::wstring(text.substr(a, b - a));
}

// A-Z to a-z only; every other character is left alone.
inline std::wstring AsciiLower(std::wstring_view text) {
    std::wstring out(text);
    for (wchar_t& c : out)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
    return out;
}

inline bool IsHighSurrogate(wchar_t c) noexcept { return c >= 0xD800 && c <= 0xDBFF; }
