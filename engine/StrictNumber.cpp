#include "engine/StrictNumber.h"

#include "store/Text.h"

std::optional<int64_t> ParseStrictNumber(std::wstring_view text) {
    const std::wstring_view digits = TrimView(text);
    if (digits.size() < 1 || digits.size() > 18) return std::nullopt;
    int64_t value = 0;
    for (wchar_t c : digits) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + (c - L'0');
    }
    return value;
}
