#include "engine/Checksum.h"

#include <windows.h>
#include <bcrypt.h>

#include <memory>
#include <vector>

#include "store/Handles.h"
#include "store/Text.h"

namespace zeb {
namespace {
// Large reads: one system call per 4 MiB keeps the pass at the hash's pace.
constexpr DWORD kReadBytes = 4 << 20;

bool IsHex(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F'); }

wchar_t Lower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

std::wstring LowerAscii(std::wstring s) {
    for (wchar_t& c : s) c = Lower(c);
    return s;
}

const wchar_t* AlgorithmOfLength(size_t length) {
    switch (length) {
        case 32: return BCRYPT_MD5_ALGORITHM;
        case 40: return BCRYPT_SHA1_ALGORITHM;
        default: return BCRYPT_SHA256_ALGORITHM;
    }
}

// One running digest: the provider and the hash object, closed in reverse.
class Digest {
public:
    explicit Digest(const wchar_t* algorithm) {
        BCRYPT_ALG_HANDLE a = nullptr;
        if (::BCryptOpenAlgorithmProvider(&a, algorithm, nullptr, 0) < 0) return;
        algorithm_.reset(a);
        BCRYPT_HASH_HANDLE h = nullptr;
        if (::BCryptCreateHash(a, &h, nullptr, 0, nullptr, 0, 0) < 0) return;
        hash_.reset(h);
    }
    bool ok() const { return static_cast<bool>(hash_); }
    void add(const unsigned char* data, ULONG size) { ::BCryptHashData(hash_.get(), const_cast<PUCHAR>(data), size, 0); }
    std::wstring finish() {
        DWORD length = 0, got = 0;
        if (::BCryptGetProperty(algorithm_.get(), BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&length), sizeof length,
                                &got, 0) < 0)
            return {};
        std::vector<unsigned char> bytes(length);
        if (::BCryptFinishHash(hash_.get(), bytes.data(), length, 0) < 0) return {};
        static const wchar_t digits[] = L"0123456789abcdef";
        std::wstring hex;
        for (unsigned char b : bytes) {
            hex += digits[b >> 4];
            hex += digits[b & 15];
        }
        return hex;
    }

private:
    // Declared first, destroyed last: the hash object belongs to it.
    HashAlgorithmHandle algorithm_;
    HashHandle hash_;
};
}  // namespace

std::optional<std::wstring> normalChecksum(const std::wstring& text) {
    const std::wstring t = Trim(text);
    if (t.size() != 32 && t.size() != 40 && t.size() != 64) return std::nullopt;
    for (wchar_t c : t)
        if (!IsHex(c)) return std::nullopt;
    return LowerAscii(t);
}

std::wstring checksumOfLink(const std::wstring& url) {
    const size_t hash = url.find(L'#');
    if (hash == std::wstring::npos) return {};
    const std::wstring fragment = url.substr(hash + 1);
    const size_t eq = fragment.find(L'=');
    if (eq == std::wstring::npos) return {};
    const std::wstring kind = LowerAscii(fragment.substr(0, eq)), digits = fragment.substr(eq + 1);
    const size_t wanted = kind == L"sha256" ? 64 : kind == L"sha1" ? 40 : kind == L"md5" ? 32 : 0;
    if (digits.size() != wanted) return {};
    return normalChecksum(digits).value_or(L"");
}

std::wstring linkWithoutFragment(const std::wstring& url) { return url.substr(0, url.find(L'#')); }

HashOutcome hashFile(const std::wstring& path, size_t expectedLength, const std::atomic<bool>& stop,
                     const std::function<void(int64_t)>& progress, FileDigests& out, uint32_t& error) {
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        error = ::GetLastError();
        return HashOutcome::ReadFailed;
    }
    Digest sha256(BCRYPT_SHA256_ALGORITHM);
    std::unique_ptr<Digest> other;
    if (expectedLength == 32 || expectedLength == 40) other = std::make_unique<Digest>(AlgorithmOfLength(expectedLength));
    if (!sha256.ok() || (other && !other->ok())) {
        error = ERROR_NOT_SUPPORTED;
        return HashOutcome::ReadFailed;
    }
    std::vector<unsigned char> buffer(kReadBytes);
    int64_t total = 0;
    for (;;) {
        if (stop) return HashOutcome::Stopped;
        DWORD got = 0;
        if (!::ReadFile(file.get(), buffer.data(), kReadBytes, &got, nullptr)) {
            error = ::GetLastError();
            return HashOutcome::ReadFailed;
        }
        if (got == 0) break;
        sha256.add(buffer.data(), got);
        if (other) other->add(buffer.data(), got);
        total += got;
        progress(total);
    }
    out.sha256 = sha256.finish();
    out.expectedKind = other ? other->finish() : out.sha256;
    if (out.sha256.empty() || out.expectedKind.empty()) {
        error = ERROR_NOT_SUPPORTED;
        return HashOutcome::ReadFailed;
    }
    return HashOutcome::Done;
}

}  // namespace zeb
