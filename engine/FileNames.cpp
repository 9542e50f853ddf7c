#include "engine/FileNames.h"

#include <windows.h>

#include <optional>

#include "store/FileServices.h"
#include "store/Text.h"

namespace zeb {
namespace {

bool EndsWithNoCase(const std::wstring& text, const std::wstring& suffix) {
    return text.size() >= suffix.size() && AsciiLower(text.substr(text.size() - suffix.size())) == suffix;
}

void TrimTrailingDotsAndSpaces(std::wstring& name) {
    while (!name.empty() && (name.back() == L'.' || name.back() == L' ')) name.pop_back();
}

// Step 5 of the name rule: at most `cap` units, the extension (last dot on,
// at most 12 units) kept, the cut never inside a surrogate pair, and the end
// trimmed again because the cut can leave a dot or space there.
std::wstring CutToFit(std::wstring name, size_t cap) {
    if (name.size() <= cap) return name;
    std::wstring ext;
    size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos && name.size() - dot <= 12 && name.size() - dot < cap) ext = name.substr(dot);
    size_t keep = cap - ext.size();
    if (keep > 0 && IsHighSurrogate(name[keep - 1])) --keep;
    std::wstring out = name.substr(0, keep) + ext;
    TrimTrailingDotsAndSpaces(out);
    return out;
}

}  // namespace

std::wstring percentDecode(const std::wstring& text) {
    if (text.find(L'%') == std::wstring::npos) return text;
    std::string bytes;
    size_t run = 0;  // start of the pending run of plain characters
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == L'%' && i + 2 < text.size() && IsHexDigit(text[i + 1]) && IsHexDigit(text[i + 2])) {
            // Plain runs are encoded whole so surrogate pairs stay together.
            AppendUtf8(bytes, std::wstring_view(text).substr(run, i - run));
            bytes.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
            i += 3;
            run = i;
        } else {
            ++i;
        }
    }
    AppendUtf8(bytes, std::wstring_view(text).substr(run));
    std::optional<std::wstring> decoded = Utf8ToUtf16Strict(bytes);
    return decoded ? *decoded : text;
}

std::wstring repairMisdecodedUtf8(const std::wstring& text) {
    bool ascii = true;
    for (wchar_t c : text)
        if (c >= 128) ascii = false;
    if (ascii || text.size() > INT_MAX) return text;
    const int units = static_cast<int>(text.size());
    for (UINT codePage : {static_cast<UINT>(CP_ACP), 1252u, 28591u}) {
        BOOL usedDefault = FALSE;
        int n = ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), units, nullptr, 0, nullptr,
                                      &usedDefault);
        if (n <= 0 || usedDefault) continue;
        std::string bytes(static_cast<size_t>(n), '\0');
        usedDefault = FALSE;
        ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), units, bytes.data(), n, nullptr,
                              &usedDefault);
        if (usedDefault) continue;
        if (std::optional<std::wstring> decoded = Utf8ToUtf16Strict(bytes)) return *decoded;
    }
    return text;
}

std::wstring fileNameFromContentDisposition(const std::wstring& value) {
    const std::wstring lower = AsciiLower(value);
    size_t star = lower.find(L"filename*=");
    if (lower.size() >= 10 && star != std::wstring::npos) {
        std::wstring v = value.substr(star + 10);
        v = Trim(v.substr(0, v.find(L';')));
        if (v.size() >= 2 && v.front() == L'"' && v.back() == L'"') v = v.substr(1, v.size() - 2);
        // charset'language'value: the language may be empty ("UTF-8''x")
        // or not ("UTF-8'en'x"); either way the name follows the second quote.
        size_t first = v.find(L'\'');
        size_t second = first == std::wstring::npos ? first : v.find(L'\'', first + 1);
        if (second != std::wstring::npos) v = v.substr(second + 1);
        std::wstring decoded = percentDecode(v);
        if (!decoded.empty()) return decoded;
    }
    size_t plain = lower.find(L"filename=");
    if (lower.size() >= 9 && plain != std::wstring::npos) {
        std::wstring v = Trim(value.substr(plain + 9));
        if (!v.empty() && v[0] == L'"') {
            size_t close = v.find(L'"', 1);
            v = close == std::wstring::npos ? v.substr(1) : v.substr(1, close - 1);
        } else {
            v = Trim(v.substr(0, v.find(L';')));
        }
        return percentDecode(repairMisdecodedUtf8(v));
    }
    return {};
}

