// Move-only owners, one alias per kind of Windows handle. Each closes its
// handle exactly once; copying is impossible, so no owner can close twice.
#pragma once

#include <windows.h>
#include <winhttp.h>
#include <bcrypt.h>

#include <utility>

template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Handle h) noexcept : h_(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : h_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    explicit operator bool() const noexcept { return h_ != Traits::invalid(); }
    Handle get() const noexcept { return h_; }
    Handle release() noexcept { return std::exchange(h_, Traits::invalid()); }
    void reset(Handle h = Traits::invalid()) noexcept {
        Handle old = std::exchange(h_, h);
        if (old != Traits::invalid()) Traits::close(old);
    }

private:
    Handle h_ = Traits::invalid();
};

namespace handle_traits {
struct File {  // CreateFileW reports failure as INVALID_HANDLE_VALUE
    using Handle = HANDLE;
    static Handle invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Handle h) noexcept { ::CloseHandle(h); }
};
struct Find {  // FindFirstFileW too
    using Handle = HANDLE;
    static Handle invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Handle h) noexcept { ::FindClose(h); }
};
// Every other kind reports failure as null and differs only in its close call.
template <typename T, auto Close>
struct NullInvalid {
    using Handle = T;
    static Handle invalid() noexcept { return nullptr; }
    static void close(Handle h) noexcept { Close(h); }
};
}  // namespace handle_traits

using FileHandle = UniqueHandle<handle_traits::File>;
using FindHandle = UniqueHandle<handle_traits::Find>;
using KernelHandle = UniqueHandle<handle_traits::NullInvalid<HANDLE, ::CloseHandle>>;  // event, thread, process, mutex
using InternetHandle = UniqueHandle<handle_traits::NullInvalid<HINTERNET, ::WinHttpCloseHandle>>;
using RegKeyHandle = UniqueHandle<handle_traits::NullInvalid<HKEY, ::RegCloseKey>>;
using MemoryDCHandle = UniqueHandle<handle_traits::NullInvalid<HDC, ::DeleteDC>>;
using BitmapHandle = UniqueHandle<handle_traits::NullInvalid<HBITMAP, ::DeleteObject>>;
using FontHandle = UniqueHandle<handle_traits::NullInvalid<HFONT, ::DeleteObject>>;
using BrushHandle = UniqueHandle<handle_traits::NullInvalid<HBRUSH, ::DeleteObject>>;
using IconHandle = UniqueHandle<handle_traits::NullInvalid<HICON, ::DestroyIcon>>;
using WindowHandle = UniqueHandle<handle_traits::NullInvalid<HWND, ::DestroyWindow>>;  // a window of this thread
using ModuleHandle = UniqueHandle<handle_traits::NullInvalid<HMODULE, ::FreeLibrary>>;  // a library loaded at run time
namespace handle_traits {
inline void CloseAlgorithm(BCRYPT_ALG_HANDLE h) noexcept { ::BCryptCloseAlgorithmProvider(h, 0); }
}  // namespace handle_traits
using HashAlgorithmHandle = UniqueHandle<handle_traits::NullInvalid<BCRYPT_ALG_HANDLE, handle_traits::CloseAlgorithm>>;
using HashHandle = UniqueHandle<handle_traits::NullInvalid<BCRYPT_HASH_HANDLE, ::BCryptDestroyHash>>;

// Selects a GDI object into a DC for one scope and puts the old one back.
class ScopedSelect {
public:
    ScopedSelect(HDC dc, HGDIOBJ obj) noexcept : dc_(dc), old_(::SelectObject(dc, obj)) {}
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;
    ~ScopedSelect() {
        if (old_ && old_ != HGDI_ERROR) ::SelectObject(dc_, old_);
    }

private:
    HDC dc_;
    HGDIOBJ old_;
};
