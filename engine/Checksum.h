// Checksums of finished files: the expected one a link or the Add form
// carries, told apart by the length of its hex text, and the one pass over
// the partial file that computes SHA-256 (and the expected kind beside it)
// through the system's hash provider.
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine/Sha256.h"
#include "store/Handles.h"

namespace zeb {

// Lower-case hex of 32 (MD5), 40 (SHA-1) or 64 (SHA-256) digits; nothing
// for any other text. Spaces and tabs around it are dropped.
std::optional<std::wstring> normalChecksum(const std::wstring& text);
// The checksum of a "#sha256=", "#sha1=" or "#md5=" fragment (any letter
// case) whose digits fit its kind; empty when the link carries none.
std::wstring checksumOfLink(const std::wstring& url);
// The link as the server and the duplicate test see it: no fragment.
std::wstring linkWithoutFragment(const std::wstring& url);

// One running digest of the system's hash provider: SHA-256 by default, or
// the kind of an expected checksum of this many hex digits (32 MD5, 40
// SHA-1). Not ok() when the provider is missing.
class Digest {
public:
    explicit Digest(const wchar_t* algorithm = BCRYPT_SHA256_ALGORITHM);
    explicit Digest(size_t expectedLength);
    bool ok() const { return fast_ || hash_; }
    void add(const unsigned char* data, ULONG size);
    std::wstring finish();  // lower-case hex; empty on failure

private:
    std::unique_ptr<Sha256> fast_;  // SHA-256 on the processor's instructions, where it has them
    // Declared first, destroyed last: the hash object belongs to it.
    HashAlgorithmHandle algorithm_;
    HashHandle hash_;
};

struct FileDigests {
    std::wstring sha256;
    std::wstring expectedKind;  // the digest of the expected checksum's kind (sha256 again for SHA-256)
};

enum class HashOutcome { Done, Stopped, ReadFailed };

// Reads `path` once from start to end and hashes it. `expectedLength` (32,
// 40 or 64, or 0 for none) picks the second digest. `progress` gets the
// bytes read so far after each read; `stop` is polled between reads.
// `error` is the system error of a failed open or read.
HashOutcome hashFile(const std::wstring& path, size_t expectedLength, const std::atomic<bool>& stop,
                     const std::function<void(int64_t)>& progress, FileDigests& out, uint32_t& error);

}  // namespace zeb