std::wstring fileNameFromUrl(const std::wstring& url) {
    std::wstring s = url.substr(0, url.find_first_of(L"?#"));
    size_t scheme = s.find(L"://");
    if (s.size() >= 3 && scheme != std::wstring::npos) {
        size_t slash = s.find(L'/', scheme + 3);
        if (slash == std::wstring::npos) return {};
        s = s.substr(slash);
    }
    while (!s.empty() && s.back() == L'/') s.pop_back();
    size_t last = s.rfind(L'/');
    if (last != std::wstring::npos) s = s.substr(last + 1);
    return percentDecode(s);
}

bool isReservedDeviceName(const std::wstring& name) {
    std::wstring stem = AsciiLower(name.substr(0, name.find(L'.')));
    // Windows ignores trailing spaces here: "nul .txt" opens the device too.
    while (!stem.empty() && stem.back() == L' ') stem.pop_back();
    static const wchar_t* const kFixed[] = {L"con", L"prn", L"aux", L"nul", L"conin$", L"conout$"};
    for (const wchar_t* d : kFixed)
        if (stem == d) return true;
    if (stem.size() == 4 && (stem.compare(0, 3, L"com") == 0 || stem.compare(0, 3, L"lpt") == 0)) {
        const wchar_t n = stem[3];
        // Digits 0-9 and the superscripts ¹ ² ³, which Windows also maps to ports.
        return (n >= L'0' && n <= L'9') || n == L'\u00B9' || n == L'\u00B2' || n == L'\u00B3';
    }
    return false;
}

bool hasOwnSuffix(const std::wstring& name) {
    return EndsWithNoCase(name, L".zebpart") || EndsWithNoCase(name, L".zebstate") ||
           EndsWithNoCase(name, L".zebstate.tmp");
}

std::wstring sanitizeFileName(const std::wstring& input, size_t maxUnits) {
    if (maxUnits < 2) maxUnits = 2;  // room for a guard character and one more
    std::wstring name = input.substr(input.find_last_of(L"\\/") == std::wstring::npos
                                         ? 0
                                         : input.find_last_of(L"\\/") + 1);
    for (wchar_t& c : name) {
        if (c < 0x20 || wcschr(L"<>:\"/\\|?*", c)) c = L'_';
    }
    name = Trim(name);
    TrimTrailingDotsAndSpaces(name);
    name = CutToFit(name, maxUnits);
    if (name.empty()) name = L"download";
    // A name ending in our own suffix would be taken for, and later replace
    // or delete, another download's partial or state file.
    if (hasOwnSuffix(name)) name = CutToFit(name, maxUnits - 1) + L"_";
    if (isReservedDeviceName(name)) name = L"_" + CutToFit(name, maxUnits - 1);
    return name;
}

// A relative folder may never climb out of the target folder nor name a
// drive or a root of its own.
std::optional<std::wstring> relativeFolder(std::wstring dir) {
    for (wchar_t& c : dir)
        if (c == L'/') c = L'\\';
    while (!dir.empty() && dir.back() == L'\\') dir.pop_back();
    if (dir.empty() || dir.front() == L'\\' || dir.find(L':') != std::wstring::npos) return std::nullopt;
    size_t start = 0;
    for (;;) {
        const size_t end = dir.find(L'\\', start);
        const std::wstring part = dir.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (part.empty() || part == L"." || part == L"..") return std::nullopt;
        if (end == std::wstring::npos) return dir;
        start = end + 1;
    }
}

std::wstring uniqueName(const std::wstring& name, unsigned n) {
    if (n == 0) return name;
    const std::wstring suffix = L" (" + std::to_wstring(n) + L")";
    size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || dot == 0) return name + suffix;
    return name.substr(0, dot) + suffix + name.substr(dot);
}

}  // namespace zeb
