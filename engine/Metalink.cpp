#include "engine/Metalink.h"

#include <windows.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <string_view>

#include "engine/FileNames.h"
#include "engine/StrictNumber.h"
#include "engine/Url.h"
#include "engine/Xml.h"
#include "store/Text.h"

namespace zeb {
namespace {

// A Metalink nests four deep (metalink, files, file, resources, url);
// the rest is room for the extensions of other namespaces.
constexpr int kMaxDepth = 32;
constexpr std::wstring_view kMetalink4 = L"urn:ietf:params:xml:ns:metalink";
constexpr std::wstring_view kMetalink3 = L"http://www.metalinker.org/";

using Elements = std::vector<const XmlElement*>;

// Elements of another namespace are extensions this reader does not know;
// they are passed over, whatever their local name.
Elements Children(const XmlElement& parent, std::wstring_view name) {
    Elements found;
    for (const XmlElement& child : parent.children)
        if (child.name == name && (child.ns.empty() || child.ns == kMetalink4 || child.ns == kMetalink3))
            found.push_back(&child);
    return found;
}

Elements ChildrenOfEach(const Elements& parents, std::wstring_view name) {
    Elements found;
    for (const XmlElement* parent : parents) {
        Elements some = Children(*parent, name);
        found.insert(found.end(), some.begin(), some.end());
    }
    return found;
}

// Metalink 4 writes "sha-256", Metalink 3 "sha256"; either is taken in both.
bool IsSha256(const XmlElement& e) {
    const std::wstring* type = e.attribute(L"type");
    if (!type) return false;
    const std::wstring t = AsciiLower(Trim(*type));
    return t == L"sha-256" || t == L"sha256";
}

std::optional<std::wstring> Sha256Hex(const std::wstring& text) {
    std::wstring hex = AsciiLower(Trim(text));
    if (hex.size() != 64 || !std::all_of(hex.begin(), hex.end(), IsHexDigit)) return std::nullopt;
    return hex;
}

// A Metalink name is a path with "/" between its folders. A "\" is not
// read as a separator (on another system it is part of a name, and letting
// it through would give two spellings of one path), so it is refused with
// the rest: drives, roots, "..", empty segments.
std::optional<std::wstring> CleanName(const std::wstring& raw) {
    if (raw.find(L'\\') != std::wstring::npos || (!raw.empty() && raw.back() == L'/')) return std::nullopt;
    const std::optional<std::wstring> folder = relativeFolder(raw);
    if (!folder) return std::nullopt;
    std::wstring name;
    size_t start = 0;
    for (;;) {
        const size_t end = folder->find(L'\\', start);
        if (!name.empty()) name += L'\\';
        name += sanitizeFileName(folder->substr(start, end == std::wstring::npos ? end : end - start));
        if (end == std::wstring::npos) return name;
        start = end + 1;
    }
}

// Metalink 4 tries the lowest priority first, Metalink 3 the highest
// preference; links without one (or with one that is no number) come
// last, and ties keep the file's order.
std::vector<std::wstring> Links(const Elements& urls, bool version3) {
    struct Ranked {
        int64_t rank;
        std::wstring url;
    };
    std::vector<Ranked> kept;
    for (const XmlElement* e : urls) {
        std::wstring url = Trim(e->text);
        UrlParts parts;
        size_t begin = 0, end = 0;
        // Only http and https are fetched; a link with a password in it is
        // left out, since a list anyone can publish should not hand out one,
        // and so is one with a space or line break inside, which no server
        // should be sent in a request line.
        if (url.find_first_of(L" \t\n") != std::wstring::npos || !crackUrl(url, parts) || userInfoSpan(url, begin, end))
            continue;
        const std::wstring* value = e->attribute(version3 ? L"preference" : L"priority");
        const std::optional<int64_t> number = value ? ParseStrictNumber(*value) : std::nullopt;
        const int64_t rank = !number ? std::numeric_limits<int64_t>::max() : version3 ? -*number : *number;
        kept.push_back({rank, std::move(url)});
    }
    std::stable_sort(kept.begin(), kept.end(), [](const Ranked& a, const Ranked& b) { return a.rank < b.rank; });
    std::vector<std::wstring> links;
    for (Ranked& r : kept) links.push_back(std::move(r.url));
    return links;
}

MetalinkFault ReadPieces(const XmlElement& pieces, bool version3, MetalinkFile& out) {
    const std::wstring* length = pieces.attribute(L"length");
    const std::optional<int64_t> bytes = length ? ParseStrictNumber(*length) : std::nullopt;
    if (!bytes || *bytes == 0) return MetalinkFault::BadPieces;
    out.pieceLength = *bytes;
    for (const XmlElement* hash : Children(pieces, L"hash")) {
        // Metalink 3 numbers its pieces; a number out of step is a list
        // that would check the wrong bytes.
        const std::wstring* piece = version3 ? hash->attribute(L"piece") : nullptr;
        if (piece && ParseStrictNumber(*piece) != static_cast<int64_t>(out.pieceSha256.size()))
            return MetalinkFault::BadPieces;
        std::optional<std::wstring> hex = Sha256Hex(hash->text);
        if (!hex) return MetalinkFault::BadPieces;
        out.pieceSha256.push_back(std::move(*hex));
    }
    if (out.pieceSha256.empty()) return MetalinkFault::BadPieces;
    if (out.size >= 0) {
        const int64_t expected = out.size == 0 ? 0 : (out.size - 1) / out.pieceLength + 1;
        if (static_cast<int64_t>(out.pieceSha256.size()) != expected) return MetalinkFault::BadPieces;
    }
    return MetalinkFault::None;
}

MetalinkFault ReadFile(const XmlElement& file, bool version3, MetalinkFile& out) {
    const std::wstring* name = file.attribute(L"name");
    const std::optional<std::wstring> clean = name ? CleanName(*name) : std::nullopt;
    if (!clean) return MetalinkFault::BadName;
    out.name = *clean;

    const Elements sizes = Children(file, L"size");
    if (sizes.size() > 1) return MetalinkFault::BadSize;
    if (sizes.size() == 1) {
        const std::optional<int64_t> size = ParseStrictNumber(sizes[0]->text);
        if (!size) return MetalinkFault::BadSize;
        out.size = *size;
    }

    // Metalink 3 keeps the hashes in <verification>, Metalink 4 in <file>.
    const Elements holders = version3 ? Children(file, L"verification") : Elements{&file};
    for (const XmlElement* hash : ChildrenOfEach(holders, L"hash")) {
        if (!IsSha256(*hash)) continue;  // other kinds are not checked here
        const std::optional<std::wstring> hex = Sha256Hex(hash->text);
        if (!hex || (!out.sha256.empty() && out.sha256 != *hex)) return MetalinkFault::BadHash;
        out.sha256 = *hex;
    }
    bool piecesRead = false;
    for (const XmlElement* pieces : ChildrenOfEach(holders, L"pieces")) {
        if (!IsSha256(*pieces)) continue;  // SHA-1 pieces, say: not what the engine verifies with
        if (piecesRead) return MetalinkFault::BadPieces;
        piecesRead = true;
        if (MetalinkFault fault = ReadPieces(*pieces, version3, out); fault != MetalinkFault::None) return fault;
    }

    out.urls = Links(version3 ? ChildrenOfEach(Children(file, L"resources"), L"url") : Children(file, L"url"), version3);
    return out.urls.empty() ? MetalinkFault::NoUsableUrl : MetalinkFault::None;
}

MetalinkFault FromXml(XmlFault fault) {
    switch (fault) {
        case XmlFault::None: return MetalinkFault::None;
        case XmlFault::TooLarge: return MetalinkFault::TooLarge;
        case XmlFault::NotUtf8: return MetalinkFault::NotUtf8;
        case XmlFault::Doctype: return MetalinkFault::Doctype;
        case XmlFault::Entity: return MetalinkFault::Entity;
        case XmlFault::TooDeep: return MetalinkFault::TooDeep;
        case XmlFault::Malformed: break;
    }
    return MetalinkFault::Malformed;
}

// Windows folds the case of names, so "A.iso" and "a.iso" are one file.
bool SameName(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

}  // namespace

MetalinkResult parseMetalink(const std::string& bytes) {
    MetalinkResult result;
    const XmlDocument doc = parseXml(bytes, kMaxMetalinkBytes, kMaxDepth);
    if (doc.fault != XmlFault::None) {
        result.fault = FromXml(doc.fault);
        result.line = doc.line;
        return result;
    }
    const XmlElement& root = doc.root;
    if (root.name != L"metalink" || !(root.ns.empty() || root.ns == kMetalink4 || root.ns == kMetalink3)) {
        result.fault = MetalinkFault::NotMetalink;
        return result;
    }
    // Without a namespace the shape tells: only Metalink 3 has <files>.
    const bool version3 = root.ns == kMetalink3 || (root.ns.empty() && !Children(root, L"files").empty());
    const Elements entries = version3 ? ChildrenOfEach(Children(root, L"files"), L"file") : Children(root, L"file");
    std::vector<MetalinkFile> files;
    for (const XmlElement* entry : entries) {
        MetalinkFile file;
        MetalinkFault fault = ReadFile(*entry, version3, file);
        for (const MetalinkFile& before : files)
            if (fault == MetalinkFault::None && SameName(before.name, file.name)) fault = MetalinkFault::RepeatedName;
        if (fault != MetalinkFault::None) {
            const std::wstring* name = entry->attribute(L"name");
            result.fault = fault;
            result.file = name ? *name : std::wstring();
            return result;
        }
        files.push_back(std::move(file));
    }
    if (files.empty()) result.fault = MetalinkFault::NoFiles;
    else result.files = std::move(files);
    return result;
}

bool isMetalinkLink(const std::wstring& url) {
    const std::wstring path = Lower(url.substr(0, url.find_first_of(L"?#")));
    const auto endsWith = [&](const std::wstring& tail) {
        return path.size() > tail.size() && path.compare(path.size() - tail.size(), tail.size(), tail) == 0;
    };
    return endsWith(L".meta4") || endsWith(L".metalink");
}

bool isMetalinkType(const std::wstring& contentType) {
    const std::wstring type = Lower(contentType.substr(0, contentType.find(L';')));
    const size_t first = type.find_first_not_of(L" \t"), last = type.find_last_not_of(L" \t");
    if (first == std::wstring::npos) return false;
    const std::wstring bare = type.substr(first, last - first + 1);
    return bare == L"application/metalink4+xml" || bare == L"application/metalink+xml";
}

}  // namespace zeb
