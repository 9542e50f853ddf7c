// File-system services shared by every subsystem: folder creation, free
// space, whole-file reading, atomic replacement and the UTF-8/UTF-16 bridge.
// They keep no state, report failure by their result and never show a
// message; any thread may call them.
#pragma once

#include <windows.h>
// winbase.h keeps a 16-bit era macro of this name; the service below replaces it.
#undef GetFreeSpace

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

constexpr uint64_t kUnknownFreeSpace = UINT64_MAX;
// The list file's size limit, bytes. The list refuses a row that could make
// its file pass it, so the reader always reads whole what the writer wrote.
constexpr size_t kListFileLimit = 256u * 1024 * 1024;
constexpr size_t kSmallFileLimit = 64u * 1024;       // settings and manifests, bytes

std::wstring GetModulePath();

// Creates the folder and every missing parent; true when it exists as a folder afterwards.
bool CreateFolderTree(const std::wstring& path);

// Bytes free to the caller on the volume of the nearest existing ancestor,
// or kUnknownFreeSpace.
uint64_t GetFreeSpace(const std::wstring& path);

enum class ReadStatus {
    Complete,    // the whole file was read
    NotOpened,   // the file could not be opened (missing, locked, a folder)
    Truncated,   // stopped at the limit with more bytes behind it
    ReadFailed,  // a read failed part-way; the bytes are a prefix
};

// The file's bytes without a leading UTF-8 byte-order mark; reading stops
// once `limit` bytes are collected (the last 8 KiB chunk may pass it).
// `status`, when given, tells whether the bytes are the whole file, so a
// caller never mistakes a cut file for a complete one.
std::string ReadWholeFile(const std::wstring& path, size_t limit, ReadStatus* status = nullptr);

// Replaces `path` with `bytes` through "<path>.tmp": readers see either the
// old or the new complete file, also after a power cut (the bytes are flushed
// before the rename). On failure the old file stays and no ".tmp" is left.
bool WriteFileAtomic(const std::wstring& path, const std::string& bytes);

// The OVERLAPPED of a read or write at this byte offset of a file.
inline OVERLAPPED AtOffset(int64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset) & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    return at;
}

// The one UTF-8/UTF-16 bridge. Lenient: invalid input becomes U+FFFD
// instead of failing (what every file reader of ours wants).
std::string Utf16ToUtf8(std::wstring_view text);
std::wstring Utf8ToUtf16(std::string_view bytes);
// Appends in place: writers of many fields save a temporary per field.
void AppendUtf8(std::string& out, std::wstring_view text);
// Strict: nothing when the bytes are not valid UTF-8, for readers that must
// refuse another code page rather than guess at it.
std::optional<std::wstring> Utf8ToUtf16Strict(std::string_view bytes);

// The Windows system folder ("C:\Windows\System32"), without a trailing
// backslash; empty when the system does not say.
std::wstring GetSystemFolder();
