#include "engine/Checksum.h"

#include <windows.h>
#include <bcrypt.h>

#include <cwchar>
#include <memory>
#include <vector>

#include "engine/FrontHasher.h"
#include "store/Handles.h"
#include "store/Text.h"

namespace zeb {
namespace {

const wchar_t* AlgorithmOfLength(size_t length) {
    switch (length) {
        case 32: return BCRYPT_MD5_ALGORITHM;
        case 40: return BCRYPT_SHA1_ALGORITHM;
        default: return BCRYPT_SHA256_ALGORITHM;
    }
}

}  // namespace

Digest::Digest(const wchar_t* algorithm) {
    if (wcscmp(algorithm, BCRYPT_SHA256_ALGORITHM) == 0 && Sha256::available()) {
        fast_ = std::make_unique<Sha256>();
        return;
    }
    BCRYPT_ALG_HANDLE a = nullptr;
    if (::BCryptOpenAlgorithmProvider(&a, algorithm, nullptr, 0) < 0) return;
    algorithm_.reset(a);
    BCRYPT_HASH_HANDLE h = nullptr;
    if (::BCryptCreateHash(a, &h, nullptr, 0, nullptr, 0, 0) < 0) return;
    hash_.reset(h);
}

Digest::Digest(size_t expectedLength) : Digest(AlgorithmOfLength(expectedLength)) {}

void Digest::add(const unsigned char* data, ULONG size) {
    if (fast_) fast_->add(data, size);
    else ::BCryptHashData(hash_.get(), const_cast<PUCHAR>(data), size, 0);
}

std::wstring Digest::finish() {
    std::vector<unsigned char> bytes;
    if (fast_) {
        const auto sum = fast_->finish();
        bytes.assign(sum.begin(), sum.end());
    } else {
        DWORD length = 0, got = 0;
        if (::BCryptGetProperty(algorithm_.get(), BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&length), sizeof length, &got,
                                0) < 0)
            return {};
        bytes.resize(length);
        if (::BCryptFinishHash(hash_.get(), bytes.data(), length, 0) < 0) return {};
    }
    return LowerHex(bytes.data(), bytes.size());
}

std::optional<std::wstring> normalChecksum(const std::wstring& text) {
    const std::wstring t = Trim(text);
    if (t.size() != 32 && t.size() != 40 && t.size() != 64) return std::nullopt;
    for (wchar_t c : t)
        if (!IsHexDigit(c)) return std::nullopt;
    return AsciiLower(t);
}

std::wstring checksumOfLink(const std::wstring& url) {
    const size_t hash = url.find(L'#');
    if (hash == std::wstring::npos) return {};
    const std::wstring fragment = url.substr(hash + 1);
    const size_t eq = fragment.find(L'=');
    if (eq == std::wstring::npos) return {};
    const std::wstring kind = AsciiLower(fragment.substr(0, eq)), digits = fragment.substr(eq + 1);
    const size_t wanted = kind == L"sha256" ? 64 : kind == L"sha1" ? 40 : kind == L"md5" ? 32 : 0;
    if (digits.size() != wanted) return {};
    return normalChecksum(digits).value_or(L"");
}

std::wstring linkWithoutFragment(const std::wstring& url) { return url.substr(0, url.find(L'#')); }

HashOutcome hashFile(const std::wstring& path, size_t expectedLength, const std::atomic<bool>& stop,
                     const std::function<void(int64_t)>& progress, FileDigests& out, uint32_t& error) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        error = ::GetLastError();
        return HashOutcome::ReadFailed;
    }
    FrontHasher whole(path, expectedLength);
    return whole.finish((static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow, 0, stop, progress, out, error);
}

}  // namespace zeb
