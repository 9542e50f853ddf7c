// Pure rules over path text that the file services and the storage
// locations decide with. No system calls here.
#pragma once

#include <optional>
#include <string>

inline bool IsPathSeparator(wchar_t c) noexcept { return c == L'\\' || c == L'/'; }

// The folder part of a file path: the text before the last separator, or "."
// when there is none.
std::wstring FolderOfPath(const std::wstring& path);

// Length of the root a path cannot be cut above: "C:\" (3), "C:" (2),
// "\\server\share", "\\?\C:\", "\\?\UNC\server\share", "\\?\Volume{..}\",
// "\" (1). 0 for a relative path.
size_t PathRootLength(const std::wstring& path);

// The next, shorter path to ask for free space after a query of `path`
// failed: the path cut before its last separator (keeping it after "X:").
// Nothing when the cut does not shorten the path or would leave its drive or
// share root, so the search always ends.
std::optional<std::wstring> NextFreeSpaceProbe(const std::wstring& path);

// The parent that CreateFolderTree must create first, or nothing when the
// path has no parent to create (a drive such as "C:" is never created).
std::optional<std::wstring> ParentToCreate(const std::wstring& path);
