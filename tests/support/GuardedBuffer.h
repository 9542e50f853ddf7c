// Bytes placed flush against a page the process may not read, so that a
// read one byte past them faults here instead of passing unseen.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstring>

class GuardedBuffer {
public:
    static constexpr size_t kPage = 4096, kDataPages = 32;  // up to 128 KiB before the guard

    GuardedBuffer() {
        base_ = static_cast<char*>(VirtualAlloc(nullptr, (kDataPages + 1) * kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        VirtualProtect(base_ + kDataPages * kPage, kPage, PAGE_NOACCESS, &old);
    }
    ~GuardedBuffer() { VirtualFree(base_, 0, MEM_RELEASE); }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    // Copies the bytes (at most the buffer's size) to end right before the guard; where they start.
    const char* Place(const void* bytes, size_t n) {
        char* at = base_ + kDataPages * kPage - std::min(n, kDataPages * kPage);
        std::memcpy(at, bytes, std::min(n, kDataPages * kPage));
        return at;
    }

private:
    char* base_ = nullptr;
};
