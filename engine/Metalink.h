// Reading a Metalink file — Metalink 4 (RFC 5854, .meta4) or the older
// Metalink 3 (.metalink) — into the files it describes: each file's name,
// size, SHA-256 of the whole and of its pieces, and its mirrors' http and
// https links in the order they are to be tried. A plain function of the
// file's bytes: either every file is read whole or none is returned.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zeb {

constexpr size_t kMaxMetalinkBytes = 1024 * 1024;

struct MetalinkFile {
    // Relative to the target folder: sanitised segments joined by "\", no
    // drive, root or "..". A name given with "/" keeps its subfolders.
    std::wstring name;
    int64_t size = -1;          // bytes; -1 when not stated
    std::wstring sha256;        // lower-case hex of the whole file; empty when not stated
    int64_t pieceLength = 0;    // bytes per piece; 0 without piece hashes
    std::vector<std::wstring> pieceSha256;  // lower-case hex, one per piece, in file order
    std::vector<std::wstring> urls;         // http and https only, the preferred first
};

enum class MetalinkFault {
    None,
    TooLarge,      // over kMaxMetalinkBytes
    NotUtf8,       // bytes that are not UTF-8
    Doctype,       // a DTD, refused unread (entity expansion, external entities)
    Entity,        // an entity other than the five predefined ones or a valid character
    Malformed,     // not well-formed XML: truncated, mismatched tags, stray text
    TooDeep,       // elements nested too deep
    NotMetalink,   // well-formed, but its root is no Metalink element
    NoFiles,       // a Metalink that describes no file
    BadName,       // a file without a name, or one that cannot be a path inside the target folder
    RepeatedName,  // two files that would be written to the same place
    BadSize,       // a size that is not a non-negative integer, or two sizes
    BadHash,       // a SHA-256 that is not 64 hex digits, or two that differ
    BadPieces,     // piece hashes without a usable length, with a bad hash, or too few or many for the size
    NoUsableUrl,   // a file left without an http or https link that carries no password
};

struct MetalinkResult {
    std::vector<MetalinkFile> files;  // empty whenever fault is not None
    MetalinkFault fault = MetalinkFault::None;
    std::wstring file;  // the name of the file at fault, as written; empty for faults of the whole
    int line = 0;       // the line of an XML fault; 0 otherwise
    bool ok() const { return fault == MetalinkFault::None; }
};

MetalinkResult parseMetalink(const std::string& bytes);

// A link whose name says it is a Metalink file (its query aside), and an
// answer's Content-Type that says so.
bool isMetalinkLink(const std::wstring& url);
bool isMetalinkType(const std::wstring& contentType);

}  // namespace zeb
