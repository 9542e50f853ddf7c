#include "store/FileServices.h"

#include <windows.h>

#include <optional>

#include "store/Handles.h"
#include "store/PathRules.h"

std::wstring GetModulePath() {
    std::wstring buffer(32768, L'\0');
    DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    buffer.resize(n);
    return buffer;
}

bool CreateFolderTree(const std::wstring& path) {
    if (path.empty()) return false;
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (std::optional<std::wstring> parent = ParentToCreate(path)) {
        if (!CreateFolderTree(*parent)) return false;
    }
    if (::CreateDirectoryW(path.c_str(), nullptr)) return true;
    return ::GetLastError() == ERROR_ALREADY_EXISTS;
}

uint64_t GetFreeSpace(const std::wstring& path) {
    std::wstring probe = path;
    for (;;) {
        ULARGE_INTEGER freeToCaller;
        if (::GetDiskFreeSpaceExW(probe.c_str(), &freeToCaller, nullptr, nullptr)) return freeToCaller.QuadPart;
        std::optional<std::wstring> next = NextFreeSpaceProbe(probe);
        if (!next) return kUnknownFreeSpace;
        probe = std::move(*next);
    }
}

std::string ReadWholeFile(const std::wstring& path, size_t limit, ReadStatus* status) {
    ReadStatus ignored;
    ReadStatus& result = status ? *status : ignored;
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        result = ReadStatus::NotOpened;
        return {};
    }
    constexpr DWORD kChunk = 8192;
    std::string data;
    char chunk[kChunk];
    result = ReadStatus::Complete;
    for (;;) {
        if (data.size() >= limit) {
            // At the limit: the read is complete only if nothing follows.
            DWORD extra = 0;
            char probe;
            if (!::ReadFile(file.get(), &probe, 1, &extra, nullptr)) result = ReadStatus::ReadFailed;
            else if (extra != 0) result = ReadStatus::Truncated;
            break;
        }
        DWORD got = 0;
        if (!::ReadFile(file.get(), chunk, kChunk, &got, nullptr)) {
            result = ReadStatus::ReadFailed;
            break;
        }
        if (got == 0) break;
        data.append(chunk, got);
    }
    if (data.size() >= 3 && static_cast<unsigned char>(data[0]) == 0xEF && static_cast<unsigned char>(data[1]) == 0xBB &&
        static_cast<unsigned char>(data[2]) == 0xBF)
        data.erase(0, 3);
    return data;
}

bool WriteFileAtomic(const std::wstring& path, const std::string& bytes) {
    const std::wstring temporary = path + L".tmp";
    if (bytes.size() > MAXDWORD) return false;  // one WriteFile call carries at most 4 GiB
    bool written = false;
    {
        FileHandle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        DWORD done = 0;
        written = ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
                  done == bytes.size();
        // Without the flush a power cut after the rename can leave an empty
        // or partial file where the old complete one was.
        if (written) written = ::FlushFileBuffers(file.get()) != 0;
    }
    if (written &&
        ::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    ::DeleteFileW(temporary.c_str());
    return false;
}

void AppendUtf8(std::string& out, std::wstring_view text) {
    // A UTF-16 unit takes at most 3 bytes: one call into a buffer that is
    // surely large enough, then cut to what was written.
    if (text.empty() || text.size() > INT_MAX / 3) return;
    const size_t at = out.size();
    out.resize(at + text.size() * 3);
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data() + at,
                                        static_cast<int>(text.size() * 3), nullptr, nullptr);
    out.resize(at + static_cast<size_t>(n > 0 ? n : 0));
}

std::string Utf16ToUtf8(std::wstring_view text) {
    std::string out;
    AppendUtf8(out, text);
    return out;
}

namespace {
std::optional<std::wstring> DecodeUtf8(std::string_view bytes, DWORD flags) {
    if (bytes.empty()) return std::wstring();
    if (bytes.size() > INT_MAX) return std::nullopt;
    const int count = static_cast<int>(bytes.size());
    const int n = ::MultiByteToWideChar(CP_UTF8, flags, bytes.data(), count, nullptr, 0);
    if (n <= 0) return std::nullopt;
    std::wstring out(static_cast<size_t>(n), L'\0');
    if (::MultiByteToWideChar(CP_UTF8, flags, bytes.data(), count, out.data(), n) != n) return std::nullopt;
    return out;
}
}  // namespace

std::wstring Utf8ToUtf16(std::string_view bytes) { return DecodeUtf8(bytes, 0).value_or(std::wstring()); }

std::optional<std::wstring> Utf8ToUtf16Strict(std::string_view bytes) { return DecodeUtf8(bytes, MB_ERR_INVALID_CHARS); }

std::wstring GetSystemFolder() {
    wchar_t system[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(system, n) : std::wstring();
}
