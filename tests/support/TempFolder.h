// A fresh folder under the temp path for one test, removed with everything
// in it afterwards.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class ScratchFolder {
public:
    ScratchFolder() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        static unsigned counter = 0;
        path_ = std::wstring(temp) + L"tw-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(++counter);
        ok_ = CreateDirectoryW(path_.c_str(), nullptr) != 0;
    }
    ~ScratchFolder() { RemoveTree(path_); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    bool ok() const { return ok_; }
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& rel) const { return path_ + L"\\" + rel; }

    // Names in a folder, without "." and "..".
    static std::vector<std::wstring> List(const std::wstring& folder) {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW fd;
        HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &fd);
        if (find == INVALID_HANDLE_VALUE) return names;
        do {
            std::wstring name = fd.cFileName;
            if (name != L"." && name != L"..") names.push_back(name);
        } while (FindNextFileW(find, &fd));
        FindClose(find);
        return names;
    }

    static void RemoveTree(const std::wstring& path) {
        for (const std::wstring& name : List(path)) {
            const std::wstring child = path + L"\\" + name;
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            DWORD a = GetFileAttributesW(child.c_str());
            if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) RemoveTree(child);
            else DeleteFileW(child.c_str());
        }
        RemoveDirectoryW(path.c_str());
    }

private:
    std::wstring path_;
    bool ok_ = false;
};
