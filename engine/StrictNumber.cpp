#include "engine/StrictNumber.h"

#include "store/Text.h"

std::optional<int64_t> ParseStrictNumber(std::wstring_view text) {
    size_t a = 0, b = text.size();
    while (a < b && IsTrimmed(text[a])) ++a;
    while (b > a && IsTrimmed(text[b - 1])) --b;
    if (b - a < 1 || b - a > 18) return std::nullopt;
    int64_t value = 0;
    for (size_t i = a; i < b; ++i) {
        if (text[i] < L'0' || text[i] > L'9') return std::nullopt;
        value = value * 10 + (text[i] - L'0');
    }
    return value;
}
