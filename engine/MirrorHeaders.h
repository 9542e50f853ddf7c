// What an answer's headers say about other sources of its file and about
// its checksum: the mirrors it names in Link headers (RFC 6249, RFC 8288)
// and the digest it states in Repr-Digest (RFC 9530) or Digest (RFC 3230).
// Plain functions of the header values as received; what they cannot read
// is passed over, never guessed at.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zeb {

// More servers than this add little to one file and much to a hostile list.
constexpr size_t kMostMirrors = 10;

// The links of `values` (each a Link header value; a value may hold several
// links) whose rel names "duplicate": resolved against `answerUrl` when
// relative, without fragment, by "pri" (lower first, links without one
// after those with one, ties in order given), at most kMostMirrors. Only
// http and https links, never one with user information, only https ones
// when the answer is https; a link given twice and the answer's own link are
// left out, and so is a link with an "anchor" (it names another resource's
// duplicates).
std::vector<std::wstring> duplicateLinks(const std::vector<std::wstring>& values, const std::wstring& answerUrl);

// The checksum an answer states for its whole representation, as lower-case
// hex of 64 (SHA-256), 40 (SHA-1) or 32 (MD5) digits; empty when none can be
// used. Repr-Digest is read first and Digest only when it gives none;
// SHA-256 is preferred to SHA-1 and SHA-1 to MD5. (Content-Digest is not
// asked for: it covers the bytes of one answer, which is a range for a
// download in pieces.)
std::wstring statedDigest(const std::wstring& reprDigest, const std::wstring& digest);

}  // namespace zeb
