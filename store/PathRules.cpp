#include "store/PathRules.h"

namespace {
bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

size_t FindLastSeparator(const std::wstring& path) {
    for (size_t i = path.size(); i-- > 0;)
        if (IsPathSeparator(path[i])) return i;
    return std::wstring::npos;
}

// End of the component that starts at `from` (the next separator or the end).
size_t ComponentEnd(const std::wstring& path, size_t from) {
    size_t i = from;
    while (i < path.size() && !IsPathSeparator(path[i])) ++i;
    return i;
}

// "server\share" starting at `from`: the root ends after the share name.
size_t ShareRootEnd(const std::wstring& path, size_t from) {
    size_t serverEnd = ComponentEnd(path, from);
    if (serverEnd >= path.size()) return path.size();
    return ComponentEnd(path, serverEnd + 1);
}

bool StartsWithNoCase(const std::wstring& text, size_t at, const wchar_t* prefix) {
    for (size_t i = 0; prefix[i]; ++i) {
        if (at + i >= text.size()) return false;
        wchar_t a = text[at + i], b = prefix[i];
        if (a >= L'a' && a <= L'z') a = static_cast<wchar_t>(a - 32);
        if (b >= L'a' && b <= L'z') b = static_cast<wchar_t>(b - 32);
        if (a != b && !(IsPathSeparator(a) && IsPathSeparator(b))) return false;
    }
    return true;
}
}  // namespace

std::wstring FolderOfPath(const std::wstring& path) {
    size_t sep = FindLastSeparator(path);
    if (sep == std::wstring::npos) return L".";
    return path.substr(0, sep);
}

size_t PathRootLength(const std::wstring& path) {
    const size_t n = path.size();
    if (n >= 4 && IsPathSeparator(path[0]) && IsPathSeparator(path[1]) && (path[2] == L'?' || path[2] == L'.') &&
        IsPathSeparator(path[3])) {
        // Device or long path: \\?\C:\..., \\?\UNC\server\share\..., \\?\Volume{...}\...
        if (StartsWithNoCase(path, 4, L"UNC\\")) return ShareRootEnd(path, 8);
        if (n >= 6 && IsDriveLetter(path[4]) && path[5] == L':') return (n >= 7 && IsPathSeparator(path[6])) ? 7 : 6;
        size_t end = ComponentEnd(path, 4);
        return end < n ? end + 1 : end;
    }
    if (n >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) return ShareRootEnd(path, 2);
    if (n >= 2 && IsDriveLetter(path[0]) && path[1] == L':') return (n >= 3 && IsPathSeparator(path[2])) ? 3 : 2;
    if (n >= 1 && IsPathSeparator(path[0])) return 1;
    return 0;
}

std::optional<std::wstring> NextFreeSpaceProbe(const std::wstring& path) {
    size_t sep = FindLastSeparator(path);
    if (sep == std::wstring::npos || sep == 0) return std::nullopt;
    size_t keep = (path[sep - 1] == L':') ? sep + 1 : sep;
    if (keep >= path.size()) return std::nullopt;  // the cut would not shorten it
    // A share or drive root has nothing above it worth asking: cutting
    // \\server\share to \\server (or further to "\") names another volume.
    size_t root = PathRootLength(path);
    if (root > 0 && keep < root) return std::nullopt;
    return path.substr(0, keep);
}

std::optional<std::wstring> ParentToCreate(const std::wstring& path) {
    size_t sep = FindLastSeparator(path);
    if (sep == std::wstring::npos || sep == 0) return std::nullopt;
    if (path[sep - 1] == L':') return std::nullopt;
    return path.substr(0, sep);
}
